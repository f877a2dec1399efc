// PrinterDirectory: system printers plus the built-in PDF printer.
#include "runner/printing/printers/printer_directory.h"

#include <cerrno>
#include <charconv>

#include "platform/paper_numbers.h"
#include "runner/printing/printers/settings_record.h"

namespace runner::printing {
namespace {

constexpr std::string_view kDefaultKey = "default=";
constexpr std::string_view kRecordKey = "record=";

std::string Hex(const std::vector<uint8_t>& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (const uint8_t byte : bytes) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0xF];
  }
  return text;
}

std::optional<std::vector<uint8_t>> Unhex(std::string_view text) {
  if (text.size() % 2 != 0) return std::nullopt;
  std::vector<uint8_t> bytes(text.size() / 2);
  for (size_t i = 0; i < bytes.size(); ++i) {
    const auto [end, error] = std::from_chars(text.data() + 2 * i, text.data() + 2 * i + 2, bytes[i], 16);
    if (error != std::errc() || end != text.data() + 2 * i + 2) return std::nullopt;
  }
  return bytes;
}

platform::PrintSettings BuiltInDefaults() {
  platform::PrintSettings settings;
  settings.fields = platform::kFieldOrientation | platform::kFieldPaperSize | platform::kFieldPaperLength |
                    platform::kFieldPaperWidth | platform::kFieldCopies | platform::kFieldFormName;
  settings.orientation = platform::kOrientationPortrait;
  settings.paper_id = 9;
  settings.paper_width_tenths_mm = 2100;
  settings.paper_length_tenths_mm = 2970;
  settings.copies = 1;
  settings.form_name = "A4";
  return settings;
}

const platform::Paper* FindPaper(const std::vector<platform::Paper>& papers, uint16_t id) {
  for (const platform::Paper& paper : papers) {
    if (paper.id == id) return &paper;
  }
  return nullptr;
}

}  // namespace

std::vector<platform::Paper> PrinterDirectory::BuiltInPapers() {
  return {
      {9, "A4", 2100, 2970},
      {1, "Letter", 2159, 2794},
      {5, "Legal", 2159, 3556},
      {8, "A3", 2970, 4200},
      {11, "A5", 1480, 2100},
      {70, "A6", 1050, 1480},
      {74, "4x6 in", 1016, 1524},
      {122, "5x7 in", 1270, 1778},
      {123, "8x10 in", 2032, 2540},
      {platform::PaperIdForMedia("om_small-photo_100x150mm"), "10x15 cm", 1000, 1500},
  };
}

PrinterDirectory::BuiltInState PrinterDirectory::LoadLocked() {
  BuiltInState state;
  std::optional<std::string> text = pdf_->LoadState();
  if (!text) return state;
  std::string_view rest = *text;
  while (!rest.empty()) {
    const size_t end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (line.substr(0, kDefaultKey.size()) == kDefaultKey) {
      state.is_default = line.substr(kDefaultKey.size()) == "1";
    } else if (line.substr(0, kRecordKey.size()) == kRecordKey) {
      std::optional<std::vector<uint8_t>> record = Unhex(line.substr(kRecordKey.size()));
      if (record && IsWholeSettingsRecord(*record)) state.settings = DecodeSettingsRecord(*record);
    }
  }
  return state;
}

int PrinterDirectory::SaveLocked(const BuiltInState& state) {
  std::string text = std::string(kDefaultKey) + (state.is_default ? "1" : "0") + "\n";
  if (state.settings) {
    text += std::string(kRecordKey) + Hex(EncodeSettingsRecord(kBuiltInPrinterName, *state.settings)) + "\n";
  }
  return pdf_->SaveState(text);
}

std::vector<platform::PrinterSummary> PrinterDirectory::Printers() {
  std::vector<platform::PrinterSummary> printers;
  if (system_ != nullptr) printers = system_->Printers();
  if (pdf_ != nullptr) {
    printers.push_back({std::string(kBuiltInPrinterName), std::string(kBuiltInPrinterComment), false});
  }
  return printers;
}

std::optional<std::string> PrinterDirectory::DefaultPrinter() {
  if (pdf_ != nullptr) {
    std::lock_guard lock(mutex_);
    if (LoadLocked().is_default) return std::string(kBuiltInPrinterName);
  }
  std::optional<std::string> system_default = system_ != nullptr ? system_->DefaultPrinter() : std::nullopt;
  if (system_default) return system_default;
  if (pdf_ != nullptr) return std::string(kBuiltInPrinterName);
  return std::nullopt;
}

bool PrinterDirectory::SetDefaultPrinter(const std::string& name) {
  if (IsBuiltIn(name)) {
    std::lock_guard lock(mutex_);
    BuiltInState state = LoadLocked();
    state.is_default = true;
    return SaveLocked(state) == 0;
  }
  if (system_ == nullptr || !system_->SetDefaultPrinter(name)) return false;
  if (pdf_ == nullptr) return true;
  std::lock_guard lock(mutex_);
  BuiltInState state = LoadLocked();
  if (!state.is_default) return true;
  state.is_default = false;
  return SaveLocked(state) == 0;
}

bool PrinterDirectory::HasPrinter(const std::string& name) {
  if (IsBuiltIn(name)) return true;
  return system_ != nullptr && system_->HasPrinter(name);
}

std::optional<std::vector<platform::Paper>> PrinterDirectory::Papers(const std::string& name) {
  if (IsBuiltIn(name)) return BuiltInPapers();
  if (system_ == nullptr) return std::nullopt;
  return system_->Papers(name);
}

std::optional<platform::PrintSettings> PrinterDirectory::CurrentSettings(const std::string& name) {
  if (IsBuiltIn(name)) {
    std::lock_guard lock(mutex_);
    BuiltInState state = LoadLocked();
    return state.settings ? *state.settings : BuiltInDefaults();
  }
  if (system_ == nullptr) return std::nullopt;
  return system_->CurrentSettings(name);
}

bool PrinterDirectory::ValidateSettings(const std::string& name, platform::PrintSettings* settings) {
  if (!IsBuiltIn(name)) return system_ != nullptr && system_->ValidateSettings(name, settings);
  if (!(settings->fields & platform::kFieldPaperSize)) return true;
  if (settings->paper_id == platform::kPaperUser) {
    // Any size a PDF page can have: the record's 16-bit fields already bound it.
    return settings->paper_width_tenths_mm > 0 && settings->paper_length_tenths_mm > 0;
  }
  const std::vector<platform::Paper> papers = BuiltInPapers();
  const platform::Paper* paper = FindPaper(papers, settings->paper_id);
  if (paper == nullptr) return false;
  settings->form_name = paper->label;
  settings->paper_width_tenths_mm = static_cast<int16_t>(paper->width_tenths_mm);
  settings->paper_length_tenths_mm = static_cast<int16_t>(paper->height_tenths_mm);
  settings->fields |= platform::kFieldFormName | platform::kFieldPaperWidth | platform::kFieldPaperLength;
  return true;
}

int PrinterDirectory::StoreSettings(const std::string& name, const platform::PrintSettings& settings) {
  if (!IsBuiltIn(name)) return system_ != nullptr ? system_->StoreSettings(name, settings) : ENOENT;
  std::lock_guard lock(mutex_);
  BuiltInState state = LoadLocked();
  state.settings = settings;
  return SaveLocked(state);
}

void PrinterDirectory::CancelActiveJobs() {
  // The built-in printer's jobs are files: an unfinished one is removed with its device, or at the next
  // start when the process ends first.
  if (system_ != nullptr) system_->CancelActiveJobs();
}

std::unique_ptr<platform::PrintDevice> PrinterDirectory::OpenDevice(const std::string& name,
                                                                    const platform::PrintSettings& settings,
                                                                    int* error) {
  if (!IsBuiltIn(name)) {
    if (system_ == nullptr) {
      *error = ENOENT;
      return nullptr;
    }
    return system_->OpenDevice(name, settings, error);
  }
  // The page: the record's paper from the list, or its stated size; A4 when it names neither.
  platform::PdfPage page{2100, 2970, kBuiltInPrinterDpi};
  const std::vector<platform::Paper> papers = BuiltInPapers();
  const platform::Paper* paper =
      (settings.fields & platform::kFieldPaperSize) ? FindPaper(papers, settings.paper_id) : nullptr;
  page.paper_name = "A4";
  if (paper != nullptr) {
    page.width_tenths_mm = paper->width_tenths_mm;
    page.height_tenths_mm = paper->height_tenths_mm;
    page.paper_name = paper->label;
  } else if ((settings.fields & platform::kFieldPaperWidth) && (settings.fields & platform::kFieldPaperLength) &&
             settings.paper_width_tenths_mm > 0 && settings.paper_length_tenths_mm > 0) {
    page.width_tenths_mm = settings.paper_width_tenths_mm;
    page.height_tenths_mm = settings.paper_length_tenths_mm;
    page.paper_name = "custom " + std::to_string(page.width_tenths_mm / 10) + "x" +
                      std::to_string(page.height_tenths_mm / 10) + " mm";
  }
  if ((settings.fields & platform::kFieldCopies) && settings.copies > 1) page.copies = settings.copies;
  if ((settings.fields & platform::kFieldOrientation) && settings.orientation == platform::kOrientationLandscape) {
    std::swap(page.width_tenths_mm, page.height_tenths_mm);
  }
  return pdf_->OpenDevice(page, error);
}

}  // namespace runner::printing
