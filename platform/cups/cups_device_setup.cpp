// Setting up the CUPS adapter's print device for one job.
#include "platform/cups/cups_device_setup.h"

#include <algorithm>
#include <vector>

#include "platform/cups/cups_media.h"

namespace platform::cups {
namespace {

std::vector<std::string> SupportedStrings(http_t* http, cups_dest_t* dest, cups_dinfo_t* info, const char* option) {
  std::vector<std::string> values;
  if (ipp_attribute_t* supported = cupsFindDestSupported(http, dest, info, option)) {
    for (int i = 0; i < ippGetCount(supported); ++i) {
      if (const char* value = ippGetString(supported, i, nullptr)) values.emplace_back(value);
    }
  }
  return values;
}

}  // namespace

const char* FormatName(PageFormat format) {
  switch (format) {
    case PageFormat::kJpeg: return CUPS_FORMAT_JPEG;
    case PageFormat::kPwgRaster: return "image/pwg-raster";
    default: return CUPS_FORMAT_PDF;
  }
}

DeviceSetup SetupFor(http_t* http, cups_dest_t* dest, cups_dinfo_t* info, const PrintSettings& settings,
                     imaging::MemoryBudget* budget) {
  const Sheet sheet = SheetForSettings(http, dest, info, settings);
  DeviceSetup setup;
  setup.sheet = PageSheet{sheet.size.width, sheet.size.length, sheet.size.left, sheet.size.top, sheet.size.right,
                          sheet.size.bottom};
  setup.media = sheet.media;
  setup.landscape = (settings.fields & kFieldOrientation) && settings.orientation == kOrientationLandscape;
  setup.budget = budget;
  setup.format = ChooseDocumentFormat(SupportedStrings(http, dest, info, "document-format"));
  if (setup.format == PageFormat::kPdf) {
    if (ipp_attribute_t* resolution = cupsFindDestDefault(http, dest, info, "printer-resolution")) {
      ipp_res_t units = IPP_RES_PER_INCH;
      int y = 0;
      const int x = ippGetResolution(resolution, 0, &y, &units);
      if (units == IPP_RES_PER_INCH && x > 0 && y > 0 && x <= 4800 && y <= 4800) {
        setup.dpi_x = x;
        setup.dpi_y = y;
      }
    }
  } else {
    // Pages sent as pictures are drawn at the resolution they are sent at.
    std::vector<int> resolutions;
    if (setup.format == PageFormat::kPwgRaster) {
      if (ipp_attribute_t* supported = cupsFindDestSupported(http, dest, info, "pwg-raster-document-resolution")) {
        for (int i = 0; i < ippGetCount(supported); ++i) {
          ipp_res_t units = IPP_RES_PER_INCH;
          int y = 0;
          const int x = ippGetResolution(supported, i, &y, &units);
          if (units == IPP_RES_PER_INCH && x == y && x > 0 && x <= 1200) resolutions.push_back(x);
        }
      }
    }
    setup.dpi_x = setup.dpi_y = ChooseRasterDpi(resolutions);
  }
  // A job names its colour mode itself: colour unless the settings say otherwise (the queue's default may
  // be grey), where the printer prints colour at all.
  PrintSettings job = settings;
  if (!(job.fields & kFieldColor) && cupsCheckDestSupported(http, dest, info, "print-color-mode", "color")) {
    job.fields |= kFieldColor;
    job.color = kColorColor;
  }
  const std::vector<std::string> types = SupportedStrings(http, dest, info, "pwg-raster-document-type");
  const bool rgb = types.empty() || std::find(types.begin(), types.end(), "srgb_8") != types.end();
  setup.grey = !rgb || ((job.fields & kFieldColor) && job.color == kColorMonochrome);
  setup.options = JobOptions(job, sheet.media);
  return setup;
}

}  // namespace platform::cups
