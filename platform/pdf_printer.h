// PdfPrinter: the machine side of the built-in PDF printer: where its PDF files go. Its own settings are
// kept in a settings store of their own (never in the spooler's per-user settings).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/status.h"
#include "platform/print_device.h"

namespace platform {

// The page of a PDF job: the whole sheet is printable.
struct PdfPage {
  int32_t width_tenths_mm = 0;   // as the page lies (a landscape page is wider than tall)
  int32_t height_tenths_mm = 0;
  int dpi = 300;                 // device pixels per inch of the geometry the device reports
  int copies = 1;                // every page is written this many times in a row (1..100)
  std::string paper_name = {};   // for log lines
};

// Thread safety: every method may be called from any thread at once.
class PdfPrinter {
 public:
  virtual ~PdfPrinter() = default;

  // A device writing one PDF file for one job into the output folder: written under a temporary name,
  // renamed to its final name when the job ends with pages, removed when the job is aborted or ends
  // without pages; owned by the caller. A failure when the folder cannot be had (its errno value as the
  // status's `system_error()`) or the page has no size.
  virtual base::StatusOr<std::unique_ptr<PrintDevice>> OpenDevice(const PdfPage& page) = 0;
};

}  // namespace platform
