// FakePdfPrinter: the built-in printer's machine side in memory: its state text, and devices that write
// to the shared job log of a FakeJobLog (the "file" is the logged job).
#pragma once

#include <cerrno>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/fake/fake_print_device.h"
#include "platform/pdf_printer.h"

namespace platform {

// Thread safety: every method may be called from any thread.
class FakePdfPrinter : public PdfPrinter {
 public:
  FakePdfPrinter() : log_(std::make_shared<FakeJobLog>()) {}

  FakeJobLog& log() { return *log_; }
  void FailSavesWith(int errno_value) {
    std::lock_guard lock(mutex_);
    save_error_ = errno_value;
  }
  void FailDevicesWith(int errno_value) {
    std::lock_guard lock(mutex_);
    device_error_ = errno_value;
  }
  std::optional<std::string> state() const {
    std::lock_guard lock(mutex_);
    return state_;
  }
  PdfPage last_page() const {
    std::lock_guard lock(mutex_);
    return last_page_;
  }

  std::unique_ptr<PrintDevice> OpenDevice(const PdfPage& page, int* error) override {
    std::lock_guard lock(mutex_);
    if (device_error_ != 0) {
      *error = device_error_;
      return nullptr;
    }
    last_page_ = page;
    DeviceGeometry geometry;
    geometry.dpi_x = geometry.dpi_y = page.dpi;
    geometry.physical_width_px = geometry.printable_width_px = static_cast<int>(int64_t{page.width_tenths_mm} * page.dpi / 254);
    geometry.physical_height_px = geometry.printable_height_px = static_cast<int>(int64_t{page.height_tenths_mm} * page.dpi / 254);
    geometry.printable_width_mm = page.width_tenths_mm / 10;
    geometry.printable_height_mm = page.height_tenths_mm / 10;
    geometry.paper_name = page.paper_name;
    PrintSettings none;
    return std::make_unique<FakePrintDevice>(log_, "PictaVera PDF", none, geometry);
  }
  std::optional<std::string> LoadState() override {
    std::lock_guard lock(mutex_);
    return state_;
  }
  int SaveState(const std::string& text) override {
    std::lock_guard lock(mutex_);
    if (save_error_ != 0) return save_error_;
    state_ = text;
    return 0;
  }

 private:
  mutable std::mutex mutex_;
  std::optional<std::string> state_;
  int save_error_ = 0;
  int device_error_ = 0;
  PdfPage last_page_;
  std::shared_ptr<FakeJobLog> log_;
};

}  // namespace platform
