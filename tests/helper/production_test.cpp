// Tests for the worker pool: thread counts, every sheet written once, failures reported by status.
#include "helper/production.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/helper/test_images.h"

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

  testing::TempDir dir_;
  GridJob job_;
};

TEST_F(ProductionFileTest, TwentySheetsOnFourWorkersAreEachWrittenOnce) {
  for (int i = 0; i < 20; ++i) job_.outputs.push_back(dir_.File("sheet_" + std::to_string(i) + ".jpg"));
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(RunProduction(job_, 4, testing::CodecPathUnderTest()), ProductionStatus::kOk);
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
  EXPECT_EQ(RunProduction(job_, 8, testing::CodecPathUnderTest()), ProductionStatus::kOk);  // seven workers find no sheet
  EXPECT_EQ(RunProduction(job_, 0, testing::CodecPathUnderTest()), ProductionStatus::kOk);  // at least one worker runs
  std::string log = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(log.find("threads=8\n"), std::string::npos) << log;
  EXPECT_NE(log.find("threads=1\n"), std::string::npos) << log;

  job_.outputs = {dir_.File("a.jpg"), dir_.File("missing-folder/b.jpg"), dir_.File("c.jpg")};
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(RunProduction(job_, 2, testing::CodecPathUnderTest()), ProductionStatus::kSheetsFailed);
  log = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(log.find("Mosalith: Failed to write page 2: " + job_.outputs[1] + "\n"), std::string::npos) << log;
  EXPECT_TRUE(std::filesystem::exists(job_.outputs[0]));
  EXPECT_TRUE(std::filesystem::exists(job_.outputs[2]));

  job_.cols = 41;  // one pixel short of a column each
  job_.outputs = {dir_.File("never.jpg")};
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(RunProduction(job_, 2, testing::CodecPathUnderTest()), ProductionStatus::kInvalidJob);
  log = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(log.find("threads="), std::string::npos) << log;
  EXPECT_FALSE(std::filesystem::exists(job_.outputs[0]));
}

}  // namespace
}  // namespace mosalith
