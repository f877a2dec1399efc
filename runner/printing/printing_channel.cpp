// The `printing_channel` channel: its method table and its setup.
#include "runner/printing/printing_channel.h"

#include <cstdio>

#include "runner/printing/baking/baking_methods.h"
#include "runner/printing/printers/print_job.h"
#include "runner/printing/printers/printer_methods.h"
#include "runner/printing/printers/shell_methods.h"
#include "runner/printing/sheets/sheet_methods.h"

namespace runner::printing {

std::array<MethodEntry, kPrintingMethodCount> PrintingMethodTable(const Services& services) {
  // Handlers are plugged in here as they are written, one line each; an empty handler answers
  // not-implemented. The two shared handlers are named once so both names of a pair stay bound to the
  // same operation.
  const MethodHandler get_printers = MakeGetPrintersHandler(services);  // "getPrintersWindows" = "getAvailablePrinters"
  const MethodHandler create_grid_images = MakeCreateGridImagesHandler(services);  // = "createGridImagesFast"

  return {{
      {"printImagesWindows", MakePrintImagesHandler(services)},
      {"getPrintersWindows", get_printers},
      {"getDefaultPrinterWindows", MakeGetDefaultPrinterHandler(services)},
      {"printToPrinterWindows", MakePrintToPrinterHandler(services)},
      {"pickPaperSizeWindows", MakePickPaperSizeHandler(services)},
      {"pickPrinterAndPaperWindows", MakePickPrinterAndPaperHandler(services)},
      {"getPrinterCapabilitiesWindows", MakeGetPrinterCapabilitiesHandler(services)},
      {"getAvailablePrinters", get_printers},
      {"printImagesToPrinter", MakePrintImagesToPrinterHandler(services)},
      {"bakeImagesForPrinting", BakeImagesMethod(services)},
      {"getColorProfiles", GetColorProfilesMethod()},
      {"getSelectedColorProfile", GetSelectedColorProfileMethod(services)},
      {"setSelectedColorProfile", SetSelectedColorProfileMethod(services)},
      {"createGridImages", create_grid_images},
      {"createGridImagesFast", create_grid_images},
      {"createGridImagesFastAsync", MakeCreateGridImagesAsyncHandler(services)},
      {"checkGridJobStatus", MakeCheckGridJobStatusHandler(services)},
      {"printWithLayoutWindows", MakePrintWithLayoutHandler(services)},
      {"setDefaultPrinterAndPaper", MakeSetDefaultPrinterAndPaperHandler(services)},
  }};
}

void SetupPrintingChannel(flutter::BinaryMessenger* messenger, std::unique_ptr<Channel>& slot,
                          const Services& services) {
  // The debugger output of the desktop build is standard error here; one line.
  std::fputs("DEBUG: SetupPrintingChannel called\n", stderr);
  std::fflush(stderr);
  InstallChannel(messenger, kPrintingChannelName, PrintingMethodTable(services), slot);
}

}  // namespace runner::printing
