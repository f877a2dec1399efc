// PdfFilePrinter: PDF files in the output folder.
#include "platform/cairo_pdf/pdf_file_printer.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>

#include "imaging/output/file_status.h"
#include "platform/cairo_pdf/pdf_pages.h"
#include "platform/paper/page_geometry.h"
#include "platform/posix/file_primitives.h"

namespace platform {
namespace {

constexpr int kMaxCopies = 100;

// The errno value the log gives for a file system failure: the system's own, else one for its kind.
int ErrnoFor(const base::Status& status) {
  if (!status.ok() && status.system_error() != 0) return status.system_error();
  switch (status.code()) {
    case base::Status::Code::kOk: return 0;
    case base::Status::Code::kNotFound: return ENOENT;
    case base::Status::Code::kAlreadyExists: return EEXIST;
    case base::Status::Code::kAccessDenied: return EACCES;
    case base::Status::Code::kInvalidArgument: return EINVAL;
    case base::Status::Code::kTooLarge: return EFBIG;
    case base::Status::Code::kOutOfMemory: return ENOMEM;
    default: return EIO;
  }
}

// `status` with the number of ErrnoFor, so that every failure of a job names one in the log.
base::Status Numbered(const base::Status& status) { return status.WithSystemError(ErrnoFor(status)); }

// One job: pages streamed into a pending file of the output folder.
class PdfFileDevice : public PrintDevice {
 public:
  PdfFileDevice(FileSystem& files, std::string folder, std::string stem, const PdfPage& page)
      : files_(files), folder_(std::move(folder)), stem_(std::move(stem)) {
    const int dpi = page.dpi > 0 ? page.dpi : 300;
    const PageSheet sheet = SheetFromTenths(page.width_tenths_mm, page.height_tenths_mm);
    geometry_ = PageGeometry(sheet, dpi, dpi, page.paper_name);
    width_pt_ = PointsFromHundredths(sheet.width_hundredths_mm);
    height_pt_ = PointsFromHundredths(sheet.length_hundredths_mm);
    copies_ = std::clamp(page.copies, 1, kMaxCopies);
  }
  ~PdfFileDevice() override { AbortDoc(); }

  DeviceGeometry Geometry() const override { return geometry_; }

  base::StatusOr<int> StartDoc(const std::string&) override {
    base::StatusOr<std::unique_ptr<PendingFile>> started = files_.StartFile(folder_, 0644);
    if (!started.ok()) return Numbered(started.status());
    file_ = std::move(started).value();
    pages_ = PdfPages::Create(width_pt_, height_pt_, geometry_, [this](const uint8_t* bytes, size_t size) {
      if (!file_ || !write_failure_.ok()) return false;
      write_failure_ = Numbered(file_->Write(bytes, size));
      return write_failure_.ok();
    });
    if (!pages_) {
      AbortDoc();
      return base::Status::OutOfMemory("no memory for the PDF's pages").WithSystemError(ENOMEM);
    }
    return 1;
  }

  base::Status StartPage() override {
    if (!write_failure_.ok()) return write_failure_;
    if (!pages_) return base::Status::IoError("the job is not running").WithSystemError(EIO);
    return base::Status::Ok();
  }

  DrawResult DrawPicture(const PagePicture& picture, const RectF& dest) override {
    return pages_ ? pages_->DrawPicture(picture, dest) : DrawResult::kFailed;
  }

  base::Status EndPage() override {
    if (!pages_ || !pages_->ShowPage(copies_) || !write_failure_.ok()) {
      if (!write_failure_.ok()) return write_failure_;
      return base::Status::OutOfMemory("the page could not be written").WithSystemError(ENOMEM);
    }
    ++ended_;
    return base::Status::Ok();
  }

  base::Status EndDoc() override {
    if (ended_ == 0 || !pages_) {  // no blank sheet for a job without pages
      AbortDoc();
      return base::Status::Ok();
    }
    const bool finished = pages_->Finish() && write_failure_.ok();
    pages_.reset();
    if (!finished) {
      base::Status failure = !write_failure_.ok() ? write_failure_ : base::Status::IoError("the PDF did not end");
      AbortDoc();
      return failure.WithSystemError(ErrnoFor(failure));
    }
    // The final name never replaces a file: a taken name gets "-1", "-2" ... added.
    base::Status published = base::Status::AlreadyExists(folder_);
    for (unsigned n = 0; n < 100 && published.Is(base::Status::Code::kAlreadyExists); ++n) {
      std::string name = folder_ + "/" + stem_;
      if (n != 0) {
        name += '-';
        name += std::to_string(n);
      }
      name += ".pdf";
      published = file_->Publish(name, PublishMode::kNoReplace);
    }
    file_.reset();
    return Numbered(published);
  }

  void AbortDoc() override {
    pages_.reset();  // its last writes find the file gone or failed and are dropped
    file_.reset();   // removes the temporary file
  }

 private:
  FileSystem& files_;
  std::string folder_;
  std::string stem_;
  DeviceGeometry geometry_;
  double width_pt_ = 0;
  double height_pt_ = 0;
  int copies_ = 1;
  std::unique_ptr<PendingFile> file_;
  base::Status write_failure_;  // the first write that failed
  int ended_ = 0;
  std::unique_ptr<PdfPages> pages_;
};

}  // namespace

std::string PdfFilePrinter::OutputFolder() {
  const char* chosen = std::getenv("PICTAVERA_PDF_DIR");
  if (chosen != nullptr && *chosen != '\0') return chosen;
  return DocumentsFolder().value_or("/tmp/Documents") + "/PictaVera Prints";
}

base::StatusOr<std::unique_ptr<PrintDevice>> PdfFilePrinter::OpenDevice(const PdfPage& page) {
  if (page.width_tenths_mm <= 0 || page.height_tenths_mm <= 0) {
    return base::Status::InvalidArgument("a PDF page needs a size").WithSystemError(EINVAL);
  }
  const std::string folder = OutputFolder();
  const int made = MakeFolders(folder);
  if (made != 0) return imaging::FileStatus(made, folder);
  const std::time_t now = std::time(nullptr);
  std::tm local {};
  ::localtime_r(&now, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H-%M-%S", &local);
  const std::string stem = std::string("PictaVera Print ") + stamp + "-" + std::to_string(++counter_);
  return std::unique_ptr<PrintDevice>(std::make_unique<PdfFileDevice>(files_, folder, stem, page));
}

}  // namespace platform
