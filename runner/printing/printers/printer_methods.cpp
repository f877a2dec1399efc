// The printer and paper methods of `printing_channel`.
#include "runner/printing/printers/printer_methods.h"

#include <mutex>

#include "platform/print_dialog.h"
#include "platform/settings_dialog.h"
#include "platform/spooler.h"
#include "runner/channels/channel_args.h"
#include "runner/log.h"
#include "runner/printing/printers/paper_setter.h"
#include "runner/printing/printers/settings_record.h"
#include "runner/text_conversion.h"

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
    // 1. Arguments: a bare name, or a map with "printerName" and perhaps "devmodeBytes".
    std::string name;
    const std::vector<uint8_t>* given = nullptr;
    const EncodableValue* argument = call.arguments();
    if (std::optional<std::string> bare = Read(argument, kString)) {
      name = *bare;
    } else if (const EncodableMap* args = ArgumentMap(call)) {
      KeyLookup<std::string> found = LookUp(*args, "printerName", kString);
      if (found.outcome == LookupOutcome::kAbsent) return AnswerError(*result, kMissingPrinterName);
      if (found.outcome == LookupOutcome::kWrongKind || found.value->empty()) {
        return AnswerError(*result, kPrinterNameMustBeString);
      }
      name = *found.value;
      given = LookUp(*args, "devmodeBytes", kByteList).value.value_or(nullptr);
    } else {
      return AnswerError(*result, kExpectedPrinterNameOrMap);
    }
    // 2. The name as the system will see it (up to its first NUL).
    if (Utf8ToUtf16(name).empty()) return AnswerError(*result, kEmptyPrinterName);
    name = Utf16ToUtf8(Utf8ToUtf16(name));
    // 3. Open.
    if (spooler == nullptr || !spooler->HasPrinter(name)) return AnswerError(*result, kFailedToOpenPrinter);
    // 4-6. The input record: the caller's bytes when they are a whole record of this length, else the
    // printer's current settings. Bytes from the interface are never trusted for lengths.
    const size_t length = kRecordLength;
    const size_t input_count = given != nullptr ? given->size() : 0;
    std::vector<uint8_t> input;
    std::string merge_source;
    if (given != nullptr && given->size() >= length &&
        IsWholeSettingsRecord(std::span<const uint8_t>(given->data(), length))) {
      input.assign(given->begin(), given->begin() + static_cast<std::ptrdiff_t>(length));
      merge_source = "dart_bytes_memcpy";
    } else {
      std::optional<platform::PrintSettings> current = spooler->CurrentSettings(name);
      if (!current) return AnswerError(*result, kFailedToGetCurrentDevmode);
      input = EncodeSettingsRecord(name, *current);
      merge_source = "system_default";
    }
    // 7-8. The dialog.
    std::vector<uint8_t> output(length, 0);
    const platform::DialogOutcome outcome =
        dialog != nullptr ? dialog->Show(name, input, &output) : platform::DialogOutcome::kCancelled;
    if (outcome == platform::DialogOutcome::kCancelled) {
      LogLine("DEBUG: Printer settings dialog cancelled for " + name);
      result->Success();
      return;
    }
    if (outcome == platform::DialogOutcome::kFailed) return AnswerError(*result, kFailedToPromptForDevmode);
    output.resize(length, 0);
    // 9. Bytes changed.
    size_t changed = 0;
    for (size_t i = 0; i < length; ++i) changed += input[i] != output[i] ? 1 : 0;
    // 10. Store as the user's settings for this printer; the outcome shows only in debugInfo.
    int store_error = 0;
    {
      std::lock_guard lock(PrinterSettingsLock());
      store_error = spooler->StoreSettings(name, DecodeSettingsRecord(output));
    }
    // 11-13.
    const PaperSummary paper = SummarisePaper(output);
    const std::string debug_info = "inputBytes=" + std::to_string(input_count) + " dmSize=" + std::to_string(length) +
                                   " mergeSource=" + merge_source + " dialogRet=1 bytesChanged=" +
                                   std::to_string(changed) + " setPrinterRet=" + (store_error == 0 ? "1" : "0") +
                                   " setPrinterErr=" + std::to_string(store_error);
    result->Success(EncodableValue(EncodableMap{
        {EncodableValue("id"), EncodableValue(paper.id)},
        {EncodableValue("name"), EncodableValue(paper.name)},
        {EncodableValue("width"), EncodableValue(paper.width_mm)},
        {EncodableValue("height"), EncodableValue(paper.height_mm)},
        {EncodableValue("devmodeBytes"), EncodableValue(std::move(output))},
        {EncodableValue("debugInfo"), EncodableValue(debug_info)},
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
    const std::string name = Utf16ToUtf8(Utf8ToUtf16(choice.printer_name));
    if (choice.record && !name.empty() && spooler != nullptr && spooler->HasPrinter(name)) {
      std::lock_guard lock(PrinterSettingsLock());
      spooler->StoreSettings(name, DecodeSettingsRecord(*choice.record));  // a failure here is not reported
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
    const EncodableMap* args = ArgumentMap(call);
    if (args == nullptr) return AnswerError(*result, kExpectedMapOfArguments);
    std::optional<std::string> given = LookUp(*args, "printerName", kString).value;
    if (!given) return AnswerError(*result, kMissingPrinterName);
    const std::string name = Utf16ToUtf8(Utf8ToUtf16(*given));
    std::optional<std::string> paper_name = LookUp(*args, "paperName", kString).value;
    int32_t width = 0;
    int32_t height = 0;
    if (!paper_name) {
      if (const EncodableMap* size = LookUp(*args, "paperSize", kMap).value.value_or(nullptr)) {
        width = LookUp(*size, "width", kInt32OrDouble).value.value_or(0);
        height = LookUp(*size, "height", kInt32OrDouble).value.value_or(0);
      }
    }
    bool printer_set = false;
    bool paper_set = false;
    if (spooler != nullptr) {
      std::lock_guard lock(PrinterSettingsLock());
      printer_set = !name.empty() && spooler->SetDefaultPrinter(name);
      if (paper_name) {
        LogLine("DEBUG: SetDefaultPrinterAndPaper - paperName: " + *paper_name);
        paper_set = SetPrinterPaperSize(*spooler, name, *paper_name);
      } else if (width >= 1 && height >= 1) {
        paper_set = SetPrinterPaperSize(*spooler, name, int64_t{width}, int64_t{height});
      }
    }
    result->Success(EncodableValue(EncodableMap{
        {EncodableValue("printerSet"), EncodableValue(printer_set)},
        {EncodableValue("paperSet"), EncodableValue(paper_set)},
    }));
  };
}

}  // namespace runner::printing
