// Paper numbers, labels and sizes from media names.
#include "platform/paper_numbers.h"

#include <array>
#include <utility>

namespace platform {
namespace {

constexpr std::string_view kBorderlessSuffix = "_borderless";

// PWG class_name part -> standard number. A media name matches an entry when it equals it or continues
// with '_' and its size part ("iso_a4" matches "iso_a4_210x297mm", not "iso_a4-extra_235.5x322.3mm").
constexpr std::array<std::pair<std::string_view, uint16_t>, 41> kPwgNumbers = {{
    {"na_letter", 1},        {"na_ledger_11x17in", 3}, {"na_legal", 5},       {"na_invoice", 6},
    {"na_executive", 7},     {"iso_a3", 8},            {"iso_a4", 9},         {"iso_a5", 11},
    {"jis_b4", 12},          {"jis_b5", 13},           {"na_foolscap", 14},   {"na_10x14", 16},
    {"na_number-9", 19},     {"na_number-10", 20},     {"na_number-11", 21},  {"na_number-12", 22},
    {"na_number-14", 23},    {"iso_dl", 27},           {"iso_c5", 28},        {"iso_c3", 29},
    {"iso_c4", 30},          {"iso_c6", 31},           {"iso_c6c5", 32},      {"om_italian", 36},
    {"na_monarch", 37},      {"na_personal", 38},      {"iso_b4", 42},        {"jpn_hagaki", 43},
    {"na_9x11", 44},         {"na_10x11", 45},         {"iso_a2", 66},        {"iso_a6", 70},
    {"jpn_kaku2", 71},       {"jpn_chou3", 73},        {"jis_b6", 88},        {"prc_16k", 93},
    {"prc_32k", 94},         {"na_index-4x6", 74},     {"na_5x7", 122},       {"na_govt-letter_8x10in", 123},
    {"na_govt-letter", 123},
}};

// Plain names of older printer descriptions, compared exactly.
constexpr std::array<std::pair<std::string_view, uint16_t>, 11> kPlainNumbers = {{
    {"Letter", 1}, {"Legal", 5}, {"A3", 8}, {"A4", 9}, {"A5", 11}, {"A6", 70},
    {"4x6", 74}, {"5x7", 122}, {"8x10", 123}, {"Executive", 7}, {"Ledger", 3},
}};

}  // namespace

std::string_view BaseMediaName(std::string_view media) {
  const size_t at = media.find(kBorderlessSuffix);
  if (at == std::string_view::npos) return media;
  return media.substr(0, at);
}

bool IsBorderlessMedia(std::string_view media) {
  return media.find("borderless") != std::string_view::npos || media.find("Borderless") != std::string_view::npos;
}

uint16_t StandardPaperId(std::string_view media) {
  std::string_view base = BaseMediaName(media);
  // Older printer descriptions mark the variant as "4x6.Borderless".
  const size_t dot = base.find(".Borderless");
  if (dot != std::string_view::npos) base = base.substr(0, dot);
  for (const auto& [name, id] : kPwgNumbers) {
    if (base == name || (base.size() > name.size() && base.substr(0, name.size()) == name && base[name.size()] == '_')) {
      return id;
    }
  }
  for (const auto& [name, id] : kPlainNumbers) {
    if (base == name) return id;
  }
  return 0;
}

uint16_t DerivedPaperId(std::string_view media) {
  uint32_t hash = 2166136261u;
  for (const char c : media) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 16777619u;
  }
  return static_cast<uint16_t>(257 + hash % 32000u);
}

uint16_t PaperIdForMedia(std::string_view media) {
  if (IsBorderlessMedia(media)) return DerivedPaperId(media);
  const uint16_t standard = StandardPaperId(media);
  return standard != 0 ? standard : DerivedPaperId(media);
}

std::string TruncateToUtf16Units(std::string_view text, size_t max_units) {
  size_t units = 0;
  size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    size_t length = 1;
    size_t width = 1;
    if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      width = 2;
    } else if (lead >= 0xE0) {
      length = 3;
    } else if (lead >= 0xC2) {
      length = 2;
    }
    // A sequence cut short by the end of the text, or with a byte that does not continue it, is one unit.
    bool whole = i + length <= text.size();
    for (size_t k = 1; whole && k < length; ++k) whole = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
    if (!whole) {
      length = 1;
      width = 1;
    }
    if (units + width > max_units) break;
    units += width;
    i += length;
  }
  return std::string(text.substr(0, i));
}

std::string PaperLabel(std::string_view display_name, std::string_view media) {
  std::string label(display_name.empty() ? media : display_name);
  if (IsBorderlessMedia(media) && label.find("Borderless") == std::string::npos) label += " (Borderless)";
  return TruncateToUtf16Units(label, kPaperLabelMaxUtf16);
}

int32_t TenthsFromHundredths(int32_t hundredths_mm) {
  const int64_t h = hundredths_mm;
  return static_cast<int32_t>(h >= 0 ? (h + 5) / 10 : -((-h + 5) / 10));
}

}  // namespace platform
