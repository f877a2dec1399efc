// Opening and printing image files the desktop way.
#include "runner/printing/printers/shell_methods.h"

#include <algorithm>

#include "platform/graphics.h"
#include "platform/shell.h"
#include "platform/spooler.h"
#include "runner/channels/channel_args.h"
#include "runner/log.h"
#include "runner/printing/printers/print_job.h"

namespace runner::printing {
namespace {

// The shell's error number for a refused "print": no application could print the file.
constexpr int kShellNoAssociation = 31;

// Prints `path` as one job of `copies` copies of its page on `printer`, or on the default printer when
// `printer` is empty or unknown; the default printer is not changed. Returns the shell-style answer.
int PrintFile(platform::Spooler* spooler, platform::Graphics* graphics, ThreadRegistry* threads,
              const std::string& path, const std::string& printer, int32_t copies) {
  if (spooler == nullptr || graphics == nullptr) return kShellNoAssociation;
  PrintJobRequest request;
  request.image_paths = {path};
  request.copies = copies;
  const size_t slash = path.rfind('/');
  request.document_name = slash == std::string::npos ? path : path.substr(slash + 1);
  request.make_default = false;
  if (!printer.empty() && spooler->HasPrinter(printer)) request.printer_name = printer;
  return PrintWithLayoutWindows(request, *spooler, *graphics, threads) ? kShellNoAssociation
                                                                       : platform::kShellAccepted;
}

}  // namespace

MethodHandler MakePrintImagesHandler(const Services& services) {
  platform::Shell* shell = services.shell;
  return [shell](const MethodCall& call, std::unique_ptr<MethodResult> result) {
    const EncodableList* list = Read(call.arguments(), kList).value_or(nullptr);
    if (list == nullptr) return AnswerError(*result, kExpectedArrayOfStrings);
    for (const EncodableValue& element : *list) {
      std::optional<std::string> path = Read(&element, kString);
      if (!path) return AnswerError(*result, kExpectedStringPath);
      // The path as the system sees it: up to its first NUL.
      const std::string system_path = path->substr(0, path->find('\0'));
      if (shell == nullptr || system_path.empty() || !shell->PathExists(system_path)) {
        return AnswerError(*result, ImageFileNotFound(*path));
      }
      const int answer = shell->Open(system_path);
      if (answer <= 32) {
        LogLine("DEBUG: ShellExecute open failed for file, error=" + std::to_string(answer));
        return AnswerError(*result, kFailedToOpenWithDefaultApp);
      }
    }
    result->Success(EncodableValue(true));
  };
}

MethodHandler MakePrintImagesToPrinterHandler(const Services& services) {
  platform::Spooler* spooler = services.spooler;
  platform::Graphics* graphics = services.graphics;
  ThreadRegistry* threads = services.threads;
  return [spooler, graphics, threads](const MethodCall& call, std::unique_ptr<MethodResult> result) {
    const EncodableList* paths = ReadImagePathsOrAnswer(call, *result);
    if (paths == nullptr) return;
    bool any = false;
    for (const std::string& path : ReadElements(*paths, kString)) {
      const int answer = PrintFile(spooler, graphics, threads, path.substr(0, path.find('\0')), "", 1);
      if (answer > 32) {
        any = true;
      } else {
        LogLine("DEBUG: ShellExecute print failed for file, error=" + std::to_string(answer));
      }
    }
    if (!any) return AnswerError(*result, kFailedToPrintAnyImages);
    result->Success();
  };
}

MethodHandler MakePrintToPrinterHandler(const Services& services) {
  platform::Spooler* spooler = services.spooler;
  platform::Graphics* graphics = services.graphics;
  ThreadRegistry* threads = services.threads;
  return [spooler, graphics, threads](const MethodCall& call, std::unique_ptr<MethodResult> result) {
    const EncodableMap* args = ArgumentMap(call);
    if (args == nullptr) return AnswerError(*result, kExpectedMapOfArguments);
    const EncodableList* paths = LookUp(*args, "imagePaths", kList).value.value_or(nullptr);
    std::optional<std::string> printer = LookUp(*args, "printerName", kString).value;
    if (paths == nullptr || !printer) return AnswerError(*result, kMissingRequiredArguments);
    int32_t copies = LookUp(*args, "copies", kInt32).value.value_or(1);
    if (copies > kMaxShellCopies) {
      LogLine("DEBUG: copies " + std::to_string(copies) + " clamped to " + std::to_string(kMaxShellCopies));
      copies = kMaxShellCopies;
    }
    if (copies < 1) return result->Success(EncodableValue(true));  // nothing asked for, nothing printed
    for (const std::string& path : ReadElements(*paths, kString)) {
      if (PrintFile(spooler, graphics, threads, path.substr(0, path.find('\0')), *printer, copies) <= 32) {
        return AnswerError(*result, PrintImageFailed(path));
      }
    }
    result->Success(EncodableValue(true));
  };
}

}  // namespace runner::printing
