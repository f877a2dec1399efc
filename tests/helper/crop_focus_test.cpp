// Tests for the crop window: centred without faces, moved the least distance that keeps the faces (their
// heads grown above the brows) inside the magnet, and faces of a turned photo.
#include "helper/crop_focus.h"

#include <gtest/gtest.h>

namespace mosalith {
namespace {

// A 900 x 600 cover-scaled photo cropped to a 600 x 600 magnet (the cell fit's first example).
constexpr int32_t kCoverWidth = 900;
constexpr int32_t kCoverHeight = 600;

TEST(CropFocusTest, WithoutFacesTheWindowIsTheCentreCrop) {
  EXPECT_EQ(CropWindowFor(kCoverWidth, kCoverHeight, 600, 600, 0, {}, false), (CropWindow{150, 0}));
  EXPECT_EQ(CropWindowFor(901, 600, 600, 600, 0, {}, false), (CropWindow{150, 0}));  // truncated
}

TEST(CropFocusTest, TheWindowMovesJustFarEnoughToKeepTheGrownFace) {
  // A face near the right edge, 90 x 90 px at (720, 180), grown 0.2 face heights (18 px) each side: the
  // window moves right until the grown face's right edge, 828, is its own.
  const FaceArea right_face{0.8, 0.3, 0.1, 0.15};
  const CropWindow window = CropWindowFor(kCoverWidth, kCoverHeight, 600, 600, 0, {right_face}, false);
  EXPECT_EQ(window, (CropWindow{828 - 600, 0}));
  const FaceArea at_edge{0.9, 0.3, 0.1, 0.15};  // the window stops at the picture's edge
  EXPECT_EQ(CropWindowFor(kCoverWidth, kCoverHeight, 600, 600, 0, {at_edge}, false).left_px, 300);
  const FaceArea near_right{0.7, 0.3, 0.1, 0.15};   // 630..720, grown to 738
  EXPECT_EQ(CropWindowFor(kCoverWidth, kCoverHeight, 600, 600, 0, {near_right}, false).left_px, 150);
  const FaceArea past_centre{0.75, 0.3, 0.1, 0.15};  // 675..765, grown to 783: the window starts at 183
  EXPECT_EQ(CropWindowFor(kCoverWidth, kCoverHeight, 600, 600, 0, {past_centre}, false).left_px, 183);

  // In a tall picture the head's top (half a face above the brows) is kept: the window moves up.
  const FaceArea high_face{0.3, 0.1, 0.4, 0.1};  // in 600 x 1200: 240 px wide, 120 tall at y = 120
  const CropWindow up = CropWindowFor(600, 1200, 600, 600, 0, {high_face}, false);
  EXPECT_EQ(up.top_px, 60);  // grown top 120 - 60; the centred start 300 would cut the head
  // With a bleed of 20 the magnet starts 20 below the window: the window starts 20 higher.
  EXPECT_EQ(CropWindowFor(640, 1240, 640, 640, 20, {high_face}, false).top_px, 62 - 20);
}

TEST(CropFocusTest, FacesThatCannotAllFitAreCentredOn) {
  // Two faces 700 px apart never fit a 600 px magnet: the window is centred between them.
  const std::vector<FaceArea> apart = {{0.0, 0.4, 0.1, 0.1}, {0.8, 0.4, 0.1, 0.1}};
  EXPECT_EQ(CropWindowFor(1000, 600, 600, 600, 0, apart, false).left_px, 150);
  // Grown (26..664) they would not fit, bare (50..640) they do: the bare faces are kept, the window as
  // near the centre (200) as that allows.
  const std::vector<FaceArea> wide = {{0.05, 0.4, 0.1, 0.2}, {0.54, 0.4, 0.1, 0.2}};
  EXPECT_EQ(CropWindowFor(1000, 600, 600, 600, 0, wide, false).left_px, 50);
}

TEST(CropFocusTest, FacesOfATurnedPhotoAreTurnedWithIt) {
  // Upright 600 x 900, turned clockwise to 900 x 600: the upright top lands on the right.
  const FaceArea top_face{0.4, 0.0, 0.2, 0.1};
  EXPECT_EQ(TurnedClockwise(top_face).left, 0.9);
  EXPECT_EQ(TurnedClockwise(top_face).top, 0.4);
  EXPECT_EQ(CropWindowFor(kCoverWidth, kCoverHeight, 600, 600, 0, {top_face}, true).left_px, 300);
}

}  // namespace
}  // namespace mosalith
