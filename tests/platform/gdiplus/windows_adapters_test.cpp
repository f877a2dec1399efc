// Tests for the metadata reader and the face detector as the Windows build uses them: the one picture
// header reader and libexif over the Windows picture file, dlib's detector on pictures WIC decoded.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "platform/dlib/dlib_face_detector.h"
#include "platform/gdiplus/gdiplus_graphics.h"
#include "platform/libexif/libexif_metadata_reader.h"
#include "tests/support/temp_folder.h"
#include "tests/imaging/header/exif_test_files.h"

namespace platform {
namespace {

using namespace imaging::testing;

// Writes `bytes` as `name` (UTF-8) in `folder` and answers its UTF-8 path.
std::string Write(const test_support::TempFolder& folder, const std::string& name, const std::vector<uint8_t>& bytes) {
  const std::string path = folder.File(name);
  test_support::WriteBytes(path, bytes);
  return path;
}

// The portrait as a Windows path: under Wine the machine's own folders are drive Z.
const std::string kFacePhoto = std::string(PICTAVERA_FACE_PHOTO).empty() ? "" : "Z:" PICTAVERA_FACE_PHOTO;

TEST(WindowsMetadataReaderTest, ReadsAPhotoStoredTurnedUnderAUnicodeName) {
  test_support::TempFolder folder;
  GdiplusGraphics graphics;
  std::vector<uint8_t> jpeg;
  ASSERT_EQ(graphics.EncodeJpeg(*imaging::MakeBitmap(64, 32, 0xFF336699), 90, &jpeg), GraphicsStatus::kOk);
  const std::string path = Write(folder, 
      "Ürlaub 写真.jpg",
      WithExif(jpeg, BuildExif({ShortEntry(kTagOrientation, 6), AsciiEntry(kTagDateTime, "2020:01:01 00:00:00"),
                                RationalEntry(kTagXResolution, 300, 1), RationalEntry(kTagYResolution, 300, 1),
                                ShortEntry(kTagResolutionUnit, 2)},
                               {AsciiEntry(kTagDateTimeOriginal, "2024:05:06 10:20:30")})));
  LibexifMetadataReader reader;
  imaging::MetadataStatus status = imaging::MetadataStatus::kUnreadable;
  const std::optional<PictureMetadata> metadata = reader.Read(path, &status);
  ASSERT_TRUE(metadata);
  EXPECT_EQ(status, imaging::MetadataStatus::kOk);
  EXPECT_EQ(metadata->width_px, 64);
  EXPECT_EQ(metadata->height_px, 32);
  EXPECT_EQ(metadata->orientation, 6);
  EXPECT_EQ(metadata->date_time_original, "2024:05:06 10:20:30");
  EXPECT_EQ(metadata->date_time, "2020:01:01 00:00:00");
  ASSERT_TRUE(metadata->resolution);
  EXPECT_DOUBLE_EQ(metadata->resolution->x_dpi, 300);

  EXPECT_FALSE(reader.Read(folder.File("missing.jpg"), &status));
  EXPECT_EQ(status, imaging::MetadataStatus::kNotFound);
  EXPECT_FALSE(reader.Read(folder.str(), &status));
  EXPECT_EQ(status, imaging::MetadataStatus::kUnreadable);
  EXPECT_FALSE(reader.Read(Write(folder, "notes.jpg", {'n', 'o'}), &status));
  EXPECT_EQ(status, imaging::MetadataStatus::kUnknownFormat);
}

GrayImage Gray(const imaging::Bitmap& image) {
  GrayImage gray{image.width_px, image.height_px, {}};
  gray.pixels.reserve(static_cast<size_t>(image.width_px) * image.height_px);
  for (size_t i = 0; i < image.rgba.size(); i += 4) {
    gray.pixels.push_back(
        static_cast<uint8_t>((image.rgba[i] * 299 + image.rgba[i + 1] * 587 + image.rgba[i + 2] * 114) / 1000));
  }
  return gray;
}

void TwoThreads(size_t count, const std::function<void(size_t)>& part) {
  std::vector<std::thread> threads;
  for (size_t i = 0; i < count; ++i) threads.emplace_back(part, i);
  for (std::thread& thread : threads) thread.join();
}

TEST(WindowsFaceDetectorTest, FindsThePortraitsFaceInAPhotoStoredTurned) {
  if (kFacePhoto.empty() || !std::filesystem::exists(std::filesystem::path(PICTAVERA_FACE_PHOTO))) {
    GTEST_SKIP() << "face photo not installed (package python-matplotlib-data)";
  }
  GdiplusGraphics graphics;
  DecodedImage portrait;
  ASSERT_EQ(graphics.Decode(kFacePhoto, {}, &portrait), GraphicsStatus::kOk);
  DlibFaceDetector detector;
  base::StatusOr<std::unique_ptr<FaceDetection>> created = detector.CreateDetection();
  ASSERT_TRUE(created.ok()) << created.status().ToString();
  const std::unique_ptr<FaceDetection> detection = std::move(*created);
  const auto upright = detection->Detect(Gray(portrait.bitmap), TwoThreads);
  ASSERT_TRUE(upright.ok());
  ASSERT_EQ(upright->size(), 1u);
  const FaceBox face = (*upright)[0];
  EXPECT_GT(face.width_px, 120);
  EXPECT_NEAR(face.left_px + face.width_px / 2.0, portrait.bitmap.width_px / 2.0, 60);

  // Stored turned a quarter counter-clockwise with orientation 6: decoded and turned upright, the face is
  // where it is in the portrait.
  test_support::TempFolder folder;
  std::vector<uint8_t> jpeg;
  ASSERT_EQ(graphics.EncodeJpeg(imaging::RotateCounterClockwise(portrait.bitmap), 95, &jpeg), GraphicsStatus::kOk);
  const std::string turned = Write(folder, "gedreht.jpg", WithExif(jpeg, BuildExif({ShortEntry(kTagOrientation, 6)})));
  DecodedImage stored;
  ASSERT_EQ(graphics.Decode(turned, {}, &stored), GraphicsStatus::kOk);
  const imaging::Bitmap shown = imaging::ApplyOrientation(std::move(stored.bitmap), stored.info.orientation, imaging::OrientationSet::kAll);
  const auto found = detection->Detect(Gray(shown), TwoThreads);
  ASSERT_TRUE(found.ok());
  ASSERT_EQ(found->size(), 1u);
  EXPECT_NEAR((*found)[0].left_px, face.left_px, 8);
  EXPECT_NEAR((*found)[0].top_px, face.top_px, 8);

  const auto none = detection->Detect(GrayImage{640, 480, std::vector<uint8_t>(640 * 480, 128)}, TwoThreads);
  ASSERT_TRUE(none.ok());
  EXPECT_TRUE(none->empty());
}

}  // namespace
}  // namespace platform
