// The plans family's part of `printing_channel`: "planMagnetSheets", magnets designed in millimetres
// turned into the sheet request that prints them at true size on a printer's paper, with a preflight of
// the photos when they are given.
//
// Argument: a map.
//   "magnetWidthMm", "magnetHeightMm"  number (int32 or double), required, above 0, at most 10000
//   "gapMm", "bleedMm"                 number, 0 to 1000, default 0
//   "dpi"                              int32 or double (truncated), 1 to 10000, default 300
//   "printerName"                      string, default the default printer
//   "paperName" or "paperSize"         string, or a map of "width" and "height" (numbers, mm, above 0);
//                                      default the printer's current paper
//   "imageCount"                       int32, 0 or more; required unless "imagePaths" is given
//   "imagePaths", "imageEffects"       as in "createGridImages"; the photos to preflight
//   "cutGuides", "fullLengthGuides", "rotateToFit", "faceAwareCrop", "frameFit", "cutGridWidthMm",
//   "cutGridColor", "jpegQuality"      as in "createGridImages", passed on to the request; cutGuides
//                                      defaults to "lines", or "marks" when there is a bleed
// Wrong kinds are "Invalid type for key '<key>'", values outside those ranges "Invalid value for key
// '<key>': expected ...", a missing size "Missing required parameters" (all "INVALID_ARGUMENTS").
//
// Reply: a map.
//   "printerName", "paperName", "paperWidthMm", "paperHeightMm", "paperListed" (false: a size the printer
//   does not list), "printableAreaMm" {"left", "top", "width", "height"} (from the paper's top-left
//   corner, the paper upright), "dpi", "orientation" ("portrait", or "landscape": the sheet lies across
//   the paper and is turned onto it when printed), "sheetWidthPx", "sheetHeightPx", "sheetWidthMm",
//   "sheetHeightMm", "rows", "columns", "magnetsPerSheet", "imageCount", "sheetsNeeded",
//   "magnetWidthPx", "magnetHeightPx", "magnetWidthMm", "magnetHeightMm" (as printed), "gapPx", "gapMm",
//   "bleedPx", "bleedMm", "pixelRounding" ("nearest": every millimetre size rounded to the nearest whole
//   pixel at the dpi), "marginsPx" {"left", "right", "top", "bottom"} (the sheet's, centring the grid),
//   "sheetOnPaperMm" and "gridOnPaperMm" (where the sheet and the magnets' cut edges print, as
//   "printableAreaMm"), "printsAtTrueSize", and "request": the "createGridImages" arguments of the
//   plan (add "imagePaths" and "outputPaths", one output per sheet).
//   With "imagePaths": "preflight", one map per photo ("imagePath", "sheet", "readable", "widthPx",
//   "heightPx", "turned", "effectivePpi", "facesChecked", "faces", "facesCut", "faceAreas": the faces as
//   fractions of the upright photo, the "imageFaces" entry of a request that should not look for them
//   again, "warnings": a list of "unreadable", "lowResolution", "faceCut", and "reason" when unreadable),
//   and "preflightWarnings", the number of photos with a warning. "imageFaces" given to the plan are used
//   instead of a search.
// Errors: "MAGNET_TOO_LARGE" with the printable size in its message when not one magnet fits;
// "PRINTER_ERROR" ("Failed to open printer", "No default printer", "No paper sizes available");
// "PAPER_NOT_FOUND" ("Paper '<name>' not found on <printer>"); "INVALID_ARGUMENTS" for a sheet beyond the
// largest one at that dpi.
// Runs on the face lane (it reads the photos and looks for their faces); a call the host ends first is
// answered "GRID_ERROR" with "Sheet plan stopped: the application is closing".
#pragma once

#include <vector>

#include "runner/channels/channel.h"
#include "runner/services.h"

namespace runner::printing {

MethodHandler MakePlanMagnetSheetsHandler(const Services& services);

// The family's rows of the `printing_channel` method table.
std::vector<MethodEntry> PlansMethodTable(const Services& services);

}  // namespace runner::printing
