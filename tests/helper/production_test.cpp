// Tests for the worker pool: thread counts, every sheet written once, failures reported by status.
#include "helper/production.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/helper/test_images.h"
#include "tests/support/temp_folder.h"

namespace mosalith {
namespace {

TEST(ProductionTest, WorkerCountIsBetweenOneAndEight) {
  EXPECT_EQ(WorkerCount(0), 1);  // a platform that cannot tell still gets a worker
  EXPECT_EQ(WorkerCount(1), 1);
  EXPECT_EQ(WorkerCount(4), 4);
  EXPECT_EQ(WorkerCount(8), 8);
  EXPECT_EQ(WorkerCount(64), kMaxWorkers);
}

size_t CountOf(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

class ProductionFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    job_.pageWidth = 40;
    job_.pageHeight = 30;
    job_.marginLeft = job_.marginRight = job_.marginTop = job_.marginBottom = 0;
    job_.images = {dir_.File("missing.jpg")};
  }

  test_support::TempFolder dir_;
  GridJob job_;
};

TEST_F(ProductionFileTest, TwentySheetsOnFourWorkersAreEachWrittenOnce) {
  for (int i = 0; i < 20; ++i) job_.outputs.push_back(dir_.File("sheet_" + std::to_string(i) + ".jpg"));
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(RunProduction(job_, 4, nullptr), ProductionStatus::kOk);
  const std::string log = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(log.find("Mosalith: 1 images, 2x2 grid, cell 20x15, threads=4\n"), std::string::npos) << log;
  EXPECT_EQ(CountOf(log, "Mosalith: Saved page "), 20u) << log;
  EXPECT_NE(log.find("Mosalith: Saved page 20/20\n"), std::string::npos);
  EXPECT_EQ(CountOf(log, "Mosalith: Total time: "), 1u);
  for (const std::string& output : job_.outputs) EXPECT_TRUE(std::filesystem::exists(output)) << output;
}

TEST_F(ProductionFileTest, IdleWorkersEndAndFailuresAreReportedByStatus) {
  job_.outputs = {dir_.File("only.jpg")};
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(RunProduction(job_, 8, nullptr), ProductionStatus::kOk);  // seven workers find no sheet
  EXPECT_EQ(RunProduction(job_, 0, nullptr), ProductionStatus::kOk);  // at least one worker runs
  std::string log = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(log.find("threads=8\n"), std::string::npos) << log;
  EXPECT_NE(log.find("threads=1\n"), std::string::npos) << log;

  job_.outputs = {dir_.File("a.jpg"), dir_.File("missing-folder/b.jpg"), dir_.File("c.jpg")};
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(RunProduction(job_, 2, nullptr), ProductionStatus::kSheetsFailed);
  log = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(log.find("Mosalith: Failed to write page 2: " + job_.outputs[1] + "\n"), std::string::npos) << log;
  EXPECT_TRUE(std::filesystem::exists(job_.outputs[0]));
  EXPECT_TRUE(std::filesystem::exists(job_.outputs[2]));

  job_.cols = 41;  // one pixel short of a column each
  job_.outputs = {dir_.File("never.jpg")};
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(RunProduction(job_, 2, nullptr), ProductionStatus::kInvalidJob);
  log = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(log.find("threads="), std::string::npos) << log;
  EXPECT_FALSE(std::filesystem::exists(job_.outputs[0]));
}

TEST_F(ProductionFileTest, SheetsAreByteIdenticalForOneTwoAndEightWorkers) {
  // Five textured photos of mixed shapes (one turned by EXIF) on 2 x 2 sheets: one full sheet, one
  // with a single photo, one empty; zoom, effects and a frame on some cells.
  job_.pageWidth = 220;
  job_.pageHeight = 300;
  job_.marginLeft = job_.marginRight = job_.marginTop = job_.marginBottom = 6;
  job_.images.clear();
  for (int i = 0; i < 5; ++i) {
    const int32_t width = i % 2 ? 300 : 400;
    const int32_t height = i % 2 ? 400 : 300;
    const imaging::Bitmap photo = testing::MakeImage(width, height, [i](int32_t x, int32_t y) {
      return (static_cast<testing::Rgba>((x * (i + 3) + y) & 0xFF) << 24) |
             (static_cast<testing::Rgba>((y * 5 + x * i) & 0xFF) << 16) | (static_cast<testing::Rgba>(40 * i) << 8) | 0xFF;
    });
    const std::string path = dir_.File("photo" + std::to_string(i) + ".jpg");
    ASSERT_TRUE(WriteJpeg(photo, path, 92, testing::Codec()));
    job_.images.push_back(path);
  }
  test_support::WriteBytes(job_.images[2], testing::InsertAfterStart(test_support::ReadBytes(job_.images[2]),
                                                                testing::ExifSegment(false, 6)));
  job_.effects.resize(5);
  job_.effects[1].scale = 1.5f;
  job_.effects[1].offsetX = 12;
  job_.effects[1].viewportWidth = 100;
  job_.effects[1].viewportHeight = 140;
  job_.effects[3].contrast = 0.4f;
  job_.effects[3].sharpness = 0.5f;
  job_.effects[3].stroke = 0.2f;
  const std::string frame = dir_.File("frame.png");
  test_support::WriteBytes(frame, testing::PngFile(testing::MakeImage(60, 80, [](int32_t x, int32_t) {
    return x < 10 ? testing::Rgba{0x20C02080} : testing::Rgba{0};
  })));
  job_.frames = {"", "", frame, "", frame};

  std::vector<std::vector<uint8_t>> first_run;
  for (int workers : {1, 2, 8}) {
    job_.outputs.clear();
    for (int sheet = 0; sheet < 3; ++sheet) {
      job_.outputs.push_back(dir_.File(std::to_string(workers) + "-sheet" + std::to_string(sheet) + ".jpg"));
    }
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(RunProduction(job_, workers, nullptr), ProductionStatus::kOk);
    const std::string log = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(CountOf(log, "Mosalith: load "), 7u) << log;  // five photos, two frames
    EXPECT_NE(log.find("Mosalith: [5/5]\n"), std::string::npos) << log;
    std::vector<std::vector<uint8_t>> sheets;
    for (const std::string& output : job_.outputs) sheets.push_back(test_support::ReadBytes(output));
    if (first_run.empty()) {
      first_run = sheets;
    } else {
      for (size_t sheet = 0; sheet < sheets.size(); ++sheet) {
        EXPECT_TRUE(sheets[sheet] == first_run[sheet]) << workers << " workers, sheet " << sheet;
      }
    }
  }
}

}  // namespace
}  // namespace mosalith
