// Tests for the face detection arithmetic: the cap, boxes back to full size, and the log texts.
#include "runner/insight/face_geometry.h"

#include <gtest/gtest.h>

namespace runner::insight {
namespace {

TEST(FaceGeometryTest, CapKeepsTheLongerSideAt4096AndTheShortSideAtLeastOne) {
  EXPECT_EQ(CappedDetectorSize({8000, 6000}), (PixelSize{4096, 3072}));
  EXPECT_EQ(CappedDetectorSize({100000, 10}), (PixelSize{4096, 1}));
  EXPECT_EQ(CappedDetectorSize({6000, 8000}), (PixelSize{3072, 4096}));
  EXPECT_EQ(CappedDetectorSize({4096, 4096}), (PixelSize{4096, 4096}));
  EXPECT_EQ(CappedDetectorSize({4000, 3000}), (PixelSize{4000, 3000}));
  EXPECT_EQ(CappedDetectorSize({4097, 2049}), (PixelSize{4096, 2048}));  // 2048.4998 rounds down
  EXPECT_EQ(CappedDetectorSize({8192, 3}), (PixelSize{4096, 2}));          // 1.5 rounds up
}

TEST(FaceGeometryTest, BoxesScaleBackToTheFullSizePhoto) {
  const ScaleBack factors = ScaleBackFactors({8000, 6000}, {4096, 3072});
  EXPECT_DOUBLE_EQ(factors.x, 1.953125);
  const auto rects = MapFaceBoxes({{1024, 512, 256, 128}}, {4096, 3072}, factors);
  ASSERT_EQ(rects.size(), 1u);
  EXPECT_EQ(rects[0].left, 2000.0);
  EXPECT_EQ(rects[0].top, 1000.0);
  EXPECT_EQ(rects[0].width, 500.0);
  EXPECT_EQ(rects[0].height, 250.0);

  const ScaleBack none = ScaleBackFactors({10, 10}, {0, 0});
  EXPECT_EQ(none.x, 1.0);
  EXPECT_EQ(none.y, 1.0);
}

TEST(FaceGeometryTest, BoxesAreClippedToThePictureBeforeConversion) {
  const auto rects = MapFaceBoxes({{-5, -3, 50, 40},        // over the top-left corner
                                   {90, 95, 30, 30},        // over the bottom-right corner
                                   {200, 10, 20, 20},       // wholly outside: dropped
                                   {10, 10, 0, 5}},         // no area: dropped
                                  {100, 100}, {2.0, 3.0});
  ASSERT_EQ(rects.size(), 2u);
  EXPECT_EQ(rects[0].left, 0.0);
  EXPECT_EQ(rects[0].top, 0.0);
  EXPECT_EQ(rects[0].width, 90.0);    // 45 px inside, times 2
  EXPECT_EQ(rects[0].height, 111.0);  // 37 px inside, times 3
  EXPECT_EQ(rects[1].left, 180.0);
  EXPECT_EQ(rects[1].width, 20.0);
  EXPECT_EQ(rects[1].height, 15.0);
}

TEST(FaceGeometryTest, LogTextsAndTheDevicePathRewrite) {
  EXPECT_EQ(FaceDiagnosticLine({8000, 6000}, {4096, 3072}, 2), "FD: ori=8000x6000 scaled=4096x3072 faces=2");
  EXPECT_EQ(ChannelLogLine({}), "FD: channel detectFacesWindows, paths=0");
  EXPECT_EQ(ChannelLogLine({"/a b/c.jpg", "/d.jpg"}), "FD: channel detectFacesWindows, paths=2 first=\"/a b/c.jpg\"");
  EXPECT_EQ(RewriteDevicePath("\\\\.\\C:\\photos\\a.jpg"), "\\\\C:\\photos\\a.jpg");
  EXPECT_EQ(RewriteDevicePath("\\\\.\\"), "\\\\.\\");  // exactly the prefix: longer than four is required
  EXPECT_EQ(RewriteDevicePath("/home/u/\\\\.\\a.jpg"), "/home/u/\\\\.\\a.jpg");
  EXPECT_EQ(RewriteDevicePath("/home/u/a.jpg"), "/home/u/a.jpg");
}

}  // namespace
}  // namespace runner::insight
