// Reading a sheet request from the arguments of "createGridImages", "createGridImagesFast" and
// "createGridImagesFastAsync".
//
// The argument must be a map ("Expected map of arguments"); "imagePaths" and "outputPaths" must both be
// present ("Missing required parameters"). Then, in this order, each failure answered as
// "INVALID_ARGUMENTS":
//   imagePaths, outputPaths, framePaths (optional): lists of strings. A list of another kind, or any
//     element that is not a string, is "Invalid type for key '<key>'": an element is never skipped, since
//     photo i, frame i, effect i and output i must stay together. A string is taken up to its first NUL.
//   rows, columns, pageWidth, pageHeight, marginLeft, marginRight, marginTop, marginBottom: int32;
//     absent = "Missing required parameters", another kind = "Invalid type for key '<key>'".
//   jpegQuality (int32 1..100, 95), cutGridWidthMm (double 0..10 mm, 0.1), cutGridColor (string,
//     "darkGray"): another kind = "Invalid type for key '<key>'", a value outside (NaN included) =
//     "Invalid value for key '<key>': expected <range>".
//   showCutGrid: bool or int32 (non-zero = on) for the blocking methods, bool only for the background
//     one; any other kind = off.
//   dpi: int32, or a double truncated toward zero, from 1 to 10000 (outside, NaN included: "Invalid value
//     for key 'dpi'"); any other kind = 450. The sheets state their resolution (sheetDensity) only when
//     "dpi" is given so.
//   imageEffects: a list; for the blocking methods another kind = no effects, for the background method
//     "Invalid type for key 'imageEffects'". Element i gives effect record i: a non-map element gives a
//     neutral record. The 17 real keys are read as doubles (blocking) or numbers (background, an int32
//     counts); "strokeColor" (double only: its low 32 bits as a 64-bit integer) and "strokeExternal"
//     (double only, >= 0.5 = true) in both. A value of another kind leaves the neutral value; a real
//     that is NaN, infinite or beyond a float, or a "scale" of 0 or below, is "Invalid value for key
//     'imageEffects[i].<key>'".
//   magnetAspectRatio (background method only): double 0..100, default 0; another kind = "Invalid type
//     for key 'magnetAspectRatio'", outside = "Invalid value". The blocking methods always pass 0.
//   gapPx, bleedPx (int32 0..4000, default 0), cutGuides ("lines", "marks" or "none"; absent = showCutGrid
//     decides), fullLengthGuides (bool, false), rotateToFit (bool, true), faceAwareCrop (bool, false),
//     frameFit ("stretch" or "cover", "stretch"), on every method: another kind is "Invalid type for key
//     '<key>'", a value outside those is "Invalid value for key '<key>': expected <what it takes>".
//   imageFaces (optional, every method): per photo, a list of {"left", "top", "width", "height"} maps,
//     fractions of the upright photo (as "planMagnetSheets" reports them), the faces a face-aware crop
//     keeps; given, the photos are not searched for faces again. Anything else is "Invalid type for key
//     'imageFaces'"; entries beyond the photos are dropped.
// Thread safety: pure; the result owns copies of everything.
#pragma once

#include <optional>

#include "runner/channels/channel.h"
#include "runner/channels/channel_errors.h"
#include "runner/printing/sheets/sheet_job_records.h"

namespace runner::printing {

enum class SheetMethod {
  kBlocking,    // "createGridImages", "createGridImagesFast"
  kBackground,  // "createGridImagesFastAsync"
};

// The request, or nothing with `*error` set to the answer for the first failing argument.
std::optional<mosalith::GridJob> ReadSheetRequest(const EncodableValue* arguments, SheetMethod method,
                                                  ChannelError* error);

}  // namespace runner::printing
