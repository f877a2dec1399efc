// FakePrintDevice: a page device that keeps every job in a shared log, and can be told to refuse the
// job, cancel it or fail at a given page.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/print_device.h"
#include "platform/spooler.h"

namespace platform {

struct FakeDrawnPicture {
  bool from_bitmap = false;
  std::string jpeg_path;
  int width_px = 0;
  int height_px = 0;
  int orientation = 1;
  bool turn_clockwise = false;
  RectF dest;
  uint32_t centre_argb = 0;  // a bitmap's pixel at its centre, 0xAARRGGBB
};

struct FakeJob {
  std::string printer;
  PrintSettings settings;
  std::string document_name;
  std::vector<std::vector<FakeDrawnPicture>> pages;  // ended pages
  bool started = false;
  bool ended = false;    // EndDoc was called
  bool aborted = false;  // AbortDoc was called
};

// What the next devices do. Page numbers count StartPage calls from 1; 0 means never.
struct FakeDeviceScript {
  DeviceGeometry geometry{300, 300, 2480, 3508, 210, 297, 2480, 3508, 0, 0};
  bool use_paper_geometry = true;  // geometry from the settings' paper at 300 dpi, no margins
  bool refuse_start_doc = false;
  int cancel_at_start_page = 0;
  int fail_at_start_page = 0;
  int cancel_at_end_page = 0;
  bool fail_draws = false;
  bool jpegs_need_pixels = false;  // JPEG files are refused as needing their decoded pixels
  bool fail_end_doc = false;
};

// Thread safety: the log may be read and the script changed from any thread.
class FakeJobLog {
 public:
  std::vector<FakeJob> jobs() const {
    std::lock_guard lock(mutex_);
    return jobs_;
  }
  FakeDeviceScript script() const {
    std::lock_guard lock(mutex_);
    return script_;
  }
  void set_script(const FakeDeviceScript& script) {
    std::lock_guard lock(mutex_);
    script_ = script;
  }
  size_t Add(FakeJob job) {
    std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
    return jobs_.size() - 1;
  }
  template <class F>
  void Update(size_t index, F change) {
    std::lock_guard lock(mutex_);
    change(jobs_[index]);
  }

 private:
  mutable std::mutex mutex_;
  std::vector<FakeJob> jobs_;
  FakeDeviceScript script_;
};

class FakePrintDevice : public PrintDevice {
 public:
  FakePrintDevice(std::shared_ptr<FakeJobLog> log, std::string printer, const PrintSettings& settings,
                  const DeviceGeometry& geometry);

  DeviceGeometry Geometry() const override { return geometry_; }
  base::StatusOr<int> StartDoc(const std::string& document_name) override;
  base::Status StartPage() override;
  DrawResult DrawPicture(const PagePicture& picture, const RectF& dest) override;
  base::Status EndPage() override;
  base::Status EndDoc() override;
  void AbortDoc() override;

 private:
  std::shared_ptr<FakeJobLog> log_;
  FakeDeviceScript script_;
  DeviceGeometry geometry_;
  size_t index_;
  int page_starts_ = 0;
  std::vector<FakeDrawnPicture> page_;
};

}  // namespace platform
