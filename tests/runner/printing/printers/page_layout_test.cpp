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

namespace runner::printing {
namespace {

// An A4 queue with 12 pt margins at 600 dpi: 201.6 x 288.6 mm printable.
constexpr int kA4PrintableWidthPx = 4762;
constexpr int kA4PrintableHeightPx = 6818;

TEST(PlaceAtTrueSize, ASheetAtItsDesignedResolutionPrintsAtThatSizeCentred) {
  // 1854 x 2445 at 300 dpi = 157.0 x 207.0 mm, twice as many device pixels at 600 dpi.
  const TrueSizePlacement place =
      PlaceAtTrueSize(1854, 2445, 300, 300, kA4PrintableWidthPx, kA4PrintableHeightPx, 600, 600);
  EXPECT_TRUE(place.fits);
  EXPECT_FALSE(place.turned);
  EXPECT_DOUBLE_EQ(place.scale_x, 2.0);
  EXPECT_DOUBLE_EQ(place.dest_width_px, 3708);
  EXPECT_DOUBLE_EQ(place.dest_height_px, 4890);
  EXPECT_DOUBLE_EQ(place.offset_x_px, (kA4PrintableWidthPx - 3708) / 2.0);
  EXPECT_DOUBLE_EQ(place.offset_y_px, (kA4PrintableHeightPx - 4890) / 2.0);

  // The same sheet at 450 dpi is 104.6 x 138.0 mm: never enlarged to the page.
  const TrueSizePlacement small =
      PlaceAtTrueSize(1854, 2445, 450, 450, kA4PrintableWidthPx, kA4PrintableHeightPx, 600, 600);
  EXPECT_TRUE(small.fits);
  EXPECT_NEAR(small.dest_width_px / 600 * 25.4, 104.6, 0.05);
}

TEST(PlaceAtTrueSize, TurnsWithItsResolutionAndRefusesWhatDoesNotFit) {
  // A landscape picture with different resolutions across and down, on a portrait area: after the turn
  // its stored height (at 200 dpi) runs across.
  const TrueSizePlacement turned = PlaceAtTrueSize(600, 200, 300, 200, 1000, 2000, 300, 300);
  EXPECT_TRUE(turned.turned);
  EXPECT_EQ(turned.width_px, 200);
  EXPECT_DOUBLE_EQ(turned.dpi_x, 200);
  EXPECT_DOUBLE_EQ(turned.dest_width_px, 300);   // 1 inch
  EXPECT_DOUBLE_EQ(turned.dest_height_px, 600);  // 2 inches

  // A full A4 sheet at 300 dpi (210 x 297 mm) is larger than the printable area: it is not placed.
  EXPECT_FALSE(PlaceAtTrueSize(2480, 3508, 300, 300, kA4PrintableWidthPx, kA4PrintableHeightPx, 600, 600).fits);
  // The printable area loses a fraction of a pixel when counted in whole pixels: a sheet one device pixel
  // wider still fits (reaching half a pixel into each margin), three pixels wider does not.
  const TrueSizePlacement snug = PlaceAtTrueSize(2381, 3409, 300, 300, 4761, 6818, 600, 600);
  EXPECT_TRUE(snug.fits);
  EXPECT_DOUBLE_EQ(snug.offset_x_px, -0.5);
  EXPECT_FALSE(PlaceAtTrueSize(2382, 3409, 300, 300, 4761, 6818, 600, 600).fits);
}

}  // namespace
}  // namespace runner::printing
