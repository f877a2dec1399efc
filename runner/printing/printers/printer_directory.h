// PrinterDirectory: the printers the application offers: the system's printers, then the built-in PDF
// printer "PictaVera PDF", always listed last and always online.
//
// The built-in printer is the default printer while the user has chosen it, or whenever the system
// reports no default (so a machine without printers can still print). Choosing it is remembered in its
// own state, never in the system's per-user settings (a default there naming a printer the system does
// not know would leave every other program of the user without a default). Making a system printer the
// default clears that choice. Its settings are kept in the same state.
// Its papers: A4, Letter, Legal, A3, A5, A6, 4x6 in, 5x7 in, 8x10 in and 10x15 cm, borderless.
//
// The built-in printer's state (runner/printing/printers/built_in_state.h) is read from its settings store
// once, on first use, and written there once each time it changes.
//
// A system printer's settings, as Pictavera's jobs and dialogs start from them, are the system's without
// the copies, orientation, colour mode and page layout that the user (or the printer's administrator)
// stored for every program: Pictavera's jobs set those themselves. The colour mode and quality that
// Pictavera itself stored for a printer (its dialogs' choice) are kept in a store of its own and used
// instead, so that what another program stores for the printer never changes a Pictavera print.
//
// Thread safety: as the Spooler port; the built-in printer's state is read and rewritten under one lock.
#pragma once

#include <mutex>
#include <string>

#include "platform/pdf_printer.h"
#include "platform/settings_store.h"
#include "platform/spooler.h"
#include "runner/printing/printers/built_in_state.h"

namespace runner::printing {

inline constexpr std::string_view kBuiltInPrinterName = "PictaVera PDF";
inline constexpr std::string_view kBuiltInPrinterComment = "Pictavera built-in PDF printer";
inline constexpr int kBuiltInPrinterDpi = 300;

class PrinterDirectory : public platform::Spooler {
 public:
  // `system` may be null (no system printing); `pdf` may be null (no built-in printer); `pdf_state` keeps
  // the built-in printer's state (null: nothing is kept across runs, every change fails); `choices` keeps
  // the colour mode and quality Pictavera stored for each system printer (null: none kept). All must
  // outlive the directory.
  PrinterDirectory(platform::Spooler* system, platform::PdfPrinter* pdf, platform::SettingsStore* pdf_state,
                   platform::SettingsStore* choices = nullptr)
      : system_(system), pdf_(pdf), state_store_(pdf_state), choices_(choices) {}

  // The built-in printer's papers.
  static std::vector<platform::Paper> BuiltInPapers();

  std::vector<platform::PrinterSummary> Printers() override;
  std::optional<std::string> DefaultPrinter() override;
  base::Status SetDefaultPrinter(const std::string& name) override;
  bool HasPrinter(const std::string& name) override;
  std::optional<std::vector<platform::Paper>> Papers(const std::string& name) override;
  std::optional<platform::PrintSettings> CurrentSettings(const std::string& name) override;
  base::Status ValidateSettings(const std::string& name, platform::PrintSettings* settings) override;
  base::Status StoreSettings(const std::string& name, const platform::PrintSettings& settings) override;
  base::StatusOr<std::unique_ptr<platform::PrintDevice>> OpenDevice(const std::string& name,
                                                                    const platform::PrintSettings& settings) override;
  void CancelActiveJobs() override;

 private:
  bool IsBuiltIn(const std::string& name) const { return pdf_ != nullptr && name == kBuiltInPrinterName; }
  BuiltInState LoadLocked();
  base::Status SaveLocked(const BuiltInState& state);

  platform::Spooler* system_;
  platform::PdfPrinter* pdf_;
  platform::SettingsStore* state_store_;
  platform::SettingsStore* choices_;
  std::mutex mutex_;
  std::optional<BuiltInState> loaded_;  // the state as last read or written
};

}  // namespace runner::printing
