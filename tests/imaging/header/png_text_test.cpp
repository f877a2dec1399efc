// Tests for the PNG text walk: entries before the image data, hostile chunk lengths.
#include "imaging/header/png_text.h"

#include <gtest/gtest.h>

#include <string>

namespace imaging {
namespace {

void PutBig32(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

TEST(PngTextTest, ReadsTextBeforeTheImageDataAndSurvivesHostileLengths) {
  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  auto chunk = [&png](const std::string& type, const std::string& data, uint32_t length_override = 0) {
    PutBig32(png, length_override ? length_override : static_cast<uint32_t>(data.size()));
    png.insert(png.end(), type.begin(), type.end());
    png.insert(png.end(), data.begin(), data.end());
    PutBig32(png, 0);
  };
  chunk("IHDR", std::string(13, '\0'));
  chunk("tEXt", std::string("Thumb::URI\0file:///a.jpg", 24));
  chunk("iTXt", std::string("Thumb::MTime\0\0\0en\0\0" "1700000000", 29));
  chunk("tEXt", std::string("Thumb::URI\0second", 17));
  chunk("tEXt", "no separator");
  chunk("IDAT", "x");
  chunk("tEXt", std::string("After\0data", 10));
  auto text = ReadPngText(png);
  ASSERT_TRUE(text);
  EXPECT_EQ(text->at("Thumb::URI"), "file:///a.jpg");
  EXPECT_EQ(text->at("Thumb::MTime"), "1700000000");
  EXPECT_EQ(text->count("After"), 0u);

  std::vector<uint8_t> truncated(png.begin(), png.begin() + 8);
  png.swap(truncated);
  chunk("tEXt", std::string("K\0v", 3), 0xfffffff0u);  // length far past the end
  text = ReadPngText(png);
  ASSERT_TRUE(text);
  EXPECT_TRUE(text->empty());
  EXPECT_FALSE(ReadPngText({'n', 'o', 't'}));
}

}  // namespace
}  // namespace imaging
