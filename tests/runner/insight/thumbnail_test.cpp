// Tests for thumbnails: the requested size, the preview size, and rendering through the fake graphics
// and cache; the channel's argument rules.
#include "runner/insight/thumbnail.h"

#include <gtest/gtest.h>

#include "imaging/colour/colour_profile.h"

#include <cmath>
#include <limits>

#include "platform/fake/fake_graphics.h"
#include "platform/fake/fake_thumbnail_cache.h"
#include "runner/insight/insight_channels.h"
#include "tests/runner/recording_messenger.h"
#include "tests/runner/test_services.h"

namespace runner::insight {
namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

TEST(ThumbnailSizeTest, RequestedBoxIsScaledRoundedAndClamped) {
  EXPECT_EQ(RequestedThumbnailSize(160, 120, 1.5), (PixelSize{240, 180}));
  EXPECT_EQ(RequestedThumbnailSize(160, 120, 0), (PixelSize{160, 120}));
  EXPECT_EQ(RequestedThumbnailSize(160, 120, -2), (PixelSize{160, 120}));
  EXPECT_EQ(RequestedThumbnailSize(160, 120, std::nan("")), (PixelSize{160, 120}));
  EXPECT_EQ(RequestedThumbnailSize(1, 1, 0.1), (PixelSize{1, 1}));
  EXPECT_EQ(RequestedThumbnailSize(3, 5, 0.5), (PixelSize{2, 3}));  // halves away from zero
  EXPECT_EQ(RequestedThumbnailSize(100000, 5, 1e300), (PixelSize{4096, 4096}));
  EXPECT_EQ(RequestedThumbnailSize(2147483647, 2147483647, kInfinity), (PixelSize{4096, 4096}));
}

TEST(ThumbnailSizeTest, PreviewCoversTheBoxTurnedToThePictureWithoutEnlarging) {
  EXPECT_EQ(ThumbnailSize({4000, 3000}, {240, 180}), (PixelSize{240, 180}));
  // A box of the other shape is turned first: both ways round ask a 4:3 photo for the same preview.
  EXPECT_EQ(ThumbnailSize({4000, 3000}, {192, 256}), (PixelSize{256, 192}));
  EXPECT_EQ(ThumbnailSize({4000, 3000}, {256, 192}), (PixelSize{256, 192}));
  EXPECT_EQ(ThumbnailSize({3000, 4000}, {160, 120}), (PixelSize{120, 160}));
  EXPECT_EQ(ThumbnailSize({3000, 4000}, {160, 200}), (PixelSize{160, 213}));
  EXPECT_EQ(ThumbnailSize({4000, 3000}, {160, 160}), (PixelSize{213, 160}));
  EXPECT_EQ(ThumbnailSize({100, 80}, {160, 120}), (PixelSize{100, 80}));
  EXPECT_EQ(ThumbnailSize({30000, 100}, {256, 256}), (PixelSize{4096, 14}));  // longer side capped
  EXPECT_EQ(ThumbnailSize({30000, 1}, {10, 10}), (PixelSize{4096, 1}));
}

class ThumbnailRenderTest : public ::testing::Test {
 protected:
  std::optional<imaging::Bitmap> Render(const std::string& path, PixelSize requested, bool use_cache = true) {
    auto bytes = RenderThumbnail(graphics_, use_cache ? &cache_ : nullptr, path, requested);
    if (!bytes) return std::nullopt;
    return platform::FakeGraphics::ReadEncoded(*bytes);
  }
  platform::FakeGraphics graphics_;
  platform::FakeThumbnailCache cache_;
};

TEST_F(ThumbnailRenderTest, TurnedJpegIsDecodedReducedAndComesOutUpright) {
  imaging::Bitmap stored = *imaging::MakeBitmap(4000, 3000, 0xff000000);
  for (int y = 2600; y < 3000; ++y) std::fill_n(stored.pixel(0, y), 400 * 4, 0xff);  // upright top-left
  graphics_.AddPicture("/p/turned.jpg", stored, 6);
  auto preview = Render("/p/turned.jpg", {240, 320});
  ASSERT_TRUE(preview);
  EXPECT_EQ(preview->width_px, 240);
  EXPECT_EQ(preview->height_px, 320);
  EXPECT_EQ(preview->pixel(0, 0)[0], 255);
  EXPECT_EQ(preview->pixel(239, 319)[0], 0);
  // Asked for at exactly the preview's size, in the stored orientation.
  ASSERT_EQ(graphics_.decode_options().size(), 1u);
  EXPECT_EQ(graphics_.decode_options()[0].exact_width_px, 320);
  EXPECT_EQ(graphics_.decode_options()[0].exact_height_px, 240);
}

TEST_F(ThumbnailRenderTest, AlphaIsKeptAndSmallPicturesAreNotEnlarged) {
  graphics_.AddPicture("/p/a.png", *imaging::MakeBitmap(100, 80, 0x40ff0000), 1, platform::ImageFormat::kPng);
  auto preview = Render("/p/a.png", {160, 120});
  ASSERT_TRUE(preview);
  EXPECT_EQ(preview->width_px, 100);
  EXPECT_EQ(preview->height_px, 80);
  EXPECT_EQ(preview->pixel(50, 40)[3], 0x40);
  EXPECT_EQ(preview->pixel(50, 40)[0], 0xff);
}

TEST_F(ThumbnailRenderTest, PreviewsAreShownInSrgbWhateverTheirProfile) {
  constexpr uint32_t kSage = 0x806E9678;  // (110, 150, 120) in Adobe RGB is (87, 151, 119) in sRGB
  graphics_.AddPicture("/p/adobe.png", *imaging::MakeBitmap(100, 80, kSage), 1, platform::ImageFormat::kPng);
  imaging::ColourDescription adobe;
  adobe.icc_profile = imaging::colour::AdobeRgbProfile()->icc();
  graphics_.SetColour("/p/adobe.png", adobe);
  graphics_.AddPicture("/p/plain.png", *imaging::MakeBitmap(100, 80, kSage), 1, platform::ImageFormat::kPng);
  const auto tagged = Render("/p/adobe.png", {100, 80});
  const auto plain = Render("/p/plain.png", {100, 80});
  ASSERT_TRUE(tagged && plain);
  const uint8_t* p = tagged->pixel(50, 40);
  EXPECT_NEAR(p[0], 87, 1);
  EXPECT_NEAR(p[1], 151, 1);
  EXPECT_NEAR(p[2], 119, 1);
  EXPECT_EQ(p[3], 0x80);
  EXPECT_EQ(plain->pixel(50, 40)[0], 0x6E);  // already sRGB: untouched
}

TEST_F(ThumbnailRenderTest, AValidCacheEntryCoveringTheSizeIsUsed) {
  graphics_.AddPicture("/p/photo.jpg", *imaging::MakeBitmap(4000, 3000, 0xff000000));
  graphics_.AddPicture("/cache/large/x.png", *imaging::MakeBitmap(256, 192, 0xff00ff00), 1, platform::ImageFormat::kPng);
  graphics_.AddPicture("/cache/normal/x.png", *imaging::MakeBitmap(128, 96, 0xff0000ff), 1, platform::ImageFormat::kPng);
  cache_.AddEntry("/p/photo.jpg", 256, "/cache/large/x.png");
  cache_.AddEntry("/p/photo.jpg", 128, "/cache/normal/x.png");
  auto preview = Render("/p/photo.jpg", {160, 120});
  ASSERT_TRUE(preview);
  EXPECT_EQ(preview->width_px, 256);  // bigger than asked is fine: the cache's own size
  EXPECT_EQ(preview->pixel(0, 0)[1], 0xff);
  EXPECT_EQ(cache_.lookups(), std::vector<int>{160});

  // A 4:3 photo's 256 px entry serves boxes up to 256 x 192 either way round, not 256 x 256.
  EXPECT_EQ(Render("/p/photo.jpg", {192, 256})->width_px, 256);
  EXPECT_EQ(Render("/p/photo.jpg", {256, 192})->pixel(0, 0)[1], 0xff);
  preview = Render("/p/photo.jpg", {256, 256});
  EXPECT_EQ(preview->width_px, 341);
  EXPECT_EQ(preview->pixel(0, 0)[1], 0);
  EXPECT_EQ(cache_.lookups(), (std::vector<int>{160, 256, 256, 341}));

  // An entry too small for the box (a stale size class) is passed over for the picture itself.
  cache_.AddEntry("/p/photo2.jpg", 512, "/cache/normal/x.png");
  graphics_.AddPicture("/p/photo2.jpg", *imaging::MakeBitmap(4000, 3000, 0xffff0000));
  preview = Render("/p/photo2.jpg", {400, 300});
  ASSERT_TRUE(preview);
  EXPECT_EQ(preview->width_px, 400);
  EXPECT_EQ(preview->pixel(0, 0)[0], 0xff);
}

TEST_F(ThumbnailRenderTest, MissingUnreadableAndFailingPicturesGiveNothing) {
  EXPECT_FALSE(Render("/p/missing.jpg", {160, 120}));
  graphics_.FailPath("/p/text.txt", platform::GraphicsStatus::kCorrupt);
  EXPECT_FALSE(Render("/p/text.txt", {160, 120}));
  graphics_.AddPicture("/p/corrupt.jpg", *imaging::MakeBitmap(64, 64));
  graphics_.FailDecode("/p/corrupt.jpg", platform::GraphicsStatus::kCorrupt);
  EXPECT_FALSE(Render("/p/corrupt.jpg", {16, 16}));
  graphics_.AddPicture("/p/ok.jpg", *imaging::MakeBitmap(64, 64));
  graphics_.FailEncode(platform::GraphicsStatus::kFailed);
  EXPECT_FALSE(Render("/p/ok.jpg", {16, 16}));
}

class ThumbnailChannelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetupThumbnailChannel(&messenger_, slot_, services_.services);
    services_.graphics.AddPicture("/p/a.jpg", *imaging::MakeBitmap(400, 300, 0xff000000));
  }
  std::shared_ptr<const runner::testing::Answer> Ask(EncodableMap arguments, const std::string& method = "getThumbnail") {
    return messenger_.Call("thumbnail_channel", method, std::make_unique<EncodableValue>(std::move(arguments)));
  }
  runner::testing::TestServices services_;
  runner::testing::RecordingMessenger messenger_;
  std::unique_ptr<Channel> slot_;
};

TEST_F(ThumbnailChannelTest, AnswersBytesOrNullAndNeverAnError) {
  auto ok = Ask({{EncodableValue("path"), EncodableValue("/p/a.jpg")},
                 {EncodableValue("width"), EncodableValue(160)},
                 {EncodableValue("height"), EncodableValue(120)},
                 {EncodableValue("scale"), EncodableValue(1.5)}});
  ASSERT_EQ(ok->kind, runner::testing::Answer::Kind::kSuccess);
  auto preview = platform::FakeGraphics::ReadEncoded(std::get<std::vector<uint8_t>>(ok->value));
  ASSERT_TRUE(preview);
  EXPECT_EQ(preview->width_px, 240);

  const EncodableMap bad_arguments[] = {
      {{EncodableValue("path"), EncodableValue("/p/a.jpg")}, {EncodableValue("width"), EncodableValue(160.0)},
       {EncodableValue("height"), EncodableValue(120)}},
      {{EncodableValue("path"), EncodableValue("/p/missing.jpg")}, {EncodableValue("width"), EncodableValue(160)},
       {EncodableValue("height"), EncodableValue(120)}},
      {{EncodableValue("path"), EncodableValue("")}, {EncodableValue("width"), EncodableValue(160)},
       {EncodableValue("height"), EncodableValue(120)}},
      {{EncodableValue("path"), EncodableValue("/p/a.jpg")}, {EncodableValue("width"), EncodableValue(0)},
       {EncodableValue("height"), EncodableValue(120)}},
      {{EncodableValue("path"), EncodableValue("/p/a.jpg")}, {EncodableValue("width"), EncodableValue(int64_t{160})},
       {EncodableValue("height"), EncodableValue(120)}},
  };
  for (const EncodableMap& arguments : bad_arguments) {
    auto answer = Ask(arguments);
    EXPECT_EQ(answer->kind, runner::testing::Answer::Kind::kSuccess);
    EXPECT_TRUE(answer->value.IsNull());
  }
  EXPECT_TRUE(Ask({}, "GetThumbnail")->not_implemented());
}

}  // namespace
}  // namespace runner::insight
