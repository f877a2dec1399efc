// Tests for the grid job file: the example written byte for byte, the one round trip from writer to
// reader, the reader's line and value rules, the writer's refusals, the locale, and the file on disk.
#include "helper/grid_job.h"

#include "helper/grid_job_file.h"
#include "tests/helper/test_images.h"
#include "tests/support/comma_locale.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <limits>
#include <filesystem>
#include <string>
#include <vector>

namespace mosalith {
namespace {

// The example job as the application writes it, without the byte-order mark.
constexpr std::string_view kWrittenJob = R"([settings]
rows=4
cols=3
pageWidth=1854
pageHeight=2445
marginLeft=18
marginRight=18
marginTop=16
marginBottom=16
jpegQuality=95
showCutGrid=1
cutGridWidthMm=0.1
cutGridColor=darkGray
dpi=450
[images]
C:\photos\a.jpg
C:\photos\b.jpg
[frames]
(none)
C:\frames\round.png
[outputs]
C:\out\sheet_1.jpg
[effects]
1,0.6,0,0.5,0.5,0,0,0,0,0,1.2,10,-4,300,300,0,1,4294967295,1,1
)";

GridJob Parse(std::string_view text, GridJobStatus expected = GridJobStatus::kOk) {
  GridJob job;
  const GridJobReadResult result = ParseGridJob(text, job);
  EXPECT_EQ(result.status, expected) << text;
  return job;
}

// The job kWrittenJob describes.
GridJob ExampleJob() {
  GridJob job;
  job.images = {"C:\\photos\\a.jpg", "C:\\photos\\b.jpg"};
  job.frames = {"", "C:\\frames\\round.png"};
  job.outputs = {"C:\\out\\sheet_1.jpg"};
  job.rows = 4;
  job.cols = 3;
  job.showCutGrid = true;
  EffectRecord edited;
  edited.brightness = 0.6f;
  edited.scale = 1.2f;
  edited.offsetX = 10;
  edited.offsetY = -4;
  edited.viewportWidth = 300;
  edited.viewportHeight = 300;
  job.effects = {EffectRecord{}, edited};
  return job;
}

std::string Text(const GridJob& job) {
  std::string refusal;
  const std::optional<GridJobText> text = FormatGridJob(job, &refusal);
  EXPECT_TRUE(text) << refusal;
  return text ? text->text : "";
}

std::string WithCrLf(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

void ExpectNeutral(const EffectRecord& record) {
  const EffectRecord neutral;
  EXPECT_EQ(record.brightness, neutral.brightness);
  EXPECT_EQ(record.saturation, neutral.saturation);
  EXPECT_EQ(record.exposure, neutral.exposure);
  EXPECT_EQ(record.scale, neutral.scale);
  EXPECT_EQ(record.strokeScale, neutral.strokeScale);
  EXPECT_EQ(record.strokeColor, neutral.strokeColor);
  EXPECT_EQ(record.strokeExternal, neutral.strokeExternal);
  EXPECT_EQ(record.gamma, neutral.gamma);
}

TEST(GridJobTest, TheExampleIsWrittenByteForByteAndReadsBackAsTheSameJob) {
  std::string refusal;
  const std::optional<GridJobText> written = FormatGridJob(ExampleJob(), &refusal);
  ASSERT_TRUE(written) << refusal;
  EXPECT_EQ(written->text, "\xEF\xBB\xBF" + std::string(kWrittenJob));
  EXPECT_EQ(written->effect_lines, 1);
  EXPECT_EQ(Parse(written->text), ExampleJob());
}

TEST(GridJobTest, WhatIsWrittenReadsBackAsTheSameJob) {
  GridJob job = ExampleJob();
  job.frames = {"/f/x.png"};  // fewer frames than photos
  job.images.push_back("/p/trailing blank ");
  job.outputs.push_back("/o/2.jpg");
  job.pageWidth = 3000;
  job.marginBottom = -5;
  job.jpegQuality = 0;
  job.dpi = 300;
  job.cutGridWidthMm = 0.00001;
  job.cutGridColor = "a=b c";
  job.magnetAspectRatio = 0.6666666666;
  job.colorProfile = "custom:/profiles/Printer & Paper.icc";
  job.sheetDensity = false;  // written only when off
  const EffectRecord all = {0.1f,  -0.25f,  0.9f,   0.4f,   1.0f,  -30.5f,      2.0f,  7.0f, 0.3f, 2.5f,
                            -12.25f, 8.0f, 640.0f, 480.0f, 0.05f, 1.5f, 0xFF102030u, false, 2.2f};
  EffectRecord gamma_only;
  gamma_only.gamma = 1.01f;
  job.effects = {all, EffectRecord{}, gamma_only};  // the neutral record is not written, read as neutral

  GridJob expected = job;
  expected.magnetAspectRatio = 0.666667;  // six significant digits on the way
  EXPECT_EQ(Parse(Text(job)), expected);

  job.images[0] = "/photos/# and [ inside/a.jpg";  // only a path's first character matters
  EXPECT_EQ(Parse(Text(job)).images[0], job.images[0]);
}

TEST(GridJobTest, OptionalPartsAreLeftOutAsTheReaderExpects) {
  GridJob job = ExampleJob();
  job.frames.clear();
  job.effects.clear();
  const std::string text = Text(job);
  EXPECT_NE(text.find("[frames]\n[outputs]\n"), std::string::npos);
  EXPECT_EQ(text.find("[effects]"), std::string::npos);
  EXPECT_EQ(text.find("magnetAspectRatio"), std::string::npos);
  EXPECT_EQ(text.find("colorProfile"), std::string::npos);  // not filled in: the numbers as stored

  job.effects = {EffectRecord{}};  // a list of neutral records: header only
  EffectRecord viewport_only;      // values that matter only together with others
  viewport_only.viewportWidth = 100;
  viewport_only.strokeColor = 0;
  viewport_only.gamma = 1.0005f;
  job.effects.push_back(viewport_only);
  std::string refusal;
  const std::optional<GridJobText> written = FormatGridJob(job, &refusal);
  ASSERT_TRUE(written);
  EXPECT_EQ(written->effect_lines, 0);
  EXPECT_TRUE(written->text.ends_with("[effects]\n"));
}

TEST(GridJobTest, SheetKeysAndFacesRoundTripAndStayOutAtTheirDefaults) {
  GridJob job = ExampleJob();
  job.gapPx = 24;
  job.bleedPx = 6;
  job.cutGuides = std::string(kCutGuidesMarks);
  job.fullLengthGuides = true;
  job.rotateToFit = false;
  job.faceAwareCrop = true;
  job.frameFit = std::string(kFrameFitCover);
  job.faces = {{}, {FaceArea{0.25, 0.125, 0.5, 0.375}, FaceArea{0.0625, 0.5, 0.1, 0.2}}};
  const std::string text = Text(job);
  EXPECT_NE(text.find("\ngapPx=24\nbleedPx=6\ncutGuides=marks\nfullLengthGuides=1\nrotateToFit=0\n"
                      "faceAwareCrop=1\nframeFit=cover\n[images]"),
            std::string::npos);
  EXPECT_TRUE(text.ends_with("[faces]\n1,0.25,0.125,0.5,0.375\n1,0.0625,0.5,0.1,0.2\n"));
  EXPECT_EQ(Parse(text), job);

  // Back at their defaults they are not written at all: the file is the one an older writer made.
  job = ExampleJob();
  job.faces = {{}, {}};
  EXPECT_EQ(Text(job), "\xEF\xBB\xBF" + std::string(kWrittenJob));
  job.cutGuides = "dotted";
  std::string refusal;
  EXPECT_FALSE(FormatGridJob(job, &refusal));
  EXPECT_EQ(refusal, "cutGuides is not one of lines, marks or none");
}

TEST(GridJobTest, ChoicesMustBeExactAndBadFaceLinesAreIgnored) {
  GridJob job;
  const GridJobReadResult bad = ParseGridJob("[settings]\ncutGuides=Marks\n[images]\na\n[outputs]\nb\n", job);
  EXPECT_EQ(bad.status, GridJobStatus::kInvalidValue);
  EXPECT_EQ(bad.invalid_key, "cutGuides");
  job = GridJob();
  EXPECT_EQ(ParseGridJob("[settings]\nframeFit=\n[images]\na\n[outputs]\nb\n", job).status,
            GridJobStatus::kInvalidValue);

  const GridJob read = Parse(
      "[images]\na\nb\n[outputs]\nout\n[faces]\n"
      "1,0.1,0.2,0.3,0.4\n"
      "1,0.1,0.2,0.3\n"          // too few values
      "1,0.1,0.2,0.3,0.4,9\n"    // one too many
      "1,0.1,0.2,0,0.4\n"        // no area
      "1,0.1,0.2,nan,0.4\n"      // not finite
      "-1,0.1,0.2,0.3,0.4\n"     // no such photo
      "2,0.1,0.2,0.3,0.4\n"      // beyond the images
      "0,0.5,0.5,0.25,0.25 \n");  // trailing blanks are fine
  ASSERT_EQ(read.faces.size(), 2u);
  EXPECT_EQ(read.faces[0], (std::vector<FaceArea>{{0.5, 0.5, 0.25, 0.25}}));
  EXPECT_EQ(read.faces[1], (std::vector<FaceArea>{{0.1, 0.2, 0.3, 0.4}}));

  std::string many = "[images]\na\n[outputs]\nout\n[faces]\n";
  for (size_t i = 0; i < kMaxFacesPerPhoto + 5; ++i) many += "0,0,0,0.1,0.1\n";
  EXPECT_EQ(Parse(many).faces[0].size(), kMaxFacesPerPhoto);
}

TEST(GridJobTest, RealsAreWrittenWithSixSignificantDigitsAndDpiWhole) {
  EXPECT_EQ(FormatJobReal(0.1), "0.1");
  EXPECT_EQ(FormatJobReal(0.00001), "1e-05");
  EXPECT_EQ(FormatJobReal(1234567.0), "1.23457e+06");
  EXPECT_EQ(FormatJobReal(static_cast<float>(0.6f)), "0.6");
  EXPECT_EQ(FormatJobReal(-4.0), "-4");
  GridJob job = ExampleJob();
  job.dpi = 1234567;
  EXPECT_NE(Text(job).find("\ndpi=1234567\n"), std::string::npos);
  job.dpi = -0.5;
  EXPECT_NE(Text(job).find("\ndpi=0\n"), std::string::npos);
  EXPECT_EQ(Text(job).find("sheetDensity"), std::string::npos);
  job.sheetDensity = false;
  EXPECT_NE(Text(job).find("\nsheetDensity=0\n"), std::string::npos);
}

TEST(GridJobTest, EntriesTheReaderWouldChangeAreRefusedWithTheirPlace) {
  struct Case {
    std::function<void(GridJob&)> spoil;
    std::string refusal;
  };
  const Case cases[] = {
      {[](GridJob& r) { r.images[1] = ""; }, "imagePaths[1] is empty"},
      {[](GridJob& r) { r.images[0] = "/a\n[outputs]\n/etc/passwd"; }, "imagePaths[0] holds a line break"},
      {[](GridJob& r) { r.images[1] = "/a.jpg\r"; }, "imagePaths[1] holds a line break"},
      {[](GridJob& r) { r.outputs[0] = " /lead.jpg"; }, "outputPaths[0] starts with a blank"},
      {[](GridJob& r) { r.outputs[0] = "\t/x.jpg"; }, "outputPaths[0] starts with a blank"},
      {[](GridJob& r) { r.images[0] = "#x.jpg"; }, "imagePaths[0] starts with '#'"},
      {[](GridJob& r) { r.frames[1] = "[frames]"; }, "framePaths[1] starts with '['"},
      {[](GridJob& r) { r.frames[1] = "(none)"; }, "framePaths[1] would read as no frame"},
      {[](GridJob& r) { r.cutGridColor = "red\n[outputs]"; }, "cutGridColor holds a line break"},
      {[](GridJob& r) { r.cutGridWidthMm = std::nan(""); }, "cutGridWidthMm is not finite"},
      {[](GridJob& r) { r.dpi = std::numeric_limits<double>::infinity(); }, "dpi is not finite"},
      {[](GridJob& r) { r.effects[1].offsetY = std::numeric_limits<float>::infinity(); },
       "imageEffects[1].offsetY is not finite"},
      {[](GridJob& r) { r.effects[1].gamma = std::nanf(""); }, "imageEffects[1].gamma is not finite"},
  };
  for (const Case& c : cases) {
    GridJob job = ExampleJob();
    c.spoil(job);
    std::string refusal;
    EXPECT_FALSE(FormatGridJob(job, &refusal)) << c.refusal;
    EXPECT_EQ(refusal, c.refusal);
  }
}

TEST(GridJobTest, NothingSetKeepsTheDefaults) {
  const GridJob job = Parse("[images]\na.jpg\n[outputs]\nout.jpg");  // no final line feed
  const GridJob defaults;
  EXPECT_EQ(job.rows, 2);
  EXPECT_EQ(job.cols, 2);
  EXPECT_EQ(job.pageWidth, defaults.pageWidth);
  EXPECT_EQ(job.marginTop, 16);
  EXPECT_EQ(job.jpegQuality, 95);
  EXPECT_FALSE(job.showCutGrid);
  EXPECT_DOUBLE_EQ(job.dpi, 450.0);
  EXPECT_DOUBLE_EQ(job.cutGridWidthMm, 0.1);
  EXPECT_EQ(job.cutGridColor, "darkGray");
  EXPECT_TRUE(job.frames.empty());
  EXPECT_TRUE(job.effects.empty());
  EXPECT_EQ(job.outputs.at(0), "out.jpg");
}

TEST(GridJobTest, ByteOrderMarkAndCrLfReadLikeThePlainForm) {
  const GridJob plain = Parse(kWrittenJob);
  for (const std::string& text : {"\xEF\xBB\xBF" + std::string(kWrittenJob), WithCrLf(kWrittenJob),
                                  "\xEF\xBB\xBF" + WithCrLf(kWrittenJob)}) {
    const GridJob job = Parse(text);
    EXPECT_EQ(job.images, plain.images);
    EXPECT_EQ(job.frames, plain.frames);
    EXPECT_EQ(job.outputs, plain.outputs);
    EXPECT_EQ(job.cutGridColor, "darkGray");  // no stray carriage return in values
    EXPECT_EQ(job.rows, 4);
    ASSERT_EQ(job.effects.size(), 2u);
    EXPECT_FLOAT_EQ(job.effects[1].gamma, 1.0f);
  }
  // A mark anywhere but at the very start is text: it turns the first header into an unknown line.
  Parse("\n\xEF\xBB\xBF[images]\na\n[outputs]\nb\n", GridJobStatus::kNoImages);
}

TEST(GridJobTest, LinesAreStrippedOnTheLeftOnly) {
  const GridJob job = Parse(
      "  \t[images]\n"
      "\t  photo one.jpg  \n"
      "   \n"
      "\t\n"
      "  # a comment, not a photo\n"
      "[outputs]trailing text is ignored\n"
      "out.jpg\n");
  ASSERT_EQ(job.images.size(), 1u);
  EXPECT_EQ(job.images[0], "photo one.jpg  ");
  EXPECT_EQ(job.outputs, std::vector<std::string>{"out.jpg"});
}

TEST(GridJobTest, SectionsAreExactAndUnknownOnesAreIgnored) {
  const GridJob job = Parse(
      "before.jpg\n"
      "[Images]\nwrong-case.jpg\n"
      "[extra]\nrows=9\n"
      "[images]\na.jpg\n"
      "[outputs\nstill-images.jpg\n"  // no ']': the section does not change
      "[outputs]\nout.jpg\n"
      "[frames]\n(none)\n (none)\nf.png\n(none) \n");
  EXPECT_EQ(job.images, (std::vector<std::string>{"a.jpg", "still-images.jpg"}));
  EXPECT_EQ(job.rows, 2);
  // "(none)" is matched after the leading strip, exactly; with a trailing blank it is a path.
  EXPECT_EQ(job.frames, (std::vector<std::string>{"", "", "f.png", "(none) "}));
}

TEST(GridJobTest, SettingsKeysSplitAtTheFirstEquals) {
  const GridJob job = Parse(
      "[settings]\n"
      "rows = 3\n"               // key "rows " is unknown
      "cols\n"                   // no '=': ignored
      "Cols=7\n"                 // keys are case-sensitive
      "cutGridColor=light=Gray \n"
      "pageWidth=1000\n"
      "pageWidth=1200\n"         // the later line wins
      "[images]\na\n[outputs]\nb\n");
  EXPECT_EQ(job.rows, 2);
  EXPECT_EQ(job.cols, 2);
  EXPECT_EQ(job.cutGridColor, "light=Gray ");
  EXPECT_EQ(job.pageWidth, 1200);
}

TEST(GridJobTest, IntegersReadLikeStrtol) {
  const GridJob job = Parse(
      "[settings]\n"
      "pageWidth=12px\n"
      "pageHeight= \t+2445\n"
      "marginLeft=-5\n"
      "marginRight=007\n"
      "rows=2147483647\n"
      "cols=-2147483648\n"
      "jpegQuality=80.9\n"
      "[images]\na\n[outputs]\nb\n");
  EXPECT_EQ(job.pageWidth, 12);
  EXPECT_EQ(job.pageHeight, 2445);
  EXPECT_EQ(job.marginLeft, -5);
  EXPECT_EQ(job.marginRight, 7);
  EXPECT_EQ(job.rows, 2147483647);
  EXPECT_EQ(job.cols, -2147483647 - 1);
  EXPECT_EQ(job.jpegQuality, 80);
}

TEST(GridJobTest, RealsReadLikeStrtodInTheCLocale) {
  const GridJob job = Parse(
      "[settings]\n"
      "dpi= 3e2dots\n"
      "cutGridWidthMm=.25\n"
      "magnetAspectRatio=+0x1.8p0\n"
      "[images]\na\n[outputs]\nb\n");
  EXPECT_DOUBLE_EQ(job.dpi, 300.0);
  EXPECT_DOUBLE_EQ(job.cutGridWidthMm, 0.25);
  EXPECT_DOUBLE_EQ(job.magnetAspectRatio, 1.5);
  EXPECT_EQ(Parse("[settings]\ndpi=1e-400\n[images]\na\n[outputs]\nb\n").dpi, 0.0);  // underflow is 0
}

TEST(GridJobTest, NumbersIgnoreAProcessLocaleWithACommaDecimalPoint) {
  const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
  const bool switched = test_support::SwitchToCommaDecimalLocale();
  if (switched) {
    ASSERT_STREQ(std::localeconv()->decimal_point, ",");
  }
  const std::string written = Text(ExampleJob());
  const GridJob job = Parse("[settings]\ncutGridWidthMm=0.5\n[images]\na\n[outputs]\nb\n[effects]\n"
                            "0,0.7,0,0.5,0.5,0,0,0\n");
  std::setlocale(LC_NUMERIC, previous.c_str());
  EXPECT_EQ(written, "\xEF\xBB\xBF" + std::string(kWrittenJob));
  EXPECT_DOUBLE_EQ(job.cutGridWidthMm, 0.5);
  ASSERT_EQ(job.effects.size(), 1u);
  EXPECT_FLOAT_EQ(job.effects[0].brightness, 0.7f);
  if (!switched) GTEST_SKIP() << "no comma-decimal locale installed or compiled (Debian package locales); checked in the C locale only";
}

TEST(GridJobTest, InvalidNumbersNameTheirKey) {
  struct Case {
    const char* line;
    const char* key;
  };
  for (const Case& c : {Case{"rows=abc", "rows"}, Case{"cols=", "cols"}, Case{"pageWidth=2147483648", "pageWidth"},
                        Case{"marginTop=-2147483649", "marginTop"}, Case{"jpegQuality=+-5", "jpegQuality"},
                        Case{"marginLeft=99999999999999999999", "marginLeft"}, Case{"dpi=x450", "dpi"},
                        Case{"dpi=1e400", "dpi"}, Case{"cutGridWidthMm=inf", "cutGridWidthMm"},
                        Case{"magnetAspectRatio=nan", "magnetAspectRatio"}}) {
    GridJob job;
    const GridJobReadResult result =
        ParseGridJob(std::string("[settings]\n") + c.line + "\n[images]\na\n[outputs]\nb\n", job);
    EXPECT_EQ(result.status, GridJobStatus::kInvalidValue) << c.line;
    EXPECT_EQ(result.invalid_key, c.key) << c.line;
  }
  // A hex float's exponent counts bits: 400 hex digits (1600 bits) times 2^-500 is still 2^1100.
  const std::string huge_hex = "dpi=0x" + std::string(400, '7') + "p-500";
  const std::string tiny_hex = "dpi=0x" + std::string(400, '7') + "p-3000";
  GridJob job;
  EXPECT_EQ(ParseGridJob("[settings]\n" + huge_hex + "\n[images]\na\n[outputs]\nb\n", job).status,
            GridJobStatus::kInvalidValue);
  EXPECT_EQ(Parse("[settings]\n" + tiny_hex + "\n[images]\na\n[outputs]\nb\n").dpi, 0.0);  // underflow
  EXPECT_DOUBLE_EQ(Parse("[settings]\ndpi=0x" + std::string(200, '0') + "1p8\n[images]\na\n[outputs]\nb\n").dpi,
                   256.0);
  // Non-numeric keys take any text.
  Parse("[settings]\nshowCutGrid=abc\ncutGridColor=\nunknown=abc\n[images]\na\n[outputs]\nb\n");
}

TEST(GridJobTest, ShowCutGridIsOnOnlyForExactlyOneOrTrue) {
  auto read = [](const std::string& value) {
    return Parse("[settings]\nshowCutGrid=" + value + "\n[images]\na\n[outputs]\nb\n").showCutGrid;
  };
  EXPECT_TRUE(read("1"));
  EXPECT_TRUE(read("true"));
  EXPECT_FALSE(read("yes"));
  EXPECT_FALSE(read("True"));
  EXPECT_FALSE(read("1 "));
  EXPECT_FALSE(read("01"));
  EXPECT_FALSE(read("0"));
}

constexpr std::string_view kSixImages = "[images]\n0\n1\n2\n3\n4\n5\n[outputs]\nout\n[effects]\n";

TEST(GridJobTest, EightFieldEffectLineFillsTheTableWithNeutralRecords) {
  const GridJob job = Parse(std::string(kSixImages) + "5,0.7,0,0.5,0.5,0,0,0\n");
  ASSERT_EQ(job.effects.size(), 6u);
  for (int i = 0; i < 5; ++i) ExpectNeutral(job.effects[i]);
  EXPECT_FLOAT_EQ(job.effects[5].brightness, 0.7f);
  EXPECT_EQ(job.effects[5].contrast, 0.0f);
  ExpectNeutral([&] { EffectRecord r = job.effects[5]; r.brightness = 0.5f; return r; }());
}

TEST(GridJobTest, EffectLinesConvertUpToTheFirstMismatch) {
  // 7 fields: ignored. A blank before a comma ends the scan (the pattern has none).
  EXPECT_TRUE(Parse(std::string(kSixImages) + "1,0.7,0,0.5,0.5,0,0\n").effects.empty());
  EXPECT_TRUE(Parse(std::string(kSixImages) + "1,0.7 ,0,0.5,0.5,0,0,0\n").effects.empty());
  EXPECT_TRUE(Parse(std::string(kSixImages) + "x,0.7,0,0.5,0.5,0,0,0\n").effects.empty());

  // 19 fields: strokeExternal is read, gamma stays neutral.
  GridJob job = Parse(std::string(kSixImages) + "0,0.5,0,0.5,0.5,0,0,0,0,0,1,0,0,0,0,0.1,2,255,0\n");
  ASSERT_EQ(job.effects.size(), 1u);
  EXPECT_FLOAT_EQ(job.effects[0].stroke, 0.1f);
  EXPECT_FLOAT_EQ(job.effects[0].strokeScale, 2.0f);
  EXPECT_EQ(job.effects[0].strokeColor, 255u);
  EXPECT_FALSE(job.effects[0].strokeExternal);
  EXPECT_FLOAT_EQ(job.effects[0].gamma, 1.0f);

  // 18 fields: strokeColor read, strokeExternal keeps its neutral true.
  job = Parse(std::string(kSixImages) + "0,0.5,0,0.5,0.5,0,0,0,0,0,1,0,0,0,0,0.1,2,255,oops\n");
  ASSERT_EQ(job.effects.size(), 1u);
  EXPECT_EQ(job.effects[0].strokeColor, 255u);
  EXPECT_TRUE(job.effects[0].strokeExternal);

  // 20 fields with blanks after commas (white space before a number is skipped) and extra text.
  job = Parse(std::string(kSixImages) + "2, 0.6,0,0.5,0.5,0,0,0,0,0,1,0,0,0,0,0,1,-1,7, 2.2,junk\n");
  ASSERT_EQ(job.effects.size(), 3u);
  EXPECT_FLOAT_EQ(job.effects[2].brightness, 0.6f);
  EXPECT_EQ(job.effects[2].strokeColor, 4294967295u);  // %u wraps a negative value
  EXPECT_TRUE(job.effects[2].strokeExternal);
  EXPECT_FLOAT_EQ(job.effects[2].gamma, 2.2f);

  // A non-finite or float-overflowing value ends the scan where it stands.
  job = Parse(std::string(kSixImages) + "0,0.6,0,0.5,0.5,0,0,0,0,0,nan,0,0\n"
                                        "1,0.6,0,0.5,0.5,0,0,0,0,0,1e39,0,0\n");
  ASSERT_EQ(job.effects.size(), 2u);
  EXPECT_EQ(job.effects[0].scale, 1.0f);
  EXPECT_EQ(job.effects[1].scale, 1.0f);
  EXPECT_FLOAT_EQ(job.effects[1].brightness, 0.6f);
}

TEST(GridJobTest, LaterEffectLineForAnIndexWins) {
  const GridJob job = Parse(std::string(kSixImages) + "1,0.7,0,0.5,0.5,0,0,0\n1,0.2,0,0.5,0.5,0,0,0\n");
  ASSERT_EQ(job.effects.size(), 2u);
  EXPECT_FLOAT_EQ(job.effects[1].brightness, 0.2f);
}

TEST(GridJobTest, EffectIndicesOutsideTheImagesAreIgnored) {
  // Effects may come before the images they refer to: the table is built after the whole file.
  const GridJob job = Parse(
      "[effects]\n"
      "3,0.7,0,0.5,0.5,0,0,0\n"
      "-1,0.7,0,0.5,0.5,0,0,0\n"
      "6,0.7,0,0.5,0.5,0,0,0\n"
      "2000000000,0.7,0,0.5,0.5,0,0,0\n"
      "99999999999,0.7,0,0.5,0.5,0,0,0\n" +
      std::string(kSixImages));
  ASSERT_EQ(job.effects.size(), 4u);
  EXPECT_FLOAT_EQ(job.effects[3].brightness, 0.7f);
  ExpectNeutral(job.effects[0]);
}

TEST(GridJobTest, MissingImagesOrOutputsFail) {
  Parse("[images]\na.jpg\n", GridJobStatus::kNoOutputs);
  Parse("[images]\na.jpg\n[outputs]\n\n  \n", GridJobStatus::kNoOutputs);
  Parse("[outputs]\nout.jpg\n", GridJobStatus::kNoImages);
  Parse("", GridJobStatus::kNoImages);
  Parse("\xEF\xBB\xBF", GridJobStatus::kNoImages);
  Parse(std::string("[images]\n\0\n[outputs]\nb", 22));  // a NUL byte is just a path character
}

TEST(GridJobTest, ReadsFromAFileAndReportsAMissingOne) {
  test_support::TempFolder dir;
  const std::string path = dir.File("grid_job_\xC3\xA9t\xC3\xA9.txt");
  const std::string text = "\xEF\xBB\xBF" + WithCrLf(kWrittenJob);
  test_support::WriteBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
  GridJob job;
  EXPECT_TRUE(ReadGridJob(path, job).ok());
  EXPECT_EQ(job.images.size(), 2u);
  std::filesystem::remove(test_support::PathFromUtf8(path));

  GridJob missing;
  EXPECT_EQ(ReadGridJob(path, missing).status, GridJobStatus::kCannotOpen);
}

}  // namespace
}  // namespace mosalith
