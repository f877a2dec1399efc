// Tests for the shared thumbnail cache reader (entries checked by URI and modification time) and the
// thumbnail pipeline with the real graphics adapter.
#include "platform/glib/glib_thumbnail_cache.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "platform/cairo/cairo_graphics.h"
#include "runner/insight/thumbnail.h"
#include "tests/imaging/header/exif_test_files.h"
#include "tests/support/temp_folder.h"

namespace platform {
namespace {

// The MD5 of "file:///tmp/pv-thumbs/photo.jpg" is not needed: the test finds names by asking GLib's
// rule through the adapter, and writes entries under the name file managers use.
// `png` with tEXt chunks for `text` inserted after IHDR (8 + 25 bytes in).
std::vector<uint8_t> WithText(const std::vector<uint8_t>& png, const std::vector<std::pair<std::string, std::string>>& text) {
  std::vector<uint8_t> out(png.begin(), png.begin() + 33);
  for (const auto& [key, value] : text) {
    std::vector<uint8_t> data(key.begin(), key.end());
    data.push_back(0);
    data.insert(data.end(), value.begin(), value.end());
    const std::vector<uint8_t> chunk = imaging::testing::PngChunk("tEXt", data);
    out.insert(out.end(), chunk.begin(), chunk.end());
  }
  out.insert(out.end(), png.begin() + 33, png.end());
  return out;
}

class ThumbnailCacheTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* size : {"normal", "large", "x-large", "xx-large"}) {
      std::system(("mkdir -p '" + folder_ + "/cache/thumbnails/" + size + "'").c_str());
    }
    photo_ = folder_ + "/my photo #1.jpg";  // a space and '#' must be escaped in the URI as file managers do
    std::vector<uint8_t> jpeg;
    ASSERT_EQ(graphics_.EncodeJpeg(*imaging::MakeBitmap(1600, 1200, 0xff0000ff), 90, &jpeg), GraphicsStatus::kOk);
    test_support::WriteBytes(photo_, jpeg);
    struct stat info {};
    ASSERT_EQ(::stat(photo_.c_str(), &info), 0);
    mtime_ = std::to_string(static_cast<long long>(info.st_mtim.tv_sec));
    // The escaped URI and its MD5, as GLib computes them (checked against the shell below).
    uri_ = "file://" + folder_ + "/my%20photo%20%231.jpg";
  }

  std::string Md5(const std::string& text) {
    const std::string command = "printf '%s' '" + text + "' | md5sum";
    FILE* pipe = ::popen(command.c_str(), "r");
    char hex[33] = {};
    if (pipe == nullptr || std::fread(hex, 1, 32, pipe) != 32) hex[0] = 0;
    if (pipe) ::pclose(pipe);
    return hex;
  }
  // Writes an entry of `side` x `side * 3/4` in the class `size_class`.
  std::string WriteEntry(const std::string& size_class, int side, const std::string& uri, const std::string& mtime,
                         uint32_t argb) {
    std::vector<uint8_t> png;
    EXPECT_EQ(graphics_.EncodePng(*imaging::MakeBitmap(side, side * 3 / 4, argb), &png), GraphicsStatus::kOk);
    const std::string path = folder_ + "/cache/thumbnails/" + size_class + "/" + Md5(uri_) + ".png";
    test_support::WriteBytes(path, WithText(png, {{"Thumb::URI", uri}, {"Thumb::MTime", mtime}, {"Software", "test"}}));
    return path;
  }

  test_support::TempFolder temp_{"pv-thumbs"};
  const std::string folder_ = temp_.str();
  std::string photo_;
  std::string mtime_;
  std::string uri_;
  CairoGraphics graphics_;
};

TEST_F(ThumbnailCacheTest, ValidEntryOfTheSmallestCoveringClassIsFound) {
  GlibThumbnailCache cache(folder_ + "/cache");
  EXPECT_FALSE(cache.FindEntry(photo_, 100));
  const std::string normal = WriteEntry("normal", 128, uri_, mtime_, 0xff00ff00);
  const std::string large = WriteEntry("large", 256, uri_, mtime_, 0xff00ff00);
  EXPECT_EQ(cache.FindEntry(photo_, 100), normal);
  EXPECT_EQ(cache.FindEntry(photo_, 200), large);
  EXPECT_FALSE(cache.FindEntry(photo_, 300));  // x-large has no entry
  EXPECT_FALSE(cache.FindEntry(photo_, 2000));  // past the largest class
  EXPECT_FALSE(cache.FindEntry("relative.jpg", 100));
  // The larger classes of the current cache layout.
  const std::string x_large = WriteEntry("x-large", 512, uri_, mtime_, 0xff00ff00);
  const std::string xx_large = WriteEntry("xx-large", 1024, uri_, mtime_, 0xff00ff00);
  EXPECT_EQ(cache.FindEntry(photo_, 300), x_large);
  EXPECT_EQ(cache.FindEntry(photo_, 1000), xx_large);
}

TEST_F(ThumbnailCacheTest, PathsAreMadeCanonicalBeforeTheUriIsFormed) {
  GlibThumbnailCache cache(folder_ + "/cache");
  const std::string normal = WriteEntry("normal", 128, uri_, mtime_, 0xff00ff00);
  ASSERT_EQ(::mkdir((folder_ + "/sub").c_str(), 0700), 0);
  for (const std::string& path : {folder_ + "/./my photo #1.jpg", folder_ + "//my photo #1.jpg",
                                  folder_ + "/sub/../my photo #1.jpg"}) {
    EXPECT_EQ(cache.FindEntry(path, 100), normal) << path;
  }
  // Seen through a link, the entry made for the file itself is found.
  const std::string link = folder_ + "/sub/link.jpg";
  ASSERT_EQ(::symlink(photo_.c_str(), link.c_str()), 0);
  EXPECT_EQ(cache.FindEntry(link, 100), normal);
  EXPECT_FALSE(cache.FindEntry(folder_ + "/sub", 100));  // a folder has no preview
}

TEST_F(ThumbnailCacheTest, StaleOrForeignEntriesAreIgnored) {
  GlibThumbnailCache cache(folder_ + "/cache");
  WriteEntry("normal", 128, uri_, std::to_string(std::stoll(mtime_) - 1), 0xff00ff00);
  EXPECT_FALSE(cache.FindEntry(photo_, 100));
  WriteEntry("normal", 128, "file:///elsewhere.jpg", mtime_, 0xff00ff00);
  EXPECT_FALSE(cache.FindEntry(photo_, 100));
  WriteEntry("normal", 128, uri_, mtime_, 0xff00ff00);
  EXPECT_TRUE(cache.FindEntry(photo_, 100));
}

TEST_F(ThumbnailCacheTest, PipelineUsesTheCacheOrDecodesToAnRgbaPng) {
  GlibThumbnailCache cache(folder_ + "/cache");
  WriteEntry("large", 256, uri_, mtime_, 0xff00ff00);
  auto check = [this](const std::optional<std::vector<uint8_t>>& png, int width, int height, uint8_t green) {
    ASSERT_TRUE(png);
    ASSERT_GT(png->size(), 33u);
    EXPECT_EQ(std::vector<uint8_t>(png->begin(), png->begin() + 8),
              (std::vector<uint8_t>{0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'}));
    EXPECT_EQ((*png)[25], 6) << "colour type RGBA";
    const test_support::TempFolder folder("pv-png");
    const std::string file = folder.File("t.png");
    test_support::WriteBytes(file, *png);
    DecodedImage decoded;
    ASSERT_EQ(graphics_.Decode(file, {}, &decoded), GraphicsStatus::kOk);
    EXPECT_EQ(decoded.bitmap.width_px, width);
    EXPECT_EQ(decoded.bitmap.height_px, height);
    EXPECT_EQ(decoded.bitmap.pixel(width / 2, height / 2)[1], green);
  };
  // 240 x 180 wanted: the 256 x 192 cache entry (green) serves it, and boxes up to 256 x 192 either way.
  check(runner::insight::RenderThumbnail(graphics_, &cache, photo_, {240, 180}), 256, 192, 0xff);
  check(runner::insight::RenderThumbnail(graphics_, &cache, photo_, {256, 192}), 256, 192, 0xff);
  check(runner::insight::RenderThumbnail(graphics_, &cache, photo_, {192, 256}), 256, 192, 0xff);
  // 256 x 256 needs 341 x 256 and 400 x 300 more: no entry that large, so the photo (blue) is decoded.
  check(runner::insight::RenderThumbnail(graphics_, &cache, photo_, {256, 256}), 341, 256, 0);
  check(runner::insight::RenderThumbnail(graphics_, &cache, photo_, {400, 300}), 400, 300, 0);
  // Once the photo changes, its entry is stale and the photo is decoded again.
  struct timespec times[2] = {{0, UTIME_OMIT}, {std::stoll(mtime_) + 5, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, photo_.c_str(), times, 0), 0);
  check(runner::insight::RenderThumbnail(graphics_, &cache, photo_, {240, 180}), 240, 180, 0);

  // Orientation 6: a portrait preview.
  std::vector<uint8_t> jpeg;
  ASSERT_EQ(graphics_.EncodeJpeg(*imaging::MakeBitmap(1600, 1200, 0xff0000ff), 90, &jpeg), GraphicsStatus::kOk);
  const std::string turned = folder_ + "/turned.jpg";
  test_support::WriteBytes(turned, imaging::testing::WithExif(jpeg, imaging::testing::BuildExif({imaging::testing::ShortEntry(imaging::testing::kTagOrientation, 6)})));
  check(runner::insight::RenderThumbnail(graphics_, nullptr, turned, {160, 120}), 120, 160, 0);
  check(runner::insight::RenderThumbnail(graphics_, nullptr, turned, {160, 200}), 160, 213, 0);

  // A PNG whose header claims 100000 x 100000 pixels gives nothing, at once.
  std::vector<uint8_t> hostile;
  ASSERT_EQ(graphics_.EncodePng(*imaging::MakeBitmap(4, 4, 0xff000000), &hostile), GraphicsStatus::kOk);
  std::vector<uint8_t> header = imaging::testing::Be32(100000);  // IHDR's width and height, then the rest as it was
  const std::vector<uint8_t> height = imaging::testing::Be32(100000);
  header.insert(header.end(), height.begin(), height.end());
  header.insert(header.end(), hostile.begin() + 24, hostile.begin() + 29);
  const std::vector<uint8_t> ihdr = imaging::testing::PngChunk("IHDR", header);
  std::copy(ihdr.begin(), ihdr.end(), hostile.begin() + 8);
  test_support::WriteBytes(folder_ + "/huge.png", hostile);
  EXPECT_FALSE(runner::insight::RenderThumbnail(graphics_, nullptr, folder_ + "/huge.png", {160, 120}));
}

}  // namespace
}  // namespace platform
