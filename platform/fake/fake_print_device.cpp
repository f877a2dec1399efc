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

base::StatusOr<int> FakePrintDevice::StartDoc(const std::string& document_name) {
  if (script_.refuse_start_doc) return base::Status::IoError("the job was refused").WithSystemError(EIO);
  log_->Update(index_, [&](FakeJob& job) {
    job.started = true;
    job.document_name = document_name;
  });
  return static_cast<int>(index_) + 1;
}

base::Status FakePrintDevice::StartPage() {
  ++page_starts_;
  page_.clear();
  if (page_starts_ == script_.cancel_at_start_page) {
    return base::Status::Cancelled("the job was cancelled").WithSystemError(ECANCELED);
  }
  if (page_starts_ == script_.fail_at_start_page) return base::Status::IoError("the page failed").WithSystemError(EIO);
  return base::Status::Ok();
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

base::Status FakePrintDevice::EndPage() {
  if (page_starts_ == script_.cancel_at_end_page) {
    return base::Status::Cancelled("the job was cancelled").WithSystemError(ECANCELED);
  }
  log_->Update(index_, [&](FakeJob& job) { job.pages.push_back(page_); });
  return base::Status::Ok();
}

base::Status FakePrintDevice::EndDoc() {
  log_->Update(index_, [](FakeJob& job) { job.ended = true; });
  if (script_.fail_end_doc) return base::Status::IoError("the job could not be ended").WithSystemError(EIO);
  return base::Status::Ok();
}

void FakePrintDevice::AbortDoc() {
  log_->Update(index_, [](FakeJob& job) { job.aborted = true; });
}

}  // namespace platform
