// Page geometry from a sheet's size and margins.
#include "platform/paper/page_geometry.h"

#include <utility>

namespace platform {
namespace {

int Pixels(int64_t hundredths_mm, int dpi) { return static_cast<int>(hundredths_mm * dpi / 2540); }

}  // namespace

PageSheet SheetFromTenths(int64_t width_tenths_mm, int64_t length_tenths_mm) {
  PageSheet sheet;
  sheet.width_hundredths_mm = width_tenths_mm * 10;
  sheet.length_hundredths_mm = length_tenths_mm * 10;
  return sheet;
}

PageSheet TurnedSheet(const PageSheet& sheet) {
  PageSheet turned;
  turned.width_hundredths_mm = sheet.length_hundredths_mm;
  turned.length_hundredths_mm = sheet.width_hundredths_mm;
  turned.margin_left = sheet.margin_bottom;
  turned.margin_top = sheet.margin_left;
  turned.margin_right = sheet.margin_top;
  turned.margin_bottom = sheet.margin_right;
  return turned;
}

DeviceGeometry PageGeometry(const PageSheet& sheet, int dpi_x, int dpi_y, std::string paper_name) {
  const int64_t printable_width = sheet.width_hundredths_mm - sheet.margin_left - sheet.margin_right;
  const int64_t printable_length = sheet.length_hundredths_mm - sheet.margin_top - sheet.margin_bottom;
  DeviceGeometry geometry;
  geometry.dpi_x = dpi_x;
  geometry.dpi_y = dpi_y;
  geometry.physical_width_px = Pixels(sheet.width_hundredths_mm, dpi_x);
  geometry.physical_height_px = Pixels(sheet.length_hundredths_mm, dpi_y);
  geometry.offset_x_px = Pixels(sheet.margin_left, dpi_x);
  geometry.offset_y_px = Pixels(sheet.margin_top, dpi_y);
  geometry.printable_width_px = Pixels(printable_width, dpi_x);
  geometry.printable_height_px = Pixels(printable_length, dpi_y);
  geometry.printable_width_mm = static_cast<int>(printable_width / 100);
  geometry.printable_height_mm = static_cast<int>(printable_length / 100);
  geometry.paper_name = std::move(paper_name);
  return geometry;
}

double PointsFromHundredths(int64_t hundredths_mm) { return static_cast<double>(hundredths_mm) * 72.0 / 2540.0; }

}  // namespace platform
