// The settings record: encoding, validated decoding, the paper summary.
#include "runner/printing/printers/settings_record.h"

#include "base/utf8.h"
#include "platform/paper/paper_table.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <type_traits>


namespace runner::printing {
namespace {

constexpr size_t kDeviceNameOffset = 0;
constexpr size_t kSpecVersionOffset = 64;
constexpr size_t kSizeOffset = 68;
constexpr size_t kDriverExtraOffset = 70;
constexpr size_t kFieldsOffset = 72;
constexpr size_t kOrientationOffset = 76;
constexpr size_t kPaperSizeOffset = 78;
constexpr size_t kPaperLengthOffset = 80;
constexpr size_t kPaperWidthOffset = 82;
constexpr size_t kCopiesOffset = 86;
constexpr size_t kPrintQualityOffset = 90;
constexpr size_t kColorOffset = 92;
constexpr size_t kYResolutionOffset = 96;
constexpr size_t kFormNameOffset = 102;
constexpr size_t kNameUnits = 32;

constexpr std::array<uint8_t, 4> kTailMagic = {'P', 'V', 'C', 'U'};
constexpr uint16_t kTailVersion = 1;
constexpr size_t kTailTextOffset = kRecordPublicSize + 8;

void Put16(std::vector<uint8_t>& out, size_t at, uint16_t value) {
  out[at] = static_cast<uint8_t>(value & 0xFF);
  out[at + 1] = static_cast<uint8_t>(value >> 8);
}

void Put32(std::vector<uint8_t>& out, size_t at, uint32_t value) {
  Put16(out, at, static_cast<uint16_t>(value & 0xFFFF));
  Put16(out, at + 2, static_cast<uint16_t>(value >> 16));
}

uint16_t Get16(std::span<const uint8_t> in, size_t at) {
  return static_cast<uint16_t>(in[at] | (in[at + 1] << 8));
}

uint32_t Get32(std::span<const uint8_t> in, size_t at) {
  return Get16(in, at) | (static_cast<uint32_t>(Get16(in, at + 2)) << 16);
}

// Writes `text` as at most 31 UTF-16 units and a NUL, never splitting a surrogate pair.
void PutName(std::vector<uint8_t>& out, size_t at, std::string_view text) {
  std::u16string units = base::Utf8ToUtf16(text);
  if (units.size() > kNameUnits - 1) {
    units.resize(kNameUnits - 1);
    if (units.back() >= 0xD800 && units.back() <= 0xDBFF) units.pop_back();
  }
  for (size_t i = 0; i < units.size(); ++i) Put16(out, at + 2 * i, units[i]);
}

// A name field: up to its first NUL, or all 32 units when it has none.
std::string GetName(std::span<const uint8_t> in, size_t at) {
  std::u16string units;
  for (size_t i = 0; i < kNameUnits; ++i) {
    const char16_t unit = Get16(in, at + 2 * i);
    if (unit == 0) break;
    units.push_back(unit);
  }
  return base::Utf16ToUtf8(units);
}

// The bytes that may be read as public fields: inside both the buffer and the stated public size.
size_t ReadableEnd(std::span<const uint8_t> record) {
  if (record.size() < kSizeOffset + 2) return 0;
  return std::min<size_t>(record.size(), Get16(record, kSizeOffset));
}

// Control characters (C0 and DEL) have no place in an option: a line break in one would become a line
// of its own in the user's stored settings.
bool HasControlCharacter(std::string_view text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return true;
  }
  return false;
}

bool NeedsQuotes(std::string_view value) {
  return value.empty() || value.find_first_of(" \t\"'\\\n\r") != std::string_view::npos;
}

}  // namespace

std::string FormatOptions(const std::vector<std::pair<std::string, std::string>>& options) {
  std::string text;
  for (const auto& [name, value] : options) {
    if (name.empty() || name.find_first_of(" =\"'\\") != std::string::npos) continue;
    if (HasControlCharacter(name) || HasControlCharacter(value)) continue;
    if (!text.empty()) text += ' ';
    text += name;
    text += '=';
    if (!NeedsQuotes(value)) {
      text += value;
      continue;
    }
    text += '"';
    for (const char c : value) {
      if (c == '"' || c == '\\') text += '\\';
      text += c;
    }
    text += '"';
  }
  return text;
}

std::vector<std::pair<std::string, std::string>> ParseOptions(std::string_view text) {
  text = text.substr(0, text.find('\0'));
  std::vector<std::pair<std::string, std::string>> options;
  size_t i = 0;
  auto is_space = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
  while (i < text.size()) {
    while (i < text.size() && is_space(text[i])) ++i;
    if (i >= text.size()) break;
    const size_t name_start = i;
    while (i < text.size() && !is_space(text[i]) && text[i] != '=') ++i;
    std::string name(text.substr(name_start, i - name_start));
    if (i >= text.size() || text[i] != '=') {
      if (!name.empty() && !HasControlCharacter(name)) options.emplace_back(std::move(name), "true");
      continue;
    }
    ++i;  // '='
    std::string value;
    if (i < text.size() && (text[i] == '"' || text[i] == '\'')) {
      const char quote = text[i++];
      bool closed = false;
      while (i < text.size()) {
        char c = text[i++];
        if (c == quote) {
          closed = true;
          break;
        }
        if (c == '\\' && i < text.size()) c = text[i++];
        value += c;
      }
      if (!closed) break;
    } else {
      const size_t value_start = i;
      while (i < text.size() && !is_space(text[i])) ++i;
      value.assign(text.substr(value_start, i - value_start));
    }
    if (!name.empty() && !HasControlCharacter(name) && !HasControlCharacter(value)) {
      options.emplace_back(std::move(name), std::move(value));
    }
  }
  return options;
}

std::vector<uint8_t> EncodeSettingsRecord(std::string_view printer_name, const platform::PrintSettings& settings) {
  std::vector<uint8_t> out(kRecordLength, 0);
  PutName(out, kDeviceNameOffset, printer_name);
  Put16(out, kSpecVersionOffset, kRecordSpecVersion);
  Put16(out, kSizeOffset, kRecordPublicSize);
  Put16(out, kDriverExtraOffset, kRecordPrivateSize);
  uint32_t fields = settings.fields;
  if (settings.form_name.empty()) fields &= ~platform::kFieldFormName;
  Put32(out, kFieldsOffset, fields);
  Put16(out, kOrientationOffset, static_cast<uint16_t>(settings.orientation));
  Put16(out, kPaperSizeOffset, settings.paper_id);
  Put16(out, kPaperLengthOffset, static_cast<uint16_t>(settings.paper_length_tenths_mm));
  Put16(out, kPaperWidthOffset, static_cast<uint16_t>(settings.paper_width_tenths_mm));
  Put16(out, kCopiesOffset, static_cast<uint16_t>(settings.copies));
  Put16(out, kPrintQualityOffset, static_cast<uint16_t>(settings.print_quality_dpi));
  Put16(out, kColorOffset, static_cast<uint16_t>(settings.color));
  Put16(out, kYResolutionOffset, static_cast<uint16_t>(settings.y_resolution_dpi));
  PutName(out, kFormNameOffset, settings.form_name);

  std::vector<std::pair<std::string, std::string>> options = settings.options;
  std::string text = FormatOptions(options);
  while (text.size() > kRecordOptionsMaxBytes && !options.empty()) {
    options.pop_back();
    text = FormatOptions(options);
  }
  std::copy(kTailMagic.begin(), kTailMagic.end(), out.begin() + kRecordPublicSize);
  Put16(out, kRecordPublicSize + 4, kTailVersion);
  Put16(out, kRecordPublicSize + 6, static_cast<uint16_t>(text.size()));
  std::copy(text.begin(), text.end(), out.begin() + kTailTextOffset);
  return out;
}

bool IsWholeSettingsRecord(std::span<const uint8_t> record) {
  if (record.size() < kRecordLength) return false;
  if (Get16(record, kSizeOffset) != kRecordPublicSize || Get16(record, kDriverExtraOffset) != kRecordPrivateSize) {
    return false;
  }
  if (!std::equal(kTailMagic.begin(), kTailMagic.end(), record.begin() + kRecordPublicSize)) return false;
  if (Get16(record, kRecordPublicSize + 4) != kTailVersion) return false;
  return Get16(record, kRecordPublicSize + 6) <= kRecordOptionsMaxBytes;
}

std::string RecordDeviceName(std::span<const uint8_t> record) {
  if (ReadableEnd(record) < kDeviceNameOffset + 2 * kNameUnits) return {};
  return GetName(record, kDeviceNameOffset);
}

platform::PrintSettings DecodeSettingsRecord(std::span<const uint8_t> record) {
  platform::PrintSettings settings;
  const size_t end = ReadableEnd(record);
  if (end < kFieldsOffset + 4) return settings;
  const uint32_t stated = Get32(record, kFieldsOffset);
  auto inside = [end](size_t offset, size_t width) { return offset + width <= end; };
  // Each flagged field is taken only when it can be read; otherwise its flag is dropped.
  auto take16 = [&](uint32_t flag, size_t offset, auto& field) {
    if (!(stated & flag) || !inside(offset, 2)) return;
    settings.fields |= flag;
    field = static_cast<std::remove_reference_t<decltype(field)>>(Get16(record, offset));
  };
  take16(platform::kFieldOrientation, kOrientationOffset, settings.orientation);
  take16(platform::kFieldPaperSize, kPaperSizeOffset, settings.paper_id);
  take16(platform::kFieldPaperLength, kPaperLengthOffset, settings.paper_length_tenths_mm);
  take16(platform::kFieldPaperWidth, kPaperWidthOffset, settings.paper_width_tenths_mm);
  take16(platform::kFieldCopies, kCopiesOffset, settings.copies);
  take16(platform::kFieldPrintQuality, kPrintQualityOffset, settings.print_quality_dpi);
  take16(platform::kFieldColor, kColorOffset, settings.color);
  take16(platform::kFieldYResolution, kYResolutionOffset, settings.y_resolution_dpi);
  if ((stated & platform::kFieldFormName) && inside(kFormNameOffset, 2 * kNameUnits)) {
    settings.fields |= platform::kFieldFormName;
    settings.form_name = GetName(record, kFormNameOffset);
  }
  if (IsWholeSettingsRecord(record)) {
    const size_t length = Get16(record, kRecordPublicSize + 6);
    const auto* text = reinterpret_cast<const char*>(record.data() + kTailTextOffset);
    settings.options = ParseOptions(std::string_view(text, length));
  }
  return settings;
}

bool KnownPaperSizeMm(uint16_t paper_id, int32_t* width_mm, int32_t* height_mm) {
  const platform::PaperRow* row = platform::SizedPaperRow(paper_id);
  if (row == nullptr) return false;
  *width_mm = (row->width_tenths_mm + 5) / 10;  // to the nearest millimetre (Letter: 216 x 279)
  *height_mm = (row->height_tenths_mm + 5) / 10;
  return true;
}

PaperSummary SummarisePaper(std::span<const uint8_t> record) {
  const platform::PrintSettings settings = DecodeSettingsRecord(record);
  const uint16_t paper = (settings.fields & platform::kFieldPaperSize) ? settings.paper_id : 0;
  const std::string form = (settings.fields & platform::kFieldFormName) ? settings.form_name : std::string();
  int32_t width = (settings.fields & platform::kFieldPaperWidth) && settings.paper_width_tenths_mm > 0
                      ? settings.paper_width_tenths_mm / 10
                      : 0;
  int32_t height = (settings.fields & platform::kFieldPaperLength) && settings.paper_length_tenths_mm > 0
                       ? settings.paper_length_tenths_mm / 10
                       : 0;
  if (paper != 0 && !(width > 0 && height > 0)) {
    int32_t known_width = 0;
    int32_t known_height = 0;
    if (KnownPaperSizeMm(paper, &known_width, &known_height)) {
      width = known_width;
      height = known_height;
    }
  }
  PaperSummary summary;
  if (!form.empty()) {
    summary.id = form;
  } else if (paper != 0) {
    summary.id = "DMPAPER_" + std::to_string(paper);
  } else if (width >= 1 && height >= 1) {
    summary.id = std::to_string(width) + "x" + std::to_string(height) + " mm";
  }
  // A record that states no paper at all is described as A4, not as "0x0 mm" of A4's size.
  summary.name = summary.id;
  if (width < 1 || height < 1) {
    width = 210;
    height = 297;
    if (summary.id.empty()) summary.id = "DMPAPER_A4";
    if (summary.name.empty()) summary.name = "A4";
  }
  summary.width_mm = width;
  summary.height_mm = height;
  return summary;
}

}  // namespace runner::printing
