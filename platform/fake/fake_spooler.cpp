// FakeSpooler: printers in memory.
#include "platform/fake/fake_spooler.h"

#include "platform/paper/page_geometry.h"

#include <cerrno>
#include <cstdlib>

namespace platform {
namespace {

base::Status NoPrinter(const std::string& name) {
  return base::Status::NotFound("no printer " + name).WithSystemError(ENOENT);
}

}  // namespace

void FakeSpooler::AddPrinter(FakePrinter printer) {
  std::lock_guard lock(mutex_);
  printers_.push_back(std::move(printer));
}

void FakeSpooler::SetDefault(std::optional<std::string> name) {
  std::lock_guard lock(mutex_);
  default_ = std::move(name);
}

void FakeSpooler::FailStoresWith(int errno_value) {
  std::lock_guard lock(mutex_);
  store_error_ = errno_value;
}

void FakeSpooler::RefuseDefaultChanges(bool refuse) {
  std::lock_guard lock(mutex_);
  refuse_default_ = refuse;
}

void FakeSpooler::FailDevicesWith(int error) {
  std::lock_guard lock(mutex_);
  device_error_ = error;
}

std::optional<PrintSettings> FakeSpooler::Stored(const std::string& name) const {
  std::lock_guard lock(mutex_);
  auto found = stored_.find(name);
  if (found == stored_.end()) return std::nullopt;
  return found->second;
}

int FakeSpooler::store_count() const {
  std::lock_guard lock(mutex_);
  return store_count_;
}

int FakeSpooler::default_changes() const {
  std::lock_guard lock(mutex_);
  return default_changes_;
}

const FakePrinter* FakeSpooler::FindLocked(const std::string& name) const {
  for (const FakePrinter& printer : printers_) {
    if (printer.summary.name == name && printer.opens) return &printer;
  }
  return nullptr;
}

std::vector<PrinterSummary> FakeSpooler::Printers() {
  std::lock_guard lock(mutex_);
  std::vector<PrinterSummary> list;
  for (const FakePrinter& printer : printers_) list.push_back(printer.summary);
  return list;
}

std::optional<std::string> FakeSpooler::DefaultPrinter() {
  std::lock_guard lock(mutex_);
  return default_;
}

base::Status FakeSpooler::SetDefaultPrinter(const std::string& name) {
  std::lock_guard lock(mutex_);
  ++default_changes_;
  if (FindLocked(name) == nullptr) return NoPrinter(name);
  if (refuse_default_) return base::Status::AccessDenied("the default printer stays as it is");
  default_ = name;
  return base::Status::Ok();
}

bool FakeSpooler::HasPrinter(const std::string& name) {
  std::lock_guard lock(mutex_);
  return FindLocked(name) != nullptr;
}

std::optional<std::vector<Paper>> FakeSpooler::Papers(const std::string& name) {
  std::lock_guard lock(mutex_);
  const FakePrinter* printer = FindLocked(name);
  if (printer == nullptr || !printer->papers_readable) return std::nullopt;
  return printer->papers;
}

std::optional<PrintSettings> FakeSpooler::CurrentSettings(const std::string& name) {
  std::lock_guard lock(mutex_);
  const FakePrinter* printer = FindLocked(name);
  if (printer == nullptr || !printer->settings_readable) return std::nullopt;
  auto stored = stored_.find(name);
  return stored != stored_.end() ? stored->second : printer->defaults;
}

base::Status FakeSpooler::ValidateSettings(const std::string& name, PrintSettings* settings) {
  std::lock_guard lock(mutex_);
  const FakePrinter* printer = FindLocked(name);
  if (printer == nullptr) return NoPrinter(name);
  if (!(settings->fields & kFieldPaperSize)) return base::Status::Ok();
  if (settings->paper_id == kPaperUser) {
    if (printer->takes_custom_sizes && settings->paper_width_tenths_mm > 0 && settings->paper_length_tenths_mm > 0) {
      return base::Status::Ok();
    }
    return base::Status::Unsupported(name + " takes no paper of that size");
  }
  for (const Paper& paper : printer->papers) {
    if (paper.id == settings->paper_id) return base::Status::Ok();
  }
  return base::Status::Unsupported(name + " has no paper " + std::to_string(settings->paper_id));
}

base::Status FakeSpooler::StoreSettings(const std::string& name, const PrintSettings& settings) {
  std::lock_guard lock(mutex_);
  if (store_error_ != 0) return base::Status::IoError("the settings were refused").WithSystemError(store_error_);
  if (FindLocked(name) == nullptr) return NoPrinter(name);
  stored_[name] = settings;
  ++store_count_;
  return base::Status::Ok();
}

base::StatusOr<std::unique_ptr<PrintDevice>> FakeSpooler::OpenDevice(const std::string& name,
                                                                     const PrintSettings& settings) {
  std::lock_guard lock(mutex_);
  const FakePrinter* printer = FindLocked(name);
  if (printer == nullptr) return NoPrinter(name);
  if (device_error_ != 0) return base::Status::Unavailable(name + " cannot be opened").WithSystemError(device_error_);
  const FakeDeviceScript script = log_->script();
  DeviceGeometry geometry = script.geometry;
  if (script.use_paper_geometry) {
    if (auto from_paper = PaperGeometry(printer->papers, settings, 300)) geometry = *from_paper;
  }
  return std::unique_ptr<PrintDevice>(std::make_unique<FakePrintDevice>(log_, name, settings, geometry));
}

std::optional<DeviceGeometry> PaperGeometry(const std::vector<Paper>& papers, const PrintSettings& settings, int dpi) {
  int64_t width = 0;
  int64_t height = 0;
  std::string name = "custom";
  if (settings.paper_id == kPaperUser) {
    width = settings.paper_width_tenths_mm;
    height = settings.paper_length_tenths_mm;
  } else {
    for (const Paper& paper : papers) {
      if (paper.id == settings.paper_id) {
        width = paper.width_tenths_mm;
        height = paper.height_tenths_mm;
        name = paper.label;
        break;
      }
    }
  }
  if (width <= 0 || height <= 0) return std::nullopt;
  PageSheet sheet = SheetFromTenths(width, height);
  if ((settings.fields & kFieldOrientation) && settings.orientation == kOrientationLandscape) sheet = TurnedSheet(sheet);
  return PageGeometry(sheet, dpi, dpi, name);
}

void FakeSpooler::CancelActiveJobs() {
  std::lock_guard lock(mutex_);
  ++cancel_requests_;
}

int FakeSpooler::cancel_requests() const {
  std::lock_guard lock(mutex_);
  return cancel_requests_;
}

}  // namespace platform
