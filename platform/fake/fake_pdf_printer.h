// FakePdfPrinter: the built-in printer's machine side in memory: devices that write to the shared job
// log of a FakeJobLog (the "file" is the logged job).
#pragma once

#include <cerrno>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/fake/fake_print_device.h"
#include "platform/paper/page_geometry.h"
#include "platform/pdf_printer.h"

namespace platform {

// Thread safety: every method may be called from any thread.
class FakePdfPrinter : public PdfPrinter {
 public:
  FakePdfPrinter() : log_(std::make_shared<FakeJobLog>()) {}

  FakeJobLog& log() { return *log_; }
  void FailDevicesWith(int errno_value) {
    std::lock_guard lock(mutex_);
    device_error_ = errno_value;
  }
  PdfPage last_page() const {
    std::lock_guard lock(mutex_);
    return last_page_;
  }

  base::StatusOr<std::unique_ptr<PrintDevice>> OpenDevice(const PdfPage& page) override {
    std::lock_guard lock(mutex_);
    if (device_error_ != 0) {
      return base::Status::IoError("the output folder cannot be had").WithSystemError(device_error_);
    }
    last_page_ = page;
    const DeviceGeometry geometry =
        PageGeometry(SheetFromTenths(page.width_tenths_mm, page.height_tenths_mm), page.dpi, page.dpi, page.paper_name);
    PrintSettings none;
    return std::unique_ptr<PrintDevice>(std::make_unique<FakePrintDevice>(log_, "PictaVera PDF", none, geometry));
  }

 private:
  mutable std::mutex mutex_;
  int device_error_ = 0;
  PdfPage last_page_;
  std::shared_ptr<FakeJobLog> log_;
};

}  // namespace platform
