// Print with layout: one print job of image files, one page per loadable image, each turned to the
// page and centred: at its physical size when its file states a resolution and that size fits the
// printable area (magnets print at the size they were designed at), else fitted into the printable area.
//
// The job prepares under PrinterSettingsLock() (makes the named printer the default, sets its paper,
// reads the settings it will print with, opens the device), so overlapping jobs never print on each
// other's printer or paper; the pages of different jobs may then overlap. A named printer is printed on
// even when making it the default failed; a paper size it cannot take is logged with the paper printed on
// instead. Pictures go through the Graphics port: JPEG files up to 48 megapixels are checked by a reduced
// decode and then placed as they are stored (no re-encoding) when the device can carry them so, else drawn
// from their decoded pixels; other pictures, and larger JPEGs, are decoded at no more than the device
// pixels they will cover.
// An image that cannot be loaded (missing, corrupt, over the pixel budget) costs its page only.
// Outcome: success when at least one page was ended and the job was not aborted by a failure; a job
// cancelled from outside after some pages counts as success.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/graphics.h"
#include "platform/spooler.h"

namespace imaging::colour {
class ColourTransforms;
}

namespace platform {
class FileSystem;
}

namespace runner {
class ThreadRegistry;
}

namespace runner::printing {

inline constexpr std::string_view kPrintDocumentName = "PictaVera Print";

struct PrintJobRequest {
  std::vector<std::string> image_paths;  // at least one
  std::string printer_name;              // empty: the default printer, unchanged
  int32_t paper_width_mm = 0;            // both above 0: set on the named printer first
  int32_t paper_height_mm = 0;
  std::string document_name = std::string(kPrintDocumentName);
  bool make_default = true;              // false: print on the named printer, leave the default alone
  int32_t copies = 1;                    // every page this many times, in this one job (1 to 32767)
};

// How a job's pictures reach its pages: each converted once, from its own profile into the page's space.
// A page shows sRGB, except with a usable custom printer profile: the pictures then become that printer's
// own numbers and the job tells the printer (cm-calibration) that its colours are already managed, so
// that nothing converts them a second time. A picture already in the page's space is placed as stored.
struct PrintColour {
  std::string job_value;                                    // OutputJobValue; empty: numbers as stored
  platform::FileSystem* files = nullptr;                    // reads a custom profile
  imaging::colour::ColourTransforms* transforms = nullptr;  // null: a table of the job's own
};

// Why a job printed nothing.
enum class PrintFailure {
  kNoDevice,            // no printer, or its page device could not be opened
  kDocumentNotStarted,  // no printable area, or the document was refused
  kNoPagePrinted,       // no page ended, or the job was aborted by a failure
};

// Runs the job on the calling thread. nullopt for success, else why it failed. `threads` (may be null)
// is watched between pages: when the window closes the job is cancelled, never left unfinished.
std::optional<PrintFailure> PrintWithLayoutWindows(const PrintJobRequest& request, platform::Spooler& spooler,
                                                   const platform::Graphics& graphics, const ThreadRegistry* threads,
                                                   const PrintColour& colour = {});

// Prints the file `path` as the desktop prints a file: one job named after the file, of `copies` copies
// of its page, on `printer`, or on the default printer when `printer` is empty or unknown; the default
// printer is not changed. True when the job succeeded.
bool PrintFileOnPrinter(platform::Spooler& spooler, const platform::Graphics& graphics, const ThreadRegistry* threads,
                        const std::string& path, const std::string& printer, int32_t copies,
                        const PrintColour& colour = {});

}  // namespace runner::printing
