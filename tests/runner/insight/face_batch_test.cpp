// Tests for one face batch through the fake graphics and the fake detector: the cap, the mapping back
// to the upright full-size photo, the retry, orientation, and the per-image and whole-batch failures.
#include "runner/insight/face_batch.h"

#include <gtest/gtest.h>

#include "platform/fake/fake_face_detector.h"
#include "platform/fake/fake_graphics.h"
#include "runner/insight/insight_channels.h"

namespace runner::insight {
namespace {

constexpr uint32_t kBlack = 0xff000000;
constexpr uint32_t kWhite = 0xffffffff;

const EncodableValue& Field(const EncodableValue& record, const char* key) {
  return std::get<EncodableMap>(record).at(EncodableValue(key));
}
double Number(const EncodableValue& rect, const char* key) { return std::get<double>(Field(rect, key)); }

class FaceBatchTest : public ::testing::Test {
 protected:
  void SetUp() override { detection_ = detector_.CreateDetection().value(); }

  EncodableList Run(const std::vector<std::string>& paths, bool with_detector = true) {
    FaceBatchPorts ports;
    ports.graphics = &graphics_;
    ports.detection = with_detector ? detection_.get() : nullptr;
    ports.run_parts = [](size_t count, const std::function<void(size_t)>& part) {
      for (size_t i = 0; i < count; ++i) part(i);
    };
    ports.budget = budget_;
    // Checked as the channel sends them: the records and their reply maps agree field for field.
    return FaceRecordsToList(RunFaceBatch(paths, ports));
  }
  void AddPhoto(const std::string& path, int width, int height, int orientation = 1) {
    graphics_.AddPicture(path, *imaging::MakeBitmap(width, height, kBlack), orientation);
  }

  imaging::MemoryBudget* budget_ = nullptr;
  platform::FakeGraphics graphics_;
  platform::FakeFaceDetector detector_;
  std::unique_ptr<platform::FaceDetection> detection_;
};

TEST_F(FaceBatchTest, LargePhotoIsAnalysedCappedAndReportedAtFullSize) {
  AddPhoto("/p/big.jpg", 8000, 6000);
  // Searched at 2560 x 1920 (the smallest face worth finding is one detector window there); the box
  // is reported as found in the capped 4096 x 3072 picture, then at full size.
  detector_.SetFaces(2560, 1920, {{640, 320, 160, 80}});
  const EncodableList records = Run({"/p/big.jpg"});
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(std::get<std::string>(Field(records[0], "imagePath")), "/p/big.jpg");
  EXPECT_EQ(std::get<std::string>(Field(records[0], "debugInfo")), "FD: ori=8000x6000 scaled=4096x3072 faces=1\n");
  const auto& faces = std::get<EncodableList>(Field(records[0], "faces"));
  ASSERT_EQ(faces.size(), 1u);
  EXPECT_EQ(Number(faces[0], "left"), 2000.0);
  EXPECT_EQ(Number(faces[0], "top"), 1000.0);
  EXPECT_EQ(Number(faces[0], "width"), 500.0);
  EXPECT_EQ(Number(faces[0], "height"), 250.0);
  EXPECT_EQ(detector_.seen_sizes(), (std::vector<std::pair<int, int>>{{2560, 1920}}));
  // Decoded straight to the searched size, in the stored orientation.
  ASSERT_FALSE(graphics_.decode_options().empty());
  EXPECT_EQ(graphics_.decode_options()[0].exact_width_px, 2560);
  EXPECT_EQ(graphics_.decode_options()[0].exact_height_px, 1920);
}

TEST_F(FaceBatchTest, NothingFoundReducedIsLookedForAgainAtFullSizeWithFactorOne) {
  // A panorama whose full size is still within the search limit: the capped look is smaller, so the
  // full-size look can find more.
  AddPhoto("/p/wide.jpg", 6000, 1500);
  detector_.SetFaces(6000, 1500, {{100, 200, 80, 90}});
  const EncodableList records = Run({"/p/wide.jpg"});
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(std::get<std::string>(Field(records[0], "debugInfo")), "FD: ori=6000x1500 scaled=4096x1024 faces=1\n");
  const auto& faces = std::get<EncodableList>(Field(records[0], "faces"));
  ASSERT_EQ(faces.size(), 1u);
  EXPECT_EQ(Number(faces[0], "left"), 100.0);
  EXPECT_EQ(Number(faces[0], "height"), 90.0);
  EXPECT_EQ(detector_.seen_sizes(), (std::vector<std::pair<int, int>>{{4096, 1024}, {6000, 1500}}));
}

TEST_F(FaceBatchTest, TheDetectorsWorkingMemoryIsHeldFromTheBudgetAndAPhotoBeyondItFailsAlone) {
  // 16 bytes a searched pixel: 2560 x 1920 needs 78.6 MB, 640 x 480 4.9 MB, under a 64 MB budget.
  imaging::MemoryBudget budget(64u << 20);
  budget_ = &budget;
  AddPhoto("/p/big.jpg", 8000, 6000);
  AddPhoto("/p/small.jpg", 640, 480);
  detector_.SetFaces(640, 480, {{10, 20, 30, 40}});
  const EncodableList records = Run({"/p/big.jpg", "/p/small.jpg"});
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(std::get<std::string>(Field(records[0], "debugInfo")), "FD: too large\n");
  EXPECT_TRUE(std::get<EncodableList>(Field(records[0], "faces")).empty());
  EXPECT_EQ(std::get<EncodableList>(Field(records[1], "faces")).size(), 1u);
  EXPECT_EQ(detector_.seen_sizes(), (std::vector<std::pair<int, int>>{{640, 480}}));
  EXPECT_EQ(budget.in_use_bytes(), 0u);
  EXPECT_GE(budget.peak_bytes(), kDetectorBytesPerPixel * 640 * 480);
}

TEST_F(FaceBatchTest, NoSecondLookWhenTheFullSizeWouldBeSearchedAtTheSameSize) {
  AddPhoto("/p/big.jpg", 6000, 4500);
  const EncodableList records = Run({"/p/big.jpg"});
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(std::get<std::string>(Field(records[0], "debugInfo")), "FD: ori=6000x4500 scaled=4096x3072 faces=0\n");
  EXPECT_EQ(detector_.seen_sizes(), (std::vector<std::pair<int, int>>{{2560, 1920}}));
}

TEST_F(FaceBatchTest, APictureTooLargeForASecondLookKeepsTheReducedAnswerAndIsDecodedOnce) {
  // A file claiming 16000 x 16000 pixels (as a few hundred hostile bytes can): one look at the capped size.
  graphics_.AddClaimedPicture("/p/huge.jpg", 16000, 16000, *imaging::MakeBitmap(64, 64, kBlack));
  detector_.SetFaces(16000, 16000, {{100, 200, 80, 90}});
  const EncodableList records = Run({"/p/huge.jpg"});
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(std::get<std::string>(Field(records[0], "debugInfo")), "FD: ori=16000x16000 scaled=4096x4096 faces=0\n");
  EXPECT_TRUE(std::get<EncodableList>(Field(records[0], "faces")).empty());
  EXPECT_EQ(detector_.seen_sizes(), (std::vector<std::pair<int, int>>{{1920, 1920}}));
  EXPECT_EQ(graphics_.decode_options().size(), 1u);
}

TEST_F(FaceBatchTest, SmallPhotoIsAnalysedOnceAtItsOwnSize) {
  AddPhoto("/p/small.jpg", 640, 480);
  const EncodableList records = Run({"/p/small.jpg"});
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(std::get<std::string>(Field(records[0], "debugInfo")), "FD: ori=640x480 scaled=640x480 faces=0\n");
  EXPECT_TRUE(std::get<EncodableList>(Field(records[0], "faces")).empty());
  EXPECT_EQ(detector_.seen_sizes().size(), 1u);
}

TEST_F(FaceBatchTest, ThinPhotoKeepsOnePixelOnItsShortSide) {
  AddPhoto("/p/thin.png", 32000, 10);
  const EncodableList records = Run({"/p/thin.png"});
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(std::get<std::string>(Field(records[0], "debugInfo")), "FD: ori=32000x10 scaled=4096x1 faces=0\n");
  EXPECT_EQ(detector_.seen_sizes(), (std::vector<std::pair<int, int>>{{4096, 1}, {32000, 10}}));
}

TEST_F(FaceBatchTest, TurnedPhotoIsAnalysedUprightAndReportedInUprightPixels) {
  // Stored 400 x 300 with orientation 6 (turn clockwise to view): upright 300 x 400. The stored
  // bottom-left pixel becomes the upright top-left one.
  imaging::Bitmap stored = *imaging::MakeBitmap(400, 300, kBlack);
  std::fill_n(stored.pixel(0, 299), 4, 0xff);
  graphics_.AddPicture("/p/turned.jpg", stored, 6);
  detector_.SetFaces(300, 400, {{10, 20, 30, 40}});
  const EncodableList records = Run({"/p/turned.jpg"});
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(std::get<std::string>(Field(records[0], "debugInfo")), "FD: ori=300x400 scaled=300x400 faces=1\n");
  EXPECT_EQ(detector_.seen_first_pixels(), std::vector<uint8_t>{255});
  EXPECT_EQ(Number(std::get<EncodableList>(Field(records[0], "faces"))[0], "top"), 20.0);
}

TEST_F(FaceBatchTest, UnopenablePhotosGetTheirOwnRecordAndTheOthersCarryOn) {
  AddPhoto("/p/a.jpg", 64, 64);
  detector_.SetFaces(64, 64, {{1, 2, 3, 4}});
  graphics_.FailPath("/p/folder", platform::GraphicsStatus::kAccessDenied);
  AddPhoto("\\\\C:\\p\\device.jpg", 64, 64);
  const EncodableList records = Run({"/p/missing.jpg", "/p/a.jpg", "/p/folder", "\\\\.\\C:\\p\\device.jpg"});
  ASSERT_EQ(records.size(), 4u);
  for (size_t i : {0u, 2u}) {
    EXPECT_EQ(std::get<std::string>(Field(records[i], "debugInfo")), "FD: file_open_failed");
    EXPECT_TRUE(std::get<EncodableList>(Field(records[i], "faces")).empty());
  }
  EXPECT_EQ(std::get<EncodableList>(Field(records[1], "faces")).size(), 1u);
  // The device prefix is rewritten for opening only.
  EXPECT_EQ(std::get<std::string>(Field(records[3], "imagePath")), "\\\\.\\C:\\p\\device.jpg");
  EXPECT_EQ(std::get<EncodableList>(Field(records[3], "faces")).size(), 1u);
}

TEST_F(FaceBatchTest, WithoutADetectorEveryPhotoSaysSo) {
  AddPhoto("/p/a.jpg", 64, 64);
  const EncodableList records = Run({"/p/a.jpg", "/p/missing.jpg"}, /*with_detector=*/false);
  ASSERT_EQ(records.size(), 2u);
  for (const auto& record : records) {
    EXPECT_EQ(std::get<std::string>(Field(record, "debugInfo")), "FD: detector_create_failed");
  }
  EXPECT_TRUE(detector_.seen_sizes().empty());
}

TEST_F(FaceBatchTest, APhotoThatCannotBeUsedFailsAloneWithItsReason) {
  AddPhoto("/p/a.jpg", 64, 64);
  graphics_.FailPath("/p/notes.txt", platform::GraphicsStatus::kCorrupt);
  AddPhoto("/p/corrupt.jpg", 64, 64);
  graphics_.FailDecode("/p/corrupt.jpg", platform::GraphicsStatus::kCorrupt);
  ::testing::internal::CaptureStderr();
  const EncodableList records = Run({"/p/a.jpg", "/p/notes.txt", "/p/corrupt.jpg", "/p/b.jpg"});
  const std::string log = ::testing::internal::GetCapturedStderr();
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(std::get<std::string>(Field(records[0], "debugInfo")).rfind("FD: ori=64x64", 0), 0u);
  EXPECT_EQ(std::get<std::string>(Field(records[1], "debugInfo")), "FD: damaged data\n");
  EXPECT_TRUE(std::get<EncodableList>(Field(records[2], "faces")).empty());
  EXPECT_NE(log.find("FD: Photo 1 skipped (/p/notes.txt): damaged data"), std::string::npos) << log;
  EXPECT_NE(log.find("FD: Photo 2 skipped (/p/corrupt.jpg): damaged data"), std::string::npos) << log;

  detector_.FailDetection(true);
  const EncodableList failed = Run({"/p/a.jpg"});
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_EQ(std::get<std::string>(Field(failed[0], "debugInfo")), "FD: face detection failed\n");
}

TEST(GrayFromBitmapTest, WeightsAddUpAndAlphaIsIgnored) {
  imaging::Bitmap image = *imaging::MakeBitmap(4, 1, kWhite);
  const uint8_t pixels[] = {255, 255, 255, 0, 255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255};
  std::copy(std::begin(pixels), std::end(pixels), image.rgba.begin());
  const platform::GrayImage gray = GrayFromBitmap(image);
  EXPECT_EQ(gray.pixels, (std::vector<uint8_t>{255, 76, 150, 29}));
}

}  // namespace
}  // namespace runner::insight
