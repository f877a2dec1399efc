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
// Thread safety: as the Spooler port; the built-in printer's state is read and rewritten under one lock.
#pragma once

#include <mutex>
#include <string>

#include "platform/pdf_printer.h"
#include "platform/spooler.h"

namespace runner::printing {

inline constexpr std::string_view kBuiltInPrinterName = "PictaVera PDF";
inline constexpr std::string_view kBuiltInPrinterComment = "Pictavera built-in PDF printer";
inline constexpr int kBuiltInPrinterDpi = 300;

class PrinterDirectory : public platform::Spooler {
 public:
  // `system` may be null (no system printing); `pdf` may be null (no built-in printer). Both must outlive
  // the directory.
  PrinterDirectory(platform::Spooler* system, platform::PdfPrinter* pdf) : system_(system), pdf_(pdf) {}

  // The built-in printer's papers.
  static std::vector<platform::Paper> BuiltInPapers();

  std::vector<platform::PrinterSummary> Printers() override;
  std::optional<std::string> DefaultPrinter() override;
  bool SetDefaultPrinter(const std::string& name) override;
  bool HasPrinter(const std::string& name) override;
  std::optional<std::vector<platform::Paper>> Papers(const std::string& name) override;
  std::optional<platform::PrintSettings> CurrentSettings(const std::string& name) override;
  bool ValidateSettings(const std::string& name, platform::PrintSettings* settings) override;
  int StoreSettings(const std::string& name, const platform::PrintSettings& settings) override;
  std::unique_ptr<platform::PrintDevice> OpenDevice(const std::string& name, const platform::PrintSettings& settings,
                                                    int* error) override;
  void CancelActiveJobs() override;

 private:
  struct BuiltInState {
    bool is_default = false;
    std::optional<platform::PrintSettings> settings;
  };
  bool IsBuiltIn(const std::string& name) const { return pdf_ != nullptr && name == kBuiltInPrinterName; }
  BuiltInState LoadLocked();
  int SaveLocked(const BuiltInState& state);

  platform::Spooler* system_;
  platform::PdfPrinter* pdf_;
  std::mutex mutex_;
};

}  // namespace runner::printing
