// The capture time of a photo from its EXIF date text: "YYYY:MM:DD HH:MM:SS", read as UTC wall-clock time.
//
// The text is read at fixed positions (year 0-3, month 5-6, day 8-9, hour 11-12, minute 14-15, second
// 17-18; the separators are not checked), each piece the way strtol reads a number but never past its
// own characters: leading white space and one sign are accepted and reading stops at the first
// non-digit, so " 5" and "+5" are 5 and "6x" is 6; a piece without a digit (EXIF writes blanks for an
// unknown date) gives no time. The fields must then form a real calendar time as a file-time conversion
// checks it: year 1601..30827, month 1..12, day within the month (leap years by the Gregorian rule),
// hour 0..23, minute and second 0..59. Fields are never normalised (no 31 April becoming 1 May).
// No time zone is applied: the camera's local time is taken as if it were UTC.
// Pure functions; thread-compatible.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace runner::insight {

// Milliseconds since 1970-01-01 00:00:00 UTC (negative before it), or nothing when `text` is shorter than
// 19 characters, a piece holds no number, or the fields are not a valid calendar time.
std::optional<int64_t> ParseExifDateTimeMillis(std::string_view text);

// Days from 1970-01-01 to the given Gregorian date (proleptic; any year).
int64_t DaysFromCivil(int64_t year, int month, int day);

}  // namespace runner::insight
