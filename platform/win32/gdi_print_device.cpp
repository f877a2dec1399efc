// GdiPrintDevice: StartDocW / StartPage / StretchBlt from a memory device context / EndPage / EndDoc.
#include "platform/win32/gdi_print_device.h"

#include <cmath>
#include <string>
#include <vector>

#include "platform/win32/wide_text.h"

namespace platform::win32 {
namespace {

// The failure of the GDI call `what` that just returned, by the thread's last error: the spooler's own
// number rides along for the log.
base::Status StatusOfFailure(const char* what) {
  const DWORD code = ::GetLastError();
  const base::Status::Code kind = code == ERROR_PRINT_CANCELLED ? base::Status::Code::kCancelled
                                                                : base::Status::Code::kIoError;
  return base::Status(kind, std::string(what) + " failed (Windows error " + std::to_string(code) + ")")
      .WithSystemError(static_cast<int>(code));
}

class GdiPrintDevice : public PrintDevice {
 public:
  GdiPrintDevice(std::wstring printer, HDC dc, std::string paper_name, std::shared_ptr<WinSpooler::ActiveJobs> active)
      : printer_(std::move(printer)), dc_(dc), paper_name_(std::move(paper_name)), active_(std::move(active)) {}

  ~GdiPrintDevice() override {
    if (job_ > 0) AbortDoc();
    ::DeleteDC(dc_);
  }

  GdiPrintDevice(const GdiPrintDevice&) = delete;
  GdiPrintDevice& operator=(const GdiPrintDevice&) = delete;

  DeviceGeometry Geometry() const override {
    DeviceGeometry geometry;
    geometry.dpi_x = ::GetDeviceCaps(dc_, LOGPIXELSX);
    geometry.dpi_y = ::GetDeviceCaps(dc_, LOGPIXELSY);
    geometry.printable_width_px = ::GetDeviceCaps(dc_, HORZRES);
    geometry.printable_height_px = ::GetDeviceCaps(dc_, VERTRES);
    geometry.printable_width_mm = ::GetDeviceCaps(dc_, HORZSIZE);
    geometry.printable_height_mm = ::GetDeviceCaps(dc_, VERTSIZE);
    geometry.physical_width_px = ::GetDeviceCaps(dc_, PHYSICALWIDTH);
    geometry.physical_height_px = ::GetDeviceCaps(dc_, PHYSICALHEIGHT);
    geometry.offset_x_px = ::GetDeviceCaps(dc_, PHYSICALOFFSETX);
    geometry.offset_y_px = ::GetDeviceCaps(dc_, PHYSICALOFFSETY);
    geometry.paper_name = paper_name_;
    return geometry;
  }

  base::StatusOr<int> StartDoc(const std::string& document_name) override {
    const std::wstring name = Widen(document_name).value_or(L"PictaVera Print");
    DOCINFOW info{};
    info.cbSize = sizeof info;
    info.lpszDocName = name.c_str();
    const int job = ::StartDocW(dc_, &info);
    if (job <= 0) return StatusOfFailure("StartDocW");
    job_ = job;
    pages_ended_ = 0;
    active_->Add(printer_, static_cast<DWORD>(job_));
    return job;
  }

  base::Status StartPage() override {
    if (CancelledFromOutside()) return CancelledJob();
    if (::StartPage(dc_) <= 0) return StatusOfFailure("StartPage");
    return base::Status::Ok();
  }

  DrawResult DrawPicture(const PagePicture& picture, const RectF& dest) override {
    if (picture.bitmap == nullptr) return DrawResult::kNeedsPixels;
    if (picture.bitmap->empty()) return DrawResult::kFailed;
    int width_px = 0;
    int height_px = 0;
    std::vector<uint8_t> rows;
    try {
      rows = DibRowsOver(*picture.bitmap, picture.turn_clockwise, &width_px, &height_px);
    } catch (const std::bad_alloc&) {
      return DrawResult::kFailed;
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width_px;
    info.bmiHeader.biHeight = height_px;  // bottom-up
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const HBITMAP bitmap = ::CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap == nullptr || bits == nullptr) {
      if (bitmap != nullptr) ::DeleteObject(bitmap);
      return DrawResult::kFailed;
    }
    std::copy(rows.begin(), rows.end(), static_cast<uint8_t*>(bits));
    const HDC memory = ::CreateCompatibleDC(dc_);
    bool drawn = false;
    if (memory != nullptr) {
      const HGDIOBJ previous = ::SelectObject(memory, bitmap);
      ::SetStretchBltMode(dc_, HALFTONE);
      ::SetBrushOrgEx(dc_, 0, 0, nullptr);
      const int x = static_cast<int>(std::lround(dest.x));
      const int y = static_cast<int>(std::lround(dest.y));
      const int w = static_cast<int>(std::lround(dest.width));
      const int h = static_cast<int>(std::lround(dest.height));
      drawn = ::StretchBlt(dc_, x, y, w, h, memory, 0, 0, width_px, height_px, SRCCOPY) != FALSE;
      ::SelectObject(memory, previous);
      ::DeleteDC(memory);
    }
    ::DeleteObject(bitmap);
    return drawn ? DrawResult::kDrawn : DrawResult::kFailed;
  }

  base::Status EndPage() override {
    if (CancelledFromOutside()) return CancelledJob();
    if (::EndPage(dc_) <= 0) return StatusOfFailure("EndPage");
    ++pages_ended_;
    return base::Status::Ok();
  }

  base::Status EndDoc() override {
    if (job_ <= 0) return base::Status::Ok();
    if (pages_ended_ == 0) {
      AbortDoc();
      return base::Status::Ok();
    }
    const int ended = ::EndDoc(dc_);
    if (ended <= 0) {
      const base::Status failed = StatusOfFailure("EndDoc");  // before anything else sets the last error
      active_->Remove(printer_, static_cast<DWORD>(job_));
      job_ = 0;
      return failed;
    }
    active_->Remove(printer_, static_cast<DWORD>(job_));
    job_ = 0;
    return base::Status::Ok();
  }

  void AbortDoc() override {
    if (job_ <= 0) return;
    ::AbortDoc(dc_);
    active_->Remove(printer_, static_cast<DWORD>(job_));
    job_ = 0;
  }

 private:
  // True (the job aborted) when CancelActiveJobs cancelled this job.
  bool CancelledFromOutside() {
    if (job_ <= 0 || !active_->IsCancelled(printer_, static_cast<DWORD>(job_))) return false;
    AbortDoc();
    return true;
  }

  static base::Status CancelledJob() {
    return base::Status::Cancelled("the job was cancelled").WithSystemError(ERROR_PRINT_CANCELLED);
  }

  std::wstring printer_;
  HDC dc_;
  std::string paper_name_;
  std::shared_ptr<WinSpooler::ActiveJobs> active_;
  int job_ = 0;
  int pages_ended_ = 0;
};

}  // namespace

std::vector<uint8_t> DibRowsOver(const imaging::Bitmap& picture, bool turn_clockwise, int* width_px, int* height_px) {
  const int width = turn_clockwise ? picture.height_px : picture.width_px;
  const int height = turn_clockwise ? picture.width_px : picture.height_px;
  const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~static_cast<size_t>(3);
  std::vector<uint8_t> rows(stride * static_cast<size_t>(height), 0);
  for (int y = 0; y < height; ++y) {
    uint8_t* out = rows.data() + stride * static_cast<size_t>(height - 1 - y);  // bottom-up
    for (int x = 0; x < width; ++x) {
      // Turned clockwise, the result's column x, row y comes from the source's column y, row height-1-x.
      const uint8_t* in = turn_clockwise ? picture.pixel(y, picture.height_px - 1 - x) : picture.pixel(x, y);
      const unsigned alpha = in[3];
      for (int c = 0; c < 3; ++c) {
        // Over opaque white, rounded to nearest.
        out[x * 3 + 2 - c] = static_cast<uint8_t>((in[c] * alpha + 255u * (255u - alpha) + 127u) / 255u);
      }
    }
  }
  *width_px = width;
  *height_px = height;
  return rows;
}

std::unique_ptr<PrintDevice> OpenGdiPrintDevice(std::wstring printer, HDC dc, std::string paper_name,
                                                std::shared_ptr<WinSpooler::ActiveJobs> active) {
  return std::make_unique<GdiPrintDevice>(std::move(printer), dc, std::move(paper_name), std::move(active));
}

}  // namespace platform::win32
