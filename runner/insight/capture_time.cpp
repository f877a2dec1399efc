// Parsing the EXIF date text into milliseconds since 1970.
#include "runner/insight/capture_time.h"

namespace runner::insight {
namespace {

constexpr size_t kExifDateLength = 19;

bool IsCSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// Reads `piece` like strtol in base 10, confined to the piece: white space, an optional sign, digits up
// to the first non-digit. Nothing when no digit follows.
std::optional<int64_t> ReadPiece(std::string_view piece) {
  size_t i = 0;
  while (i < piece.size() && IsCSpace(piece[i])) ++i;
  bool negative = false;
  if (i < piece.size() && (piece[i] == '+' || piece[i] == '-')) {
    negative = piece[i] == '-';
    ++i;
  }
  const size_t first_digit = i;
  int64_t value = 0;
  while (i < piece.size() && piece[i] >= '0' && piece[i] <= '9') {
    value = value * 10 + (piece[i] - '0');
    ++i;
  }
  if (i == first_digit) return std::nullopt;
  return negative ? -value : value;
}

bool IsLeapYear(int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int64_t year, int64_t month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

}  // namespace

int64_t DaysFromCivil(int64_t year, int month, int day) {
  // Howard Hinnant's days_from_civil: eras of 400 years, March-based years so the leap day comes last.
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t year_of_era = year - era * 400;
  const int64_t month_from_march = (month + 9) % 12;
  const int64_t day_of_year = (153 * month_from_march + 2) / 5 + day - 1;
  const int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

std::optional<int64_t> ParseExifDateTimeMillis(std::string_view text) {
  if (text.size() < kExifDateLength) return std::nullopt;
  const std::optional<int64_t> year = ReadPiece(text.substr(0, 4));
  const std::optional<int64_t> month = ReadPiece(text.substr(5, 2));
  const std::optional<int64_t> day = ReadPiece(text.substr(8, 2));
  const std::optional<int64_t> hour = ReadPiece(text.substr(11, 2));
  const std::optional<int64_t> minute = ReadPiece(text.substr(14, 2));
  const std::optional<int64_t> second = ReadPiece(text.substr(17, 2));
  if (!year || !month || !day || !hour || !minute || !second) return std::nullopt;
  // The range a file time can hold, checked field by field as the conversion does.
  if (*year < 1601 || *year > 30827) return std::nullopt;
  if (*month < 1 || *month > 12) return std::nullopt;
  if (*day < 1 || *day > DaysInMonth(*year, *month)) return std::nullopt;
  if (*hour < 0 || *hour > 23 || *minute < 0 || *minute > 59 || *second < 0 || *second > 59) return std::nullopt;
  const int64_t days = DaysFromCivil(*year, static_cast<int>(*month), static_cast<int>(*day));
  const int64_t seconds = days * 86400 + *hour * 3600 + *minute * 60 + *second;
  return seconds * 1000;
}

}  // namespace runner::insight
