// Reading the arguments of the printers family's methods.
#include "runner/printing/printers/printers_args.h"

#include "base/utf8.h"
#include "platform/paper/paper_table.h"
#include "runner/channels/channel_args.h"
#include "runner/channels/channel_errors.h"

namespace runner::printing {
namespace {

// The sides of "paperSize" (absent or another kind: 0). A size whose sides are both given (at least 1 mm)
// must be from 10 mm to 5 m, else it is answered on `result` and false returned; a side under 1 mm means
// no size is asked for.
bool ReadPaperSize(const EncodableMap& args, int32_t* width_mm, int32_t* height_mm, MethodResult& result) {
  const EncodableMap* size = LookUp(args, "paperSize", kMap).value.value_or(nullptr);
  if (size == nullptr) return true;
  *width_mm = LookUp(*size, "width", kInt32OrDouble).value.value_or(0);
  *height_mm = LookUp(*size, "height", kInt32OrDouble).value.value_or(0);
  if (*width_mm < 1 || *height_mm < 1) return true;
  if (platform::IsPhysicalPaperSide(int64_t{*width_mm} * 10) && platform::IsPhysicalPaperSide(int64_t{*height_mm} * 10)) {
    return true;
  }
  AnswerError(result, InvalidValueForKey("paperSize", "sides from 10 to 5000 mm"));
  return false;
}

}  // namespace

const EncodableList* ReadImagePathsOrAnswer(const MethodCall& call, MethodResult& result) {
  const EncodableMap* args = ArgumentMap(call);
  if (args == nullptr) {
    AnswerError(result, kExpectedMapOfArguments);
    return nullptr;
  }
  const EncodableList* paths = LookUp(*args, "imagePaths", kList).value.value_or(nullptr);
  if (paths == nullptr) {
    AnswerError(result, kMissingImagePaths);
    return nullptr;
  }
  if (paths->empty()) {
    AnswerError(result, kNoImagesToPrint);
    return nullptr;
  }
  return paths;
}

std::string FirstImagePath(const MethodCall& call) {
  if (const EncodableMap* args = ArgumentMap(call)) {
    if (const EncodableList* paths = LookUp(*args, "imagePaths", kList).value.value_or(nullptr)) {
      const std::vector<std::string> strings = ReadElements(*paths, kString);
      if (!strings.empty()) return strings.front();
    }
  }
  return std::string();
}

std::optional<PrintJobRequest> ReadPrintWithLayoutRequest(const MethodCall& call, MethodResult& result) {
  const EncodableList* paths = ReadImagePathsOrAnswer(call, result);
  if (paths == nullptr) return std::nullopt;
  const EncodableMap& args = *ArgumentMap(call);
  PrintJobRequest request;
  request.image_paths = ReadElements(*paths, kString);
  if (request.image_paths.empty()) {
    AnswerError(result, kNoValidFilePaths);
    return std::nullopt;
  }
  request.printer_name = LookUp(args, "printerName", kString).value.value_or("");
  request.copies = LookUp(args, "copies", kInt32).value.value_or(1);
  if (!ReadPaperSize(args, &request.paper_width_mm, &request.paper_height_mm, result)) return std::nullopt;
  return request;
}

std::optional<PaperDialogRequest> ReadPaperDialogRequest(const MethodCall& call, MethodResult& result) {
  PaperDialogRequest request;
  std::string name;
  const EncodableValue* argument = call.arguments();
  if (std::optional<std::string> bare = Read(argument, kString)) {
    name = *bare;
  } else if (const EncodableMap* args = ArgumentMap(call)) {
    KeyLookup<std::string> found = LookUp(*args, "printerName", kString);
    if (found.outcome == LookupOutcome::kAbsent) {
      AnswerError(result, kMissingPrinterName);
      return std::nullopt;
    }
    if (found.outcome == LookupOutcome::kWrongKind || found.value->empty()) {
      AnswerError(result, kPrinterNameMustBeString);
      return std::nullopt;
    }
    name = *found.value;
    request.record = LookUp(*args, "devmodeBytes", kByteList).value.value_or(nullptr);
  } else {
    AnswerError(result, kExpectedPrinterNameOrMap);
    return std::nullopt;
  }
  // The name as the system will see it (up to its first NUL).
  if (base::Utf8ToUtf16(name).empty()) {
    AnswerError(result, kEmptyPrinterName);
    return std::nullopt;
  }
  request.printer_name = base::Utf16ToUtf8(base::Utf8ToUtf16(name));
  return request;
}

std::optional<DefaultPrinterRequest> ReadDefaultPrinterRequest(const MethodCall& call, MethodResult& result) {
  const EncodableMap* args = ArgumentMap(call);
  if (args == nullptr) {
    AnswerError(result, kExpectedMapOfArguments);
    return std::nullopt;
  }
  std::optional<std::string> given = LookUp(*args, "printerName", kString).value;
  if (!given) {
    AnswerError(result, kMissingPrinterName);
    return std::nullopt;
  }
  DefaultPrinterRequest request;
  request.printer_name = base::Utf16ToUtf8(base::Utf8ToUtf16(*given));
  request.paper_name = LookUp(*args, "paperName", kString).value;
  if (!request.paper_name && !ReadPaperSize(*args, &request.width_mm, &request.height_mm, result)) {
    return std::nullopt;
  }
  return request;
}

}  // namespace runner::printing
