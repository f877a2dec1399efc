// Setting a printer's paper by size or by name.
#include "runner/printing/printers/paper_setter.h"

#include <cerrno>

#include "platform/paper/paper_table.h"
#include "runner/log.h"
#include "runner/printing/printers/paper_match.h"

namespace runner::printing {
namespace {

constexpr int64_t kMaxRecordTenths = 32767;

void Log(std::string_view line) { LogLine(line); }

void LogMerge(bool merged) {
  LogLine(std::string("DEBUG: DocumentProperties result=") + (merged ? "1" : "-1") + " success=" + (merged ? "1" : "0"));
}

// Stores checked settings as the user's settings for the printer. True when that succeeds.
bool Store(platform::Spooler& spooler, const std::string& printer, const platform::PrintSettings& settings,
           std::string_view saved_line) {
  const base::Status stored = spooler.StoreSettings(printer, settings);
  if (!stored.ok()) {
    LogLine("DEBUG: Storing printer settings failed, error=" + std::to_string(stored.system_error()));
    return false;
  }
  LogLine(saved_line);
  return true;
}

}  // namespace

std::recursive_mutex& PrinterSettingsLock() {
  static std::recursive_mutex lock;
  return lock;
}

std::optional<platform::PrintSettings> SettingsWithPaperSize(platform::Spooler& spooler, const std::string& printer,
                                                             int64_t width_mm, int64_t height_mm) {
  if (printer.empty()) return std::nullopt;
  const std::string size = std::to_string(width_mm) + "x" + std::to_string(height_mm) + "mm";
  LogLine("DEBUG: SetPrinterPaperSize called - printer: " + printer + ", paper: " + size);
  if (!platform::IsPhysicalPaperSide(width_mm * 10) || !platform::IsPhysicalPaperSide(height_mm * 10)) {
    LogLine("ERROR: Paper " + size + " refused: sides must be from 10 to 5000 mm");
    return std::nullopt;
  }
  // The current settings first: their paper wins a tie (a borderless paper chosen by name stays).
  std::optional<platform::PrintSettings> settings = spooler.CurrentSettings(printer);
  const uint16_t current_id = settings && (settings->fields & platform::kFieldPaperSize) ? settings->paper_id : 0;
  const std::vector<platform::Paper> papers = spooler.Papers(printer).value_or(std::vector<platform::Paper>());
  uint16_t id = FindPaperIdBySize(papers, width_mm, height_mm, Log, current_id);
  if (id != 0) {
    LogLine("DEBUG: Found paper ID: " + std::to_string(id));
  } else {
    LogLine("DEBUG: No matching paper ID found, using DMPAPER_USER");
    id = platform::kPaperUser;
  }
  if (!spooler.HasPrinter(printer)) {
    LogLine("DEBUG: Failed to open printer");
    return std::nullopt;
  }
  if (!settings) return std::nullopt;
  settings->paper_id = id;
  if (id == platform::kPaperUser) {
    const int64_t width_tenths = width_mm * 10;
    const int64_t height_tenths = height_mm * 10;
    if (width_tenths < 1 || height_tenths < 1 || width_tenths > kMaxRecordTenths || height_tenths > kMaxRecordTenths) {
      LogLine("DEBUG: Paper " + size + " does not fit the settings record");
      return std::nullopt;
    }
    settings->paper_width_tenths_mm = static_cast<int16_t>(width_tenths);
    settings->paper_length_tenths_mm = static_cast<int16_t>(height_tenths);
    settings->fields |= platform::kFieldPaperSize | platform::kFieldPaperLength | platform::kFieldPaperWidth;
    settings->form_name.clear();
    settings->fields &= ~platform::kFieldFormName;
  } else {
    settings->fields |= platform::kFieldPaperSize;
  }
  const bool landscape = width_mm > height_mm;
  settings->fields |= platform::kFieldOrientation;
  settings->orientation = landscape ? platform::kOrientationLandscape : platform::kOrientationPortrait;
  LogLine(std::string("DEBUG: Setting dmOrientation=") + (landscape ? "Landscape" : "Portrait") + " for paper " + size);
  LogLine("DEBUG: Setting dmPaperSize=" + std::to_string(id));
  const bool merged = spooler.ValidateSettings(printer, &*settings).ok();
  LogMerge(merged);
  if (!merged) return std::nullopt;
  return settings;
}

bool SetPrinterPaperSize(platform::Spooler& spooler, const std::string& printer, int64_t width_mm,
                         int64_t height_mm) {
  std::lock_guard lock(PrinterSettingsLock());
  const std::optional<platform::PrintSettings> settings = SettingsWithPaperSize(spooler, printer, width_mm, height_mm);
  return settings && Store(spooler, printer, *settings, "DEBUG: Printer settings saved");
}

bool SetPrinterPaperSize(platform::Spooler& spooler, const std::string& printer, const std::string& paper_name) {
  std::lock_guard lock(PrinterSettingsLock());
  LogLine("DEBUG: SetPrinterPaperSize called - printer: " + printer + ", paper: " + paper_name);
  if (!spooler.HasPrinter(printer)) {
    LogLine("DEBUG: OpenPrinter failed, error: " + std::to_string(ENOENT));
    return false;
  }
  std::optional<platform::PrintSettings> settings = spooler.CurrentSettings(printer);
  if (!settings) {
    LogLine("DEBUG: DocumentProperties get failed");
    return false;
  }
  const std::vector<platform::Paper> papers = spooler.Papers(printer).value_or(std::vector<platform::Paper>());
  if (papers.empty()) {
    LogLine("DEBUG: No paper sizes found for printer");
    return false;
  }
  LogLine("DEBUG: Available papers for printer:");
  for (size_t i = 0; i < papers.size(); ++i) {
    LogLine("  [" + std::to_string(i) + "] ID=" + std::to_string(papers[i].id) + " Name='" + papers[i].label +
            "' Size=" + std::to_string(papers[i].width_tenths_mm) + "x" + std::to_string(papers[i].height_tenths_mm) +
            " (0.1mm)");
  }
  const PaperNameMatch match = FindPaperByName(papers, paper_name);
  if (match.kind == NameMatch::kExact) {
    LogLine("DEBUG: Found exact match paper '" + paper_name + "' with ID: " + std::to_string(papers[match.index].id));
  } else if (match.kind == NameMatch::kPartial) {
    LogLine("DEBUG: Found partial match paper '" + papers[match.index].label + "' for '" + paper_name +
            "' with ID: " + std::to_string(papers[match.index].id));
  }
  if (match.kind == NameMatch::kNone || papers[match.index].id == 0) {
    LogLine("DEBUG: Paper '" + paper_name + "' not found");
    return false;
  }
  const platform::Paper& paper = papers[match.index];
  LogLine("DEBUG: Setting paper ID=" + std::to_string(paper.id) + " Width=" + std::to_string(paper.width_tenths_mm) +
          " Height=" + std::to_string(paper.height_tenths_mm) + " (0.1mm)");
  settings->paper_id = paper.id;
  settings->fields |= platform::kFieldPaperSize;
  // Roll papers can be longer than the record's 16-bit fields: their sizes are then left unstated.
  const bool fits = paper.width_tenths_mm > 0 && paper.height_tenths_mm > 0 &&
                    paper.width_tenths_mm <= kMaxRecordTenths && paper.height_tenths_mm <= kMaxRecordTenths;
  if (fits) {
    settings->paper_width_tenths_mm = static_cast<int16_t>(paper.width_tenths_mm);
    settings->paper_length_tenths_mm = static_cast<int16_t>(paper.height_tenths_mm);
    settings->fields |= platform::kFieldPaperLength | platform::kFieldPaperWidth;
  } else {
    settings->fields &= ~(platform::kFieldPaperLength | platform::kFieldPaperWidth);
  }
  const bool merged = spooler.ValidateSettings(printer, &*settings).ok();
  LogMerge(merged);
  return merged && Store(spooler, printer, *settings, "DEBUG: Printer settings updated successfully");
}

}  // namespace runner::printing
