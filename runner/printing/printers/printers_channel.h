// The printers family's part of `printing_channel`: listing printers, the default printer, a printer's
// papers, the settings dialogs, making a printer the default with its paper, printing with layout, and
// opening and printing image files the desktop way; their handlers and their rows of the method table.
//
// Each Make*Handler returns the handler of one method; every path answers exactly once. The handlers use
// services.spooler (printers: the system's and the built-in PDF printer), services.settings_dialog,
// services.print_dialog, services.shell and services.graphics; a null port answers as its operation
// failing. The printer and paper methods answer on the platform thread before they return; the methods
// that print or open files run on the host's lanes (services.lanes, when given): opening on the shell
// lane, printing on the print lane (two jobs at once, the others in order), never on the platform thread.
#pragma once

#include <cstdint>
#include <vector>

#include "runner/channels/channel.h"
#include "runner/services.h"

namespace runner::printing {

inline constexpr int32_t kMaxShellCopies = 100;

// "getPrintersWindows" and "getAvailablePrinters": the list of printer summaries; never an error.
MethodHandler MakeGetPrintersHandler(const Services& services);
// "getDefaultPrinterWindows": the default printer's summary, or null.
MethodHandler MakeGetDefaultPrinterHandler(const Services& services);
// "getPrinterCapabilitiesWindows": { "supportedPaperSizes": paper entries }. Each entry also carries the
// paper's printable margins, "marginLeft", "marginTop", "marginRight", "marginBottom" (doubles, mm, for the
// paper upright); a borderless paper is a separate entry with its own label and zero margins.
MethodHandler MakeGetPrinterCapabilitiesHandler(const Services& services);
// "pickPaperSizeWindows": the printer's settings dialog (paper_dialog.h); the chosen paper and settings
// record, or null.
MethodHandler MakePickPaperSizeHandler(const Services& services);
// "pickPrinterAndPaperWindows": the print dialog; the chosen printer and record, or null.
MethodHandler MakePickPrinterAndPaperHandler(const Services& services);
// "setDefaultPrinterAndPaper": { "printerSet", "paperSet" }.
MethodHandler MakeSetDefaultPrinterAndPaperHandler(const Services& services);

// "printWithLayoutWindows": reads the arguments (printers_args.h) on the platform thread, then runs the job
// (print_job.h) on the print lane, whose worker answers true or the job's error row.
MethodHandler MakePrintWithLayoutHandler(const Services& services);

// Opening and printing files the desktop way: "printImagesWindows" opens each file in the default
// application (Shell port); "printImagesToPrinter" prints each file on the default printer, tolerant of
// failures; "printToPrinterWindows" prints each file a number of times on the named printer, strict.
// Printing a file is one job of its own (PrintFileOnPrinter); copies are that job's copies, clamped to
// kMaxShellCopies (0 or less prints nothing).
MethodHandler MakePrintImagesHandler(const Services& services);
MethodHandler MakePrintImagesToPrinterHandler(const Services& services);
MethodHandler MakePrintToPrinterHandler(const Services& services);

// The family's rows of the `printing_channel` method table. "getPrintersWindows" and
// "getAvailablePrinters" are bound to one handler, so they give identical replies.
std::vector<MethodEntry> PrintersMethodTable(const Services& services);

}  // namespace runner::printing
