// The printers family's handlers and table rows: arguments read, work started, replies written.
#include "runner/printing/printers/printers_channel.h"

#include <mutex>

#include "base/utf8.h"
#include "platform/print_dialog.h"
#include "platform/settings_dialog.h"
#include "platform/spooler.h"
#include "platform/graphics.h"
#include "platform/shell.h"
#include "runner/channels/channel_args.h"
#include "runner/channels/channel_errors.h"
#include "runner/channels/on_lane.h"
#include "runner/channels/pending_work.h"
#include "runner/colour_output.h"
#include "runner/log.h"
#include "runner/printing/baking/color_profiles.h"
#include "runner/printing/printers/paper_dialog.h"
#include "runner/printing/printers/paper_setter.h"
#include "runner/printing/printers/print_job.h"
#include "runner/printing/printers/printers_args.h"
#include "runner/printing/printers/settings_record.h"
#include "runner/thread_registry.h"
#include "runner/work_lanes.h"
#include "runner/work_queue.h"
#include "runner/status_numbers.h"

namespace runner::printing {
namespace {

// Listed printers are offered with these three papers; the real list comes from the capabilities.
EncodableList SupportedPaperLabels() {
  return EncodableList{EncodableValue("A4"), EncodableValue("Letter"), EncodableValue("4x6")};
}

EncodableMap PrinterSummaryMap(const std::string& name, bool is_default, bool online, const std::string& description) {
  return EncodableMap{
      {EncodableValue("name"), EncodableValue(name)},
      {EncodableValue("displayName"), EncodableValue(name)},
      {EncodableValue("isDefault"), EncodableValue(is_default)},
      {EncodableValue("isOnline"), EncodableValue(online)},
      {EncodableValue("description"), EncodableValue(description)},
      {EncodableValue("supportedPaperSizes"), EncodableValue(SupportedPaperLabels())},
  };
}

std::string PaperLabelOrNumber(const platform::Paper& paper) {
  return paper.label.empty() ? "DMPAPER_" + std::to_string(paper.id) : paper.label;
}

// Where a print job finds the colour-profile selection, read when the job is asked for.
struct ColourSource {
  const platform::SettingsStore* settings = nullptr;
  platform::FileSystem* files = nullptr;
  imaging::colour::ColourTransforms* transforms = nullptr;

  explicit ColourSource(const Services& services)
      : settings(services.settings), files(services.files), transforms(services.colour) {}
  PrintColour Now() const { return {ColourJobValue(LoadSelectedColorProfile(settings)), files, transforms}; }
};

// Prints `path` (PrintFileOnPrinter), answering as the desktop's print verb would: a file that could not
// be printed is one the desktop has no application to print with.
base::Status PrintFile(platform::Spooler* spooler, platform::Graphics* graphics, ThreadRegistry* threads,
                       const std::string& path, const std::string& printer, int32_t copies,
                       const PrintColour& colour) {
  if (spooler != nullptr && graphics != nullptr &&
      PrintFileOnPrinter(*spooler, *graphics, threads, path, printer, copies, colour)) {
    return base::Status::Ok();
  }
  return base::Status::Unsupported(path + " could not be printed");
}

// The failure rows of calls that the host ends before their work could (it is closing, or a lane had no
// room): each the row its method already answers when its work fails.
void OpenStopped(const MethodCall&, MethodResult& result) { AnswerError(result, kFailedToOpenWithDefaultApp); }
void PrintImagesStopped(const MethodCall&, MethodResult& result) { AnswerError(result, kFailedToPrintAnyImages); }
// "Failed to print image: " with the first path of the call.
void PrintToPrinterStopped(const MethodCall& call, MethodResult& result) {
  AnswerError(result, PrintImageFailed(FirstImagePath(call)));
}

}  // namespace

MethodHandler MakeGetPrintersHandler(const Services& services) {
  platform::Spooler* spooler = services.spooler;
  return [spooler](const MethodCall&, std::unique_ptr<MethodResult> result) {
    EncodableList list;
    if (spooler != nullptr) {
      const std::optional<std::string> default_name = spooler->DefaultPrinter();
      for (const platform::PrinterSummary& printer : spooler->Printers()) {
        const bool is_default = !printer.name.empty() && default_name && *default_name == printer.name;
        list.emplace_back(PrinterSummaryMap(printer.name, is_default, !printer.offline, printer.comment));
      }
    }
    result->Success(EncodableValue(std::move(list)));
  };
}

MethodHandler MakeGetDefaultPrinterHandler(const Services& services) {
  platform::Spooler* spooler = services.spooler;
  return [spooler](const MethodCall&, std::unique_ptr<MethodResult> result) {
    const std::optional<std::string> name = spooler != nullptr ? spooler->DefaultPrinter() : std::nullopt;
    if (!name || name->empty()) {
      result->Success();
      return;
    }
    result->Success(EncodableValue(PrinterSummaryMap(*name, true, true, "Default system printer")));
  };
}

MethodHandler MakeGetPrinterCapabilitiesHandler(const Services& services) {
  platform::Spooler* spooler = services.spooler;
  return [spooler](const MethodCall& call, std::unique_ptr<MethodResult> result) {
    const EncodableMap* args = ArgumentMap(call);
    std::optional<std::string> name;
    if (args != nullptr) name = LookUp(*args, "printerName", kString).value;
    if (!name || name->empty()) return AnswerError(*result, kPrinterNameRequired);
    if (spooler == nullptr || !spooler->HasPrinter(*name)) return AnswerError(*result, kFailedToOpenPrinter);
    // The current settings are not used; reading them shows that the printer answers.
    if (!spooler->CurrentSettings(*name)) return AnswerError(*result, kFailedToGetDevmode);
    const std::optional<std::vector<platform::Paper>> papers = spooler->Papers(*name);
    if (!papers || papers->empty()) return AnswerError(*result, kNoPaperSizesAvailable);
    EncodableList entries;
    for (const platform::Paper& paper : *papers) {
      const int32_t width_mm = paper.width_tenths_mm / 10;
      const int32_t height_mm = paper.height_tenths_mm / 10;
      if (width_mm <= 0 || height_mm <= 0) continue;
      const std::string label = PaperLabelOrNumber(paper);
      entries.emplace_back(EncodableMap{
          {EncodableValue("id"), EncodableValue(label)},
          {EncodableValue("name"), EncodableValue(label)},
          {EncodableValue("width"), EncodableValue(width_mm)},
          {EncodableValue("height"), EncodableValue(height_mm)},
          {EncodableValue("isDefault"), EncodableValue(false)},
          // What the printer cannot print on, so that sheets can be designed inside the rest.
          {EncodableValue("marginLeft"), EncodableValue(paper.margin_left_hundredths_mm / 100.0)},
          {EncodableValue("marginTop"), EncodableValue(paper.margin_top_hundredths_mm / 100.0)},
          {EncodableValue("marginRight"), EncodableValue(paper.margin_right_hundredths_mm / 100.0)},
          {EncodableValue("marginBottom"), EncodableValue(paper.margin_bottom_hundredths_mm / 100.0)},
      });
    }
    result->Success(EncodableValue(EncodableMap{{EncodableValue("supportedPaperSizes"), EncodableValue(std::move(entries))}}));
  };
}

MethodHandler MakePickPaperSizeHandler(const Services& services) {
  platform::Spooler* spooler = services.spooler;
  platform::SettingsDialog* dialog = services.settings_dialog;
  return [spooler, dialog](const MethodCall& call, std::unique_ptr<MethodResult> result) {
    // 1-2. Arguments.
    const std::optional<PaperDialogRequest> request = ReadPaperDialogRequest(call, *result);
    if (!request) return;
    const std::string& name = request->printer_name;
    const std::vector<uint8_t>* given = request->record;
    // 3. Open.
    if (spooler == nullptr || !spooler->HasPrinter(name)) return AnswerError(*result, kFailedToOpenPrinter);
    // 4-13. The dialog over the record, the chosen record stored.
    PaperDialogChoice choice = ShowPaperDialog(*spooler, dialog, name, given);
    switch (choice.outcome) {
      case PaperDialogChoice::Outcome::kNoCurrentSettings:
        return AnswerError(*result, kFailedToGetCurrentDevmode);
      case PaperDialogChoice::Outcome::kCancelled:
        return result->Success();
      case PaperDialogChoice::Outcome::kDialogFailed:
        return AnswerError(*result, kFailedToPromptForDevmode);
      case PaperDialogChoice::Outcome::kChosen:
        break;
    }
    result->Success(EncodableValue(EncodableMap{
        {EncodableValue("id"), EncodableValue(choice.paper.id)},
        {EncodableValue("name"), EncodableValue(choice.paper.name)},
        {EncodableValue("width"), EncodableValue(choice.paper.width_mm)},
        {EncodableValue("height"), EncodableValue(choice.paper.height_mm)},
        {EncodableValue("devmodeBytes"), EncodableValue(std::move(choice.record))},
        {EncodableValue("debugInfo"), EncodableValue(choice.debug_info)},
    }));
  };
}

MethodHandler MakePickPrinterAndPaperHandler(const Services& services) {
  platform::Spooler* spooler = services.spooler;
  platform::PrintDialog* dialog = services.print_dialog;
  return [spooler, dialog](const MethodCall&, std::unique_ptr<MethodResult> result) {
    platform::PrintDialogChoice choice;
    const platform::DialogOutcome outcome =
        dialog != nullptr ? dialog->Show(&choice) : platform::DialogOutcome::kCancelled;
    if (outcome != platform::DialogOutcome::kOk) {
      LogLine("DEBUG: Print dialog cancelled");
      result->Success();
      return;
    }
    const std::string name = base::Utf16ToUtf8(base::Utf8ToUtf16(choice.printer_name));
    if (choice.record && !name.empty() && spooler != nullptr && spooler->HasPrinter(name)) {
      std::lock_guard lock(PrinterSettingsLock());
      (void)spooler->StoreSettings(name, DecodeSettingsRecord(*choice.record));  // a failure here is not reported
    }
    if (name.empty()) {
      result->Success();
      return;
    }
    EncodableMap reply{
        {EncodableValue("printerName"), EncodableValue(name)},
        {EncodableValue("printerDisplayName"), EncodableValue(name)},
    };
    if (choice.record) reply[EncodableValue("devmodeBytes")] = EncodableValue(*choice.record);
    result->Success(EncodableValue(std::move(reply)));
  };
}

MethodHandler MakeSetDefaultPrinterAndPaperHandler(const Services& services) {
  platform::Spooler* spooler = services.spooler;
  return [spooler](const MethodCall& call, std::unique_ptr<MethodResult> result) {
    const std::optional<DefaultPrinterRequest> request = ReadDefaultPrinterRequest(call, *result);
    if (!request) return;
    const std::string& name = request->printer_name;
    bool printer_set = false;
    bool paper_set = false;
    if (spooler != nullptr) {
      std::lock_guard lock(PrinterSettingsLock());
      printer_set = !name.empty() && spooler->SetDefaultPrinter(name).ok();
      if (request->paper_name) {
        LogLine("DEBUG: SetDefaultPrinterAndPaper - paperName: " + *request->paper_name);
        paper_set = SetPrinterPaperSize(*spooler, name, *request->paper_name);
      } else if (request->width_mm >= 1 && request->height_mm >= 1) {
        paper_set = SetPrinterPaperSize(*spooler, name, int64_t{request->width_mm}, int64_t{request->height_mm});
      }
    }
    result->Success(EncodableValue(EncodableMap{
        {EncodableValue("printerSet"), EncodableValue(printer_set)},
        {EncodableValue("paperSet"), EncodableValue(paper_set)},
    }));
  };
}

MethodHandler MakePrintWithLayoutHandler(const Services& services) {
  platform::Spooler* spooler = services.spooler;
  platform::Graphics* graphics = services.graphics;
  ThreadRegistry* threads = services.threads;
  WorkQueue* lane = services.lanes != nullptr ? &services.lanes->prints : nullptr;
  PendingWork* pending = services.pending;
  const ColourSource colour_source(services);
  return [spooler, graphics, threads, lane, pending, colour_source](const MethodCall& call,
                                                                   std::unique_ptr<MethodResult> result) {
    std::optional<PrintJobRequest> request = ReadPrintWithLayoutRequest(call, *result);
    if (!request) return;
    const PrintColour colour = colour_source.Now();
    if (spooler == nullptr || graphics == nullptr || threads == nullptr || lane == nullptr || pending == nullptr) {
      return AnswerError(*result, kFailedToCreatePrinterDc);
    }
    // The job waits its turn on the print lane. A job the host ends first (no room, the application
    // closing) is answered as a job that printed nothing.
    auto shared = std::make_shared<std::unique_ptr<MethodResult>>(pending->Track(
        "print job", std::move(result), [](MethodResult& answer) { AnswerError(answer, kFailedToPrintAnyPages); }));
    WorkQueue::Task task;
    task.run = [request = std::move(*request), shared, spooler, graphics, threads, colour]() {
      CallLogScope lines(std::make_shared<CallLogBudget>("printWithLayoutWindows"));
      const std::optional<PrintFailure> failure = PrintWithLayoutWindows(request, *spooler, *graphics, threads, colour);
      if (!failure) return (*shared)->Success(EncodableValue(true));
      switch (*failure) {
        case PrintFailure::kNoDevice:
          return AnswerError(**shared, kFailedToCreatePrinterDc);
        case PrintFailure::kDocumentNotStarted:
          return AnswerError(**shared, kFailedToStartPrintJob);
        case PrintFailure::kNoPagePrinted:
          return AnswerError(**shared, kFailedToPrintAnyPages);
      }
    };
    std::string error;
    if (!lane->Submit(std::move(task), &error)) LogLine("ERROR: could not start the print job: " + error);
  };
}

MethodHandler MakePrintImagesHandler(const Services& services) {
  platform::Shell* shell = services.shell;
  MethodHandler handler = [shell](const MethodCall& call, std::unique_ptr<MethodResult> result) {
    const EncodableList* list = Read(call.arguments(), kList).value_or(nullptr);
    if (list == nullptr) return AnswerError(*result, kExpectedArrayOfStrings);
    for (const EncodableValue& element : *list) {
      std::optional<std::string> path = Read(&element, kString);
      if (!path) return AnswerError(*result, kExpectedStringPath);
      // The path as the system sees it: up to its first NUL.
      const std::string system_path = path->substr(0, path->find('\0'));
      if (shell == nullptr || system_path.empty() || !shell->IsRegularFile(system_path)) {
        return AnswerError(*result, ImageFileNotFound(*path));
      }
      const base::Status opened = shell->Open(system_path);
      if (!opened.ok()) {
        LogLine("DEBUG: ShellExecute open failed for file, error=" + std::to_string(ShellRefusalNumber(opened.code())));
        return AnswerError(*result, kFailedToOpenWithDefaultApp);
      }
    }
    result->Success(EncodableValue(true));
  };
  return OnLane(services.lanes ? &services.lanes->shell : nullptr, services.pending, "shell request", OpenStopped,
                std::move(handler));
}

MethodHandler MakePrintImagesToPrinterHandler(const Services& services) {
  platform::Spooler* spooler = services.spooler;
  platform::Graphics* graphics = services.graphics;
  ThreadRegistry* threads = services.threads;
  const ColourSource colour_source(services);
  MethodHandler handler = [spooler, graphics, threads, colour_source](const MethodCall& call,
                                                                      std::unique_ptr<MethodResult> result) {
    const EncodableList* paths = ReadImagePathsOrAnswer(call, *result);
    if (paths == nullptr) return;
    const PrintColour colour = colour_source.Now();
    bool any = false;
    for (const std::string& path : ReadElements(*paths, kString)) {
      const base::Status printed =
          PrintFile(spooler, graphics, threads, path.substr(0, path.find('\0')), "", 1, colour);
      if (printed.ok()) {
        any = true;
      } else {
        LogLine("DEBUG: ShellExecute print failed for file, error=" +
                std::to_string(ShellRefusalNumber(printed.code())));
      }
    }
    if (!any) return AnswerError(*result, kFailedToPrintAnyImages);
    result->Success();
  };
  return OnLane(services.lanes ? &services.lanes->prints : nullptr, services.pending, "print job", PrintImagesStopped,
                std::move(handler));
}

MethodHandler MakePrintToPrinterHandler(const Services& services) {
  platform::Spooler* spooler = services.spooler;
  platform::Graphics* graphics = services.graphics;
  ThreadRegistry* threads = services.threads;
  const ColourSource colour_source(services);
  MethodHandler handler = [spooler, graphics, threads, colour_source](const MethodCall& call,
                                                                      std::unique_ptr<MethodResult> result) {
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
    const PrintColour colour = colour_source.Now();
    for (const std::string& path : ReadElements(*paths, kString)) {
      if (!PrintFile(spooler, graphics, threads, path.substr(0, path.find('\0')), *printer, copies, colour).ok()) {
        return AnswerError(*result, PrintImageFailed(path));
      }
    }
    result->Success(EncodableValue(true));
  };
  return OnLane(services.lanes ? &services.lanes->prints : nullptr, services.pending, "print job",
                PrintToPrinterStopped, std::move(handler));
}

std::vector<MethodEntry> PrintersMethodTable(const Services& services) {
  const MethodHandler get_printers = MakeGetPrintersHandler(services);
  return {
      {"printImagesWindows", MakePrintImagesHandler(services)},
      {"getPrintersWindows", get_printers},
      {"getDefaultPrinterWindows", MakeGetDefaultPrinterHandler(services)},
      {"printToPrinterWindows", MakePrintToPrinterHandler(services)},
      {"pickPaperSizeWindows", MakePickPaperSizeHandler(services)},
      {"pickPrinterAndPaperWindows", MakePickPrinterAndPaperHandler(services)},
      {"getPrinterCapabilitiesWindows", MakeGetPrinterCapabilitiesHandler(services)},
      {"getAvailablePrinters", get_printers},
      {"printImagesToPrinter", MakePrintImagesToPrinterHandler(services)},
      {"printWithLayoutWindows", MakePrintWithLayoutHandler(services)},
      {"setDefaultPrinterAndPaper", MakeSetDefaultPrinterAndPaperHandler(services)},
  };
}

}  // namespace runner::printing
