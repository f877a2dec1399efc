// Tests for the dlib face detector on a real photo with a face (copied from a Debian package at build
// time), and for the whole face pipeline with the real graphics and detector, orientation 6 included.
#include "platform/dlib/dlib_face_detector.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>

#include "platform/cairo/cairo_graphics.h"
#include "runner/insight/face_batch.h"
#include "tests/imaging/header/exif_test_files.h"
#include "tests/support/temp_folder.h"

namespace platform {
namespace {

// A public-domain portrait (512 x 600, one face of about 200 pixels); empty when its package is missing.
const std::string kFacePhoto = PICTAVERA_FACE_PHOTO;

// Runs the parts on two threads, as the face workers do.
void TwoThreads(size_t count, const std::function<void(size_t)>& part) {
  std::thread helper([&] {
    for (size_t i = count; i-- > count / 2;) part(i);
  });
  for (size_t i = 0; i < count / 2; ++i) part(i);
  helper.join();
}

void Inline(size_t count, const std::function<void(size_t)>& part) {
  for (size_t i = 0; i < count; ++i) part(i);
}

GrayImage Gray(const imaging::Bitmap& image) {
  GrayImage gray{image.width_px, image.height_px, {}};
  for (size_t i = 0; i < image.rgba.size(); i += 4) {
    gray.pixels.push_back(static_cast<uint8_t>((image.rgba[i] * 299 + image.rgba[i + 1] * 587 + image.rgba[i + 2] * 114) / 1000));
  }
  return gray;
}

class DlibFaceDetectorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (kFacePhoto.empty() || ::access(kFacePhoto.c_str(), R_OK) != 0) {
      GTEST_SKIP() << "face photo not installed (package python-matplotlib-data)";
    }
    DecodedImage decoded;
    ASSERT_EQ(graphics_.Decode(kFacePhoto, {}, &decoded), GraphicsStatus::kOk);
    photo_ = std::move(decoded.bitmap);
    base::StatusOr<std::unique_ptr<FaceDetection>> created = detector_.CreateDetection();
    ASSERT_TRUE(created.ok()) << created.status().ToString();
    detection_ = std::move(*created);
  }

  // `photo_` drawn at `scale` with its top-left corner at (x, y) on a grey canvas of width x height.
  GrayImage Placed(int width, int height, double x, double y, double scale) {
    auto canvas = graphics_.CreateCanvas(width, height);
    canvas->Clear(0xff808080);
    canvas->DrawBitmap(photo_, {x, y, photo_.width_px * scale, photo_.height_px * scale}, Filter::kBilinear);
    return Gray(*canvas->Snapshot());
  }

  CairoGraphics graphics_;
  DlibFaceDetector detector_;
  std::unique_ptr<FaceDetection> detection_;
  imaging::Bitmap photo_;
};

TEST_F(DlibFaceDetectorTest, FindsTheOneFaceOfThePortrait) {
  const auto faces = detection_->Detect(Gray(photo_), Inline);
  ASSERT_TRUE(faces.ok());
  ASSERT_EQ(faces->size(), 1u);
  const FaceBox& face = (*faces)[0];
  // The face sits in the upper middle of the portrait.
  EXPECT_GT(face.width_px, 120);
  EXPECT_LT(face.width_px, 320);
  EXPECT_NEAR(face.left_px + face.width_px / 2.0, 256, 60);
  EXPECT_LT(face.top_px + face.height_px / 2.0, 350);
}

TEST_F(DlibFaceDetectorTest, SplitAnalysisAgreesWithTheWholePictureWhereverTheFaceSits) {
  const auto reference = detection_->Detect(Gray(photo_), Inline);
  ASSERT_TRUE(reference.ok() && reference->size() == 1u);
  const FaceBox& ref = (*reference)[0];
  DlibFaceDetector unsplit_detector(1 << 30);
  std::unique_ptr<FaceDetection> unsplit = unsplit_detector.CreateDetection().value();
  // A tall picture analysed in parts: the face straddles the seam between the two halves, sits in the
  // bottom half, or is enlarged so that only the reduced part sees it whole.
  const int height = 1600;
  const int seam = height / 2;
  for (const auto& [y, scale] : std::vector<std::pair<double, double>>{
           {std::round(seam - (ref.top_px + ref.height_px / 2.0)), 1.0}, {1000.0, 1.0}, {0.0, 2.5}}) {
    const GrayImage picture = Placed(1400, height, 300, y, scale);
    const auto split = detection_->Detect(picture, TwoThreads);
    const auto whole = unsplit->Detect(picture, Inline);
    ASSERT_TRUE(split.ok() && whole.ok());
    ASSERT_EQ(split->size(), 1u) << "photo at y=" << y << " scale " << scale;
    ASSERT_EQ(whole->size(), 1u) << "photo at y=" << y << " scale " << scale;
    EXPECT_NEAR((*split)[0].left_px, (*whole)[0].left_px, 4);
    EXPECT_NEAR((*split)[0].top_px, (*whole)[0].top_px, 4);
    EXPECT_NEAR((*split)[0].width_px, (*whole)[0].width_px, 4);
    // And it is the portrait's face, where the portrait was placed.
    EXPECT_NEAR((*split)[0].left_px + (*split)[0].width_px / 2.0, 300 + (ref.left_px + ref.width_px / 2.0) * scale,
                ref.width_px * scale * 0.25);
  }
}

TEST_F(DlibFaceDetectorTest, PicturesWithoutFacesAndWithoutPixels) {
  GrayImage flat{1024, 768, std::vector<uint8_t>(1024 * 768, 128)};
  const auto none = detection_->Detect(flat, TwoThreads);
  ASSERT_TRUE(none.ok());
  EXPECT_TRUE(none->empty());
  const base::StatusOr<std::vector<FaceBox>> no_pixels = detection_->Detect(GrayImage{10, 10, {}}, Inline);
  EXPECT_TRUE(no_pixels.status().Is(base::Status::Code::kInvalidArgument));
  EXPECT_FALSE(no_pixels.status().message().empty());
  EXPECT_FALSE(detection_->Detect(GrayImage{}, Inline).ok());
}

TEST_F(DlibFaceDetectorTest, PipelineReportsTheFaceInUprightPixelsOfATurnedPhoto) {
  // The portrait stored turned a quarter counter-clockwise, with orientation 6 telling viewers to turn it
  // back: the face must come out where it is in the upright portrait.
  std::vector<uint8_t> jpeg;
  ASSERT_EQ(graphics_.EncodeJpeg(imaging::RotateCounterClockwise(photo_), 95, &jpeg), GraphicsStatus::kOk);
  jpeg = imaging::testing::WithExif(jpeg, imaging::testing::BuildExif({imaging::testing::ShortEntry(imaging::testing::kTagOrientation, 6)}));
  const test_support::TempFolder folder("pv-faces");
  const std::string turned = folder.File("turned.jpg");
  test_support::WriteBytes(turned, jpeg);

  runner::insight::FaceBatchPorts ports;
  ports.graphics = &graphics_;
  ports.detection = detection_.get();
  ports.run_parts = TwoThreads;
  const auto records = runner::insight::RunFaceBatch({kFacePhoto, turned}, ports);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[1].debug_info, "FD: ori=512x600 scaled=512x600 faces=1\n");
  const auto& upright = records[0].faces;
  const auto& turned_faces = records[1].faces;
  ASSERT_EQ(upright.size(), 1u);
  ASSERT_EQ(turned_faces.size(), 1u);
  EXPECT_NEAR(turned_faces[0].left, upright[0].left, 12);
  EXPECT_NEAR(turned_faces[0].top, upright[0].top, 12);
  EXPECT_NEAR(turned_faces[0].width, upright[0].width, 12);
  EXPECT_NEAR(turned_faces[0].height, upright[0].height, 12);
}

TEST_F(DlibFaceDetectorTest, ACameraSizedPhotoIsSearchedReducedAndEveryFaceWorthFindingIsFound) {
  // A 4000 x 3000 photo with the portrait's face (about 0.4 of the portrait's width) at an eighth down to
  // a twenty-second of the shorter side: all are found by the reduced search, each where it was placed,
  // reported in pixels of the full-size photo.
  constexpr int kWidth = 4000, kHeight = 3000;
  auto canvas = graphics_.CreateCanvas(kWidth, kHeight);
  canvas->Clear(0xff6080a0);
  struct Placed {
    double x, y, face_fraction;
  };
  const std::vector<Placed> placed = {{100, 100, 1.0 / 8}, {1500, 200, 1.0 / 12}, {2800, 300, 1.0 / 16},
                                      {600, 1900, 1.0 / 20}, {2500, 2000, 1.0 / 22}};
  std::vector<double> centres_x;
  for (const Placed& p : placed) {
    const double scale = p.face_fraction * kHeight / (0.4 * photo_.width_px);
    ASSERT_EQ(canvas->DrawBitmap(photo_, {p.x, p.y, photo_.width_px * scale, photo_.height_px * scale}, Filter::kBicubic),
              GraphicsStatus::kOk);
    centres_x.push_back(p.x + photo_.width_px * scale / 2);
  }
  std::vector<uint8_t> jpeg;
  ASSERT_EQ(graphics_.EncodeJpeg(*canvas->Snapshot(), 92, &jpeg), GraphicsStatus::kOk);
  const test_support::TempFolder folder("pv-faces");
  const std::string path = folder.File("camera.jpg");
  test_support::WriteBytes(path, jpeg);

  runner::insight::FaceBatchPorts ports;
  ports.graphics = &graphics_;
  ports.detection = detection_.get();
  ports.run_parts = TwoThreads;
  const auto records = runner::insight::RunFaceBatch({path}, ports);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].debug_info, "FD: ori=4000x3000 scaled=4000x3000 faces=5\n");
  ASSERT_EQ(records[0].faces.size(), placed.size());
  for (double centre : centres_x) {
    const bool found = std::any_of(records[0].faces.begin(), records[0].faces.end(), [centre](const auto& face) {
      return std::abs(face.left + face.width / 2 - centre) < face.width / 2;
    });
    EXPECT_TRUE(found) << "no face around x=" << centre;
  }
}

}  // namespace
}  // namespace platform
