// Tests for raster pages: white paper, pictures placed upright, turned and scaled where they are told to
// go, JPEG files refused as needing their pixels, a new page white again.
#include "platform/cairo_pdf/page_raster.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace platform {
namespace {

// Whether the pixel is `rgb` within what the filter blends in from a neighbour (enlarged 20 times here).
bool Is(const imaging::Bitmap& page, int x, int y, uint32_t rgb) {
  const uint8_t* p = page.pixel(x, y);
  const int want[] = {static_cast<int>(rgb >> 16), static_cast<int>((rgb >> 8) & 0xFF), static_cast<int>(rgb & 0xFF)};
  for (int c = 0; c < 3; ++c) {
    if (std::abs(p[c] - want[c]) > 40) return false;
  }
  return p[3] == 255;
}

TEST(PageRasterTest, PicturesLandUprightInTheirRectangleOnWhitePaper) {
  DeviceGeometry geometry;
  geometry.dpi_x = geometry.dpi_y = 100;
  geometry.physical_width_px = 60;
  geometry.physical_height_px = 80;
  geometry.offset_x_px = 5;  // the printable area's corner
  geometry.offset_y_px = 10;
  imaging::MemoryBudget budget(1 << 20);
  std::unique_ptr<PageRaster> raster = PageRaster::Create(geometry, &budget);
  ASSERT_TRUE(raster);

  // Stored 2 x 1, red then blue, tagged 6 (turned clockwise to be seen): upright red above blue. Then
  // turned a quarter clockwise onto the page: blue left of red.
  imaging::Bitmap stored = *imaging::MakeBitmap(2, 1, 0xFFFF0000, &budget);
  stored.pixel(1, 0)[0] = 0;
  stored.pixel(1, 0)[2] = 255;
  PagePicture picture;
  picture.bitmap = &stored;
  picture.width_px = 2;
  picture.height_px = 1;
  picture.orientation = 6;
  picture.turn_clockwise = true;
  ASSERT_EQ(raster->DrawPicture(picture, RectF{10, 20, 40, 20}), DrawResult::kDrawn);
  const imaging::Bitmap* page = raster->Page();
  ASSERT_TRUE(page);
  ASSERT_EQ(page->width_px, 60);
  EXPECT_TRUE(Is(*page, 25, 40, 0x0000FF));  // left half of the rectangle (15..35 x 30..50)
  EXPECT_TRUE(Is(*page, 45, 40, 0xFF0000));  // right half (35..55)
  EXPECT_TRUE(Is(*page, 10, 40, 0xFFFFFF));  // outside it: paper
  EXPECT_TRUE(Is(*page, 25, 55, 0xFFFFFF));

  // JPEG files are not decoded here; the next picture starts a white page.
  PagePicture jpeg;
  jpeg.jpeg_path = "/photo.jpg";
  jpeg.width_px = jpeg.height_px = 10;
  EXPECT_EQ(raster->DrawPicture(jpeg, RectF{0, 0, 10, 10}), DrawResult::kNeedsPixels);
  picture.orientation = 1;
  picture.turn_clockwise = false;
  ASSERT_EQ(raster->DrawPicture(picture, RectF{0, 0, 2, 1}), DrawResult::kDrawn);
  page = raster->Page();
  EXPECT_TRUE(Is(*page, 5, 10, 0xFF0000));
  EXPECT_TRUE(Is(*page, 25, 40, 0xFFFFFF));
}

TEST(PageRasterTest, APageBeyondTheBudgetIsRefused) {
  DeviceGeometry geometry;
  geometry.physical_width_px = 2480;
  geometry.physical_height_px = 3508;
  imaging::MemoryBudget budget(1 << 20);
  EXPECT_FALSE(PageRaster::Create(geometry, &budget));
}

}  // namespace
}  // namespace platform
