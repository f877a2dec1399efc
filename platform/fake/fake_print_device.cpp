// FakePrintDevice: jobs kept in a shared log.
#include "platform/fake/fake_print_device.h"

#include <cerrno>

namespace platform {

FakePrintDevice::FakePrintDevice(std::shared_ptr<FakeJobLog> log, std::string printer, const PrintSettings& settings,
                                 const DeviceGeometry& geometry)
    : log_(std::move(log)), script_(log_->script()), geometry_(geometry) {
  FakeJob job;
  job.printer = std::move(printer);
  job.settings = settings;
  index_ = log_->Add(std::move(job));
}

int FakePrintDevice::StartDoc(const std::string& document_name, int* error) {
  if (script_.refuse_start_doc) {
    *error = EIO;
    return 0;
  }
  log_->Update(index_, [&](FakeJob& job) {
    job.started = true;
    job.document_name = document_name;
  });
  return static_cast<int>(index_) + 1;
}

PageStatus FakePrintDevice::StartPage(int* error) {
  ++page_starts_;
  page_.clear();
  if (page_starts_ == script_.cancel_at_start_page) {
    *error = ECANCELED;
    return PageStatus::kCancelled;
  }
  if (page_starts_ == script_.fail_at_start_page) {
    *error = EIO;
    return PageStatus::kFailed;
  }
  return PageStatus::kOk;
}

DrawResult FakePrintDevice::DrawPicture(const PagePicture& picture, const RectF& dest) {
  if (script_.fail_draws) return DrawResult::kFailed;
  if (picture.bitmap == nullptr && script_.jpegs_need_pixels) return DrawResult::kNeedsPixels;
  uint32_t centre = 0;
  if (picture.bitmap != nullptr && !picture.bitmap->empty()) {
    const uint8_t* p = picture.bitmap->pixel(picture.bitmap->width_px / 2, picture.bitmap->height_px / 2);
    centre = uint32_t{p[3]} << 24 | uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
  }
  page_.push_back(FakeDrawnPicture{picture.bitmap != nullptr, picture.bitmap ? std::string() : picture.jpeg_path,
                                   picture.width_px, picture.height_px, picture.orientation, picture.turn_clockwise,
                                   dest, centre});
  return DrawResult::kDrawn;
}

PageStatus FakePrintDevice::EndPage(int* error) {
  if (page_starts_ == script_.cancel_at_end_page) {
    *error = ECANCELED;
    return PageStatus::kCancelled;
  }
  log_->Update(index_, [&](FakeJob& job) { job.pages.push_back(page_); });
  return PageStatus::kOk;
}

PageStatus FakePrintDevice::EndDoc(int* error) {
  log_->Update(index_, [](FakeJob& job) { job.ended = true; });
  if (script_.fail_end_doc) {
    *error = EIO;
    return PageStatus::kFailed;
  }
  return PageStatus::kOk;
}

void FakePrintDevice::AbortDoc() {
  log_->Update(index_, [](FakeJob& job) { job.aborted = true; });
}

}  // namespace platform
