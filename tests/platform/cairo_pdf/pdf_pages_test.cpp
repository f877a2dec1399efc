// Tests for PDF pages and the memory budget: a bitmap's copies while its page is drawn and written are
// counted on the budget it came from, and given back once the page is out.
#include "platform/cairo_pdf/pdf_pages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace platform {
namespace {

TEST(PdfPagesTest, APicturesCopiesAreOnItsBudgetUntilItsPageIsWritten) {
  DeviceGeometry geometry;
  geometry.dpi_x = geometry.dpi_y = 300;
  std::vector<uint8_t> document;
  std::unique_ptr<PdfPages> pages = PdfPages::Create(288, 288, geometry, [&](const uint8_t* bytes, size_t size) {
    document.insert(document.end(), bytes, bytes + size);
    return true;
  });
  ASSERT_TRUE(pages);
  imaging::MemoryBudget budget(64 << 20);
  constexpr uint64_t kPictureBytes = 1000 * 800 * 4;
  imaging::Bitmap picture = *imaging::MakeBitmap(1000, 800, 0x80336699, &budget);
  PagePicture placed;
  placed.bitmap = &picture;
  placed.width_px = 1000;
  placed.height_px = 800;

  ASSERT_EQ(pages->DrawPicture(placed, RectF{0, 0, 1000, 800}), DrawResult::kDrawn);
  EXPECT_EQ(budget.in_use_bytes(), 2 * kPictureBytes);  // the bitmap and cairo's copy of it
  ASSERT_TRUE(pages->ShowPage());
  // While the page was written, cairo's colour and alpha copies of the picture were counted too.
  EXPECT_EQ(budget.peak_bytes(), 3 * kPictureBytes);
  EXPECT_EQ(budget.in_use_bytes(), kPictureBytes);
  ASSERT_TRUE(pages->Finish());
  EXPECT_EQ(budget.in_use_bytes(), kPictureBytes);
  const std::string text(document.begin(), document.end());
  EXPECT_EQ(text.rfind("%PDF-", 0), 0u);
  EXPECT_NE(text.find("/SMask"), std::string::npos);  // the half-transparent picture kept its alpha
}

}  // namespace
}  // namespace platform
