// The grid job's fields in one table: the order, the names and the kinds that drive the job file's
// reader and writer (helper/grid_job.cpp) and the application's reader of a sheet request.
//
// [settings] keys are written in table order; the sheet request reads its arguments in the same order.
// Plain data: no state, safe from any thread. Part of the job-format library both programs link.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "helper/grid_job.h"

namespace mosalith {

enum class SettingKind {
  kInteger,    // int32: read like strtol, written in decimal
  kReal,       // double: read like strtod, written in the general format with 6 significant digits
  kWholeReal,  // double: read like strtod, written as a whole number (the request only carries whole ones)
  kFlag,       // bool: written "1" or "0"; on for exactly "1" or "true"
  kText,       // string: the rest of the line
  kChoice,     // string: one of the field's choices, exactly; any other value is invalid
};

// When the writer writes a field.
enum class Written {
  kAlways,
  kAboveZero,     // only when its value is above 0
  kUnlessDefault, // only when it differs from its default, so older helpers read the file as before
};

inline constexpr std::string_view kCutGuideChoices[] = {kCutGuidesLines, kCutGuidesMarks, kCutGuidesNone};
inline constexpr std::string_view kFrameFitChoices[] = {kFrameFitStretch, kFrameFitCover};

// Whether a sheet request must carry the field.
enum class Requirement {
  kRequired,        // absent = the request is refused
  kOptional,        // absent = the default
  kBackgroundOnly,  // read only by the background method, after the effect records; otherwise the default
  kChecked,         // optional on every method; a value of another kind or outside its range is refused
};

struct SettingField {
  std::string_view key;       // in the job file
  std::string_view argument;  // in the sheet request
  SettingKind kind = SettingKind::kInteger;
  Requirement requirement = Requirement::kOptional;
  Written written = Written::kAlways;
  int32_t GridJob::*integer = nullptr;   // kInteger
  // The range a request may ask for, ends included (none when both are 0): kInteger and kWholeReal in
  // min_value..max_value, kReal in min_real..max_real. A value outside is refused, not clamped: a quality
  // of 1000 or a resolution of 0 is a caller's mistake, not a wish.
  int32_t min_value = 0;
  int32_t max_value = 0;
  double min_real = 0;
  double max_real = 0;
  double GridJob::*real = nullptr;       // kReal, kWholeReal
  bool GridJob::*flag = nullptr;         // kFlag
  std::string GridJob::*text = nullptr;  // kText, kChoice
  std::span<const std::string_view> choices = {};  // kChoice
};

inline constexpr SettingField kSettingFields[] = {
    {.key = "rows", .argument = "rows", .requirement = Requirement::kRequired, .integer = &GridJob::rows},
    {.key = "cols", .argument = "columns", .requirement = Requirement::kRequired, .integer = &GridJob::cols},
    {.key = "pageWidth", .argument = "pageWidth", .requirement = Requirement::kRequired, .integer = &GridJob::pageWidth},
    {.key = "pageHeight", .argument = "pageHeight", .requirement = Requirement::kRequired,
     .integer = &GridJob::pageHeight},
    {.key = "marginLeft", .argument = "marginLeft", .requirement = Requirement::kRequired,
     .integer = &GridJob::marginLeft},
    {.key = "marginRight", .argument = "marginRight", .requirement = Requirement::kRequired,
     .integer = &GridJob::marginRight},
    {.key = "marginTop", .argument = "marginTop", .requirement = Requirement::kRequired, .integer = &GridJob::marginTop},
    {.key = "marginBottom", .argument = "marginBottom", .requirement = Requirement::kRequired,
     .integer = &GridJob::marginBottom},
    {.key = "jpegQuality", .argument = "jpegQuality", .integer = &GridJob::jpegQuality, .min_value = 1,
     .max_value = 100},
    {.key = "showCutGrid", .argument = "showCutGrid", .kind = SettingKind::kFlag, .flag = &GridJob::showCutGrid},
    {.key = "cutGridWidthMm", .argument = "cutGridWidthMm", .kind = SettingKind::kReal, .max_real = 10,
     .real = &GridJob::cutGridWidthMm},
    {.key = "cutGridColor", .argument = "cutGridColor", .kind = SettingKind::kText, .text = &GridJob::cutGridColor},
    {.key = "dpi", .argument = "dpi", .kind = SettingKind::kWholeReal, .min_value = 1, .max_value = 10000,
     .real = &GridJob::dpi},
    // Not an argument of its own: on exactly when the request names a usable "dpi".
    {.key = "sheetDensity", .argument = {}, .kind = SettingKind::kFlag, .written = Written::kUnlessDefault,
     .flag = &GridJob::sheetDensity},
    {.key = "magnetAspectRatio", .argument = "magnetAspectRatio", .kind = SettingKind::kReal,
     .requirement = Requirement::kBackgroundOnly, .written = Written::kAboveZero, .max_real = 100,
     .real = &GridJob::magnetAspectRatio},
    {.key = "gapPx", .argument = "gapPx", .requirement = Requirement::kChecked, .written = Written::kUnlessDefault,
     .integer = &GridJob::gapPx, .min_value = 0, .max_value = kMaxSpacingPx},
    {.key = "bleedPx", .argument = "bleedPx", .requirement = Requirement::kChecked,
     .written = Written::kUnlessDefault, .integer = &GridJob::bleedPx, .min_value = 0,
     .max_value = kMaxSpacingPx},
    {.key = "cutGuides", .argument = "cutGuides", .kind = SettingKind::kChoice, .requirement = Requirement::kChecked,
     .written = Written::kUnlessDefault, .text = &GridJob::cutGuides, .choices = kCutGuideChoices},
    {.key = "fullLengthGuides", .argument = "fullLengthGuides", .kind = SettingKind::kFlag,
     .requirement = Requirement::kChecked, .written = Written::kUnlessDefault, .flag = &GridJob::fullLengthGuides},
    {.key = "rotateToFit", .argument = "rotateToFit", .kind = SettingKind::kFlag, .requirement = Requirement::kChecked,
     .written = Written::kUnlessDefault, .flag = &GridJob::rotateToFit},
    {.key = "faceAwareCrop", .argument = "faceAwareCrop", .kind = SettingKind::kFlag,
     .requirement = Requirement::kChecked, .written = Written::kUnlessDefault, .flag = &GridJob::faceAwareCrop},
    {.key = "frameFit", .argument = "frameFit", .kind = SettingKind::kChoice, .requirement = Requirement::kChecked,
     .written = Written::kUnlessDefault, .text = &GridJob::frameFit, .choices = kFrameFitChoices},
    // Not an argument: the application writes the user's colour-profile selection into every job.
    {.key = "colorProfile", .argument = {}, .kind = SettingKind::kText, .written = Written::kUnlessDefault,
     .text = &GridJob::colorProfile},
};

inline bool IsChoiceOf(const SettingField& field, std::string_view value) {
  return std::find(field.choices.begin(), field.choices.end(), value) != field.choices.end();
}

// The field's choices for a message: "lines, marks or none".
inline std::string ChoiceList(const SettingField& field) {
  std::string list;
  for (size_t i = 0; i < field.choices.size(); ++i) {
    if (i > 0) list += i + 1 == field.choices.size() ? " or " : ", ";
    list += field.choices[i];
  }
  return list;
}

// The path lists, in the file's order of sections.
struct ListField {
  std::string_view section;   // "[images]" and so on, without the brackets
  std::string_view argument;  // in the sheet request
  bool required = false;      // the request and the file must have at least one entry
  std::vector<std::string> GridJob::*paths = nullptr;
  std::string_view empty_written_as;  // how an empty entry is written; empty = an empty entry is refused
};

inline constexpr ListField kListFields[] = {
    {"images", "imagePaths", true, &GridJob::images, {}},
    {"frames", "framePaths", false, &GridJob::frames, "(none)"},
    {"outputs", "outputPaths", true, &GridJob::outputs, {}},
};

// The values of an [effects] line after its index, in order; the sheet request names them the same.
enum class EffectKind {
  kReal,   // float, "%f"
  kColor,  // uint32 0xAARRGGBB, "%u"
  kFlag,   // "%d", non-zero = true
};

struct EffectField {
  std::string_view name;
  EffectKind kind = EffectKind::kReal;
  float EffectRecord::*real = nullptr;
  uint32_t EffectRecord::*color = nullptr;
  bool EffectRecord::*flag = nullptr;
};

inline constexpr EffectField kEffectFields[] = {
    {"brightness", EffectKind::kReal, &EffectRecord::brightness},
    {"contrast", EffectKind::kReal, &EffectRecord::contrast},
    {"saturation", EffectKind::kReal, &EffectRecord::saturation},
    {"exposure", EffectKind::kReal, &EffectRecord::exposure},
    {"grayscale", EffectKind::kReal, &EffectRecord::grayscale},
    {"temperature", EffectKind::kReal, &EffectRecord::temperature},
    {"sharpness", EffectKind::kReal, &EffectRecord::sharpness},
    {"wbTint", EffectKind::kReal, &EffectRecord::wbTint},
    {"shadow", EffectKind::kReal, &EffectRecord::shadow},
    {"scale", EffectKind::kReal, &EffectRecord::scale},
    {"offsetX", EffectKind::kReal, &EffectRecord::offsetX},
    {"offsetY", EffectKind::kReal, &EffectRecord::offsetY},
    {"viewportWidth", EffectKind::kReal, &EffectRecord::viewportWidth},
    {"viewportHeight", EffectKind::kReal, &EffectRecord::viewportHeight},
    {"stroke", EffectKind::kReal, &EffectRecord::stroke},
    {"strokeScale", EffectKind::kReal, &EffectRecord::strokeScale},
    {"strokeColor", EffectKind::kColor, nullptr, &EffectRecord::strokeColor},
    {"strokeExternal", EffectKind::kFlag, nullptr, nullptr, &EffectRecord::strokeExternal},
    {"gamma", EffectKind::kReal, &EffectRecord::gamma},
};

}  // namespace mosalith
