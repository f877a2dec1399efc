// The one page geometry: a sheet's size and margins turned into the device pixels a print device
// reports, and its size in PDF points. Used by every print device (CUPS, the built-in PDF printer, the
// fakes), so that a page measures the same wherever it is printed.
// Pure functions, thread-safe.
#pragma once

#include <cstdint>
#include <string>

#include "platform/print_device.h"

namespace platform {

// A sheet as the printer names it (portrait), hundredths of a millimetre; margins from each edge.
struct PageSheet {
  int64_t width_hundredths_mm = 0;
  int64_t length_hundredths_mm = 0;
  int64_t margin_left = 0;
  int64_t margin_top = 0;
  int64_t margin_right = 0;
  int64_t margin_bottom = 0;
};

// A sheet of tenths of a millimetre without margins.
PageSheet SheetFromTenths(int64_t width_tenths_mm, int64_t length_tenths_mm);

// The sheet turned a quarter for a landscape page: width and length swap, and the bottom margin comes to
// the left (left -> top, top -> right, right -> bottom).
PageSheet TurnedSheet(const PageSheet& sheet);

// The device geometry of `sheet` (as it lies) at dpi_x x dpi_y: pixels and millimetres rounded down, the
// printable area inside the margins, its offset from the sheet's top-left corner.
DeviceGeometry PageGeometry(const PageSheet& sheet, int dpi_x, int dpi_y, std::string paper_name);

// Hundredths of a millimetre in PDF points (1/72 inch).
double PointsFromHundredths(int64_t hundredths_mm);

}  // namespace platform
