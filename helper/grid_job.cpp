// The grid job file's reader (line rules, [settings] value syntax, the [effects] scan pattern), driven by
// the field table; the writer is grid_job_writer.cpp.
#include "helper/grid_job.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iterator>
#include <limits>
#include <optional>
#include <system_error>

#include "helper/grid_job_fields.h"

namespace mosalith {
namespace {

// White space as the "C" locale's isspace sees it: what strtol, strtod and scanf skip.
bool IsCSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

size_t SkipCSpace(std::string_view text, size_t pos) {
  while (pos < text.size() && IsCSpace(text[pos])) ++pos;
  return pos;
}

// A base-10 integer with strtol's syntax: white space, an optional sign, at least one digit.
struct IntegerScan {
  bool converted = false;
  bool negative = false;
  uint64_t magnitude = 0;  // saturates above 2^40, far beyond every range checked here
  size_t end = 0;          // position after the last digit
};

IntegerScan ScanInteger(std::string_view text, size_t pos) {
  IntegerScan scan;
  pos = SkipCSpace(text, pos);
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    scan.negative = text[pos] == '-';
    ++pos;
  }
  const size_t first_digit = pos;
  constexpr uint64_t kSaturated = uint64_t{1} << 40;
  for (; pos < text.size() && IsDigit(text[pos]); ++pos) {
    if (scan.magnitude < kSaturated) scan.magnitude = scan.magnitude * 10 + (text[pos] - '0');
  }
  scan.converted = pos > first_digit;
  scan.end = pos;
  return scan;
}

// The int32 value of a scan, or nothing when it converted nothing or lies outside int32.
std::optional<int32_t> Int32Of(const IntegerScan& scan) {
  if (!scan.converted) return std::nullopt;
  const int64_t limit = scan.negative ? int64_t{1} << 31 : (int64_t{1} << 31) - 1;
  if (scan.magnitude > static_cast<uint64_t>(limit)) return std::nullopt;
  const int64_t value = static_cast<int64_t>(scan.magnitude);
  return static_cast<int32_t>(scan.negative ? -value : value);
}

enum class RealScan { kNone, kOk, kOverflow, kNonFinite };

// Whether a number that from_chars found out of range is too large (rather than too small): its
// magnitude is estimated from the digit count and the exponent. A decimal exponent counts decimal
// digits; a hex float's "p" exponent counts bits, four to a hex digit.
bool IsTooLarge(std::string_view digits, bool hex) {
  int64_t magnitude = 0;
  size_t pos = 0;
  bool seen_nonzero = false;
  for (; pos < digits.size() && digits[pos] != '.'; ++pos) {
    const char c = digits[pos];
    if (c == 'e' || c == 'E' || c == 'p' || c == 'P') break;
    if (c != '0') seen_nonzero = true;
    if (seen_nonzero) ++magnitude;
  }
  if (!seen_nonzero && pos < digits.size() && digits[pos] == '.') {
    for (++pos; pos < digits.size() && digits[pos] == '0'; ++pos) --magnitude;
  }
  if (hex) magnitude *= 4;
  const size_t exponent_at = digits.find_first_of(hex ? "pP" : "eE");
  if (exponent_at != std::string_view::npos) {
    const IntegerScan exponent = ScanInteger(digits, exponent_at + 1);
    const int64_t value = static_cast<int64_t>(exponent.magnitude);
    magnitude += exponent.negative ? -value : value;
  }
  return magnitude > 0;
}

// A real number with strtod's syntax in the "C" locale ("." as the decimal point, exponents, hex
// floats), converted with correct rounding to T. Underflow gives a signed zero, as strtod's result
// does; overflow and infinity or NaN are reported so callers can refuse them.
template <typename T>
RealScan ScanReal(std::string_view text, size_t pos, T& value, size_t& end) {
  pos = SkipCSpace(text, pos);
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    negative = text[pos] == '-';
    ++pos;
  }
  // from_chars takes its own '-', so a second sign must be refused here ("+-5" is not a number).
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) return RealScan::kNone;
  const char* first = text.data() + pos;
  const char* last = text.data() + text.size();
  T parsed{};
  bool hex = false;
  std::from_chars_result result{first, std::errc::invalid_argument};
  if (last - first > 2 && first[0] == '0' && (first[1] == 'x' || first[1] == 'X')) {
    result = std::from_chars(first + 2, last, parsed, std::chars_format::hex);
    hex = result.ec != std::errc::invalid_argument;
  }
  if (!hex) result = std::from_chars(first, last, parsed, std::chars_format::general);
  if (result.ec == std::errc::invalid_argument) return RealScan::kNone;
  end = static_cast<size_t>(result.ptr - text.data());
  if (result.ec == std::errc::result_out_of_range) {
    const size_t digits_at = hex ? pos + 2 : pos;
    if (IsTooLarge(text.substr(digits_at, end - digits_at), hex)) return RealScan::kOverflow;
    parsed = 0;
  }
  if (!std::isfinite(parsed)) return RealScan::kNonFinite;
  value = negative ? -parsed : parsed;
  return RealScan::kOk;
}

// ---- [settings] ----

// Applies one [settings] line. Returns false when a numeric key's value is invalid.
bool ApplySetting(std::string_view line, GridJob& job) {
  const size_t equals = line.find('=');
  if (equals == std::string_view::npos) return true;
  const std::string_view key = line.substr(0, equals);
  const std::string_view value = line.substr(equals + 1);
  for (const SettingField& field : kSettingFields) {
    if (key != field.key) continue;
    switch (field.kind) {
      case SettingKind::kInteger: {
        const std::optional<int32_t> number = Int32Of(ScanInteger(value, 0));
        if (!number) return false;
        job.*field.integer = *number;
        return true;
      }
      case SettingKind::kReal:
      case SettingKind::kWholeReal: {
        double number = 0;
        size_t end = 0;
        if (ScanReal(value, 0, number, end) != RealScan::kOk) return false;
        job.*field.real = number;
        return true;
      }
      case SettingKind::kFlag:
        job.*field.flag = value == "1" || value == "true";
        return true;
      case SettingKind::kText:
        job.*field.text = std::string(value);
        return true;
      case SettingKind::kChoice:
        if (!IsChoiceOf(field, value)) return false;
        job.*field.text = std::string(value);
        return true;
    }
  }
  return true;
}

// ---- [effects] ----

struct EffectLine {
  int32_t index = 0;
  EffectRecord record;
};

// The index, then every field of the table.
constexpr int kEffectLineFields = 1 + static_cast<int>(std::size(kEffectFields));
constexpr int kMinEffectFields = 8;

// Scans an effect line; returns the number of fields converted, filling `line` with those fields.
int ScanEffectLine(std::string_view text, EffectLine& line) {
  size_t pos = 0;
  const IntegerScan index = ScanInteger(text, pos);
  const std::optional<int32_t> index_value = Int32Of(index);
  if (!index_value) return 0;
  line.index = *index_value;
  pos = index.end;
  int converted = 1;
  for (; converted < kEffectLineFields; ++converted) {
    // The pattern has no white space around its commas: the comma must follow the field directly.
    if (pos >= text.size() || text[pos] != ',') break;
    ++pos;
    const EffectField& field = kEffectFields[converted - 1];
    if (field.kind == EffectKind::kReal) {
      float value = 0;
      size_t end = 0;
      if (ScanReal(text, pos, value, end) != RealScan::kOk) break;
      line.record.*field.real = value;
      pos = end;
    } else if (field.kind == EffectKind::kColor) {
      // %u: strtoul's syntax, a leading '-' negating modulo 2^32.
      const IntegerScan color = ScanInteger(text, pos);
      if (!color.converted || color.magnitude > std::numeric_limits<uint32_t>::max()) break;
      const uint32_t magnitude = static_cast<uint32_t>(color.magnitude);
      line.record.*field.color = color.negative ? 0u - magnitude : magnitude;
      pos = color.end;
    } else {
      const IntegerScan flag = ScanInteger(text, pos);
      const std::optional<int32_t> value = Int32Of(flag);
      if (!value) break;
      line.record.*field.flag = *value != 0;
      pos = flag.end;
    }
  }
  return converted;
}

// The record a line stands for: the converted fields, neutral values after them. strokeExternal is
// field 19, so it comes from the line only when 19 fields converted.
std::optional<EffectLine> ParseEffectLine(std::string_view text) {
  EffectLine line;
  if (ScanEffectLine(text, line) < kMinEffectFields) return std::nullopt;
  return line;
}

// ---- [faces] ----

struct FaceLine {
  int32_t index = 0;
  FaceArea area;
};

// "index,left,top,width,height": the index as in [effects], four finite reals, nothing after them. A
// rectangle of no area is no face.
std::optional<FaceLine> ParseFaceLine(std::string_view text) {
  FaceLine line;
  const IntegerScan index = ScanInteger(text, 0);
  const std::optional<int32_t> index_value = Int32Of(index);
  if (!index_value || *index_value < 0) return std::nullopt;
  line.index = *index_value;
  size_t pos = index.end;
  for (double FaceArea::*value : {&FaceArea::left, &FaceArea::top, &FaceArea::width, &FaceArea::height}) {
    if (pos >= text.size() || text[pos] != ',') return std::nullopt;
    size_t end = 0;
    if (ScanReal(text, pos + 1, line.area.*value, end) != RealScan::kOk) return std::nullopt;
    pos = end;
  }
  if (SkipCSpace(text, pos) != text.size()) return std::nullopt;
  if (!(line.area.width > 0) || !(line.area.height > 0)) return std::nullopt;
  return line;
}

// The section a "[name]" line opens: settings, one of the path lists, effects, faces, or none.
struct Section {
  enum Kind { kNone, kSettings, kList, kEffects, kFaces } kind = kNone;
  const ListField* list = nullptr;  // kList
};

Section SectionNamed(std::string_view name) {
  if (name == "settings") return {Section::kSettings};
  if (name == "effects") return {Section::kEffects};
  if (name == "faces") return {Section::kFaces};
  for (const ListField& list : kListFields) {
    if (name == list.section) return {Section::kList, &list};
  }
  return {};
}

}  // namespace

GridJobReadResult ParseGridJob(std::string_view text, GridJob& job) {
  constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) text.remove_prefix(kByteOrderMark.size());

  Section section;
  std::vector<EffectLine> effect_lines;
  std::vector<FaceLine> face_lines;
  size_t line_start = 0;
  while (line_start < text.size()) {
    size_t line_end = text.find('\n', line_start);
    if (line_end == std::string_view::npos) line_end = text.size();
    std::string_view line = text.substr(line_start, line_end - line_start);
    line_start = line_end + 1;

    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const size_t content = line.find_first_not_of(" \t");
    if (content == std::string_view::npos) continue;
    line.remove_prefix(content);
    if (line.front() == '#') continue;
    if (line.front() == '[') {
      const size_t close = line.find(']');
      if (close != std::string_view::npos) section = SectionNamed(line.substr(1, close - 1));
      continue;
    }

    switch (section.kind) {
      case Section::kNone:
        break;
      case Section::kSettings:
        if (!ApplySetting(line, job)) {
          return {GridJobStatus::kInvalidValue, std::string(line.substr(0, line.find('=')))};
        }
        break;
      case Section::kList: {
        const ListField& list = *section.list;
        const bool empty = !list.empty_written_as.empty() && line == list.empty_written_as;
        (job.*list.paths).emplace_back(empty ? std::string_view() : line);
        break;
      }
      case Section::kEffects:
        if (std::optional<EffectLine> effect = ParseEffectLine(line); effect && effect->index >= 0) {
          effect_lines.push_back(*effect);
        }
        break;
      case Section::kFaces:
        if (std::optional<FaceLine> face = ParseFaceLine(line)) face_lines.push_back(*face);
        break;
    }
  }

  // Applied only now that the images list is complete, so no index can size the table beyond it.
  for (const EffectLine& effect : effect_lines) {
    const size_t index = static_cast<size_t>(effect.index);
    if (index >= job.images.size()) continue;
    if (job.effects.size() <= index) job.effects.resize(index + 1);
    job.effects[index] = effect.record;
  }
  for (const FaceLine& face : face_lines) {
    const size_t index = static_cast<size_t>(face.index);
    if (index >= job.images.size()) continue;
    if (job.faces.size() <= index) job.faces.resize(index + 1);
    if (job.faces[index].size() < kMaxFacesPerPhoto) job.faces[index].push_back(face.area);
  }

  if (job.images.empty()) return {GridJobStatus::kNoImages, {}};
  if (job.outputs.empty()) return {GridJobStatus::kNoOutputs, {}};
  return {};
}

}  // namespace mosalith
