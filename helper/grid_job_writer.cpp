// The grid job file's writer, driven by the field table: what it writes, the reader reads back as it was.
#include <charconv>
#include <cmath>
#include <iterator>
#include <string>
#include <string_view>

#include "helper/grid_job.h"
#include "helper/grid_job_fields.h"

namespace mosalith {

namespace {

template <class Integer>
std::string FormatInteger(Integer value) {
  char buffer[24];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
  (void)error;  // 24 characters hold every 64-bit integer
  return std::string(buffer, end);
}

// A finite real without its fraction (truncated), in decimal.
std::string FormatWholeReal(double value) {
  char buffer[320];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, std::trunc(value) + 0.0,
                                          std::chars_format::fixed, 0);
  (void)error;  // 320 characters hold every finite double without a fraction
  return std::string(buffer, end);
}

// Why `path` would not be read back as written, or nullptr when it would.
const char* PathProblem(const std::string& path) {
  if (path.empty()) return "is empty";
  if (path.find_first_of("\r\n") != std::string::npos) return "holds a line break";
  switch (path.front()) {
    case ' ':
    case '\t':
      return "starts with a blank";
    case '#':
      return "starts with '#'";
    case '[':
      return "starts with '['";
    default:
      return nullptr;
  }
}

bool CheckList(const GridJob& job, const ListField& list, std::string* refusal) {
  const std::vector<std::string>& paths = job.*list.paths;
  const bool empty_allowed = !list.empty_written_as.empty();
  for (size_t i = 0; i < paths.size(); ++i) {
    const std::string& path = paths[i];
    const char* problem = nullptr;
    if (empty_allowed && path.empty()) continue;  // written as empty_written_as
    if (empty_allowed && path == list.empty_written_as) problem = "would read as no frame";
    if (problem == nullptr) problem = PathProblem(path);
    if (problem != nullptr) {
      *refusal = std::string(list.argument) + "[" + std::to_string(i) + "] " + problem;
      return false;
    }
  }
  return true;
}

// Refuses the settings the reader would read differently: texts with a line break first, then
// non-finite reals, each in table order.
bool CheckSettings(const GridJob& job, std::string* refusal) {
  for (const SettingField& field : kSettingFields) {
    if (field.kind == SettingKind::kText && (job.*field.text).find_first_of("\r\n") != std::string::npos) {
      *refusal = std::string(field.key) + " holds a line break";
      return false;
    }
    if (field.kind == SettingKind::kChoice && !IsChoiceOf(field, job.*field.text) &&
        !(field.written == Written::kUnlessDefault && job.*field.text == GridJob{}.*field.text)) {
      *refusal = std::string(field.key) + " is not one of " + ChoiceList(field);
      return false;
    }
  }
  for (const SettingField& field : kSettingFields) {
    if ((field.kind == SettingKind::kReal || field.kind == SettingKind::kWholeReal) &&
        !std::isfinite(job.*field.real)) {
      *refusal = std::string(field.key) + " is not finite";
      return false;
    }
  }
  return true;
}

std::string SettingValue(const GridJob& job, const SettingField& field) {
  switch (field.kind) {
    case SettingKind::kInteger:
      return FormatInteger(job.*field.integer);
    case SettingKind::kReal:
      return FormatJobReal(job.*field.real);
    case SettingKind::kWholeReal:
      return FormatWholeReal(job.*field.real);
    case SettingKind::kFlag:
      return job.*field.flag ? "1" : "0";
    case SettingKind::kText:
    case SettingKind::kChoice:
      return job.*field.text;
  }
  return {};
}

// Whether the writer leaves `field` out of the file.
bool LeftOut(const GridJob& job, const SettingField& field) {
  static const GridJob kDefaults;
  switch (field.written) {
    case Written::kAlways:
      return false;
    case Written::kAboveZero:
      return !(job.*field.real > 0);
    case Written::kUnlessDefault:
      return SettingValue(job, field) == SettingValue(kDefaults, field);
  }
  return false;
}

void AppendLine(std::string& text, std::string_view line) {
  text += line;
  text += '\n';
}

// Appends the [effects] line of record `index`; false with `*refusal` set when a real is not finite.
bool AppendEffectLine(std::string& text, size_t index, const EffectRecord& record, std::string* refusal) {
  std::string line = FormatInteger(index);
  for (const EffectField& field : kEffectFields) {
    line += ',';
    switch (field.kind) {
      case EffectKind::kReal:
        if (!std::isfinite(record.*field.real)) {
          *refusal = "imageEffects[" + std::to_string(index) + "]." + std::string(field.name) + " is not finite";
          return false;
        }
        line += FormatJobReal(record.*field.real);
        break;
      case EffectKind::kColor:
        line += FormatInteger(record.*field.color);
        break;
      case EffectKind::kFlag:
        line += record.*field.flag ? "1" : "0";
        break;
    }
  }
  AppendLine(text, line);
  return true;
}

// The [faces] section, one line per face: the photo's index and the rectangle's four fractions. Nothing
// when no photo has a face.
bool AppendFaces(std::string& text, const GridJob& job, std::string* refusal) {
  bool opened = false;
  for (size_t i = 0; i < job.faces.size(); ++i) {
    for (const FaceArea& face : job.faces[i]) {
      if (!std::isfinite(face.left) || !std::isfinite(face.top) || !std::isfinite(face.width) ||
          !std::isfinite(face.height)) {
        *refusal = "faces[" + std::to_string(i) + "] is not finite";
        return false;
      }
      if (!opened) AppendLine(text, "[faces]");
      opened = true;
      AppendLine(text, FormatInteger(i) + "," + FormatJobReal(face.left) + "," + FormatJobReal(face.top) + "," +
                           FormatJobReal(face.width) + "," + FormatJobReal(face.height));
    }
  }
  return true;
}

}  // namespace

std::string FormatJobReal(double value) {
  char buffer[32];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 6);
  (void)error;  // 6 significant digits and an exponent fit
  return std::string(buffer, end);
}

bool IsNonNeutral(const EffectRecord& r) {
  return r.brightness != 0.5f || r.contrast != 0.0f || r.saturation != 0.5f || r.exposure != 0.5f ||
         r.grayscale != 0.0f || r.temperature != 0.0f || r.sharpness != 0.0f || r.wbTint != 0.0f ||
         r.shadow != 0.0f || std::fabs(r.gamma - 1.0f) > 0.001f || r.scale != 1.0f || r.offsetX != 0.0f ||
         r.offsetY != 0.0f || r.stroke > 0.0f;
}

std::optional<GridJobText> FormatGridJob(const GridJob& job, std::string* refusal) {
  std::string ignored;
  if (refusal == nullptr) refusal = &ignored;
  for (const ListField& list : kListFields) {
    if (!CheckList(job, list, refusal)) return std::nullopt;
  }
  if (!CheckSettings(job, refusal)) return std::nullopt;

  GridJobText out;
  std::string& text = out.text;
  text = "\xEF\xBB\xBF";
  AppendLine(text, "[settings]");
  for (const SettingField& field : kSettingFields) {
    if (LeftOut(job, field)) continue;
    AppendLine(text, std::string(field.key) + "=" + SettingValue(job, field));
  }
  for (const ListField& list : kListFields) {
    // Built piece by piece: GCC 12 warns (-Wrestrict, falsely) about "[" + std::string(...) when optimising.
    std::string header = "[";
    header.append(list.section).append("]");
    AppendLine(text, header);
    for (const std::string& path : job.*list.paths) AppendLine(text, path.empty() ? list.empty_written_as : path);
  }
  if (!job.effects.empty()) {
    AppendLine(text, "[effects]");
    for (size_t i = 0; i < job.effects.size(); ++i) {
      if (!IsNonNeutral(job.effects[i])) continue;
      if (!AppendEffectLine(text, i, job.effects[i], refusal)) return std::nullopt;
      ++out.effect_lines;
    }
  }
  if (!AppendFaces(text, job, refusal)) return std::nullopt;
  return out;
}

}  // namespace mosalith
