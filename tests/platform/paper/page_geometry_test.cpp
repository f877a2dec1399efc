// Tests for the one page geometry and the paper table: a page measures the same on every device, a
// landscape page turns its margins with it, and the table's sizes are the papers' own.
#include "platform/paper/page_geometry.h"

#include <gtest/gtest.h>

#include "platform/paper/paper_numbers.h"
#include "platform/paper/paper_table.h"

namespace platform {
namespace {

TEST(PageGeometry, MarginsAndPixelsOfAPortraitAndALandscapeSheet) {
  // A4 with margins of 3, 4, 5 and 6 mm (left, top, right, bottom) at 600 x 300 dpi.
  const PageSheet a4{21000, 29700, 300, 400, 500, 600};
  const DeviceGeometry portrait = PageGeometry(a4, 600, 300, "iso_a4_210x297mm");
  EXPECT_EQ(portrait.physical_width_px, 4960);  // 210 mm at 600 dpi, rounded down
  EXPECT_EQ(portrait.physical_height_px, 3507);
  EXPECT_EQ(portrait.offset_x_px, 70);
  EXPECT_EQ(portrait.offset_y_px, 47);
  EXPECT_EQ(portrait.printable_width_px, 4771);  // 202 mm
  EXPECT_EQ(portrait.printable_height_px, 3389);
  EXPECT_EQ(portrait.printable_width_mm, 202);
  EXPECT_EQ(portrait.printable_height_mm, 287);
  EXPECT_EQ(portrait.paper_name, "iso_a4_210x297mm");

  // Turned: the bottom margin comes to the left, the left one to the top.
  const PageSheet turned = TurnedSheet(a4);
  EXPECT_EQ(turned.width_hundredths_mm, 29700);
  EXPECT_EQ(turned.margin_left, 600);
  EXPECT_EQ(turned.margin_top, 300);
  EXPECT_EQ(turned.margin_right, 400);
  EXPECT_EQ(turned.margin_bottom, 500);
  const DeviceGeometry landscape = PageGeometry(turned, 300, 300, "A4");
  EXPECT_EQ(landscape.printable_width_mm, 287);
  EXPECT_EQ(landscape.printable_height_mm, 202);
  EXPECT_EQ(landscape.offset_x_px, 70);  // 6 mm at 300 dpi
}

TEST(PageGeometry, TenthsGiveTheSamePageAsHundredths) {
  // 4x6 in without margins, as the built-in printer and the fakes state it.
  const DeviceGeometry photo = PageGeometry(SheetFromTenths(1016, 1524), 300, 300, "4x6 in");
  EXPECT_EQ(photo.physical_width_px, 1200);
  EXPECT_EQ(photo.physical_height_px, 1800);
  EXPECT_EQ(photo.printable_width_px, 1200);
  EXPECT_EQ(photo.offset_x_px, 0);
  EXPECT_EQ(photo.printable_width_mm, 101);
  EXPECT_DOUBLE_EQ(PointsFromHundredths(10160), 288.0);
  EXPECT_DOUBLE_EQ(PointsFromHundredths(SheetFromTenths(2100, 2970).width_hundredths_mm), 2100 * 72.0 / 254.0);
}

TEST(PaperTable, NumbersNamesAndSizesAgree) {
  for (const PaperRow& row : PaperRows()) {
    if (!row.pwg_class.empty()) {
      EXPECT_EQ(StandardPaperId(std::string(row.pwg_class) + "_1x1in"), row.id) << row.pwg_class;
    }
    if (!row.plain_name.empty()) {
      EXPECT_EQ(StandardPaperId(row.plain_name), row.id) << row.plain_name;
    }
    if (!row.label.empty()) {
      EXPECT_GT(row.width_tenths_mm, 0) << row.label;
    }
    EXPECT_LE(row.width_tenths_mm, row.height_tenths_mm) << row.id;
  }
  ASSERT_NE(SizedPaperRow(74), nullptr);
  EXPECT_EQ(SizedPaperRow(74)->label, "4x6 in");
  EXPECT_EQ(SizedPaperRow(20)->height_tenths_mm, 2413);  // #10 envelope: a size, no label
  EXPECT_EQ(SizedPaperRow(3), nullptr);                  // numbered only
}

}  // namespace
}  // namespace platform
