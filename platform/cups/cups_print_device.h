// The CUPS adapter's print device: one job's pages streamed to the scheduler page by page in a format the
// queue takes (PDF, one JPEG per page, PWG raster), watched through the job's state on a second connection
// (a cancel from outside is seen at the next page); a device destroyed with its job unfinished cancels
// the job. Internal to platform/cups/.
// Thread safety: one thread at a time per device; the active-jobs record may be used from any thread.
#pragma once

#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>

#include "platform/cups/cups_handles.h"
#include "platform/cups/cups_spooler.h"

namespace platform {

struct CupsSpooler::ActiveJobs {
  std::mutex mutex;
  std::set<std::pair<std::string, int>> jobs;
  void Add(const std::string& queue, int job) {
    std::lock_guard lock(mutex);
    jobs.emplace(queue, job);
  }
  void Remove(const std::string& queue, int job) {
    std::lock_guard lock(mutex);
    jobs.erase({queue, job});
  }
};

namespace cups {

// A device for a job on `printer` (opened with a connection of its own, every handle set) printing with
// `settings`: the paper as SheetForSettings chooses it, the job's options as JobOptions gives them (colour
// named where the settings state no colour mode and the printer prints colour), in the format the queue
// takes (ChooseDocumentFormat). PDF pages are at the printer's default resolution (600 dpi when it states
// none in dots per inch up to 4800); pages sent as pictures at ChooseRasterDpi, their pixels from
// `budget`. The device takes the handles; its jobs are recorded in `active` while they run.
std::unique_ptr<PrintDevice> OpenPrintDevice(PrinterHandles printer, const PrintSettings& settings,
                                             std::shared_ptr<CupsSpooler::ActiveJobs> active, imaging::MemoryBudget* budget);

}  // namespace cups
}  // namespace platform
