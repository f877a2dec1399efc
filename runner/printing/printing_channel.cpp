// The `printing_channel` channel: the families' rows joined into its method table, and its setup.
#include "runner/printing/printing_channel.h"

#include <cstdio>
#include <vector>

#include "runner/channels/channel_errors.h"
#include "runner/printing/baking/baking_channel.h"
#include "runner/printing/plans/plans_channel.h"
#include "runner/printing/printers/printers_channel.h"
#include "runner/printing/sheets/sheets_channel.h"

namespace runner::printing {
namespace {

// The channel's methods in the order of comparison.
constexpr std::array<std::string_view, kPrintingMethodCount> kPrintingMethodNames = {
    "printImagesWindows",
    "getPrintersWindows",
    "getDefaultPrinterWindows",
    "printToPrinterWindows",
    "pickPaperSizeWindows",
    "pickPrinterAndPaperWindows",
    "getPrinterCapabilitiesWindows",
    "getAvailablePrinters",
    "printImagesToPrinter",
    "bakeImagesForPrinting",
    "getColorProfiles",
    "getSelectedColorProfile",
    "setSelectedColorProfile",
    "createGridImages",
    "createGridImagesFast",
    "createGridImagesFastAsync",
    "checkGridJobStatus",
    "printWithLayoutWindows",
    "setDefaultPrinterAndPaper",
    "planMagnetSheets",
};

}  // namespace

std::array<MethodEntry, kPrintingMethodCount> PrintingMethodTable(const Services& services) {
  std::vector<MethodEntry> rows = PrintersMethodTable(services);
  for (std::vector<MethodEntry> family : {BakingMethodTable(services), SheetsMethodTable(services), PlansMethodTable(services)}) {
    rows.insert(rows.end(), family.begin(), family.end());
  }
  std::array<MethodEntry, kPrintingMethodCount> table;
  for (size_t i = 0; i < kPrintingMethodCount; ++i) {
    table[i].name = kPrintingMethodNames[i];
    if (const MethodEntry* row = FindMethod(rows, kPrintingMethodNames[i])) table[i].handler = row->handler;
  }
  return table;
}

void SetupPrintingChannel(flutter::BinaryMessenger* messenger, std::unique_ptr<Channel>& slot,
                          const Services& services) {
  // The debugger output of the desktop build is standard error here; one line.
  std::fputs("DEBUG: SetupPrintingChannel called\n", stderr);
  std::fflush(stderr);
  InstallChannel(messenger, kPrintingChannelName, PrintingMethodTable(services), slot,
                 [](const ChannelError& error, MethodResult& result) { AnswerError(result, error); });
}

}  // namespace runner::printing
