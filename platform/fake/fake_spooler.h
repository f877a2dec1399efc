// FakeSpooler: printers, papers, a default printer and stored settings in memory, with failures that a
// test arranges (an unreachable printer, a refused store, a default that does not change, a paper the
// printer cannot take). Its devices are FakePrintDevices writing to one shared job log.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/fake/fake_print_device.h"
#include "platform/spooler.h"

namespace platform {

struct FakePrinter {
  PrinterSummary summary;
  std::vector<Paper> papers;
  PrintSettings defaults;        // what the printer starts from before the user stores anything
  bool papers_readable = true;   // false: Papers answers nothing
  bool settings_readable = true; // false: CurrentSettings answers nothing
  bool opens = true;             // false: listed, but cannot be opened
  bool takes_custom_sizes = true;
};

// Thread safety: every method may be called from any thread at once.
class FakeSpooler : public Spooler {
 public:
  FakeSpooler() : log_(std::make_shared<FakeJobLog>()) {}

  // Arranging.
  void AddPrinter(FakePrinter printer);
  void SetDefault(std::optional<std::string> name);
  void FailStoresWith(int errno_value);          // 0 stores again
  void RefuseDefaultChanges(bool refuse);
  void FailDevicesWith(int error);               // 0 opens devices again
  FakeJobLog& log() { return *log_; }

  // Looking.
  std::optional<PrintSettings> Stored(const std::string& name) const;
  int store_count() const;
  int default_changes() const;
  int cancel_requests() const;

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

 private:
  const FakePrinter* FindLocked(const std::string& name) const;

  mutable std::mutex mutex_;
  std::vector<FakePrinter> printers_;
  std::map<std::string, PrintSettings> stored_;
  std::optional<std::string> default_;
  int store_error_ = 0;
  bool refuse_default_ = false;
  int device_error_ = 0;
  int store_count_ = 0;
  int default_changes_ = 0;
  int cancel_requests_ = 0;
  std::shared_ptr<FakeJobLog> log_;
};

// Geometry of a borderless page of `settings`' paper (looked up in `papers`, or the stated size for a
// user-defined paper) at `dpi`, turned for a landscape orientation. Nothing when the size is unknown.
std::optional<DeviceGeometry> PaperGeometry(const std::vector<Paper>& papers, const PrintSettings& settings, int dpi);

}  // namespace platform
