// Tests for the bake geometry: the render's arithmetic checked exactly, and the names.
#include "runner/printing/baking/bake_geometry.h"

#include <gtest/gtest.h>

namespace runner::printing {
namespace {

TEST(BakeGeometry, LandscapePhotoOnPortraitCanvasIsDecodedFullAndCentred) {
  // 1000 x 1500 canvas, 4000 x 3000 photo: wanted 1500 x 2250; f = 0.75 gives 3000 x 2250, which is not
  // below 75 % of either side, so no reduction.
  const PixelSize wanted = WantedDecodeSize(1000, 1500);
  EXPECT_EQ(wanted, (PixelSize{1500, 2250}));
  EXPECT_EQ(ReducedDecodeSize(4000, 3000, wanted), std::nullopt);

  const double factor = CoverFactor(1000, 1500, 4000, 3000, false);
  EXPECT_DOUBLE_EQ(factor, 0.5);
  const auto placed = PlacePhoto(1000, 1500, 4000, 3000, factor, 0, 0);
  ASSERT_TRUE(placed);
  EXPECT_EQ(placed->drawn_width_px, 2000);
  EXPECT_EQ(placed->drawn_height_px, 1500);
  EXPECT_EQ(placed->x, -500);
  EXPECT_EQ(placed->y, 0);
  EXPECT_EQ(placed->left_px, -500);
}

TEST(BakeGeometry, TurnedPhotoRoundsItsHalfPixelAwayFromZeroOnAnEvenCanvas) {
  const double factor = CoverFactor(1000, 1500, 4000, 3000, true);
  EXPECT_DOUBLE_EQ(factor, 0.375);
  const auto placed = PlacePhoto(1000, 1500, 3000, 4000, factor, 0, 0);  // the turned photo
  ASSERT_TRUE(placed);
  EXPECT_EQ(placed->drawn_width_px, 1125);
  EXPECT_EQ(placed->drawn_height_px, 1500);
  EXPECT_EQ(placed->x, -63);
  EXPECT_EQ(placed->y, 0);
  EXPECT_EQ(placed->left_px, -63);
}

TEST(BakeGeometry, OddCanvasKeepsHalfPixelsAndTruncatesTheLeftEdgeTowardZero) {
  const auto placed = PlacePhoto(1001, 1500, 2000, 1500, 1.0, 0, 0);
  ASSERT_TRUE(placed);
  EXPECT_EQ(placed->x, -499.5);
  EXPECT_EQ(placed->left_px, -499);
  EXPECT_EQ(SnapCoordinate(2.25, 7), 2.5);   // 4.5 rounds away from zero to 5
  EXPECT_EQ(SnapCoordinate(-2.25, 7), -2.5);
  EXPECT_EQ(SnapCoordinate(2.5, 8), 3);
  EXPECT_EQ(SnapCoordinate(-2.5, 8), -3);
  // Offsets shift after centring.
  EXPECT_EQ(PlacePhoto(100, 100, 100, 100, 1.0, 10.4, -3.6)->x, 10);
  EXPECT_EQ(PlacePhoto(100, 100, 100, 100, 1.0, 10.4, -3.6)->y, -4);
}

TEST(BakeGeometry, DecodeReductionStartsJustBelowThreeQuarters) {
  // Wanted exactly 75 % of 4000 x 3000: not reduced; one pixel less in both: reduced.
  EXPECT_EQ(ReducedDecodeSize(4000, 3000, {3000, 2250}), std::nullopt);
  EXPECT_EQ(ReducedDecodeSize(4000, 3000, {2999, 2249}), (PixelSize{2999, 2249}));
  // The larger ratio wins, so the photo still covers the wanted size.
  EXPECT_EQ(ReducedDecodeSize(4000, 3000, {1594, 2125}), (PixelSize{2833, 2125}));
  // A photo smaller than wanted is never enlarged, nor one as large.
  EXPECT_EQ(ReducedDecodeSize(800, 600, {1500, 2250}), std::nullopt);
  EXPECT_EQ(ReducedDecodeSize(1500, 2250, {1500, 2250}), std::nullopt);
  EXPECT_EQ(ReducedDecodeSize(4000, 3000, {0, 10}), std::nullopt);
}

TEST(BakeGeometry, PlacementOutsideIntegerRangeIsRefused) {
  EXPECT_EQ(PlacePhoto(100, 100, 4000, 3000, 1e9, 0, 0), std::nullopt);
  EXPECT_EQ(PlacePhoto(100, 100, 100, 100, 1.0, 3e9, 0), std::nullopt);
  const auto zero = PlacePhoto(100, 100, 4000, 3000, 0.0, 0, 0);
  ASSERT_TRUE(zero);
  EXPECT_EQ(zero->drawn_width_px, 0);
}

TEST(BakeGeometry, StrokePenAndOutlines) {
  EXPECT_EQ(StrokePenWidth(0.5f, 1.0f, 100, 100), 10.0f);
  EXPECT_EQ(StrokePenWidth(0.5f, 2.0f, 100, 100), 20.0f);
  EXPECT_EQ(StrokePenWidth(1e30f, 1e30f, 100, 50), 200.0f);  // clamped to twice the longer side
  EXPECT_EQ(StrokeOutline(100, 80, 10.0f, false), (CanvasRect{5, 5, 90, 70}));
  EXPECT_EQ(StrokeOutline(100, 80, 10.0f, true), (CanvasRect{0, 0, 99, 79}));
}

TEST(BakeGeometry, CanvasLimits) {
  EXPECT_TRUE(CanvasSizeAllowed(1, 1));
  EXPECT_TRUE(CanvasSizeAllowed(32767, 10));
  EXPECT_FALSE(CanvasSizeAllowed(0, 10));
  EXPECT_FALSE(CanvasSizeAllowed(-1, 10));
  EXPECT_FALSE(CanvasSizeAllowed(32768, 10));
  EXPECT_FALSE(CanvasSizeAllowed(30000, 30000));  // beyond the pixel budget
}

TEST(BakeGeometry, NamesWriteTheirNumbersAsTheInterfaceExpects) {
  LocalTime t;
  t.year = 2026;
  t.month = 3;
  t.day = 3;
  t.hour = 9;
  t.minute = 5;
  t.second = 7;
  t.millisecond = 42;
  EXPECT_EQ(BakeFolderName(t), "PictaVera_Baking_2026033_957");
  EXPECT_EQ(BakedFileName(3, t, 12), "baked_0003_95742_12.jpg");
  EXPECT_EQ(BakedFileName(12345, t, 0), "baked_12345_95742_0.jpg");
  t.month = 12;
  t.day = 31;
  EXPECT_EQ(BakeFolderName(t), "PictaVera_Baking_20261231_957");
}

TEST(BakeGeometry, LogDoublesUseSixSignificantDigits) {
  EXPECT_EQ(FormatLogDouble(1.0), "1");
  EXPECT_EQ(FormatLogDouble(-62.5), "-62.5");
  EXPECT_EQ(FormatLogDouble(1.23456789), "1.23457");
  EXPECT_EQ(FormatLogDouble(1234567.0), "1.23457e+06");
}

}  // namespace
}  // namespace runner::printing
