// The grid job file writer: refusals, the text, and the new file in the temporary folder.
#include "runner/printing/sheets/grid_job_writer.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>

#include "platform/file_system.h"
#include "runner/log.h"

namespace runner::printing {
namespace {

template <class Integer>
std::string FormatInteger(Integer value) {
  char buffer[24];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
  (void)error;  // 24 characters hold every 64-bit integer
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

bool CheckList(const std::vector<std::string>& paths, const char* key, bool is_frames, std::string* refusal) {
  for (size_t i = 0; i < paths.size(); ++i) {
    const std::string& path = paths[i];
    const char* problem = nullptr;
    if (is_frames && path.empty()) continue;  // written as "(none)"
    if (is_frames && path == "(none)") problem = "would read as no frame";
    if (problem == nullptr) problem = PathProblem(path);
    if (problem != nullptr) {
      *refusal = std::string(key) + "[" + std::to_string(i) + "] " + problem;
      return false;
    }
  }
  return true;
}

const char* const kEffectNames[] = {"brightness", "contrast", "saturation", "exposure", "grayscale", "temperature",
                                    "sharpness",  "wbTint",   "shadow",     "scale",    "offsetX",   "offsetY",
                                    "viewportWidth", "viewportHeight", "stroke", "strokeScale"};

// The 16 reals of a record in file order.
void RealsOf(const mosalith::EffectRecord& r, float (&values)[16]) {
  const float all[16] = {r.brightness, r.contrast, r.saturation, r.exposure,      r.grayscale,      r.temperature,
                         r.sharpness,  r.wbTint,   r.shadow,     r.scale,         r.offsetX,        r.offsetY,
                         r.viewportWidth, r.viewportHeight, r.stroke, r.strokeScale};
  std::memcpy(values, all, sizeof all);
}

void AppendLine(std::string& text, const std::string& line) {
  text += line;
  text += '\n';
}

}  // namespace

std::string FormatJobReal(double value) {
  char buffer[32];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 6);
  (void)error;  // 6 significant digits and an exponent fit
  return std::string(buffer, end);
}

bool IsNonNeutral(const mosalith::EffectRecord& r) {
  return r.brightness != 0.5f || r.contrast != 0.0f || r.saturation != 0.5f || r.exposure != 0.5f ||
         r.grayscale != 0.0f || r.temperature != 0.0f || r.sharpness != 0.0f || r.wbTint != 0.0f ||
         r.shadow != 0.0f || std::fabs(r.gamma - 1.0f) > 0.001f || r.scale != 1.0f || r.offsetX != 0.0f ||
         r.offsetY != 0.0f || r.stroke > 0.0f;
}

std::optional<GridJobText> FormatGridJobFile(const SheetRequest& request, std::string* refusal) {
  std::string ignored;
  if (refusal == nullptr) refusal = &ignored;
  if (!CheckList(request.images, "imagePaths", false, refusal) ||
      !CheckList(request.frames, "framePaths", true, refusal) ||
      !CheckList(request.outputs, "outputPaths", false, refusal)) {
    return std::nullopt;
  }
  if (request.cutGridColor.find_first_of("\r\n") != std::string::npos) {
    *refusal = "cutGridColor holds a line break";
    return std::nullopt;
  }
  if (!std::isfinite(request.cutGridWidthMm) || !std::isfinite(request.magnetAspectRatio)) {
    *refusal = std::isfinite(request.cutGridWidthMm) ? "magnetAspectRatio is not finite" : "cutGridWidthMm is not finite";
    return std::nullopt;
  }

  GridJobText out;
  std::string& text = out.text;
  text = "\xEF\xBB\xBF";
  AppendLine(text, "[settings]");
  const std::pair<const char*, int32_t> integers[] = {
      {"rows", request.rows},
      {"cols", request.cols},
      {"pageWidth", request.pageWidth},
      {"pageHeight", request.pageHeight},
      {"marginLeft", request.marginLeft},
      {"marginRight", request.marginRight},
      {"marginTop", request.marginTop},
      {"marginBottom", request.marginBottom},
      {"jpegQuality", request.jpegQuality},
  };
  for (const auto& [key, value] : integers) AppendLine(text, std::string(key) + "=" + FormatInteger(value));
  AppendLine(text, std::string("showCutGrid=") + (request.showCutGrid ? "1" : "0"));
  AppendLine(text, "cutGridWidthMm=" + FormatJobReal(request.cutGridWidthMm));
  AppendLine(text, "cutGridColor=" + request.cutGridColor);
  AppendLine(text, "dpi=" + FormatInteger(request.dpi));
  if (request.magnetAspectRatio > 0) AppendLine(text, "magnetAspectRatio=" + FormatJobReal(request.magnetAspectRatio));

  AppendLine(text, "[images]");
  for (const std::string& path : request.images) AppendLine(text, path);
  AppendLine(text, "[frames]");
  for (const std::string& path : request.frames) AppendLine(text, path.empty() ? "(none)" : path);
  AppendLine(text, "[outputs]");
  for (const std::string& path : request.outputs) AppendLine(text, path);

  if (!request.effects.empty()) {
    AppendLine(text, "[effects]");
    for (size_t i = 0; i < request.effects.size(); ++i) {
      const mosalith::EffectRecord& record = request.effects[i];
      if (!IsNonNeutral(record)) continue;
      float reals[16];
      RealsOf(record, reals);
      std::string line = FormatInteger(i) + ",";
      for (int k = 0; k < 16; ++k) {
        if (!std::isfinite(reals[k])) {
          *refusal = "imageEffects[" + std::to_string(i) + "]." + kEffectNames[k] + " is not finite";
          return std::nullopt;
        }
        line += FormatJobReal(reals[k]) + ",";
      }
      if (!std::isfinite(record.gamma)) {
        *refusal = "imageEffects[" + std::to_string(i) + "].gamma is not finite";
        return std::nullopt;
      }
      line += FormatInteger(record.strokeColor) + "," + (record.strokeExternal ? "1" : "0") + "," +
              FormatJobReal(record.gamma);
      AppendLine(text, line);
      ++out.effect_lines;
    }
  }
  return out;
}

std::string WriteGridJobFile(const SheetRequest& request, platform::FileSystem& files, int process_id) {
  // Jobs overlap (a blocking sheet job beside background ones): every job gets a name of its own.
  static std::atomic<unsigned long> job_counter{0};

  std::string refusal;
  std::optional<GridJobText> job = FormatGridJobFile(request, &refusal);
  if (!job) {
    LogLine("DEBUG C++: Cannot write config file: " + refusal);
    return "";
  }
  int error = 0;
  const std::optional<std::string> folder = files.TempFolder(&error);
  if (!folder) {
    LogLine("DEBUG C++: Temporary folder refused, error=" + std::to_string(error));
    return "";
  }
  LogLine("DEBUG C++: imageEffects vector size = " + std::to_string(request.effects.size()));
  const std::vector<uint8_t> bytes(job->text.begin(), job->text.end());
  for (int attempt = 0; attempt < 16; ++attempt) {
    const std::string path = *folder + "/grid_config_" + std::to_string(process_id) + "_" +
                             std::to_string(job_counter.fetch_add(1) + 1) + ".txt";
    error = files.WriteNewFile(path, bytes);
    if (error == EEXIST) continue;  // left by an earlier run of a process with the same id
    if (error != 0) break;
    LogLine("DEBUG C++: Wrote " + std::to_string(job->effect_lines) + " effects entries to config file");
    return path;
  }
  LogLine("DEBUG C++: Failed to write config file, error=" + std::to_string(error));
  return "";
}

}  // namespace runner::printing
