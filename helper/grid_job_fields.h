// The grid job's fields in one table: the order, the names and the kinds that drive the job file's
// reader and writer (helper/grid_job.cpp) and the application's reader of a sheet request.
//
// [settings] keys are written in table order; the sheet request reads its arguments in the same order.
// Plain data: no state, safe from any thread. Part of the job-format library both programs link.
#pragma once

#include <cstdint>
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
};

// Whether a sheet request must carry the field.
enum class Requirement {
  kRequired,        // absent = the request is refused
  kOptional,        // absent = the default
  kBackgroundOnly,  // read only by the background method, after the effect records; otherwise the default
};

struct SettingField {
  std::string_view key;       // in the job file
  std::string_view argument;  // in the sheet request
  SettingKind kind = SettingKind::kInteger;
  Requirement requirement = Requirement::kOptional;
  bool written_only_above_zero = false;  // left out of the file when not above 0
  bool written_only_when_off = false;    // kFlag: left out of the file when on
  int32_t GridJob::*integer = nullptr;   // kInteger
  double GridJob::*real = nullptr;       // kReal, kWholeReal
  bool GridJob::*flag = nullptr;         // kFlag
  std::string GridJob::*text = nullptr;  // kText
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
    {.key = "jpegQuality", .argument = "jpegQuality", .integer = &GridJob::jpegQuality},
    {.key = "showCutGrid", .argument = "showCutGrid", .kind = SettingKind::kFlag, .flag = &GridJob::showCutGrid},
    {.key = "cutGridWidthMm", .argument = "cutGridWidthMm", .kind = SettingKind::kReal, .real = &GridJob::cutGridWidthMm},
    {.key = "cutGridColor", .argument = "cutGridColor", .kind = SettingKind::kText, .text = &GridJob::cutGridColor},
    {.key = "dpi", .argument = "dpi", .kind = SettingKind::kWholeReal, .real = &GridJob::dpi},
    // Not an argument of its own: on exactly when the request names a usable "dpi".
    {.key = "sheetDensity", .argument = {}, .kind = SettingKind::kFlag, .written_only_when_off = true,
     .flag = &GridJob::sheetDensity},
    {.key = "magnetAspectRatio", .argument = "magnetAspectRatio", .kind = SettingKind::kReal,
     .requirement = Requirement::kBackgroundOnly, .written_only_above_zero = true, .real = &GridJob::magnetAspectRatio},
};

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
