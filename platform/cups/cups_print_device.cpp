// The CUPS adapter's print device: a job's pages streamed to the scheduler as PDF, JPEG or PWG raster.
#include "platform/cups/cups_print_device.h"

#include <cerrno>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/cairo_pdf/page_raster.h"
#include "platform/cairo_pdf/pdf_pages.h"
#include "platform/cups/cups_device_setup.h"
#include "platform/cups/pwg_raster_writer.h"
#include "platform/paper/page_geometry.h"
#include "imaging/encode.h"

namespace platform::cups {
namespace {

constexpr int kPageJpegQuality = 95;  // pages sent as JPEG: as the sheets themselves are written
constexpr size_t kSendChunkBytes = size_t{1} << 20;

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

// A request libcups answered with `status` (or an HTTP status), as a failure of `what`: the number is
// the scheduler's own, for the log.
base::Status SendFailure(int status, const std::string& what) {
  using Code = base::Status::Code;
  Code code = Code::kIoError;
  if (status == IPP_STATUS_ERROR_NOT_ACCEPTING_JOBS || status == IPP_STATUS_ERROR_SERVICE_UNAVAILABLE ||
      status == IPP_STATUS_ERROR_PRINTER_IS_DEACTIVATED) {
    code = Code::kUnavailable;
  } else if (status == IPP_STATUS_ERROR_FORBIDDEN || status == IPP_STATUS_ERROR_NOT_AUTHORIZED ||
             status == IPP_STATUS_ERROR_NOT_AUTHENTICATED) {
    code = Code::kAccessDenied;
  }
  return base::Status(code, what + " failed (" + std::to_string(status) + ")").WithSystemError(status);
}

// The job ended in `state` (canceled or aborted) before it was done.
base::Status JobEnded(int state) {
  if (state == IPP_JSTATE_CANCELED) return base::Status::Cancelled("the job was cancelled").WithSystemError(state);
  return base::Status::IoError("the job was aborted").WithSystemError(state);
}

// The job's pages go to the scheduler as one PDF document streamed page by page, as one PWG raster
// document streamed page by page, or as one JPEG per page, each page a job of its own (a driverless
// printer keeps only the first document of a job). Every job carries the same options; the last one
// started is the one watched for a cancel from outside.
class CupsPrintDevice : public PrintDevice {
 public:
  CupsPrintDevice(PrinterHandles printer, const DeviceSetup& setup, std::shared_ptr<CupsSpooler::ActiveJobs> active)
      : dest_(std::move(printer.dest)),
        info_(std::move(printer.info)),
        upload_(std::move(printer.connection)),
        setup_(setup),
        active_(std::move(active)) {
    PageSheet page = setup.sheet;
    if (setup.landscape) page = TurnedSheet(page);
    geometry_ = PageGeometry(page, setup.dpi_x, setup.dpi_y, setup.media);
    geometry_.document_format = FormatName(setup.format);
    width_pt_ = PointsFromHundredths(page.width_hundredths_mm);
    height_pt_ = PointsFromHundredths(page.length_hundredths_mm);
    page_sheet_ = page;
  }

  ~CupsPrintDevice() override {
    if (!jobs_.empty() && !closed_) AbortDoc();
  }

  DeviceGeometry Geometry() const override { return geometry_; }

  base::StatusOr<int> StartDoc(const std::string& document_name) override {
    title_ = document_name;
    status_.reset(Connect());
    if (!status_) return SendFailure(static_cast<int>(cupsLastError()), "connecting to the scheduler");
    if (base::Status created = CreateJob(); !created.ok()) return created;
    // A document's bytes go out as they come, a chunk at a time: a raster page is larger than the page's
    // own pixels would allow to be held twice.
    const auto sink = [this](const uint8_t* bytes, size_t size) {
      if (closed_) return false;
      pending_.insert(pending_.end(), bytes, bytes + size);
      if (pending_.size() < kSendChunkBytes) return true;
      base::Status sent = Flush(FormatName(setup_.format));
      if (!sent.ok()) send_failure_ = std::move(sent);
      return send_failure_.ok();
    };
    if (setup_.format == PageFormat::kPdf) {
      pages_ = PdfPages::Create(width_pt_, height_pt_, geometry_, sink);
    } else {
      raster_ = PageRaster::Create(geometry_, setup_.budget);
      if (setup_.format == PageFormat::kPwgRaster && raster_) pwg_ = std::make_unique<PwgRasterWriter>(sink);
    }
    if (!pages_ && !raster_) {
      AbortDoc();
      return base::Status::OutOfMemory("no memory for the job's pages").WithSystemError(ENOMEM);
    }
    return jobs_.front();
  }

  base::Status StartPage() override { return CheckState(); }

  DrawResult DrawPicture(const PagePicture& picture, const RectF& dest) override {
    if (pages_) return pages_->DrawPicture(picture, dest);
    return raster_ ? raster_->DrawPicture(picture, dest) : DrawResult::kFailed;
  }

  base::Status EndPage() override {
    if (base::Status encoded = EncodePage(); !encoded.ok()) return encoded;
    if (setup_.format == PageFormat::kJpeg) {
      // This page's job: the document's first, or a new one; its one document is the page.
      if (ended_ > 0) {
        if (base::Status created = CreateJob(); !created.ok()) return created;
      }
      if (base::Status sent = Flush(CUPS_FORMAT_JPEG); !sent.ok()) return sent;
      started_ = false;
      if (base::Status finished = FinishDocument(); !finished.ok()) return finished;
    } else if (base::Status sent = Flush(FormatName(setup_.format)); !sent.ok()) {
      return sent;
    }
    ++ended_;
    return CheckState();
  }

  base::Status EndDoc() override {
    if (ended_ == 0) {  // nothing to print: no blank sheet
      AbortDoc();
      return base::Status::Ok();
    }
    if (setup_.format != PageFormat::kJpeg) {
      const bool finished = pages_ ? pages_->Finish() : true;
      pages_.reset();
      pwg_.reset();  // its last bytes go out
      base::Status sent = finished ? Flush(FormatName(setup_.format)) : base::Status::IoError("the PDF did not end");
      if (sent.ok()) sent = FinishDocument();
      if (!sent.ok()) {
        AbortDoc();
        return sent;
      }
    }
    closed_ = true;
    const int state = JobState(status_.get(), jobs_.back());
    if (state == IPP_JSTATE_CANCELED || state == IPP_JSTATE_ABORTED) return JobEnded(state);
    return base::Status::Ok();
  }

  void AbortDoc() override {
    if (closed_) return;
    closed_ = true;
    pages_.reset();  // its last writes are dropped
    pwg_.reset();
    Cancel();
    upload_.reset();  // without finishing the document
  }

 private:
  base::Status CreateJob() {
    cups_option_t* options = nullptr;
    int count = 0;
    for (const auto& [name, value] : setup_.options) count = cupsAddOption(name.c_str(), value.c_str(), count, &options);
    int job_id = 0;
    const ipp_status_t created =
        cupsCreateDestJob(upload_.get(), dest_.get(), info_.get(), &job_id, title_.c_str(), count, options);
    cupsFreeOptions(count, options);
    if (created > IPP_STATUS_OK_EVENTS_COMPLETE || job_id <= 0) {
      return SendFailure(static_cast<int>(cupsLastError()), std::string("creating a job on ") + dest_.get()->name);
    }
    jobs_.push_back(job_id);
    active_->Add(dest_.get()->name, job_id);
    return base::Status::Ok();
  }

  // The ended page into the pending bytes: PDF bytes as cairo writes them, or the raster page encoded.
  // A failure is the sending's, when a chunk could not be sent, else no memory.
  base::Status EncodePage() {
    send_failure_ = base::Status::Ok();
    const auto failed = [this]() {
      if (!send_failure_.ok()) return send_failure_;
      return base::Status::OutOfMemory("the page could not be encoded").WithSystemError(ENOMEM);
    };
    if (pages_) return pages_->ShowPage() ? base::Status::Ok() : failed();
    const imaging::Bitmap* page = raster_ ? raster_->Page() : nullptr;
    if (page == nullptr) return failed();
    if (pwg_) {
      return pwg_->WritePage(*page, setup_.media, page_sheet_.width_hundredths_mm, page_sheet_.length_hundredths_mm,
                             setup_.dpi_x, setup_.grey)
                 ? base::Status::Ok()
                 : failed();
    }
    base::StatusOr<std::vector<uint8_t>> jpeg = imaging::EncodeJpeg(*page, kPageJpegQuality, setup_.dpi_x);
    if (!jpeg.ok()) return failed();
    pending_.insert(pending_.end(), jpeg->begin(), jpeg->end());
    return base::Status::Ok();
  }

  void Cancel() {
    if (!status_) status_.reset(Connect());
    for (const int job : jobs_) {
      active_->Remove(dest_.get()->name, job);
      // client-error-not-possible means it was already cancelled or done: nothing more to do either way.
      if (status_) cupsCancelDestJob(status_.get(), dest_.get(), job);
    }
  }

  base::Status CheckState() {
    if (closed_ || jobs_.empty()) return base::Status::IoError("the job is not running").WithSystemError(EIO);
    const int state = JobState(status_.get(), jobs_.back());
    if (state == 0) return SendFailure(static_cast<int>(cupsLastError()), "asking for the job's state");
    if (state == IPP_JSTATE_CANCELED || state == IPP_JSTATE_ABORTED) return JobEnded(state);
    return base::Status::Ok();
  }

  // Sends what has been written so far; the current job's document is started with the first bytes.
  base::Status Flush(const char* format) {
    if (pending_.empty()) return base::Status::Ok();
    if (!started_) {
      const int last = 1;  // each job has exactly one document
      const http_status_t started = cupsStartDestDocument(upload_.get(), dest_.get(), info_.get(), jobs_.back(),
                                                          title_.c_str(), format, 0, nullptr, last);
      if (started != HTTP_STATUS_CONTINUE) return SendFailure(static_cast<int>(started), "starting the document");
      started_ = true;
    }
    const http_status_t written =
        cupsWriteRequestData(upload_.get(), reinterpret_cast<const char*>(pending_.data()), pending_.size());
    pending_.clear();
    if (written != HTTP_STATUS_CONTINUE) return SendFailure(static_cast<int>(written), "sending the document");
    return base::Status::Ok();
  }

  base::Status FinishDocument() {
    const ipp_status_t status = cupsFinishDestDocument(upload_.get(), dest_.get(), info_.get());
    active_->Remove(dest_.get()->name, jobs_.back());
    if (status > IPP_STATUS_OK_EVENTS_COMPLETE) return SendFailure(static_cast<int>(status), "finishing the document");
    return base::Status::Ok();
  }

  DestHandle dest_;
  InfoHandle info_;
  HttpHandle upload_;
  HttpHandle status_;
  DeviceSetup setup_;
  PageSheet page_sheet_;
  DeviceGeometry geometry_;
  double width_pt_ = 0;
  double height_pt_ = 0;
  std::string title_;
  std::shared_ptr<CupsSpooler::ActiveJobs> active_;
  std::vector<int> jobs_;  // started, in order
  int ended_ = 0;
  base::Status send_failure_;  // why sending a chunk of the document failed
  bool started_ = false;  // the current job's document has been started
  bool closed_ = false;
  std::vector<uint8_t> pending_;
  std::unique_ptr<PdfPages> pages_;
  std::unique_ptr<PageRaster> raster_;
  std::unique_ptr<PwgRasterWriter> pwg_;
};

}  // namespace

std::unique_ptr<PrintDevice> OpenPrintDevice(PrinterHandles printer, const PrintSettings& settings,
                                             std::shared_ptr<CupsSpooler::ActiveJobs> active, imaging::MemoryBudget* budget) {
  const DeviceSetup setup = SetupFor(printer.connection.get(), printer.dest.get(), printer.info.get(), settings, budget);
  return std::make_unique<CupsPrintDevice>(std::move(printer), setup, std::move(active));
}

}  // namespace platform::cups
