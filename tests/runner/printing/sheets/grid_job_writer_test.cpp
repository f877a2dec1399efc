// The grid job file writer: the golden example byte for byte, the round trip through the helper's own
// reader, refusals of what the reader would read differently, the locale, and the file in the folder.
#include "runner/printing/sheets/grid_job_writer.h"

#include <errno.h>

#include <clocale>
#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "helper/grid_job.h"
#include "platform/fake/fake_file_system.h"
#include "tests/helper/comma_locale.h"

namespace runner::printing {
namespace {

constexpr std::string_view kGoldenJob =
    "\xEF\xBB\xBF"
    "[settings]\n"
    "rows=4\n"
    "cols=3\n"
    "pageWidth=1854\n"
    "pageHeight=2445\n"
    "marginLeft=18\n"
    "marginRight=18\n"
    "marginTop=16\n"
    "marginBottom=16\n"
    "jpegQuality=95\n"
    "showCutGrid=1\n"
    "cutGridWidthMm=0.1\n"
    "cutGridColor=darkGray\n"
    "dpi=450\n"
    "[images]\n"
    "C:\\photos\\a.jpg\n"
    "C:\\photos\\b.jpg\n"
    "[frames]\n"
    "(none)\n"
    "C:\\frames\\round.png\n"
    "[outputs]\n"
    "C:\\out\\sheet_1.jpg\n"
    "[effects]\n"
    "1,0.6,0,0.5,0.5,0,0,0,0,0,1.2,10,-4,300,300,0,1,4294967295,1,1\n";

SheetRequest GoldenRequest() {
  SheetRequest request;
  request.images = {"C:\\photos\\a.jpg", "C:\\photos\\b.jpg"};
  request.frames = {"", "C:\\frames\\round.png"};
  request.outputs = {"C:\\out\\sheet_1.jpg"};
  request.rows = 4;
  request.cols = 3;
  request.showCutGrid = true;
  mosalith::EffectRecord edited;
  edited.brightness = 0.6f;
  edited.scale = 1.2f;
  edited.offsetX = 10;
  edited.offsetY = -4;
  edited.viewportWidth = 300;
  edited.viewportHeight = 300;
  request.effects = {mosalith::EffectRecord{}, edited};
  return request;
}

std::string Text(const SheetRequest& request) {
  std::string refusal;
  const std::optional<GridJobText> job = FormatGridJobFile(request, &refusal);
  EXPECT_TRUE(job) << refusal;
  return job ? job->text : "";
}

mosalith::GridJob ReadBack(const std::string& text) {
  mosalith::GridJob job;
  EXPECT_TRUE(mosalith::ParseGridJob(text, job).ok());
  return job;
}

TEST(GridJobWriterTest, TheExampleJobIsWrittenByteForByte) {
  std::string refusal;
  const std::optional<GridJobText> job = FormatGridJobFile(GoldenRequest(), &refusal);
  ASSERT_TRUE(job) << refusal;
  EXPECT_EQ(job->text, kGoldenJob);
  EXPECT_EQ(job->effect_lines, 1);
}

TEST(GridJobWriterTest, WhatIsWrittenReadsBackThroughTheHelpersReader) {
  SheetRequest request = GoldenRequest();
  request.frames = {"/f/x.png"};  // fewer frames than photos
  request.images.push_back("/p/trailing blank ");
  request.outputs.push_back("/o/2.jpg");
  request.pageWidth = 3000;
  request.marginBottom = -5;
  request.jpegQuality = 0;
  request.dpi = 300;
  request.cutGridWidthMm = 0.00001;
  request.cutGridColor = "a=b c";
  request.magnetAspectRatio = 0.6666666666;
  mosalith::EffectRecord all;
  all = {0.1f, -0.25f, 0.9f, 0.4f, 1.0f, -30.5f, 2.0f, 7.0f, 0.3f, 2.5f, -12.25f, 8.0f, 640.0f, 480.0f, 0.05f, 1.5f,
         0xFF102030u, false, 2.2f};
  mosalith::EffectRecord gamma_only;
  gamma_only.gamma = 1.01f;
  request.effects = {all, mosalith::EffectRecord{}, gamma_only};

  const mosalith::GridJob job = ReadBack(Text(request));
  EXPECT_EQ(job.images, request.images);
  EXPECT_EQ(job.frames, request.frames);
  EXPECT_EQ(job.outputs, request.outputs);
  EXPECT_EQ(job.rows, 4);
  EXPECT_EQ(job.cols, 3);
  EXPECT_EQ(job.pageWidth, 3000);
  EXPECT_EQ(job.marginBottom, -5);
  EXPECT_EQ(job.jpegQuality, 0);
  EXPECT_TRUE(job.showCutGrid);
  EXPECT_DOUBLE_EQ(job.dpi, 300.0);
  EXPECT_DOUBLE_EQ(job.cutGridWidthMm, 0.00001);
  EXPECT_EQ(job.cutGridColor, "a=b c");
  EXPECT_DOUBLE_EQ(job.magnetAspectRatio, 0.666667);  // six significant digits on the way
  ASSERT_EQ(job.effects.size(), 3u);
  const mosalith::EffectRecord& read = job.effects[0];
  EXPECT_FLOAT_EQ(read.brightness, 0.1f);
  EXPECT_FLOAT_EQ(read.contrast, -0.25f);
  EXPECT_FLOAT_EQ(read.temperature, -30.5f);
  EXPECT_FLOAT_EQ(read.offsetX, -12.25f);
  EXPECT_FLOAT_EQ(read.viewportHeight, 480.0f);
  EXPECT_FLOAT_EQ(read.stroke, 0.05f);
  EXPECT_FLOAT_EQ(read.strokeScale, 1.5f);
  EXPECT_EQ(read.strokeColor, 0xFF102030u);
  EXPECT_FALSE(read.strokeExternal);
  EXPECT_FLOAT_EQ(read.gamma, 2.2f);
  EXPECT_FLOAT_EQ(job.effects[1].brightness, 0.5f);  // neutral: not written, read as neutral
  EXPECT_FLOAT_EQ(job.effects[2].gamma, 1.01f);
}

TEST(GridJobWriterTest, OptionalPartsAreLeftOutAsTheReaderExpects) {
  SheetRequest request = GoldenRequest();
  request.frames.clear();
  request.effects.clear();
  const std::string text = Text(request);
  EXPECT_NE(text.find("[frames]\n[outputs]\n"), std::string::npos);
  EXPECT_EQ(text.find("[effects]"), std::string::npos);
  EXPECT_EQ(text.find("magnetAspectRatio"), std::string::npos);

  request.effects = {mosalith::EffectRecord{}};  // a list of neutral records: header only
  mosalith::EffectRecord viewport_only;            // values that matter only together with others
  viewport_only.viewportWidth = 100;
  viewport_only.strokeColor = 0;
  viewport_only.gamma = 1.0005f;
  request.effects.push_back(viewport_only);
  std::string refusal;
  const std::optional<GridJobText> job = FormatGridJobFile(request, &refusal);
  ASSERT_TRUE(job);
  EXPECT_EQ(job->effect_lines, 0);
  EXPECT_TRUE(job->text.ends_with("[effects]\n"));
}

TEST(GridJobWriterTest, NumbersIgnoreACommaDecimalLocale) {
  const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
  const bool switched = mosalith::testing::SwitchToCommaDecimalLocale();
  const std::string text = Text(GoldenRequest());
  std::setlocale(LC_NUMERIC, previous.c_str());
  EXPECT_EQ(text, kGoldenJob);
  if (!switched) GTEST_SKIP() << "no comma-decimal locale available; written in the C locale only";
}

TEST(GridJobWriterTest, RealsUseSixSignificantDigits) {
  EXPECT_EQ(FormatJobReal(0.1), "0.1");
  EXPECT_EQ(FormatJobReal(0.00001), "1e-05");
  EXPECT_EQ(FormatJobReal(1234567.0), "1.23457e+06");
  EXPECT_EQ(FormatJobReal(static_cast<float>(0.6f)), "0.6");
  EXPECT_EQ(FormatJobReal(-4.0), "-4");
}

TEST(GridJobWriterTest, EntriesTheReaderWouldChangeAreRefusedWithTheirPlace) {
  struct Case {
    std::function<void(SheetRequest&)> spoil;
    std::string refusal;
  };
  const Case cases[] = {
      {[](SheetRequest& r) { r.images[1] = ""; }, "imagePaths[1] is empty"},
      {[](SheetRequest& r) { r.images[0] = "/a\n[outputs]\n/etc/passwd"; }, "imagePaths[0] holds a line break"},
      {[](SheetRequest& r) { r.images[1] = "/a.jpg\r"; }, "imagePaths[1] holds a line break"},
      {[](SheetRequest& r) { r.outputs[0] = " /lead.jpg"; }, "outputPaths[0] starts with a blank"},
      {[](SheetRequest& r) { r.outputs[0] = "\t/x.jpg"; }, "outputPaths[0] starts with a blank"},
      {[](SheetRequest& r) { r.images[0] = "#x.jpg"; }, "imagePaths[0] starts with '#'"},
      {[](SheetRequest& r) { r.frames[1] = "[frames]"; }, "framePaths[1] starts with '['"},
      {[](SheetRequest& r) { r.frames[1] = "(none)"; }, "framePaths[1] would read as no frame"},
      {[](SheetRequest& r) { r.cutGridColor = "red\n[outputs]"; }, "cutGridColor holds a line break"},
      {[](SheetRequest& r) { r.cutGridWidthMm = std::nan(""); }, "cutGridWidthMm is not finite"},
      {[](SheetRequest& r) { r.effects[1].offsetY = std::numeric_limits<float>::infinity(); },
       "imageEffects[1].offsetY is not finite"},
  };
  for (const Case& c : cases) {
    SheetRequest request = GoldenRequest();
    c.spoil(request);
    std::string refusal;
    EXPECT_FALSE(FormatGridJobFile(request, &refusal)) << c.refusal;
    EXPECT_EQ(refusal, c.refusal);
  }
  SheetRequest inner = GoldenRequest();
  inner.images[0] = "/photos/# and [ inside/a.jpg";  // only the first character matters
  EXPECT_EQ(ReadBack(Text(inner)).images[0], inner.images[0]);
}

TEST(GridJobWriterTest, FilesAreNewPerJobAndNothingIsLeftWhenWritingFails) {
  platform::FakeFileSystem files;
  const std::string folder = platform::FakeFileSystem::kDefaultTempFolder;
  ::testing::internal::CaptureStderr();
  const std::string first = WriteGridJobFile(GoldenRequest(), files, 512);
  const std::string second = WriteGridJobFile(GoldenRequest(), files, 512);
  const std::string log = ::testing::internal::GetCapturedStderr();
  ASSERT_FALSE(first.empty());
  EXPECT_EQ(first.rfind(folder + "/grid_config_512_", 0), 0u) << first;
  EXPECT_TRUE(first.ends_with(".txt"));
  EXPECT_NE(first, second);
  const std::optional<std::vector<uint8_t>> bytes = files.Contents(first);
  ASSERT_TRUE(bytes);
  EXPECT_EQ(std::string(bytes->begin(), bytes->end()), kGoldenJob);
  EXPECT_NE(log.find("DEBUG C++: imageEffects vector size = 2\n"), std::string::npos);
  EXPECT_NE(log.find("DEBUG C++: Wrote 1 effects entries to config file\n"), std::string::npos);

  const size_t before = files.Files().size();
  files.FailWritesWith(ENOSPC);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(WriteGridJobFile(GoldenRequest(), files, 512), "");
  files.FailWritesWith(0);
  files.RefuseTempFolder(ELOOP);
  EXPECT_EQ(WriteGridJobFile(GoldenRequest(), files, 512), "");
  files.RefuseTempFolder(0);
  SheetRequest hostile = GoldenRequest();
  hostile.outputs[0] = "/x\n";
  EXPECT_EQ(WriteGridJobFile(hostile, files, 512), "");
  const std::string failures = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(files.Files().size(), before);
  EXPECT_NE(failures.find("DEBUG C++: Cannot write config file: outputPaths[0] holds a line break\n"),
            std::string::npos);
}

}  // namespace
}  // namespace runner::printing
