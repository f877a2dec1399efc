// The printer option names every spooler's settings share.
#include "platform/spooler.h"

namespace platform {

bool IsJobLayoutOption(std::string_view name) {
  static constexpr std::string_view kLayout[] = {
      "orientation-requested", "landscape",  "copies",   "number-up",  "number-up-layout", "page-border",
      "print-scaling",         "fit-to-page", "fitplot", "scaling",    "natural-scaling",  "ppi",
      "position",              "mirror",      "page-set", "page-ranges", "sides",
  };
  for (const std::string_view layout : kLayout) {
    if (name == layout) return true;
  }
  return false;
}

bool IsColourModeOption(std::string_view name) { return name == "print-color-mode" || name == "ColorModel"; }

}  // namespace platform
