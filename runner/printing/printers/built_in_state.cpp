// The built-in PDF printer's state lines, and the previous version's hex record line.
#include "runner/printing/printers/built_in_state.h"

#include <charconv>
#include <cstdint>
#include <string_view>

#include "runner/printing/printers/settings_record.h"

namespace runner::printing {
namespace {

constexpr const char* kDefault = "default";
constexpr const char* kFields = "fields";
constexpr const char* kFormName = "formName";
constexpr const char* kOptions = "options";
constexpr const char* kRecord = "record";  // the previous version's hex record

// The numeric fields: each line's name, its flag and the range of its member.
struct NumberLine {
  const char* name;
  uint32_t flag;
  int32_t min;
  int32_t max;
};
constexpr NumberLine kNumberLines[] = {
    {"orientation", platform::kFieldOrientation, INT16_MIN, INT16_MAX},
    {"paper", platform::kFieldPaperSize, 0, UINT16_MAX},
    {"paperLength", platform::kFieldPaperLength, INT16_MIN, INT16_MAX},
    {"paperWidth", platform::kFieldPaperWidth, INT16_MIN, INT16_MAX},
    {"copies", platform::kFieldCopies, INT16_MIN, INT16_MAX},
    {"quality", platform::kFieldPrintQuality, INT16_MIN, INT16_MAX},
    {"color", platform::kFieldColor, INT16_MIN, INT16_MAX},
    {"yResolution", platform::kFieldYResolution, INT16_MIN, INT16_MAX},
};

// The member of `settings` that the line with `flag` stands for (a value within the line's range).
int32_t NumberOf(const platform::PrintSettings& settings, uint32_t flag) {
  switch (flag) {
    case platform::kFieldOrientation: return settings.orientation;
    case platform::kFieldPaperSize: return settings.paper_id;
    case platform::kFieldPaperLength: return settings.paper_length_tenths_mm;
    case platform::kFieldPaperWidth: return settings.paper_width_tenths_mm;
    case platform::kFieldCopies: return settings.copies;
    case platform::kFieldPrintQuality: return settings.print_quality_dpi;
    case platform::kFieldColor: return settings.color;
    default: return settings.y_resolution_dpi;
  }
}

void SetNumber(platform::PrintSettings& settings, uint32_t flag, int32_t value) {
  const auto small = static_cast<int16_t>(value);
  switch (flag) {
    case platform::kFieldOrientation: settings.orientation = small; break;
    case platform::kFieldPaperSize: settings.paper_id = static_cast<uint16_t>(value); break;
    case platform::kFieldPaperLength: settings.paper_length_tenths_mm = small; break;
    case platform::kFieldPaperWidth: settings.paper_width_tenths_mm = small; break;
    case platform::kFieldCopies: settings.copies = small; break;
    case platform::kFieldPrintQuality: settings.print_quality_dpi = small; break;
    case platform::kFieldColor: settings.color = small; break;
    default: settings.y_resolution_dpi = small; break;
  }
}

template <typename Number>
std::optional<Number> ParseNumber(std::string_view text) {
  Number value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::string Escape(std::string_view text) {
  std::string out;
  for (const char c : text) {
    if (c == '\\') out += "\\\\";
    else if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else out += c;
  }
  return out;
}

std::optional<std::string> Unescape(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out += text[i];
      continue;
    }
    if (++i == text.size()) return std::nullopt;
    if (text[i] == '\\') out += '\\';
    else if (text[i] == 'n') out += '\n';
    else if (text[i] == 'r') out += '\r';
    else return std::nullopt;
  }
  return out;
}

std::optional<std::vector<uint8_t>> Unhex(std::string_view text) {
  if (text.size() % 2 != 0) return std::nullopt;
  std::vector<uint8_t> bytes(text.size() / 2);
  for (size_t i = 0; i < bytes.size(); ++i) {
    const auto [end, error] = std::from_chars(text.data() + 2 * i, text.data() + 2 * i + 2, bytes[i], 16);
    if (error != std::errc() || end != text.data() + 2 * i + 2) return std::nullopt;
  }
  return bytes;
}

const std::string* Find(const std::map<std::string, std::string>& values, const char* name) {
  auto found = values.find(name);
  return found != values.end() ? &found->second : nullptr;
}

std::optional<platform::PrintSettings> ReadSettings(const std::map<std::string, std::string>& values) {
  const std::optional<uint32_t> fields = ParseNumber<uint32_t>(*Find(values, kFields));
  if (!fields) return std::nullopt;
  platform::PrintSettings settings;
  settings.fields = *fields;
  for (const NumberLine& line : kNumberLines) {
    if (!(settings.fields & line.flag)) continue;
    const std::string* text = Find(values, line.name);
    const std::optional<int32_t> number = text ? ParseNumber<int32_t>(*text) : std::nullopt;
    if (!number || *number < line.min || *number > line.max) return std::nullopt;
    SetNumber(settings, line.flag, *number);
  }
  if (settings.fields & platform::kFieldFormName) {
    const std::string* text = Find(values, kFormName);
    std::optional<std::string> name = text ? Unescape(*text) : std::nullopt;
    if (!name) return std::nullopt;
    settings.form_name = std::move(*name);
  }
  if (const std::string* options = Find(values, kOptions)) settings.options = ParseOptions(*options);
  return settings;
}

}  // namespace

std::vector<std::string> BuiltInStateNames() {
  std::vector<std::string> names = {kDefault, kFields, kFormName, kOptions, kRecord};
  for (const NumberLine& line : kNumberLines) names.emplace_back(line.name);
  return names;
}

BuiltInState ReadBuiltInState(const std::map<std::string, std::string>& values) {
  BuiltInState state;
  const std::string* is_default = Find(values, kDefault);
  state.is_default = is_default != nullptr && *is_default == "1";
  if (Find(values, kFields) != nullptr) {
    state.settings = ReadSettings(values);
  } else if (const std::string* hex = Find(values, kRecord)) {
    std::optional<std::vector<uint8_t>> record = Unhex(*hex);
    if (record && IsWholeSettingsRecord(*record)) state.settings = DecodeSettingsRecord(*record);
  }
  return state;
}

std::vector<std::pair<std::string, std::optional<std::string>>> BuiltInStateChanges(const BuiltInState& state) {
  std::vector<std::pair<std::string, std::optional<std::string>>> changes;
  changes.emplace_back(kDefault, state.is_default ? "1" : "0");
  changes.emplace_back(kRecord, std::nullopt);
  const platform::PrintSettings* settings = state.settings ? &*state.settings : nullptr;
  auto put = [&changes](const char* name, bool present, const std::string& value) {
    changes.emplace_back(name, present ? std::optional<std::string>(value) : std::nullopt);
  };
  put(kFields, settings != nullptr, settings ? std::to_string(settings->fields) : "");
  for (const NumberLine& line : kNumberLines) {
    const bool present = settings != nullptr && (settings->fields & line.flag);
    put(line.name, present, present ? std::to_string(NumberOf(*settings, line.flag)) : "");
  }
  const bool named = settings != nullptr && (settings->fields & platform::kFieldFormName);
  put(kFormName, named, named ? Escape(settings->form_name) : "");
  const std::string options = settings ? FormatOptions(settings->options) : std::string();
  put(kOptions, !options.empty(), options);
  return changes;
}

}  // namespace runner::printing
