// GridJob: one sheet-composition job, as the application asks for it and the grid job file carries it
// to the helper program; the file's reader and writer.
//
// The file is UTF-8 text (an optional EF BB BF mark first), LF or CR LF lines, each stripped of leading
// blanks and tabs only. "#" lines are comments; "[name]" lines open the sections settings, images, frames,
// outputs, effects and faces (exact, case-sensitive); lines outside them are ignored. [settings] lines are
// "key=value", split at the first "="; the later of two equal keys wins. Numbers are read in the "C"
// locale whatever the process locale is. The fields, their order and their kinds are those of
// helper/grid_job_fields.h. Plain C++ without system calls: part of the job-format library that both
// programs link (the application writes job files, the helper reads them).
//
// Thread safety: the reader and the writer keep no state; calls on different jobs may run at once.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "helper/effect_record.h"

namespace mosalith {

// A face in a photo: a rectangle in fractions of the upright photo's width and height (origin at its
// top-left corner, y down), so that it holds at whatever scale the photo is decoded.
struct FaceArea {
  double left = 0;
  double top = 0;
  double width = 0;
  double height = 0;
  bool operator==(const FaceArea&) const = default;
};

// The values of the "cutGuides" setting; empty = not set, showCutGrid decides (lines between the cells
// across the whole grid, or none).
inline constexpr std::string_view kCutGuidesLines = "lines";  // around every filled magnet
inline constexpr std::string_view kCutGuidesMarks = "marks";  // crop marks in the margins and the gaps
inline constexpr std::string_view kCutGuidesNone = "none";
// The values of the "frameFit" setting.
inline constexpr std::string_view kFrameFitStretch = "stretch";  // the frame is resized to the magnet
inline constexpr std::string_view kFrameFitCover = "cover";      // it keeps its shape: covers, centred

// The largest gap and bleed a job may ask for: far beyond any magnet's needs (34 mm at 300 dpi), well
// inside the page budget.
inline constexpr int32_t kMaxSpacingPx = 4000;

// The faces a job keeps per photo; further [faces] lines of that photo are ignored.
inline constexpr size_t kMaxFacesPerPhoto = 64;

// Every field starts at the value that stands when the file does not set it. Photo i, frame i and
// effect record i belong to the same magnet; sheet p is written to outputs[p]. Photos and frames may be
// JPEG, PNG, TIFF, WebP, HEIC/HEIF, AVIF (not in the Windows build), BMP, TGA or PSD, told from their
// bytes (imaging/decode.h); GIF, PNM, HDR and PIC are refused, each with a line naming it.
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
  bool sheetDensity = true;   // the sheet files state the resolution (off: they state none and print fitted)
  int32_t marginLeft = 18;    // pixels
  int32_t marginRight = 18;
  int32_t marginTop = 16;
  int32_t marginBottom = 16;
  int32_t jpegQuality = 95;
  bool showCutGrid = false;
  double cutGridWidthMm = 0.1;
  std::string cutGridColor = "darkGray";
  double magnetAspectRatio = 0.0;  // width / height; 0 or less = the magnet fills its cell
  // Settings a job file of an older application never names; their defaults compose as before them.
  int32_t gapPx = 0;             // between neighbouring cells, across and down
  int32_t bleedPx = 0;           // how far each photo reaches beyond its magnet's cut edge
  std::string cutGuides;         // "", "lines", "marks" or "none" (see above)
  bool fullLengthGuides = false; // with "marks": guides along every cut, wherever no photo lies
  bool rotateToFit = true;       // a photo across its magnet's shape is turned a quarter; false: upright
  bool faceAwareCrop = false;    // the crop keeps the photo's faces inside its magnet
  std::string frameFit = std::string(kFrameFitStretch);
  std::vector<std::vector<FaceArea>> faces;  // by photo position; never longer than images
  // The space the sheets are converted into (imaging/colour/output_space.h: "srgb", "adobe_rgb",
  // "no_conversion", "custom:<path>"); empty = the photos' numbers as stored, as before the key existed.
  std::string colorProfile;

  bool operator==(const GridJob&) const = default;
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

// Reads the job file's bytes over `job`, which should hold the defaults. On failure `job` may be partly
// filled and must not be used.
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
//
// gapPx and bleedPx read as integers; cutGuides and frameFit must be exactly one of their values (see
// above), anything else is kInvalidValue. [faces] lines are "index,left,top,width,height": the photo
// index as in [effects] and four reals, nothing after them; a line that does not match, has a
// rectangle of no area, or names a photo outside the images list is ignored; each line adds one face
// to its photo, up to kMaxFacesPerPhoto.
GridJobReadResult ParseGridJob(std::string_view text, GridJob& job);

// The job file's text as the application writes it: UTF-8 with a leading EF BB BF mark and LF line
// ends: [settings] (every key in table order, showCutGrid as 1/0, dpi as a whole number,
// magnetAspectRatio only when above 0, gapPx and the keys after it only when they differ from their
// defaults, so a job that uses none of them is written as before them), [images], [frames] ("(none)"
// for an empty entry; as many lines as the job has frames), [outputs], [effects] when the job has
// effect records: one line per record that is not neutral, indexed by its position, and [faces] when a
// photo has faces. Numbers are written in the "C" form whatever the process locale is; reals as the
// general format with 6 significant digits ("0.1", "1e-05").
//
// A value that would be read back differently (an empty path, a path starting with a blank, a tab, "#"
// or "[", a CR or LF anywhere, a frame path "(none)", a text with a CR or LF, a non-finite real) is
// refused rather than written: the lists would shift and photos, frames, effects and outputs would no
// longer belong together.
struct GridJobText {
  std::string text;      // the whole file, mark included
  int effect_lines = 0;  // [effects] lines written
};

// The file's text, or nothing with `*refusal` naming the request key and position that cannot be
// written ("imagePaths[2] holds a line break").
std::optional<GridJobText> FormatGridJob(const GridJob& job, std::string* refusal);

// True when `record` differs from the neutral record in a value the helper uses on its own (the viewport,
// strokeScale, strokeColor and strokeExternal matter only together with one of those).
bool IsNonNeutral(const EffectRecord& record);

// A real in the job file's form: general format, 6 significant digits, "C" locale.
std::string FormatJobReal(double value);

// The first output path of `job` that names the same file as one of its photos or frames, or nothing.
// `identify(path)` gives a file's identity (an optional of a comparable value; nothing for a path that
// names no file) and is called once per path. Writing such an output would destroy a photo the job, or
// a later sheet of it, still needs.
template <class Identify>
std::optional<std::string> OutputNamingAnInput(const GridJob& job, Identify identify) {
  using Identity = typename decltype(identify(std::string()))::value_type;
  std::vector<Identity> inputs;
  for (const std::vector<std::string>* list : {&job.images, &job.frames}) {
    for (const std::string& path : *list) {
      if (std::optional<Identity> identity = identify(path)) inputs.push_back(std::move(*identity));
    }
  }
  for (const std::string& output : job.outputs) {
    const std::optional<Identity> identity = identify(output);
    if (identity && std::find(inputs.begin(), inputs.end(), *identity) != inputs.end()) return output;
  }
  return std::nullopt;
}

}  // namespace mosalith
