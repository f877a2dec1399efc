// Tests for reading the EXIF date text: exact values, piece reading, and calendars that do not exist.
#include "runner/insight/capture_time.h"

#include <gtest/gtest.h>

namespace runner::insight {
namespace {

constexpr int64_t kMay6th2024At102030 = 1'714'990'830'000;
constexpr int64_t kNewYear2020 = 1'577'836'800'000;

TEST(CaptureTimeTest, WallClockTimeReadAsUtc) {
  EXPECT_EQ(ParseExifDateTimeMillis("2024:05:06 10:20:30"), kMay6th2024At102030);
  EXPECT_EQ(ParseExifDateTimeMillis("2020:01:01 00:00:00"), kNewYear2020);
  EXPECT_EQ(ParseExifDateTimeMillis("1970:01:01 00:00:00"), 0);
  EXPECT_EQ(ParseExifDateTimeMillis("1969:12:31 23:59:59"), -1000);
  EXPECT_EQ(ParseExifDateTimeMillis("2000:02:29 23:59:59"), 951'868'799'000);
  EXPECT_EQ(ParseExifDateTimeMillis("1601:01:01 00:00:00"), -11'644'473'600'000);
  EXPECT_EQ(ParseExifDateTimeMillis("30827:12:31 23:59:59").has_value(), false);  // year piece "3082", month "7:"
}

TEST(CaptureTimeTest, PiecesReadLikeStrtolWithinTheirOwnCharacters) {
  // A sign and leading white space are accepted; reading stops at the first non-digit.
  EXPECT_EQ(ParseExifDateTimeMillis("2024:+5:06 10:20:30"), kMay6th2024At102030);
  EXPECT_EQ(ParseExifDateTimeMillis("2024: 5:06 10:20:30"), kMay6th2024At102030);
  EXPECT_EQ(ParseExifDateTimeMillis("2024:05:6x 10:20:30"), ParseExifDateTimeMillis("2024:05:06 10:20:30"));
  EXPECT_EQ(ParseExifDateTimeMillis("2024:05:06 10:20:30.123+02:00 junk"), kMay6th2024At102030);
  // Separators are not checked.
  EXPECT_EQ(ParseExifDateTimeMillis("2024-05-06T10-20-30"), kMay6th2024At102030);
  // A piece is never read into the next one: "2024:05:06 1" + "0:20:30" must not become hour 10.
  EXPECT_EQ(ParseExifDateTimeMillis("2024:05:06  1:20:30"), kMay6th2024At102030 - 9 * 3'600'000);
  EXPECT_FALSE(ParseExifDateTimeMillis("2024:-5:06 10:20:30"));
  EXPECT_FALSE(ParseExifDateTimeMillis("2024:05:06 10:20:+"));
}

TEST(CaptureTimeTest, NoTimeForShortBlankZeroOrImpossibleDates) {
  EXPECT_FALSE(ParseExifDateTimeMillis(""));
  EXPECT_FALSE(ParseExifDateTimeMillis("2024:05:06 10:20:3"));  // 18 characters
  EXPECT_FALSE(ParseExifDateTimeMillis("    :  :     :  :  "));
  EXPECT_FALSE(ParseExifDateTimeMillis("0000:00:00 00:00:00"));
  EXPECT_FALSE(ParseExifDateTimeMillis("2023:02:29 10:00:00"));
  EXPECT_TRUE(ParseExifDateTimeMillis("2024:02:29 10:00:00"));
  EXPECT_FALSE(ParseExifDateTimeMillis("1900:02:29 10:00:00"));  // century, not a leap year
  EXPECT_FALSE(ParseExifDateTimeMillis("2024:04:31 10:00:00"));
  EXPECT_FALSE(ParseExifDateTimeMillis("2024:13:01 10:00:00"));
  EXPECT_FALSE(ParseExifDateTimeMillis("2024:00:10 10:00:00"));
  EXPECT_FALSE(ParseExifDateTimeMillis("2024:05:32 10:00:00"));
  EXPECT_FALSE(ParseExifDateTimeMillis("2024:05:06 24:00:00"));
  EXPECT_FALSE(ParseExifDateTimeMillis("2024:05:06 10:60:00"));
  EXPECT_FALSE(ParseExifDateTimeMillis("2024:05:06 10:00:60"));
  EXPECT_FALSE(ParseExifDateTimeMillis("1600:12:31 23:59:59"));  // before file times begin
}

TEST(CaptureTimeTest, DaysFromCivilAgreesAcrossEras) {
  EXPECT_EQ(DaysFromCivil(1970, 1, 1), 0);
  EXPECT_EQ(DaysFromCivil(2000, 3, 1), 11017);
  EXPECT_EQ(DaysFromCivil(1600, 3, 1) + 146097, DaysFromCivil(2000, 3, 1));
  for (int64_t year = 1890; year < 2110; ++year) {
    EXPECT_EQ(DaysFromCivil(year + 1, 1, 1) - DaysFromCivil(year, 1, 1),
              (year % 4 == 0 && year % 100 != 0) || year % 400 == 0 ? 366 : 365);
  }
}

}  // namespace
}  // namespace runner::insight
