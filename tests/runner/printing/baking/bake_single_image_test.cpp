// Tests for the single-image bake: the library's reference count on every path, file names, the JPEG
// quality, save failures, exceptions, and (on the real graphics and disk) byte-identical output.
#include "runner/printing/baking/bake_single_image.h"

#include <algorithm>

#include "imaging/colour/colour_profile.h"
#include "imaging/colour/jpeg_icc.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "platform/fake/fake_clock.h"
#include "platform/fake/fake_file_system.h"
#include "platform/fake/fake_graphics.h"
#include "runner/printing/baking/bake_geometry.h"
#include "runner/printing/baking/bake_images.h"
#include "runner/printing/baking/bake_shared.h"
#include "tests/runner/system_adapters.h"
#include "tests/support/temp_folder.h"

namespace runner::printing {
namespace {

using platform::GraphicsStatus;

const std::string kFolder = std::string(platform::FakeFileSystem::kDefaultTempFolder) + "/bake";

BakeRequest Request(const std::string& path, int width = 30, int height = 20) {
  BakeRequest request;
  request.source_path = path;
  request.canvas_width_px = width;
  request.canvas_height_px = height;
  return request;
}

// Graphics whose decoding throws, to reach the bake's exception paths.
class ThrowingGraphics : public platform::FakeGraphics {
 public:
  explicit ThrowingGraphics(bool with_text) : with_text_(with_text) {}
  GraphicsStatus Decode(const std::string&, const platform::DecodeOptions&, platform::DecodedImage*,
                        std::string*) const override {
    if (with_text_) throw std::runtime_error("boom");
    throw 7;
  }

 private:
  bool with_text_;
};

class BakeSingleImageTest : public ::testing::Test {
 protected:
  BakeSingleImageTest()
      : shared_{},
        tools_{&graphics_, &files_, &clock_, &shared_} {
    graphics_.AddPicture("/p.jpg", *imaging::MakeBitmap(60, 40, 0xFF336699));
    files_.AddFolder(kFolder);
  }

  BakeResult Bake(const BakeRequest& request, int32_t index = 0, int quality = 95, const BakeTools* tools = nullptr) {
    ::testing::internal::CaptureStderr();
    ::testing::internal::CaptureStdout();
    BakeResult result = BakeSingleImage(tools ? *tools : tools_, request, index, kFolder, "srgb", quality);
    stdout_ = ::testing::internal::GetCapturedStdout();
    log_ = ::testing::internal::GetCapturedStderr();
    return result;
  }

  platform::FakeGraphics graphics_;
  platform::FakeFileSystem files_;
  platform::FakeClock clock_;
  BakeShared shared_;
  BakeTools tools_;
  std::string log_;
  std::string stdout_;
};

TEST_F(BakeSingleImageTest, SuccessWritesANewFileNamedByIndexTimeAndCounter) {
  const BakeResult result = Bake(Request("/p.jpg"), 3, 77);
  ASSERT_TRUE(result.success) << result.error;
  EXPECT_EQ(result.index, 3);
  EXPECT_TRUE(result.error.empty());
  EXPECT_EQ(result.baked_path, kFolder + "/" + BakedFileName(3, ToLocalTime(clock_.WallNow()), 0));
  EXPECT_EQ(graphics_.jpeg_qualities(), std::vector<int>{77});
  const auto bytes = files_.ReadFile(result.baked_path, 1 << 20);
  ASSERT_TRUE(bytes.ok());
  const auto written = platform::FakeGraphics::ReadEncoded(*bytes);
  ASSERT_TRUE(written);
  EXPECT_EQ(written->width_px, 30);
  EXPECT_EQ(written->height_px, 20);
  EXPECT_NE(log_.find("DEBUG: BakeSingleImage [3] starting with color profile: srgb\n"
                      "DEBUG: BakeSingleImage [3] GDI+ initialized\n"), std::string::npos);
  EXPECT_NE(log_.find("DEBUG: BakeSingleImage [3] shutting down GDI+\n"
                      "DEBUG: BakeSingleImage [3] GDI+ shutdown complete\n"), std::string::npos);
  EXPECT_NE(stdout_.find("INFO: Color profile selected: sRGB"), std::string::npos);

  EXPECT_EQ(Bake(Request("/p.jpg"), 12345).baked_path.rfind(kFolder + "/baked_12345_", 0), 0u);
}

TEST_F(BakeSingleImageTest, ATakenNameIsNeverOverwritten) {
  const std::string taken = kFolder + "/" + BakedFileName(3, ToLocalTime(clock_.WallNow()), 0);
  files_.AddFile(taken, {1, 2, 3});
  const BakeResult result = Bake(Request("/p.jpg"), 3);
  ASSERT_TRUE(result.success);
  EXPECT_EQ(result.baked_path, kFolder + "/" + BakedFileName(3, ToLocalTime(clock_.WallNow()), 1));
  EXPECT_EQ(files_.ReadFile(taken, 100).value(), (std::vector<uint8_t>{1, 2, 3}));
}

TEST_F(BakeSingleImageTest, FailuresReportTheirTextAndLeaveNoFile) {
  EXPECT_EQ(Bake(Request("/missing.jpg")).error, "Failed to render image with effects");
  EXPECT_EQ(Bake(Request("/p.jpg", 0, 20)).error, "Failed to render image with effects");

  ::testing::internal::CaptureStderr();
  ::testing::internal::CaptureStdout();
  const BakeResult no_folder = BakeSingleImage(tools_, Request("/p.jpg"), 0, "/fake-tmp/gone", "srgb", 95);
  ::testing::internal::GetCapturedStdout();
  ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(no_folder.error, "Failed to save baked image, GDI+ status=10");
  EXPECT_TRUE(no_folder.baked_path.empty());

  files_.FailWritesWith(platform::FakeFileSystem::DiskFull());
  EXPECT_EQ(Bake(Request("/p.jpg")).error, "Failed to save baked image, GDI+ status=7");
  files_.FailWritesWith(base::Status::AlreadyExists("/fake-tmp"));  // any other kind: an I/O error, as ever
  EXPECT_EQ(Bake(Request("/p.jpg")).error, "Failed to save baked image, GDI+ status=7");
  files_.RefuseFolder(kFolder, base::Status::AccessDenied(kFolder));
  EXPECT_EQ(Bake(Request("/p.jpg")).error, "Failed to save baked image, GDI+ status=12");
  files_.RefuseFolder(kFolder, base::Status::Ok());
  files_.FailWritesWith(base::Status::Ok());
  graphics_.FailEncode(GraphicsStatus::kFailed);
  EXPECT_EQ(Bake(Request("/p.jpg")).error, "Failed to save baked image, GDI+ status=1");
  EXPECT_EQ(files_.Files().size(), 0u);
}

TEST_F(BakeSingleImageTest, ExceptionsBecomeTheImagesFailure) {
  BakeTools tools = tools_;
  ThrowingGraphics with_text(true);
  tools.graphics = &with_text;
  const BakeResult thrown = Bake(Request("/p.jpg"), 4, 95, &tools);
  EXPECT_EQ(thrown.error, "Exception during baking: boom");
  EXPECT_EQ(thrown.index, 4);
  EXPECT_NE(log_.find("ERROR: BakeSingleImage [4] exception: boom\n"), std::string::npos);
  ThrowingGraphics without_text(false);
  tools.graphics = &without_text;
  EXPECT_EQ(Bake(Request("/p.jpg"), 5, 95, &tools).error, "Unknown exception during baking");
  // The file counter is shared by every bake: the next one still gets a fresh name.
  EXPECT_TRUE(Bake(Request("/p.jpg"), 6).success);
}

// The real graphics and disk: the bytes of a bake depend on the request only.
class RealBakeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    files_ = runner::testing::SystemFileSystem(root_ + "/tmp");
    // Two photos and a frame, made with the real encoders.
    auto photo = *imaging::MakeBitmap(240, 160, 0xFF2060A0);
    for (int y = 0; y < 160; ++y) {
      for (int x = 0; x < 120; ++x) photo.pixel(x, y)[0] = static_cast<uint8_t>(x * 2);
    }
    WriteEncoded(root_ + "/a.jpg", photo, true);
    WriteEncoded(root_ + "/b.png", *imaging::MakeBitmap(90, 120, 0x80FF8000), false);
    auto frame = *imaging::MakeBitmap(50, 70, 0x00000000);
    for (int x = 0; x < 50; ++x) frame.pixel(x, 3)[3] = 255;
    WriteEncoded(root_ + "/frame.png", frame, false);
  }

  void WriteEncoded(const std::string& path, const imaging::Bitmap& image, bool jpeg) {
    std::vector<uint8_t> bytes;
    ASSERT_EQ(jpeg ? graphics_->EncodeJpeg(image, 90, &bytes) : graphics_->EncodePng(image, &bytes), GraphicsStatus::kOk);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
  }

  std::vector<BakeRequest> Requests() const {
    std::vector<BakeRequest> requests;
    for (int i = 0; i < 12; ++i) {
      BakeRequest request = Request(root_ + (i % 3 == 2 ? "/b.png" : "/a.jpg"), 60 + i, 80 - i);
      request.image_scale = 1.0 + 0.1 * i;
      request.offset_x_px = i - 6.5;
      request.rotate_for_output = i % 2 == 1;
      request.effects.stroke = 0.1f * static_cast<float>(i % 4);
      request.effects.stroke_external = i % 3 == 0;
      request.effects.stroke_color = 0xC0FF0000u + static_cast<uint32_t>(i);
      if (i % 4 == 1) request.frame_path = root_ + "/frame.png";
      requests.push_back(request);
    }
    return requests;
  }

  // Bakes the requests on `threads` workers; the bytes of each file in request order.
  std::vector<std::vector<uint8_t>> BakeAll(int threads, const std::string& profile, int quality = 95) {
    ParallelBakeSetup setup;
    setup.files = files_.get();
    setup.clock = &clock_;
    const BakeTools tools{graphics_.get(), files_.get(), &clock_, &shared_};
    setup.bake = [tools](const BakeRequest& request, int32_t index, const std::string& folder,
                         const std::string& profile_id, int q) {
      return BakeSingleImage(tools, request, index, folder, profile_id, q);
    };
    ::testing::internal::CaptureStderr();
    ::testing::internal::CaptureStdout();
    const auto results = BakeImagesInParallel(Requests(), threads, profile, quality, setup);
    ::testing::internal::GetCapturedStdout();
    ::testing::internal::GetCapturedStderr();
    std::vector<std::vector<uint8_t>> files;
    for (const BakeResult& result : results) {
      EXPECT_TRUE(result.success) << result.error;
      std::ifstream in(result.baked_path, std::ios::binary);
      files.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
      platform::ImageInfo info;
      EXPECT_EQ(graphics_->ReadInfo(result.baked_path, &info), GraphicsStatus::kOk);
      EXPECT_EQ(info.width_px, Requests()[static_cast<size_t>(result.index)].canvas_width_px);
    }
    return files;
  }

  test_support::TempFolder temp_{"bake-test"};
  const std::string root_ = temp_.str();
  std::unique_ptr<platform::Graphics> graphics_ = runner::testing::SystemGraphics();
  std::unique_ptr<platform::FileSystem> files_;
  platform::FakeClock clock_;
  BakeShared shared_;
};

TEST_F(RealBakeTest, OneAndEightWorkersGiveIdenticalFilesInTheSelectedSpace) {
  const auto one = BakeAll(1, "srgb");
  const auto eight = BakeAll(8, "srgb");
  const auto as_stored = BakeAll(8, "no_conversion");
  const auto adobe = BakeAll(8, "adobe_rgb");
  ASSERT_EQ(one.size(), 12u);
  for (size_t i = 0; i < one.size(); ++i) {
    EXPECT_FALSE(one[i].empty());
    EXPECT_EQ(one[i], eight[i]) << i;
    // The photos say nothing of their colours, so they are sRGB already: the same pixels as stored, only
    // the profile added. Adobe RGB changes the numbers and carries its own profile.
    std::vector<uint8_t> tagged = as_stored[i];
    ASSERT_TRUE(imaging::colour::EmbedIccProfile(&tagged, imaging::colour::SrgbProfile()->icc()));
    EXPECT_EQ(one[i], tagged) << i;
    std::vector<uint8_t> adobe_tagged = as_stored[i];
    ASSERT_TRUE(imaging::colour::EmbedIccProfile(&adobe_tagged, imaging::colour::AdobeRgbProfile()->icc()));
    EXPECT_NE(adobe[i], adobe_tagged) << i;
    const auto profile_at = std::search(adobe[i].begin(), adobe[i].end(), imaging::colour::AdobeRgbProfile()->icc().begin(),
                                        imaging::colour::AdobeRgbProfile()->icc().end());
    EXPECT_NE(profile_at, adobe[i].end()) << i;
  }
}

TEST_F(RealBakeTest, QualityExtremesGiveValidFilesOfTheCanvasSize) {
  for (int quality : {1, 100}) {
    const auto files = BakeAll(2, "srgb", quality);
    EXPECT_EQ(files.size(), 12u);
  }
  EXPECT_LT(BakeAll(2, "srgb", 1)[0].size(), BakeAll(2, "srgb", 100)[0].size());
}

}  // namespace
}  // namespace runner::printing
