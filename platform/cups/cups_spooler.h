// CupsSpooler: the Spooler port over libcups.
//
// libcups is configured only through the environment (CUPS_SERVER, HOME, CUPS_SERVERROOT): its
// cupsSetServer/cupsSetUser settings are per thread, and jobs run on their own threads. The user's
// default printer and settings are the per-user lpoptions (written by libcups in place, without a lock),
// so every read-modify-write of them and every read of the default runs under one process-wide lock.
// Papers come from the destination's media list (numbers and labels as platform/paper/paper_numbers.h says).
// Jobs are documents in a format the queue takes (PDF, else a JPEG per page, else PWG raster) streamed
// page by page over their own connections, with explicit options
// (libcups sends only the options it is given); a job is watched through its state on a second
// connection, so that a cancel from outside is seen at the next page. A device destroyed with its job
// unfinished cancels the job, so no job is left held.
// Thread safety: every method may be called from any thread at once.
#pragma once

#include <memory>

#include "imaging/memory_budget.h"

#include "platform/spooler.h"

namespace platform {

class CupsSpooler : public Spooler {
 public:
  // `budget` (may be null: not counted) gives the pixels of pages sent as pictures; it must outlive the
  // spooler and its devices.
  explicit CupsSpooler(imaging::MemoryBudget* budget = nullptr);
  ~CupsSpooler() override;

  std::vector<PrinterSummary> Printers() override;
  std::optional<std::string> DefaultPrinter() override;
  base::Status SetDefaultPrinter(const std::string& name) override;
  bool HasPrinter(const std::string& name) override;
  std::optional<std::vector<Paper>> Papers(const std::string& name) override;
  std::optional<PrintSettings> CurrentSettings(const std::string& name) override;
  base::Status ValidateSettings(const std::string& name, PrintSettings* settings) override;
  base::Status StoreSettings(const std::string& name, const PrintSettings& settings) override;
  base::StatusOr<std::unique_ptr<PrintDevice>> OpenDevice(const std::string& name,
                                                          const PrintSettings& settings) override;
  void CancelActiveJobs() override;

  // The jobs the devices have started and not finished: (queue name, job number).
  struct ActiveJobs;

 private:
  std::shared_ptr<ActiveJobs> active_;
  imaging::MemoryBudget* budget_;
};

}  // namespace platform
