// Tests for paper numbers, labels and sizes from media names.
#include "platform/paper/paper_numbers.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(PaperNumbers, StandardNamesGetTheirNumbersAndTheApplicationsPhotoRows) {
  EXPECT_EQ(StandardPaperId("iso_a4_210x297mm"), 9);
  EXPECT_EQ(StandardPaperId("na_letter_8.5x11in"), 1);
  EXPECT_EQ(StandardPaperId("iso_a6_105x148mm_borderless"), 70);
  EXPECT_EQ(StandardPaperId("na_index-4x6_4x6in"), 74);
  EXPECT_EQ(StandardPaperId("na_5x7_5x7in"), 122);
  EXPECT_EQ(StandardPaperId("na_govt-letter_8x10in"), 123);
  EXPECT_EQ(StandardPaperId("na_ledger_11x17in"), 3);
  EXPECT_EQ(StandardPaperId("na_number-10_4.125x9.5in"), 20);
  EXPECT_EQ(StandardPaperId("4x6.Borderless"), 74);
  EXPECT_EQ(StandardPaperId("A4"), 9);
  // Near misses are not the standard paper: Chou #4 is not 74 here, A4 Extra is not A4, C6/C5 is not C6.
  EXPECT_EQ(StandardPaperId("jpn_chou4_90x205mm"), 0);
  EXPECT_EQ(StandardPaperId("iso_a4-extra_235.5x322.3mm"), 0);
  EXPECT_EQ(StandardPaperId("iso_c6c5_114x229mm"), 32);
  EXPECT_EQ(StandardPaperId("a4"), 0);
}

TEST(PaperNumbers, OtherNamesAndBorderlessVariantsGetStableDerivedNumbersOfTheirOwn) {
  const uint16_t id = PaperIdForMedia("om_small-photo_100x150mm");
  EXPECT_GE(id, 257);
  EXPECT_LE(id, 32256);
  EXPECT_EQ(id, DerivedPaperId("om_small-photo_100x150mm"));
  EXPECT_NE(id, PaperIdForMedia("om_small-photo_100x200mm"));
  // A borderless variant can be chosen apart from its base paper, standard ones included.
  const uint16_t borderless = PaperIdForMedia("om_small-photo_100x150mm_borderless");
  EXPECT_NE(borderless, id);
  EXPECT_EQ(borderless, DerivedPaperId("om_small-photo_100x150mm_borderless"));
  EXPECT_GT(PaperIdForMedia("na_index-4x6_4x6in_borderless"), 256);
  EXPECT_NE(PaperIdForMedia("4x6.Borderless"), PaperIdForMedia("na_index-4x6_4x6in_borderless"));
  EXPECT_EQ(StandardPaperId("na_index-4x6_4x6in_borderless"), 74);
  // FNV-1a of the empty name is 2166136261.
  EXPECT_EQ(DerivedPaperId(""), 257 + 2166136261u % 32000u);
}

TEST(PaperNumbers, LabelsSayBorderlessAndFitSixtyFourUnits) {
  EXPECT_EQ(PaperLabel("4x6", "na_index-4x6_4x6in_borderless"), "4x6 (Borderless)");
  EXPECT_EQ(PaperLabel("", "iso_a4_210x297mm"), "iso_a4_210x297mm");
  EXPECT_EQ(PaperLabel("A4 Borderless", "iso_a4_210x297mm_borderless"), "A4 Borderless");
  // 63 units, then a character that needs two: it does not fit and is not split.
  const std::string long_label = std::string(63, 'x') + "\xF0\x9F\x98\x80";
  EXPECT_EQ(PaperLabel(long_label, "m"), std::string(63, 'x'));
  EXPECT_EQ(TruncateToUtf16Units(std::string(70, 'y'), 64).size(), 64u);
  EXPECT_EQ(TruncateToUtf16Units("\xC3\xA9\xC3", 2), "\xC3\xA9\xC3");  // a cut-off sequence counts as one unit
  EXPECT_EQ(TruncateToUtf16Units("\xE2\x82\xAC\xE2\x82\xAC", 1), "\xE2\x82\xAC");
}

TEST(PaperNumbers, HundredthsRoundToTenths) {
  EXPECT_EQ(TenthsFromHundredths(20990), 2099);
  EXPECT_EQ(TenthsFromHundredths(29704), 2970);
  EXPECT_EQ(TenthsFromHundredths(21595), 2160);
  EXPECT_EQ(TenthsFromHundredths(-15), -2);
  EXPECT_EQ(TenthsFromHundredths(2147483647), 214748365);
}

}  // namespace
}  // namespace platform
