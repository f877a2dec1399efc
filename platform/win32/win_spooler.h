// WinSpooler: the Spooler port over the Windows print spooler (winspool) and GDI printing.
//
// Printers are the spooler's local printers and connections (EnumPrintersW level 2, in its order); the
// default is the user's (GetDefaultPrinterW / SetDefaultPrinterW). Settings are the system's own records
// (DEVMODEW): a job starts from the user's record for the printer (DocumentPropertiesW), the public values
// of PrintSettings are written over it and the driver merges them; the user's record is stored per user
// (SetPrinterW level 9). PrintSettings carries no options here: the driver keeps its own in the record's
// private part, which the spooler keeps. Papers come from DeviceCapabilitiesW (numbers, names, sizes), each
// paper's margins from the printable area the driver reports for it. Jobs are GDI documents
// (gdi_print_device.h); CancelActiveJobs cancels the running ones in the spooler (SetJobW).
// Thread safety: every method may be called from any thread at once; StoreSettings calls (read, merge,
// write) are serialised within the process.
#pragma once

#include <memory>

#include "platform/spooler.h"

namespace platform {

class WinSpooler : public Spooler {
 public:
  WinSpooler();
  ~WinSpooler() override;

  std::vector<PrinterSummary> Printers() override;
  std::optional<std::string> DefaultPrinter() override;
  base::Status SetDefaultPrinter(const std::string& name) override;
  bool HasPrinter(const std::string& name) override;
  std::optional<std::vector<Paper>> Papers(const std::string& name) override;
  std::optional<PrintSettings> CurrentSettings(const std::string& name) override;
  base::Status ValidateSettings(const std::string& name, PrintSettings* settings) override;
  // A failure's errno value: ENOENT (no such printer), EINVAL (the driver refused the settings), EACCES
  // (the spooler refused to store them), EIO (the printer's record could not be read).
  base::Status StoreSettings(const std::string& name, const PrintSettings& settings) override;
  // A failure carries the system's error number (ERROR_INVALID_PRINTER_NAME ...).
  base::StatusOr<std::unique_ptr<PrintDevice>> OpenDevice(const std::string& name,
                                                          const PrintSettings& settings) override;
  void CancelActiveJobs() override;

  // The jobs the devices have started and not finished: (printer name, job number).
  struct ActiveJobs;

 private:
  std::shared_ptr<ActiveJobs> active_;
};

}  // namespace platform
