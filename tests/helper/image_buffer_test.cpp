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

}  // namespace
}  // namespace mosalith
