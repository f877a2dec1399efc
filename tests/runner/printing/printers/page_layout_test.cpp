// Tests for the page layout: turn, fit, centre.
#include "runner/printing/printers/page_layout.h"

#include <gtest/gtest.h>

namespace runner::printing {
namespace {

TEST(FitToPrintableArea, TurnsALandscapePhotoOntoAPortraitArea) {
  const PageFit fit = FitToPrintableArea(3000, 2000, 4800, 6600);
  EXPECT_TRUE(fit.turned);
  EXPECT_EQ(fit.width_px, 2000);
  EXPECT_EQ(fit.height_px, 3000);
  EXPECT_FLOAT_EQ(fit.scale_x, 2.4f);
  EXPECT_FLOAT_EQ(fit.scale_y, 2.2f);
  EXPECT_FLOAT_EQ(fit.scale, 2.2f);
  EXPECT_EQ(fit.dest_width_px, 4400);
  EXPECT_EQ(fit.dest_height_px, 6600);
  EXPECT_EQ(fit.offset_x_px, 200);
  EXPECT_EQ(fit.offset_y_px, 0);

  const PageFit upright = FitToPrintableArea(2000, 3000, 4800, 6600);
  EXPECT_FALSE(upright.turned);
  EXPECT_EQ(upright.dest_width_px, 4400);
  EXPECT_EQ(upright.offset_x_px, 200);
}

TEST(FitToPrintableArea, SquaresTurnOnlyOntoLandscapeAreas) {
  EXPECT_TRUE(FitToPrintableArea(100, 100, 300, 200).turned);
  EXPECT_FALSE(FitToPrintableArea(100, 100, 200, 300).turned);
  EXPECT_FALSE(FitToPrintableArea(100, 100, 200, 200).turned);
}

TEST(FitToPrintableArea, OddMarginsRoundTheOffsetDown) {
  // 100 x 200 into 105 x 200: scale 1, 5 pixels to share.
  const PageFit fit = FitToPrintableArea(100, 200, 105, 200);
  EXPECT_EQ(fit.dest_width_px, 100);
  EXPECT_EQ(fit.offset_x_px, 2);
  // A one-pixel picture on a full page.
  const PageFit tiny = FitToPrintableArea(1, 1, 2480, 3508);
  EXPECT_EQ(tiny.dest_width_px, 2480);
  EXPECT_EQ(tiny.offset_y_px, (3508 - 2480) / 2);
}

}  // namespace
}  // namespace runner::printing
