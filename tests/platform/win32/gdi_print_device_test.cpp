// Tests for what the GDI print device and the settings records do without a printer: the page's pixel
// rows and the public fields written into a record.
#include "platform/win32/gdi_print_device.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/win32/devmode.h"

namespace platform {
namespace {

// 2 x 1: opaque red, then black at half alpha.
imaging::Bitmap TwoPixels() {
  imaging::Bitmap picture = *imaging::MakeBitmap(2, 1, 0xFFFF0000);
  uint8_t* second = picture.pixel(1, 0);
  second[0] = second[1] = second[2] = 0;
  second[3] = 128;
  return picture;
}

TEST(DibRowsOverTest, RowsAreBgrOverWhitePaddedToFourBytes) {
  int width = 0;
  int height = 0;
  const std::vector<uint8_t> rows = win32::DibRowsOver(TwoPixels(), false, &width, &height);
  EXPECT_EQ(width, 2);
  EXPECT_EQ(height, 1);
  // Half-transparent black over white is mid grey: (255 * 127 + 127) / 255.
  EXPECT_EQ(rows, (std::vector<uint8_t>{0, 0, 255, 127, 127, 127, 0, 0}));
}

TEST(DibRowsOverTest, TurnedClockwiseTheLeftColumnBecomesTheTopRowStoredLast) {
  int width = 0;
  int height = 0;
  const std::vector<uint8_t> rows = win32::DibRowsOver(TwoPixels(), true, &width, &height);
  EXPECT_EQ(width, 1);
  EXPECT_EQ(height, 2);
  // Bottom-up: the bottom row (grey) first, each row padded from 3 to 4 bytes.
  EXPECT_EQ(rows, (std::vector<uint8_t>{127, 127, 127, 0, 0, 0, 255, 0}));
}

TEST(DevModeTest, AStandardPaperReplacesAStatedSizeAndTheOldFormName) {
  DEVMODEW mode{};
  mode.dmFields = DM_PAPERSIZE | DM_PAPERLENGTH | DM_PAPERWIDTH | DM_FORMNAME | DM_COLOR;
  mode.dmPaperSize = DMPAPER_USER;
  mode.dmPaperLength = 1524;
  mode.dmPaperWidth = 1016;
  mode.dmColor = DMCOLOR_COLOR;
  wcscpy(mode.dmFormName, L"4x6 in");
  PrintSettings a4;
  a4.fields = kFieldPaperSize | kFieldOrientation;
  a4.paper_id = DMPAPER_A4;
  a4.orientation = kOrientationLandscape;
  win32::ApplySettings(a4, &mode);
  EXPECT_EQ(mode.dmFields, static_cast<DWORD>(DM_PAPERSIZE | DM_ORIENTATION | DM_COLOR));
  EXPECT_EQ(mode.dmPaperSize, DMPAPER_A4);
  EXPECT_EQ(mode.dmOrientation, DMORIENT_LANDSCAPE);
  EXPECT_EQ(mode.dmFormName[0], L'\0');

  const PrintSettings back = win32::SettingsFromDevMode(mode);
  EXPECT_EQ(back.fields, kFieldPaperSize | kFieldOrientation | kFieldColor);
  EXPECT_EQ(back.paper_id, 9);
  EXPECT_EQ(back.color, kColorColor);
}

TEST(DevModeTest, AUserSizeAndAFormNameAreWrittenAsStated) {
  DEVMODEW mode{};
  PrintSettings user;
  user.fields = kFieldPaperSize | kFieldPaperLength | kFieldPaperWidth | kFieldFormName;
  user.paper_id = kPaperUser;
  user.paper_length_tenths_mm = 1500;
  user.paper_width_tenths_mm = 1000;
  user.form_name = std::string(40, 'x') + "\xC3\xA9";  // longer than the field: cut, still NUL-terminated
  win32::ApplySettings(user, &mode);
  EXPECT_EQ(mode.dmPaperSize, DMPAPER_USER);
  EXPECT_EQ(mode.dmPaperLength, 1500);
  EXPECT_EQ(mode.dmPaperWidth, 1000);
  EXPECT_EQ(win32::SettingsFromDevMode(mode).form_name, std::string(31, 'x'));
}

TEST(DevModeTest, RecordBytesAreReadOnlyAsFarAsTheyAndTheirStatedSizeReach) {
  DEVMODEW full{};
  full.dmSize = sizeof(DEVMODEW);
  full.dmFields = DM_ORIENTATION | DM_PAPERSIZE | DM_FORMNAME;
  full.dmOrientation = DMORIENT_LANDSCAPE;
  full.dmPaperSize = DMPAPER_A4;
  wcscpy(full.dmFormName, L"A4");
  std::vector<uint8_t> record(1244, 0xEE);
  std::memcpy(record.data(), &full, sizeof full);

  EXPECT_EQ(win32::PublicBytesOf(record), sizeof(DEVMODEW));
  EXPECT_EQ(win32::PublicPartOf(record).dmFields, full.dmFields);
  // Stated shorter than the form name's end: the form name is not stated, the rest is.
  reinterpret_cast<DEVMODEW*>(record.data())->dmSize = offsetof(DEVMODEW, dmFormName) + 2;
  EXPECT_EQ(win32::PublicPartOf(record).dmFields, static_cast<DWORD>(DM_ORIENTATION | DM_PAPERSIZE));
  // Stated longer than the bytes given: only the bytes count.
  reinterpret_cast<DEVMODEW*>(record.data())->dmSize = 0xFFFF;
  const std::span<const uint8_t> cut(record.data(), offsetof(DEVMODEW, dmPaperSize) + 1);
  EXPECT_EQ(win32::PublicBytesOf(cut), cut.size());
  EXPECT_EQ(win32::PublicPartOf(cut).dmFields, static_cast<DWORD>(DM_ORIENTATION));
  EXPECT_EQ(win32::PublicPartOf(std::span<const uint8_t>(record.data(), 3)).dmFields, 0u);
  EXPECT_EQ(win32::PublicBytesOf({}), 0u);
}

}  // namespace
}  // namespace platform
