// GridJob: one sheet-composition job as the grid job file describes it, and the reader of that file.
//
// The file is UTF-8 text (an optional EF BB BF mark first), LF or CR LF lines, each stripped of leading
// blanks and tabs only. "#" lines are comments; "[name]" lines open the sections settings, images, frames,
// outputs and effects (exact, case-sensitive); lines outside them are ignored. [settings] lines are
// "key=value", split at the first "="; the later of two equal keys wins. Numbers are read in the "C"
// locale whatever the process locale is. Part of the job-file library that the application links.
//
// Thread safety: the reader keeps no state; calls on different jobs may run at once.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "helper/effect_record.h"

namespace mosalith {

// Every field starts at the value that stands when the file does not set it. Photo i, frame i and
// effect record i belong to the same magnet; sheet p is written to outputs[p].
struct GridJob {
  std::vector<std::string> images;   // photo paths, one per magnet, in sheet order
  std::vector<std::string> frames;   // frame overlay paths; "" = no frame; may be shorter than images
  std::vector<std::string> outputs;  // one JPEG path per sheet
  std::vector<EffectRecord> effects; // by photo position; never longer than images
  int32_t rows = 2;
  int32_t cols = 2;
  int32_t pageWidth = 1854;   // pixels
  int32_t pageHeight = 2445;  // pixels
  double dpi = 450.0;         // turns millimetres into pixels for cut lines
  int32_t marginLeft = 18;    // pixels
  int32_t marginRight = 18;
  int32_t marginTop = 16;
  int32_t marginBottom = 16;
  int32_t jpegQuality = 95;
  bool showCutGrid = false;
  double cutGridWidthMm = 0.1;
  std::string cutGridColor = "darkGray";
  double magnetAspectRatio = 0.0;  // width / height; 0 or less = the magnet fills its cell
};

enum class GridJobStatus {
  kOk,
  kCannotOpen,    // the file could not be opened or read
  kInvalidValue,  // a numeric [settings] value holds no number or one out of its type's range
  kNoImages,      // no [images] line was read
  kNoOutputs,     // no [outputs] line was read
};

struct GridJobReadResult {
  GridJobStatus status = GridJobStatus::kOk;
  std::string invalid_key;  // the offending [settings] key when status is kInvalidValue
  bool ok() const { return status == GridJobStatus::kOk; }
};

// Reads the job file at `utf8_path` (opened through OpenFile) over `job`, which should hold the
// defaults. On failure `job` may be partly filled and must not be used.
GridJobReadResult ReadGridJob(const std::string& utf8_path, GridJob& job);

// The same rules over the file's bytes already in memory.
//
// Integer keys (rows, cols, pageWidth, pageHeight, margins, jpegQuality) read like strtol in base 10:
// leading white space, a sign, digits, stopping at the first other character ("12px" is 12). Real keys
// (dpi, cutGridWidthMm, magnetAspectRatio) read like strtod ("C" locale). A value with no number at
// all, an integer outside int32, a real that overflows, infinity and NaN are kInvalidValue; the first
// such line ends the read. showCutGrid is on only for exactly "1" or "true".
//
// [effects] lines follow the scan pattern "%d,%f x16,%u,%d,%f": index, record values 1 to 16,
// strokeColor, strokeExternal (non-zero = true), gamma. Conversion stops at the first field that does
// not match; a non-finite or float-overflowing real also stops it. A line is used when at least 8
// fields converted; strokeExternal is taken only when 19 did. Negative indices are ignored. Used lines
// are applied after the whole file is read, so an index at or beyond the images list is ignored and the
// table is extended with neutral records only up to the highest index kept; a later line for the same
// index replaces the earlier one.
GridJobReadResult ParseGridJob(std::string_view text, GridJob& job);

// The first output path of `job` that names the same file as one of its photos or frames (device and
// inode, links followed), or nothing. Writing such an output would destroy a photo the job, or a later
// sheet of it, still needs.
std::optional<std::string> OutputThatIsAnInput(const GridJob& job);

}  // namespace mosalith
