// The printer and paper methods of `printing_channel`: listing printers, the default printer, a printer's
// papers, the settings dialogs, and making a printer the default with its paper.
//
// Each Make*Handler returns the handler of one method; it answers on the platform thread before it
// returns. The handlers use services.spooler (printers: the system's and the built-in PDF printer),
// services.settings_dialog and services.print_dialog; a null port answers as its operation failing.
#pragma once

#include "runner/channels/channel.h"
#include "runner/services.h"

namespace runner::printing {

// "getPrintersWindows" and "getAvailablePrinters": the list of printer summaries; never an error.
MethodHandler MakeGetPrintersHandler(const Services& services);
// "getDefaultPrinterWindows": the default printer's summary, or null.
MethodHandler MakeGetDefaultPrinterHandler(const Services& services);
// "getPrinterCapabilitiesWindows": { "supportedPaperSizes": paper entries }. Each entry also carries the
// paper's printable margins, "marginLeft", "marginTop", "marginRight", "marginBottom" (doubles, mm, for the
// paper upright); a borderless paper is a separate entry with its own label and zero margins.
MethodHandler MakeGetPrinterCapabilitiesHandler(const Services& services);
// "pickPaperSizeWindows": the printer's settings dialog; the chosen paper and settings record, or null.
MethodHandler MakePickPaperSizeHandler(const Services& services);
// "pickPrinterAndPaperWindows": the print dialog; the chosen printer and record, or null.
MethodHandler MakePickPrinterAndPaperHandler(const Services& services);
// "setDefaultPrinterAndPaper": { "printerSet", "paperSet" }.
MethodHandler MakeSetDefaultPrinterAndPaperHandler(const Services& services);

}  // namespace runner::printing
