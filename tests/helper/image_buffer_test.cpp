// Tests for ImageBuffer allocation.
#include "helper/image_buffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace mosalith {
namespace {

TEST(ImageBufferTest, FilledBufferHasPackedRowsOfTheValue) {
  std::optional<ImageBuffer> image = ImageBuffer::Filled(3, 2, 255);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->stride_bytes(), 12u);
  EXPECT_EQ(image->size_bytes(), 24u);
  for (size_t i = 0; i < image->size_bytes(); ++i) ASSERT_EQ(image->data()[i], 255);
  EXPECT_EQ(image->pixel(1, 1), image->data() + 12 + 4);
}

TEST(ImageBufferTest, RefusesEmptyNegativeAndOverflowingSizes) {
  EXPECT_FALSE(ImageBuffer::Allocate(0, 10));
  EXPECT_FALSE(ImageBuffer::Allocate(10, -1));
  const int32_t big = std::numeric_limits<int32_t>::max();
  EXPECT_FALSE(ImageBuffer::Allocate(big, big));  // 2^64 bytes cannot exist
}

TEST(ImageBufferTest, CloneIsDeep) {
  std::optional<ImageBuffer> image = ImageBuffer::Filled(2, 2, 7);
  ASSERT_TRUE(image);
  std::optional<ImageBuffer> copy = image->Clone();
  ASSERT_TRUE(copy);
  copy->data()[0] = 9;
  EXPECT_EQ(image->data()[0], 7);
  EXPECT_EQ(copy->width(), 2);
}

TEST(ImageBufferTest, ReuseKeepsABlockThatIsLargeEnough) {
  std::optional<ImageBuffer> image = ImageBuffer::Filled(10, 10, 7);
  ASSERT_TRUE(image);
  const uint8_t* block = image->data();
  std::optional<ImageBuffer> smaller = ImageBuffer::Reuse(std::move(*image), 5, 8);
  ASSERT_TRUE(smaller);
  EXPECT_TRUE(image->empty());  // the block moved on
  EXPECT_EQ(smaller->data(), block);
  EXPECT_EQ(smaller->width(), 5);
  EXPECT_EQ(smaller->size_bytes(), 160u);
  EXPECT_EQ(smaller->capacity_bytes(), 400u);
  std::optional<ImageBuffer> larger = ImageBuffer::Reuse(std::move(*smaller), 11, 10);
  ASSERT_TRUE(larger);
  EXPECT_EQ(larger->capacity_bytes(), 440u);
  EXPECT_FALSE(ImageBuffer::Reuse(std::move(*larger), 0, 3));
}

}  // namespace
}  // namespace mosalith
