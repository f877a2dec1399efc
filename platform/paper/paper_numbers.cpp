// Paper numbers, labels and sizes from media names.
#include "platform/paper/paper_numbers.h"

#include "platform/paper/paper_table.h"


namespace platform {
namespace {

constexpr std::string_view kBorderlessSuffix = "_borderless";

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
  for (const PaperRow& row : PaperRows()) {
    const std::string_view name = row.pwg_class;
    if (name.empty()) continue;
    if (base == name || (base.size() > name.size() && base.substr(0, name.size()) == name && base[name.size()] == '_')) {
      return row.id;
    }
  }
  for (const PaperRow& row : PaperRows()) {
    if (!row.plain_name.empty() && base == row.plain_name) return row.id;
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
