// Tests for the shared thumbnail cache reader (entries checked by URI and modification time) and the
// thumbnail pipeline with the real graphics adapter.
#include "platform/glib/glib_thumbnail_cache.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "platform/cairo/cairo_graphics.h"
#include "runner/insight/thumbnail.h"
#include "tests/platform/picture/exif_test_files.h"

namespace platform {
namespace {

// The MD5 of "file:///tmp/pv-thumbs/photo.jpg" is not needed: the test finds names by asking GLib's
// rule through the adapter, and writes entries under the name file managers use.
uint32_t Crc32(const uint8_t* data, size_t size) {
  uint32_t crc = 0xffffffffu;
  for (size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void PutBig32(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

// `png` with tEXt chunks for `text` inserted after IHDR (8 + 25 bytes in).
std::vector<uint8_t> WithText(const std::vector<uint8_t>& png, const std::vector<std::pair<std::string, std::string>>& text) {
  std::vector<uint8_t> out(png.begin(), png.begin() + 33);
  for (const auto& [key, value] : text) {
    std::vector<uint8_t> chunk = {'t', 'E', 'X', 't'};
    chunk.insert(chunk.end(), key.begin(), key.end());
    chunk.push_back(0);
    chunk.insert(chunk.end(), value.begin(), value.end());
    PutBig32(out, static_cast<uint32_t>(chunk.size() - 4));
    out.insert(out.end(), chunk.begin(), chunk.end());
    PutBig32(out, Crc32(chunk.data(), chunk.size()));
  }
  out.insert(out.end(), png.begin() + 33, png.end());
  return out;
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

class ThumbnailCacheTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/pv-thumbs-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    folder_ = pattern;
    for (const char* size : {"normal", "large", "x-large", "xx-large"}) {
      std::system(("mkdir -p '" + folder_ + "/cache/thumbnails/" + size + "'").c_str());
    }
    photo_ = folder_ + "/my photo #1.jpg";  // a space and '#' must be escaped in the URI as file managers do
    std::vector<uint8_t> jpeg;
    ASSERT_EQ(graphics_.EncodeJpeg(*MakeBitmap(1600, 1200, 0xff0000ff), 90, &jpeg), GraphicsStatus::kOk);
    WriteFile(photo_, jpeg);
    struct stat info {};
    ASSERT_EQ(::stat(photo_.c_str(), &info), 0);
    mtime_ = std::to_string(static_cast<long long>(info.st_mtim.tv_sec));
    // The escaped URI and its MD5, as GLib computes them (checked against the shell below).
    uri_ = "file://" + folder_ + "/my%20photo%20%231.jpg";
  }
  void TearDown() override { std::system(("rm -rf '" + folder_ + "'").c_str()); }

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
    EXPECT_EQ(graphics_.EncodePng(*MakeBitmap(side, side * 3 / 4, argb), &png), GraphicsStatus::kOk);
    const std::string path = folder_ + "/cache/thumbnails/" + size_class + "/" + Md5(uri_) + ".png";
    WriteFile(path, WithText(png, {{"Thumb::URI", uri}, {"Thumb::MTime", mtime}, {"Software", "test"}}));
    return path;
  }

  std::string folder_;
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
    char folder[] = "/tmp/pv-png-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    const std::string file = std::string(folder) + "/t.png";
    WriteFile(file, *png);
    DecodedImage decoded;
    ASSERT_EQ(graphics_.Decode(file, {}, &decoded), GraphicsStatus::kOk);
    std::system(("rm -rf '" + std::string(folder) + "'").c_str());
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
  ASSERT_EQ(graphics_.EncodeJpeg(*MakeBitmap(1600, 1200, 0xff0000ff), 90, &jpeg), GraphicsStatus::kOk);
  const std::string turned = folder_ + "/turned.jpg";
  WriteFile(turned, testing::WithExif(jpeg, testing::BuildExif({testing::ShortEntry(testing::kTagOrientation, 6)})));
  check(runner::insight::RenderThumbnail(graphics_, nullptr, turned, {160, 120}), 120, 160, 0);
  check(runner::insight::RenderThumbnail(graphics_, nullptr, turned, {160, 200}), 160, 213, 0);

  // A PNG whose header claims 100000 x 100000 pixels gives nothing, at once.
  std::vector<uint8_t> hostile;
  ASSERT_EQ(graphics_.EncodePng(*MakeBitmap(4, 4, 0xff000000), &hostile), GraphicsStatus::kOk);
  for (int i = 0; i < 2; ++i) {
    const uint32_t side = 100000;
    for (int b = 0; b < 4; ++b) hostile[16 + i * 4 + b] = static_cast<uint8_t>(side >> (24 - 8 * b));
  }
  const uint32_t crc = Crc32(hostile.data() + 12, 17);
  for (int b = 0; b < 4; ++b) hostile[29 + b] = static_cast<uint8_t>(crc >> (24 - 8 * b));
  WriteFile(folder_ + "/huge.png", hostile);
  EXPECT_FALSE(runner::insight::RenderThumbnail(graphics_, nullptr, folder_ + "/huge.png", {160, 120}));
}

}  // namespace
}  // namespace platform
