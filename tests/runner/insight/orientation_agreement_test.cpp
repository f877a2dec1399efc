// Every route that turns a photo upright turns it the same way: previews, face batches and quick
// metadata in the application, the helper program's loader, and (when installed) exiftool, on real JPEG
// files with every orientation in both byte orders and the layouts picture tools write (a comment before
// the EXIF block, the EXIF block after the frame header).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>

#include "helper/image_io.h"
#include "helper/reorder.h"
#include "platform/libexif/libexif_metadata_reader.h"
#include "runner/insight/face_batch.h"
#include "runner/insight/insight_channels.h"
#include "runner/insight/quick_meta.h"
#include "runner/insight/thumbnail.h"
#include "tests/imaging/header/exif_test_files.h"
#include "tests/runner/system_adapters.h"
#include "tests/support/temp_folder.h"

namespace runner::insight {
namespace {

using namespace imaging::testing;

// The upright picture: 48 wide, 64 tall, dark, with a white 16 x 16 square at its top-left corner.
constexpr int kUprightWidth = 48;
constexpr int kUprightHeight = 64;
constexpr int kMark = 16;

enum class Layout { kFirst, kAfterComment, kAfterFrame };

// The orientation whose turn undoes `orientation`'s.
int Inverse(int orientation) { return orientation == 6 ? 8 : orientation == 8 ? 6 : orientation; }

// A "detector" that finds the white square: the bounding box of the bright pixels.
class MarkFinder : public platform::FaceDetection {
 public:
  base::StatusOr<std::vector<platform::FaceBox>> Detect(const platform::GrayImage& image,
                                                        const platform::PartRunner&) override {
    int64_t left = image.width_px, top = image.height_px, right = -1, bottom = -1;
    for (int y = 0; y < image.height_px; ++y) {
      for (int x = 0; x < image.width_px; ++x) {
        if (image.pixels[static_cast<size_t>(y) * image.width_px + x] < 160) continue;
        left = std::min<int64_t>(left, x), top = std::min<int64_t>(top, y);
        right = std::max<int64_t>(right, x), bottom = std::max<int64_t>(bottom, y);
      }
    }
    if (right < 0) return std::vector<platform::FaceBox>{};
    return std::vector<platform::FaceBox>{{left, top, right - left + 1, bottom - top + 1}};
  }
};

class OrientationAgreementTest : public ::testing::Test {
 protected:
  void SetUp() override {
#ifndef _WIN32
    exiftool_ = std::system("exiftool -ver > /dev/null 2>&1") == 0;
#endif
  }

  // The photo stored so that `orientation` makes it upright, its EXIF block placed as `layout` says.
  std::string Photo(int orientation, bool big_endian, Layout layout) {
    imaging::Bitmap upright = *imaging::MakeBitmap(kUprightWidth, kUprightHeight, 0xff202020);
    for (int y = 0; y < kMark; ++y) {
      for (int x = 0; x < kMark; ++x) std::fill_n(upright.pixel(x, y), 3, 0xff);
    }
    const imaging::Bitmap stored =
        imaging::ApplyOrientation(std::move(upright), Inverse(orientation), imaging::OrientationSet::kAll);
    std::vector<uint8_t> jpeg;
    EXPECT_EQ(graphics_->EncodeJpeg(stored, 95, &jpeg), platform::GraphicsStatus::kOk);
    const std::vector<uint8_t> app1 =
        Segment(0xE1, BuildExif({ShortEntry(kTagOrientation, static_cast<uint16_t>(orientation))}, {}, big_endian));
    std::vector<uint8_t> segments = app1;
    size_t at = 2;  // after the start of image
    if (layout == Layout::kAfterComment) {
      segments = Segment(0xFE, {'x'});
      segments.insert(segments.end(), app1.begin(), app1.end());
    } else if (layout == Layout::kAfterFrame) {
      for (at = 2; !(jpeg[at] == 0xFF && jpeg[at + 1] == 0xDA); ++at) {
      }
    }
    jpeg.insert(jpeg.begin() + static_cast<std::ptrdiff_t>(at), segments.begin(), segments.end());
    const std::string path = folder_ + "/o" + std::to_string(orientation) + (big_endian ? "mm" : "ii") +
                             std::to_string(static_cast<int>(layout)) + ".jpg";
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(jpeg.data()),
                                                static_cast<std::streamsize>(jpeg.size()));
    return path;
  }

  // exiftool's orientation of every photo in the folder, by file name (one run for all: it starts slowly).
  std::map<std::string, int> Exiftool() {
    std::map<std::string, int> orientations;
    FILE* pipe = ::popen(("exiftool -n -T -FileName -Orientation '" + folder_ + "'/*.jpg").c_str(), "r");
    char line[256];
    while (pipe != nullptr && std::fgets(line, sizeof line, pipe) != nullptr) {
      const std::string text(line);
      const size_t tab = text.find('\t');
      if (tab != std::string::npos) orientations[text.substr(0, tab)] = std::atoi(text.c_str() + tab + 1);
    }
    if (pipe) ::pclose(pipe);
    return orientations;
  }

  // Every route's view of `path`, which must be upright kUprightWidth x kUprightHeight with the mark at
  // the top-left.
  void ExpectUprightEverywhere(const std::string& path, int orientation) {
    SCOPED_TRACE(path);
    // Quick metadata.
    const auto metadata = platform::LibexifMetadataReader().Read(path);
    ASSERT_TRUE(metadata);
    const QuickMeta meta = QuickMetaFrom(*metadata);
    EXPECT_EQ(meta.width_px, kUprightWidth);
    EXPECT_EQ(meta.height_px, kUprightHeight);

    // Preview, at its own size.
    const auto png = RenderThumbnail(*graphics_, nullptr, path, {kUprightWidth, kUprightHeight});
    ASSERT_TRUE(png);
    const std::string preview_path = path + ".png";
    std::ofstream(preview_path, std::ios::binary).write(reinterpret_cast<const char*>(png->data()),
                                                        static_cast<std::streamsize>(png->size()));
    platform::DecodedImage preview;
    ASSERT_EQ(graphics_->Decode(preview_path, {}, &preview), platform::GraphicsStatus::kOk);
    EXPECT_EQ(preview.bitmap.width_px, kUprightWidth);
    EXPECT_EQ(preview.bitmap.height_px, kUprightHeight);
    EXPECT_GT(preview.bitmap.pixel(3, 3)[0], 200);
    EXPECT_LT(preview.bitmap.pixel(kUprightWidth - 4, kUprightHeight - 4)[0], 60);

    // A face batch: the mark is found at the upright top-left.
    MarkFinder finder;
    FaceBatchPorts ports;
    ports.graphics = graphics_.get();
    ports.detection = &finder;
    ports.run_parts = [](size_t count, const std::function<void(size_t)>& part) {
      for (size_t i = 0; i < count; ++i) part(i);
    };
    const EncodableList records = FaceRecordsToList(RunFaceBatch({path}, ports));
    ASSERT_EQ(records.size(), 1u);
    const auto& record = std::get<EncodableMap>(records[0]);
    EXPECT_EQ(std::get<std::string>(record.at(EncodableValue("debugInfo"))),
              "FD: ori=48x64 scaled=48x64 faces=1\n");
    const auto& faces = std::get<EncodableList>(record.at(EncodableValue("faces")));
    ASSERT_EQ(faces.size(), 1u);
    const auto& face = std::get<EncodableMap>(faces[0]);
    EXPECT_LE(std::get<double>(face.at(EncodableValue("left"))), 1.0);
    EXPECT_LE(std::get<double>(face.at(EncodableValue("top"))), 1.0);

    // The helper program's loader.
    mosalith::ImageCodec codec;
    base::StatusOr<mosalith::Picture> loaded = mosalith::LoadPicture(path, codec);
    ASSERT_TRUE(loaded.ok());
    EXPECT_EQ(loaded->orientation, orientation);
    mosalith::ApplyOrientation(loaded->pixels, loaded->orientation);
    EXPECT_EQ(loaded->pixels.width_px, kUprightWidth);
    EXPECT_EQ(loaded->pixels.height_px, kUprightHeight);
    EXPECT_GT(loaded->pixels.pixel(3, 3)[0], 200);
  }

  test_support::TempFolder temp_{"pv-orient"};
  const std::string folder_ = temp_.str();
  bool exiftool_ = false;
  std::unique_ptr<platform::Graphics> graphics_ = runner::testing::SystemGraphics();
};

TEST_F(OrientationAgreementTest, EveryOrientationInBothByteOrdersAndEveryLayout) {
  std::map<std::string, int> expected;
  for (int orientation = 1; orientation <= 8; ++orientation) {
    for (bool big_endian : {false, true}) {
      for (Layout layout : {Layout::kFirst, Layout::kAfterComment, Layout::kAfterFrame}) {
        const std::string path = Photo(orientation, big_endian, layout);
        ExpectUprightEverywhere(path, orientation);
        expected[path.substr(path.rfind('/') + 1)] = orientation;
      }
    }
  }
  // The program's own routes agreed above; exiftool's view is compared on Linux only (Debian's exiftool is
  // a Linux program).
#ifdef _WIN32
  GTEST_SKIP() << "the program's routes agree; exiftool is compared by the Linux build only";
#endif
  if (!exiftool_) GTEST_SKIP() << "exiftool is not installed (Debian package libimage-exiftool-perl)";
  EXPECT_EQ(Exiftool(), expected);
}

}  // namespace
}  // namespace runner::insight
