// The `printing_channel` channel: its method table and its setup.
#include "runner/printing/printing_channel.h"

#include <cstdio>

#include "runner/channels/channel_args.h"
#include "runner/channels/channel_errors.h"
#include "runner/work_lanes.h"

#include "runner/printing/baking/baking_methods.h"
#include "runner/printing/printers/print_job.h"
#include "runner/printing/printers/printer_methods.h"
#include "runner/printing/printers/shell_methods.h"
#include "runner/printing/sheets/sheet_methods.h"

namespace runner::printing {
namespace {

// The failure rows of calls that the host ends before their work could (it is closing, or a lane had no
// room): each the row its method already answers when its work fails.
void SheetJobStopped(const MethodCall&, MethodResult& result) {
  AnswerError(result, GridError("Sheet job stopped: the application is closing"));
}
void BakeStopped(const MethodCall&, MethodResult& result) {
  AnswerError(result, BakingException("Baking stopped: the application is closing"));
}
void OpenStopped(const MethodCall&, MethodResult& result) { AnswerError(result, kFailedToOpenWithDefaultApp); }
void PrintImagesStopped(const MethodCall&, MethodResult& result) { AnswerError(result, kFailedToPrintAnyImages); }
// "Failed to print image: " with the first path of the call.
void PrintToPrinterStopped(const MethodCall& call, MethodResult& result) {
  std::string first;
  if (const EncodableMap* args = ArgumentMap(call)) {
    if (const EncodableList* paths = LookUp(*args, "imagePaths", kList).value.value_or(nullptr)) {
      const std::vector<std::string> strings = ReadElements(*paths, kString);
      if (!strings.empty()) first = strings.front();
    }
  }
  AnswerError(result, PrintImageFailed(first));
}

}  // namespace

std::array<MethodEntry, kPrintingMethodCount> PrintingMethodTable(const Services& services) {
  // Handlers are plugged in here as they are written, one line each; an empty handler answers
  // not-implemented. The two shared handlers are named once so both names of a pair stay bound to the
  // same operation.
  const MethodHandler get_printers = MakeGetPrintersHandler(services);  // "getPrintersWindows" = "getAvailablePrinters"
  // The work that waits on files, helper programs or printers runs on the host's lanes, never on the
  // platform thread.
  WorkLanes* lanes = services.lanes;
  PendingWork* pending = services.pending;
  const MethodHandler create_grid_images =  // = "createGridImagesFast"
      OnLane(lanes ? &lanes->sheets : nullptr, pending, "sheet job", SheetJobStopped, MakeCreateGridImagesHandler(services));

  return {{
      {"printImagesWindows",
       OnLane(lanes ? &lanes->shell : nullptr, pending, "shell request", OpenStopped, MakePrintImagesHandler(services))},
      {"getPrintersWindows", get_printers},
      {"getDefaultPrinterWindows", MakeGetDefaultPrinterHandler(services)},
      {"printToPrinterWindows", OnLane(lanes ? &lanes->prints : nullptr, pending, "print job", PrintToPrinterStopped,
                                       MakePrintToPrinterHandler(services))},
      {"pickPaperSizeWindows", MakePickPaperSizeHandler(services)},
      {"pickPrinterAndPaperWindows", MakePickPrinterAndPaperHandler(services)},
      {"getPrinterCapabilitiesWindows", MakeGetPrinterCapabilitiesHandler(services)},
      {"getAvailablePrinters", get_printers},
      {"printImagesToPrinter", OnLane(lanes ? &lanes->prints : nullptr, pending, "print job", PrintImagesStopped,
                                      MakePrintImagesToPrinterHandler(services))},
      {"bakeImagesForPrinting",
       OnLane(lanes ? &lanes->bakes : nullptr, pending, "bake", BakeStopped, BakeImagesMethod(services))},
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
