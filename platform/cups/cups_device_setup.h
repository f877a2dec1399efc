// How the CUPS adapter's print device is set up for one job: the paper, the resolution, the format the
// queue takes and the job's options. Internal to platform/cups/ (it names libcups types).
// Thread safety: the function may be called from any thread with handles of that thread.
#pragma once

#include <cups/cups.h>

#include <string>

#include "platform/cups/cups_options.h"
#include "imaging/memory_budget.h"
#include "platform/paper/page_geometry.h"

namespace platform::cups {

inline constexpr int kDefaultDpi = 600;

struct DeviceSetup {
  PageSheet sheet;  // portrait, as the printer names the paper
  std::string media;
  bool landscape = false;
  PageFormat format = PageFormat::kPdf;
  int dpi_x = kDefaultDpi;
  int dpi_y = kDefaultDpi;
  bool grey = false;  // raster pages are sent grey
  CupsOptions options;
  imaging::MemoryBudget* budget = nullptr;
};

// The MIME type of a page format.
const char* FormatName(PageFormat format);

// The setup for a job with `settings`: the paper as SheetForSettings chooses it; the format by
// ChooseDocumentFormat; PDF pages at the printer's default resolution (600 dpi when it states none in
// dots per inch up to 4800), pages sent as pictures at ChooseRasterDpi, grey when the printer takes no
// colour raster or the job is grey; the options as JobOptions gives them, colour named where the settings
// state no colour mode and the printer prints colour.
DeviceSetup SetupFor(http_t* http, cups_dest_t* dest, cups_dinfo_t* info, const PrintSettings& settings,
                     imaging::MemoryBudget* budget);

}  // namespace platform::cups
