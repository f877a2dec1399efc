// Opening and printing image files the desktop way: "printImagesWindows" (open each file in the default
// application), "printImagesToPrinter" (print each file, tolerant of failures) and
// "printToPrinterWindows" (print each file a number of times on the named printer, strict).
//
// Opening goes through the Shell port. Printing a file is our own one-page job (the picture fitted to
// the page, titled with the file name) on the printer: the default one, or for "printToPrinterWindows"
// the named one when it exists. Each file is one job; copies are that job's copies, clamped to
// kMaxShellCopies (0 or less prints nothing).
// All three answer before they return; printing_channel runs them on the host's lanes (opening on the
// shell lane, printing on the print lane), never on the platform thread.
#pragma once

#include "runner/channels/channel.h"
#include "runner/services.h"

namespace runner::printing {

inline constexpr int32_t kMaxShellCopies = 100;

MethodHandler MakePrintImagesHandler(const Services& services);
MethodHandler MakePrintImagesToPrinterHandler(const Services& services);
MethodHandler MakePrintToPrinterHandler(const Services& services);

}  // namespace runner::printing
