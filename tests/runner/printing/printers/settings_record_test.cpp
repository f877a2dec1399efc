// Tests for the settings record: exact layout, validated reading, the paper summary.
#include "runner/printing/printers/settings_record.h"

#include <gtest/gtest.h>

#include <string>

namespace runner::printing {
namespace {

using platform::PrintSettings;

uint16_t U16(const std::vector<uint8_t>& bytes, size_t at) { return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8); }
void Set16(std::vector<uint8_t>& bytes, size_t at, uint16_t value) {
  bytes[at] = static_cast<uint8_t>(value);
  bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}
void Set32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
  Set16(bytes, at, static_cast<uint16_t>(value));
  Set16(bytes, at + 2, static_cast<uint16_t>(value >> 16));
}

PrintSettings PhotoSettings() {
  PrintSettings settings;
  settings.fields = platform::kFieldOrientation | platform::kFieldPaperSize | platform::kFieldPaperLength |
                    platform::kFieldPaperWidth | platform::kFieldCopies | platform::kFieldColor |
                    platform::kFieldPrintQuality | platform::kFieldYResolution | platform::kFieldFormName;
  settings.orientation = platform::kOrientationLandscape;
  settings.paper_id = 74;
  settings.paper_width_tenths_mm = 1016;
  settings.paper_length_tenths_mm = 1524;
  settings.copies = 3;
  settings.color = platform::kColorColor;
  settings.print_quality_dpi = 600;
  settings.y_resolution_dpi = 600;
  settings.form_name = "4x6 in";
  settings.options = {{"media", "na_index-4x6_4x6in"}, {"InputSlot", "Photo Tray"}, {"note", "a \"q\" \\ b"}};
  return settings;
}

// A bare public part: sizes as given, the rest zero.
std::vector<uint8_t> PublicPart(size_t buffer, uint16_t stated_size, uint32_t fields) {
  std::vector<uint8_t> bytes(buffer, 0);
  if (buffer >= 72) {
    Set16(bytes, 68, stated_size);
    Set16(bytes, 70, 0);
  }
  if (buffer >= 76) Set32(bytes, 72, fields);
  return bytes;
}

TEST(SettingsRecord, EncodesTheExactPublicLayoutAndTail) {
  const std::vector<uint8_t> bytes = EncodeSettingsRecord("PV_Photo", PhotoSettings());
  ASSERT_EQ(bytes.size(), 1244u);
  EXPECT_EQ(U16(bytes, 0), 'P');
  EXPECT_EQ(U16(bytes, 2), 'V');
  EXPECT_EQ(U16(bytes, 16), 0);  // NUL after the eight units
  EXPECT_EQ(U16(bytes, 64), 0x0401);
  EXPECT_EQ(U16(bytes, 68), 220);
  EXPECT_EQ(U16(bytes, 70), 1024);
  EXPECT_EQ(U16(bytes, 72) | U16(bytes, 74) << 16, PhotoSettings().fields);
  EXPECT_EQ(U16(bytes, 76), 2);
  EXPECT_EQ(U16(bytes, 78), 74);
  EXPECT_EQ(U16(bytes, 80), 1524);
  EXPECT_EQ(U16(bytes, 82), 1016);
  EXPECT_EQ(U16(bytes, 86), 3);
  EXPECT_EQ(U16(bytes, 90), 600);
  EXPECT_EQ(U16(bytes, 92), 2);
  EXPECT_EQ(U16(bytes, 96), 600);
  EXPECT_EQ(U16(bytes, 102), '4');
  EXPECT_EQ(std::string(bytes.begin() + 220, bytes.begin() + 224), "PVCU");
  EXPECT_EQ(U16(bytes, 224), 1);
  const uint16_t text_length = U16(bytes, 226);
  EXPECT_EQ(std::string(bytes.begin() + 228, bytes.begin() + 228 + text_length),
            R"(media=na_index-4x6_4x6in InputSlot="Photo Tray" note="a \"q\" \\ b")");
  EXPECT_EQ(bytes[228 + text_length], 0);
}

TEST(SettingsRecord, RoundTripsEverySettingAndTheDeviceName) {
  const std::vector<uint8_t> bytes = EncodeSettingsRecord("Büro", PhotoSettings());
  EXPECT_TRUE(IsWholeSettingsRecord(bytes));
  EXPECT_EQ(DecodeSettingsRecord(bytes), PhotoSettings());
  EXPECT_EQ(RecordDeviceName(bytes), "Büro");
  EXPECT_EQ(EncodeSettingsRecord("Büro", DecodeSettingsRecord(bytes)), bytes);
}

TEST(SettingsRecord, NamesAreCutToThirtyOneUnitsWithoutSplittingAPair) {
  // 30 ASCII units then an emoji (a surrogate pair) would need 32 units: the pair is dropped whole.
  const std::string name = std::string(30, 'n') + "\xF0\x9F\x98\x80" + "tail";
  PrintSettings settings;
  settings.fields = platform::kFieldFormName;
  settings.form_name = name;
  const std::vector<uint8_t> bytes = EncodeSettingsRecord(name, settings);
  EXPECT_EQ(RecordDeviceName(bytes), std::string(30, 'n'));
  EXPECT_EQ(DecodeSettingsRecord(bytes).form_name, std::string(30, 'n'));
  EXPECT_EQ(U16(bytes, 60), 0);
}

TEST(SettingsRecord, AFormNameFillingAllThirtyTwoUnitsIsTakenWhole) {
  std::vector<uint8_t> bytes = PublicPart(220, 220, platform::kFieldFormName);
  for (size_t i = 0; i < 32; ++i) Set16(bytes, 102 + 2 * i, static_cast<uint16_t>('a' + i % 26));
  EXPECT_EQ(DecodeSettingsRecord(bytes).form_name.size(), 32u);
}

TEST(SettingsRecord, FieldsOutsideTheBufferOrTheStatedSizeCountAsAbsent) {
  const uint32_t all = platform::kFieldOrientation | platform::kFieldPaperSize | platform::kFieldPaperLength |
                       platform::kFieldPaperWidth | platform::kFieldFormName;
  // Stated size 80: orientation (76) and paper number (78) are inside, the length at 80 is not.
  std::vector<uint8_t> stated_short = PublicPart(220, 80, all);
  Set16(stated_short, 78, 9);
  Set16(stated_short, 80, 2970);
  PrintSettings read = DecodeSettingsRecord(stated_short);
  EXPECT_EQ(read.fields, platform::kFieldOrientation | platform::kFieldPaperSize);
  EXPECT_EQ(read.paper_id, 9);
  EXPECT_EQ(read.paper_length_tenths_mm, 0);

  // A buffer shorter than what it states: nothing past the buffer is read.
  std::vector<uint8_t> buffer_short = PublicPart(100, 220, all);
  read = DecodeSettingsRecord(buffer_short);
  EXPECT_EQ(read.fields & platform::kFieldFormName, 0u);
  EXPECT_EQ(read.fields & platform::kFieldPaperWidth, platform::kFieldPaperWidth);

  for (const size_t size : {0, 1, 69, 70, 75}) {
    EXPECT_EQ(DecodeSettingsRecord(std::vector<uint8_t>(size, 0xFF)).fields, 0u) << size;
    if (size < 70) {
      EXPECT_EQ(RecordDeviceName(std::vector<uint8_t>(size, 0xFF)), "") << size;
    }
  }
}

TEST(SettingsRecord, OnlyAWholeRecordOfThisLayoutCarriesItsOptions) {
  const std::vector<uint8_t> good = EncodeSettingsRecord("P", PhotoSettings());
  auto broken = [&](auto change) {
    std::vector<uint8_t> bytes = good;
    change(bytes);
    return bytes;
  };
  const std::vector<std::vector<uint8_t>> refused = {
      std::vector<uint8_t>(good.begin(), good.end() - 1),
      broken([](auto& b) { Set16(b, 70, 1000); }),
      broken([](auto& b) { Set16(b, 68, 200); }),
      broken([](auto& b) { b[221] = 'X'; }),
      broken([](auto& b) { Set16(b, 224, 2); }),
      broken([](auto& b) { Set16(b, 226, 1017); }),
      broken([](auto& b) { Set16(b, 226, 0xFFFF); }),
  };
  for (size_t i = 0; i < refused.size(); ++i) {
    EXPECT_FALSE(IsWholeSettingsRecord(refused[i])) << i;
    if (refused[i].size() >= 220 && U16(refused[i], 68) == 220) {
      EXPECT_TRUE(DecodeSettingsRecord(refused[i]).options.empty()) << i;
    }
  }
  std::vector<uint8_t> longer = good;
  longer.resize(2000, 0xEE);
  EXPECT_TRUE(IsWholeSettingsRecord(longer));
}

TEST(SettingsRecord, OptionsThatDoNotFitTheTailAreDroppedLastFirst) {
  PrintSettings settings;
  settings.options = {{"keep", "yes"}, {"big", std::string(600, 'x')}, {"bigger", std::string(600, 'y')}};
  const PrintSettings read = DecodeSettingsRecord(EncodeSettingsRecord("P", settings));
  ASSERT_EQ(read.options.size(), 2u);
  EXPECT_EQ(read.options[1].first, "big");
}

TEST(SettingsRecordOptions, ParsesQuotesAndStopsAtBrokenQuoting) {
  using Options = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(ParseOptions(R"(  a=1 b="two words" c='x\'y' flag d=)"),
            (Options{{"a", "1"}, {"b", "two words"}, {"c", "x'y"}, {"flag", "true"}, {"d", ""}}));
  EXPECT_EQ(ParseOptions(R"(a=1 b="open)"), (Options{{"a", "1"}}));
  EXPECT_EQ(ParseOptions(std::string("a=1\0b=2", 7)), (Options{{"a", "1"}}));
  EXPECT_EQ(ParseOptions(FormatOptions({{"empty", ""}, {"sp ace", "x"}})), (Options{{"empty", ""}}));
  // A name a written options text could not hold is not read either: what is read can be written back.
  EXPECT_EQ(ParseOptions("\\\n q\"=1 ok"), (Options{{"ok", "true"}}));
}

TEST(SettingsRecordOptions, ControlCharactersInATailAreRefusedWhenTheRecordIsDecoded) {
  using Options = std::vector<std::pair<std::string, std::string>>;
  // A dialog's record whose tail text carries a line break inside a quoted value (it would become a line
  // of its own in the user's stored settings), a control character in a name and a DEL in a value: only
  // the clean option stays.
  const std::string text = "media=iso_a4_210x297mm InputSlot=\"Rear\nDefault Other\" a\x01" "b=1 c=\"x\x7F\"";
  std::vector<uint8_t> record = EncodeSettingsRecord("P", PrintSettings{});
  Set16(record, 226, static_cast<uint16_t>(text.size()));
  std::copy(text.begin(), text.end(), record.begin() + 228);
  ASSERT_TRUE(IsWholeSettingsRecord(record));
  EXPECT_EQ(DecodeSettingsRecord(record).options, (Options{{"media", "iso_a4_210x297mm"}}));
  // Encoding leaves them out too.
  EXPECT_EQ(FormatOptions({{"ok", "1"}, {"bad", "two\nlines"}, {"t\tab", "x"}}), "ok=1");
}

TEST(PaperSummary, FollowsTheFormNameThenTheNumberThenTheSize) {
  auto record = [](uint32_t fields, uint16_t paper, int16_t width, int16_t length, const std::string& form) {
    PrintSettings settings;
    settings.fields = fields;
    settings.paper_id = paper;
    settings.paper_width_tenths_mm = width;
    settings.paper_length_tenths_mm = length;
    settings.form_name = form;
    return EncodeSettingsRecord("P", settings);
  };
  using platform::kFieldFormName;
  using platform::kFieldPaperLength;
  using platform::kFieldPaperSize;
  using platform::kFieldPaperWidth;
  struct Case {
    std::vector<uint8_t> bytes;
    std::string id;
    int32_t width;
    int32_t height;
  } cases[] = {
      {record(kFieldPaperSize, 9, 0, 0, ""), "DMPAPER_9", 210, 297},
      {record(kFieldPaperSize | kFieldFormName, 9, 0, 0, "A4"), "A4", 210, 297},
      {record(kFieldPaperWidth | kFieldPaperLength, 0, 1000, 1500, ""), "100x150 mm", 100, 150},
      {record(0, 9, 1000, 1500, "A4"), "DMPAPER_A4", 210, 297},
      {record(kFieldPaperSize, 74, 0, 0, ""), "DMPAPER_74", 102, 152},
      {record(kFieldPaperSize | kFieldPaperWidth | kFieldPaperLength, 74, 1000, 1500, ""), "DMPAPER_74", 100, 150},
      {record(kFieldPaperSize, 300, 0, 0, ""), "DMPAPER_300", 210, 297},
      {record(kFieldPaperWidth | kFieldPaperLength, 0, -5, 1500, ""), "DMPAPER_A4", 210, 297},
  };
  for (const Case& c : cases) {
    const PaperSummary summary = SummarisePaper(c.bytes);
    EXPECT_EQ(summary.id, c.id);
    EXPECT_EQ(summary.name, c.id == "DMPAPER_A4" ? "A4" : c.id);
    EXPECT_EQ(summary.width_mm, c.width) << c.id;
    EXPECT_EQ(summary.height_mm, c.height) << c.id;
  }
  const PaperSummary empty = SummarisePaper({});
  EXPECT_EQ(empty.id, "DMPAPER_A4");
  EXPECT_EQ(empty.name, "A4");
  EXPECT_EQ(empty.width_mm, 210);
}

}  // namespace
}  // namespace runner::printing
