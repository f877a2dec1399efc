// The CUPS adapter's print device: a PDF document streamed to the scheduler.
#include "platform/cups/cups_print_device.h"

#include <cerrno>
#include <cstdint>
#include <vector>

#include "platform/cairo_pdf/pdf_pages.h"
#include "platform/cups/cups_media.h"
#include "platform/paper/page_geometry.h"

namespace platform::cups {
namespace {

constexpr int kDefaultDpi = 600;

int JobState(http_t* http, int job_id) {
  ipp_t* request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
  char uri[HTTP_MAX_URI];
  httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", 0, "/jobs/%d", job_id);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "job-state");
  ipp_t* response = cupsDoRequest(http, request, "/");
  int state = 0;
  if (response) {
    if (ipp_attribute_t* attribute = ippFindAttribute(response, "job-state", IPP_TAG_ENUM)) {
      state = ippGetInteger(attribute, 0);
    }
    ippDelete(response);
  }
  return state;
}

class CupsPrintDevice : public PrintDevice {
 public:
  CupsPrintDevice(PrinterHandles printer, const Sheet& sheet, int dpi_x, int dpi_y, bool landscape,
                  CupsOptions options, std::shared_ptr<CupsSpooler::ActiveJobs> active)
      : dest_(std::move(printer.dest)),
        info_(std::move(printer.info)),
        upload_(std::move(printer.connection)),
        options_(std::move(options)),
        active_(std::move(active)) {
    const cups_size_t& s = sheet.size;
    PageSheet page{s.width, s.length, s.left, s.top, s.right, s.bottom};
    if (landscape) page = TurnedSheet(page);
    geometry_ = PageGeometry(page, dpi_x, dpi_y, sheet.media);
    width_pt_ = PointsFromHundredths(page.width_hundredths_mm);
    height_pt_ = PointsFromHundredths(page.length_hundredths_mm);
  }

  ~CupsPrintDevice() override {
    if (job_id_ > 0 && !closed_) AbortDoc();
  }

  DeviceGeometry Geometry() const override { return geometry_; }

  int StartDoc(const std::string& document_name, int* error) override {
    title_ = document_name;
    status_.reset(Connect());
    if (!status_) {
      *error = static_cast<int>(cupsLastError());
      return 0;
    }
    cups_option_t* options = nullptr;
    int count = 0;
    for (const auto& [name, value] : options_) count = cupsAddOption(name.c_str(), value.c_str(), count, &options);
    int job_id = 0;
    const ipp_status_t created = cupsCreateDestJob(upload_.get(), dest_.get(), info_.get(), &job_id, title_.c_str(), count, options);
    cupsFreeOptions(count, options);
    if (created > IPP_STATUS_OK_EVENTS_COMPLETE || job_id <= 0) {
      *error = static_cast<int>(cupsLastError());
      return 0;
    }
    job_id_ = job_id;
    active_->Add(dest_.get()->name, job_id_);
    pages_ = PdfPages::Create(width_pt_, height_pt_, geometry_, [this](const uint8_t* bytes, size_t size) {
      if (closed_) return false;
      pending_.insert(pending_.end(), bytes, bytes + size);
      return true;
    });
    if (!pages_) {
      *error = ENOMEM;
      AbortDoc();
      return 0;
    }
    return job_id_;
  }

  PageStatus StartPage(int* error) override { return CheckState(error); }

  DrawResult DrawPicture(const PagePicture& picture, const RectF& dest) override {
    return pages_ ? pages_->DrawPicture(picture, dest) : DrawResult::kFailed;
  }

  PageStatus EndPage(int* error) override {
    if (!pages_ || !pages_->ShowPage()) {
      *error = ENOMEM;
      return PageStatus::kFailed;
    }
    if (!Flush(error)) return PageStatus::kFailed;
    ++ended_;
    return CheckState(error);
  }

  PageStatus EndDoc(int* error) override {
    if (ended_ == 0) {  // nothing to print: no blank sheet
      AbortDoc();
      return PageStatus::kOk;
    }
    const bool finished = pages_->Finish();
    pages_.reset();
    if (!finished || !Flush(error)) {
      AbortDoc();
      return PageStatus::kFailed;
    }
    const ipp_status_t status = cupsFinishDestDocument(upload_.get(), dest_.get(), info_.get());
    closed_ = true;
    active_->Remove(dest_.get()->name, job_id_);
    if (status > IPP_STATUS_OK_EVENTS_COMPLETE) {
      *error = static_cast<int>(status);
      Cancel();
      return PageStatus::kFailed;
    }
    const int state = JobState(status_.get(), job_id_);
    if (state == IPP_JSTATE_CANCELED || state == IPP_JSTATE_ABORTED) {
      *error = state;
      return state == IPP_JSTATE_CANCELED ? PageStatus::kCancelled : PageStatus::kFailed;
    }
    return PageStatus::kOk;
  }

  void AbortDoc() override {
    if (closed_) return;
    closed_ = true;
    pages_.reset();  // its last writes are dropped
    Cancel();
    upload_.reset();  // without finishing the document
  }

 private:
  void Cancel() {
    if (job_id_ <= 0) return;
    active_->Remove(dest_.get()->name, job_id_);
    if (!status_) status_.reset(Connect());
    // client-error-not-possible means it was already cancelled: nothing more to do either way.
    if (status_) cupsCancelDestJob(status_.get(), dest_.get(), job_id_);
  }

  PageStatus CheckState(int* error) {
    if (closed_ || job_id_ <= 0) {
      *error = EIO;
      return PageStatus::kFailed;
    }
    const int state = JobState(status_.get(), job_id_);
    if (state == IPP_JSTATE_CANCELED) {
      *error = state;
      return PageStatus::kCancelled;
    }
    if (state == IPP_JSTATE_ABORTED || state == 0) {
      *error = state == 0 ? static_cast<int>(cupsLastError()) : state;
      return PageStatus::kFailed;
    }
    return PageStatus::kOk;
  }

  // Sends what cairo has written so far; the document is started with the first bytes.
  bool Flush(int* error) {
    if (pending_.empty()) return true;
    if (!started_) {
      const http_status_t started = cupsStartDestDocument(upload_.get(), dest_.get(), info_.get(), job_id_, title_.c_str(),
                                                          CUPS_FORMAT_PDF, 0, nullptr, 1);
      if (started != HTTP_STATUS_CONTINUE) {
        *error = static_cast<int>(started);
        return false;
      }
      started_ = true;
    }
    const http_status_t written =
        cupsWriteRequestData(upload_.get(), reinterpret_cast<const char*>(pending_.data()), pending_.size());
    pending_.clear();
    if (written != HTTP_STATUS_CONTINUE) {
      *error = static_cast<int>(written);
      return false;
    }
    return true;
  }

  DestHandle dest_;
  InfoHandle info_;
  HttpHandle upload_;
  HttpHandle status_;
  CupsOptions options_;
  DeviceGeometry geometry_;
  double width_pt_ = 0;
  double height_pt_ = 0;
  std::string title_;
  std::shared_ptr<CupsSpooler::ActiveJobs> active_;
  int job_id_ = 0;
  int ended_ = 0;
  bool started_ = false;
  bool closed_ = false;
  std::vector<uint8_t> pending_;
  std::unique_ptr<PdfPages> pages_;
};


}  // namespace

std::unique_ptr<PrintDevice> OpenPrintDevice(PrinterHandles printer, const PrintSettings& settings,
                                             std::shared_ptr<CupsSpooler::ActiveJobs> active) {
  http_t* http = printer.connection.get();
  cups_dest_t* dest = printer.dest.get();
  cups_dinfo_t* info = printer.info.get();
  const Sheet sheet = SheetForSettings(http, dest, info, settings);
  int dpi_x = kDefaultDpi;
  int dpi_y = kDefaultDpi;
  if (ipp_attribute_t* resolution = cupsFindDestDefault(http, dest, info, "printer-resolution")) {
    ipp_res_t units = IPP_RES_PER_INCH;
    int y = 0;
    const int x = ippGetResolution(resolution, 0, &y, &units);
    if (units == IPP_RES_PER_INCH && x > 0 && y > 0 && x <= 4800 && y <= 4800) {
      dpi_x = x;
      dpi_y = y;
    }
  }
  const bool landscape = (settings.fields & kFieldOrientation) && settings.orientation == kOrientationLandscape;
  // A job names its colour mode itself: colour unless the settings say otherwise (the queue's default may
  // be grey), where the printer prints colour at all.
  PrintSettings job = settings;
  if (!(job.fields & kFieldColor) && cupsCheckDestSupported(http, dest, info, "print-color-mode", "color")) {
    job.fields |= kFieldColor;
    job.color = kColorColor;
  }
  return std::make_unique<CupsPrintDevice>(std::move(printer), sheet, dpi_x, dpi_y, landscape,
                                           JobOptions(job, sheet.media), std::move(active));
}

}  // namespace platform::cups
