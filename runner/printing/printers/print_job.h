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
#include "runner/channels/channel.h"
#include "runner/channels/channel_errors.h"
#include "runner/services.h"

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
  int32_t copies = 0;                    // above 0: every page this many times, in this one job
};

// Runs the job on the calling thread. nullopt for success, else the error to answer. `threads` (may be
// null) is watched between pages: when the window closes the job is cancelled, never left unfinished.
std::optional<ChannelError> PrintWithLayoutWindows(const PrintJobRequest& request, platform::Spooler& spooler,
                                                   const platform::Graphics& graphics, const ThreadRegistry* threads);

// The "imagePaths" list of a printing call's argument map, read as the printing methods share it: a
// missing or non-map argument, a missing list and an empty list are answered on `result` with their error
// rows, and null is returned; otherwise the list.
const EncodableList* ReadImagePathsOrAnswer(const MethodCall& call, MethodResult& result);

// "printWithLayoutWindows": reads the arguments on the platform thread, then runs the job on the print
// lane (services.lanes->prints, two jobs at once, the others in order), whose worker answers.
MethodHandler MakePrintWithLayoutHandler(const Services& services);

}  // namespace runner::printing
