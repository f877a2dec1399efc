// PrinterDirectory: system printers plus the built-in PDF printer.
#include "runner/printing/printers/printer_directory.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <map>

#include "platform/paper/paper_numbers.h"
#include "platform/paper/paper_table.h"
#include "runner/printing/printers/settings_record.h"

namespace runner::printing {
namespace {

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

// A failed write of the built-in printer's state with the errno value StoreSettings promises: the
// system's own when the store gave one, else EACCES when the store cannot be made, EINVAL for a value it
// refuses, EIO for the rest.
base::Status Numbered(const base::Status& status) {
  if (status.ok() || status.system_error() != 0) return status;
  if (status.Is(base::Status::Code::kUnavailable)) return status.WithSystemError(EACCES);
  return status.WithSystemError(status.Is(base::Status::Code::kInvalidArgument) ? EINVAL : EIO);
}

base::Status NoSystemPrinters(const std::string& name) {
  return base::Status::NotFound("no printer " + name + " (no system printing)").WithSystemError(ENOENT);
}

// The fields of Pictavera's own choices for a system printer.
constexpr uint32_t kChoiceFields = platform::kFieldColor | platform::kFieldPrintQuality | platform::kFieldYResolution;

// The store's name for a printer's choices: its name's bytes as letters (the store takes names of
// letters only), two a byte.
std::string ChoiceName(const std::string& printer) {
  std::string name = "printer";
  for (const unsigned char byte : printer) {
    name += static_cast<char>('a' + (byte >> 4));
    name += static_cast<char>('a' + (byte & 0xF));
  }
  return name;
}

// "fields=N color=N quality=N yResolution=N": the chosen values of kChoiceFields.
std::string ChoiceText(const platform::PrintSettings& settings) {
  return FormatOptions({{"fields", std::to_string(settings.fields & kChoiceFields)},
                        {"color", std::to_string(settings.color)},
                        {"quality", std::to_string(settings.print_quality_dpi)},
                        {"yResolution", std::to_string(settings.y_resolution_dpi)}});
}

// `settings` with the choices `text` states over them (unreadable values are left out).
void ApplyChoices(const std::string& text, platform::PrintSettings* settings) {
  std::map<std::string, int> values;
  for (const auto& [name, value] : ParseOptions(text)) {
    int number = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (error == std::errc() && end == value.data() + value.size()) values[name] = number;
  }
  const uint32_t fields = static_cast<uint32_t>(values["fields"]) & kChoiceFields;
  const auto small = [](int value) { return static_cast<int16_t>(std::clamp(value, 0, 32767)); };
  if (fields & platform::kFieldColor) settings->color = small(values["color"]);
  if (fields & platform::kFieldPrintQuality) settings->print_quality_dpi = small(values["quality"]);
  if (fields & platform::kFieldYResolution) settings->y_resolution_dpi = small(values["yResolution"]);
  settings->fields |= fields;
}

// A system printer's settings as Pictavera's jobs start from them: the stored paper, quality and the
// printer's own options (a tray, a media type), but not the copies, orientation, colour mode or page
// layout that the user or the printer's administrator stored for every program's jobs.
platform::PrintSettings WithoutStoredJobChoices(platform::PrintSettings settings) {
  settings.fields |= platform::kFieldCopies | platform::kFieldOrientation;
  settings.copies = 1;
  settings.orientation = platform::kOrientationPortrait;
  settings.fields &= ~platform::kFieldColor;
  settings.color = 0;
  std::erase_if(settings.options, [](const auto& option) {
    return platform::IsJobLayoutOption(option.first) || platform::IsColourModeOption(option.first);
  });
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
  // The table's papers, in the order the built-in printer lists them, then 10x15 cm (which has no
  // standard number).
  static constexpr uint16_t kTablePapers[] = {9, 1, 5, 8, 11, 70, 74, 122, 123};
  std::vector<platform::Paper> papers;
  for (const uint16_t id : kTablePapers) {
    const platform::PaperRow* row = platform::SizedPaperRow(id);
    papers.push_back({id, std::string(row->label), row->width_tenths_mm, row->height_tenths_mm});
  }
  papers.push_back({platform::PaperIdForMedia("om_small-photo_100x150mm"), "10x15 cm", 1000, 1500});
  return papers;
}

BuiltInState PrinterDirectory::LoadLocked() {
  if (!loaded_) {
    // Read once: nothing else writes the built-in printer's state while the application runs.
    const std::optional<std::map<std::string, std::string>> values =
        state_store_ != nullptr ? state_store_->GetMany(BuiltInStateNames()) : std::nullopt;
    loaded_ = values ? ReadBuiltInState(*values) : BuiltInState();
  }
  return *loaded_;
}

base::Status PrinterDirectory::SaveLocked(const BuiltInState& state) {
  if (loaded_ && *loaded_ == state) return base::Status::Ok();  // written only when it changes
  if (state_store_ == nullptr) {
    return base::Status::NotFound("the built-in printer keeps no state").WithSystemError(ENOENT);
  }
  const base::Status saved = state_store_->SetMany(BuiltInStateChanges(state));
  if (saved.ok()) loaded_ = state;
  return Numbered(saved);
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

base::Status PrinterDirectory::SetDefaultPrinter(const std::string& name) {
  if (IsBuiltIn(name)) {
    std::lock_guard lock(mutex_);
    BuiltInState state = LoadLocked();
    state.is_default = true;
    return SaveLocked(state);
  }
  if (system_ == nullptr) return NoSystemPrinters(name);
  if (base::Status set = system_->SetDefaultPrinter(name); !set.ok() || pdf_ == nullptr) return set;
  std::lock_guard lock(mutex_);
  BuiltInState state = LoadLocked();
  if (!state.is_default) return base::Status::Ok();
  state.is_default = false;
  return SaveLocked(state);
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
  std::optional<platform::PrintSettings> settings = system_->CurrentSettings(name);
  if (!settings) return settings;
  settings = WithoutStoredJobChoices(std::move(*settings));
  if (choices_ != nullptr) {
    if (const std::optional<std::string> chosen = choices_->Get(ChoiceName(name))) ApplyChoices(*chosen, &*settings);
  }
  return settings;
}

base::Status PrinterDirectory::ValidateSettings(const std::string& name, platform::PrintSettings* settings) {
  if (!IsBuiltIn(name)) return system_ != nullptr ? system_->ValidateSettings(name, settings) : NoSystemPrinters(name);
  if (!(settings->fields & platform::kFieldPaperSize)) return base::Status::Ok();
  if (settings->paper_id == platform::kPaperUser) {
    // Any size a PDF page can have: the record's 16-bit fields already bound it.
    if (settings->paper_width_tenths_mm > 0 && settings->paper_length_tenths_mm > 0) return base::Status::Ok();
    return base::Status::InvalidArgument("a user-defined paper needs a size");
  }
  const std::vector<platform::Paper> papers = BuiltInPapers();
  const platform::Paper* paper = FindPaper(papers, settings->paper_id);
  if (paper == nullptr) return base::Status::Unsupported("the built-in printer has no such paper");
  settings->form_name = paper->label;
  settings->paper_width_tenths_mm = static_cast<int16_t>(paper->width_tenths_mm);
  settings->paper_length_tenths_mm = static_cast<int16_t>(paper->height_tenths_mm);
  settings->fields |= platform::kFieldFormName | platform::kFieldPaperWidth | platform::kFieldPaperLength;
  return base::Status::Ok();
}

base::Status PrinterDirectory::StoreSettings(const std::string& name, const platform::PrintSettings& settings) {
  if (!IsBuiltIn(name)) {
    if (system_ == nullptr) return NoSystemPrinters(name);
    if (base::Status stored = system_->StoreSettings(name, settings); !stored.ok() || choices_ == nullptr) {
      return stored;
    }
    // Pictavera's own choices, kept apart from what every program of the user shares.
    const base::Status chosen = choices_->Set(ChoiceName(name), ChoiceText(settings));
    return chosen.ok() ? chosen : chosen.WithContext("Pictavera's choices for " + name).WithSystemError(EIO);
  }
  // A user-defined paper a print could not be made on is never stored (every later print without a
  // size would be made on it).
  const bool user_size = (settings.fields & platform::kFieldPaperLength) && (settings.fields & platform::kFieldPaperWidth);
  if (user_size && (!platform::IsPhysicalPaperSide(settings.paper_width_tenths_mm) ||
                    !platform::IsPhysicalPaperSide(settings.paper_length_tenths_mm))) {
    return base::Status::InvalidArgument("no paper has that size").WithSystemError(EINVAL);
  }
  std::lock_guard lock(mutex_);
  BuiltInState state = LoadLocked();
  // Kept as the settings record holds them (names and options cut to its sizes), as the interface sees
  // them again.
  state.settings = DecodeSettingsRecord(EncodeSettingsRecord(kBuiltInPrinterName, settings));
  return SaveLocked(state);
}

void PrinterDirectory::CancelActiveJobs() {
  // The built-in printer's jobs are files: an unfinished one is removed with its device, or at the next
  // start when the process ends first.
  if (system_ != nullptr) system_->CancelActiveJobs();
}

base::StatusOr<std::unique_ptr<platform::PrintDevice>> PrinterDirectory::OpenDevice(
    const std::string& name, const platform::PrintSettings& settings) {
  if (!IsBuiltIn(name)) {
    if (system_ == nullptr) return NoSystemPrinters(name);
    return system_->OpenDevice(name, settings);
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
  return pdf_->OpenDevice(page);
}

}  // namespace runner::printing
