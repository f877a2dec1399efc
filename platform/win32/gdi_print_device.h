// GdiPrintDevice: one job's pages drawn through GDI on a printer's device context. Internal to
// platform/win32/.
//
// The geometry is the device context's (GetDeviceCaps: resolution, printable area, the sheet and the
// printable area's offset on it). A page is StartPage, one or more pictures stretched onto it from a
// memory device context (StretchBlt, halftone, opaque white behind transparent pixels), EndPage. A JPEG
// file given by path is refused (kNeedsPixels): the caller draws decoded pixels. A failing page start or
// end is a cancelled job when the spooler says so (ERROR_PRINT_CANCELLED) or the spooler object cancelled
// it (CancelActiveJobs: the job is aborted at its next page start or end), else a failed one. A job
// without an ended page is aborted, so no blank sheet comes out; a device destroyed in the middle of a
// job aborts it.
// Thread safety: one thread at a time per device; the active-jobs record may be used from any thread.
#pragma once

#include "platform/win32/windows_api.h"

#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>

#include "platform/print_device.h"
#include "platform/win32/win_spooler.h"

namespace platform {

// The jobs devices have started and not finished, and those of them cancelled from outside: a spooler
// need not fail the pages of a job cancelled while it is being spooled (Wine's prints it whole), so the
// device itself fails its next page.
struct WinSpooler::ActiveJobs {
  std::mutex mutex;
  std::set<std::pair<std::wstring, DWORD>> jobs;
  std::set<std::pair<std::wstring, DWORD>> cancelled;
  void Add(const std::wstring& printer, DWORD job) {
    std::lock_guard lock(mutex);
    jobs.emplace(printer, job);
  }
  void Remove(const std::wstring& printer, DWORD job) {
    std::lock_guard lock(mutex);
    jobs.erase({printer, job});
    cancelled.erase({printer, job});
  }
  // Marks every active job cancelled and returns them.
  std::set<std::pair<std::wstring, DWORD>> CancelAll() {
    std::lock_guard lock(mutex);
    cancelled.insert(jobs.begin(), jobs.end());
    return jobs;
  }
  bool IsCancelled(const std::wstring& printer, DWORD job) {
    std::lock_guard lock(mutex);
    return cancelled.count({printer, job}) != 0;
  }
};

namespace win32 {

// A device for `printer` on the device context `dc` (which the device takes and deletes).
std::unique_ptr<PrintDevice> OpenGdiPrintDevice(std::wstring printer, HDC dc, std::string paper_name,
                                                std::shared_ptr<WinSpooler::ActiveJobs> active);

// The picture's pixels as a bottom-up 24-bit DIB (BGR rows padded to 4 bytes), turned a quarter clockwise
// when asked, transparent pixels laid over opaque white. Pure.
std::vector<uint8_t> DibRowsOver(const imaging::Bitmap& picture, bool turn_clockwise, int* width_px, int* height_px);

}  // namespace win32
}  // namespace platform
