// Reading the arguments of the printers family's methods of `printing_channel` ("printWithLayoutWindows",
// "printImagesToPrinter", "pickPaperSizeWindows", "setDefaultPrinterAndPaper").
//
// Each reader answers a refused argument itself, on `result`, with its error row, and returns nothing;
// the handler then returns at once. Strings are taken whole; the print job reads paths up to their NUL.
// Thread safety: pure.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "runner/channels/channel.h"
#include "runner/printing/printers/print_job.h"

namespace runner::printing {

// The "imagePaths" list of a printing call's argument map, read as the printing methods share it: a
// missing or non-map argument, a missing list and an empty list are answered on `result` with their error
// rows, and null is returned; otherwise the list.
const EncodableList* ReadImagePathsOrAnswer(const MethodCall& call, MethodResult& result);

// The first string element of the "imagePaths" list of a call's argument map, or empty.
std::string FirstImagePath(const MethodCall& call);

// The job of "printWithLayoutWindows": "imagePaths" as above (its string elements; none is "No valid file
// paths"), "printerName" (string, empty: the default printer), "paperSize" (a map of "width" and
// "height" in mm, int32 or double; both given and either under 10 mm or over 5 m: "INVALID_ARGUMENTS"
// naming "paperSize") and "copies" (int32, 1 when absent or of another kind).
std::optional<PrintJobRequest> ReadPrintWithLayoutRequest(const MethodCall& call, MethodResult& result);

// "pickPaperSizeWindows": a bare printer name, or a map with "printerName" (a non-empty string) and
// perhaps "devmodeBytes" (a byte list). The name is taken as the system will see it (up to its first
// NUL); a name empty there is refused.
struct PaperDialogRequest {
  std::string printer_name;
  const std::vector<uint8_t>* record = nullptr;  // the caller's settings record, inside the call; may be null
};
std::optional<PaperDialogRequest> ReadPaperDialogRequest(const MethodCall& call, MethodResult& result);

// "setDefaultPrinterAndPaper": a map with "printerName" (string, taken up to its first NUL), and either
// "paperName" (string) or "paperSize" (a map of "width" and "height" in mm, int32 or double; 0 when absent;
// refused as for "printWithLayoutWindows").
struct DefaultPrinterRequest {
  std::string printer_name;
  std::optional<std::string> paper_name;
  int32_t width_mm = 0;
  int32_t height_mm = 0;
};
std::optional<DefaultPrinterRequest> ReadDefaultPrinterRequest(const MethodCall& call, MethodResult& result);

}  // namespace runner::printing
