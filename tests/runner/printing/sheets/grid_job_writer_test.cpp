// The grid job file writer: a new file per job in the temporary folder, holding the job's text, and
// nothing left behind when it cannot be written. The text itself is tested with its reader
// (tests/helper/grid_job_test.cpp).
#include "runner/printing/sheets/grid_job_writer.h"

#include <errno.h>

#include <gtest/gtest.h>

#include "platform/fake/fake_file_system.h"

namespace runner::printing {
namespace {

// Two photos, the second one edited.
mosalith::GridJob EditedJob() {
  mosalith::GridJob job;
  job.images = {"/photos/a.jpg", "/photos/b.jpg"};
  job.outputs = {"/out/sheet_1.jpg"};
  mosalith::EffectRecord edited;
  edited.brightness = 0.6f;
  job.effects = {mosalith::EffectRecord{}, edited};
  return job;
}

TEST(GridJobWriterTest, FilesAreNewPerJobAndNothingIsLeftWhenWritingFails) {
  platform::FakeFileSystem files;
  const std::string folder = platform::FakeFileSystem::kDefaultTempFolder;
  ::testing::internal::CaptureStderr();
  const std::string first = WriteGridJobFile(EditedJob(), files, 512);
  const std::string second = WriteGridJobFile(EditedJob(), files, 512);
  const std::string log = ::testing::internal::GetCapturedStderr();
  ASSERT_FALSE(first.empty());
  EXPECT_EQ(first.rfind(folder + "/grid_config_512_", 0), 0u) << first;
  EXPECT_TRUE(first.ends_with(".txt"));
  EXPECT_NE(first, second);
  const std::optional<std::vector<uint8_t>> bytes = files.Contents(first);
  ASSERT_TRUE(bytes);
  EXPECT_EQ(std::string(bytes->begin(), bytes->end()), mosalith::FormatGridJob(EditedJob(), nullptr)->text);
  EXPECT_NE(log.find("DEBUG C++: imageEffects vector size = 2\n"), std::string::npos);
  EXPECT_NE(log.find("DEBUG C++: Wrote 1 effects entries to config file\n"), std::string::npos);

  const size_t before = files.Files().size();
  files.FailWritesWith(platform::FakeFileSystem::DiskFull());
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(WriteGridJobFile(EditedJob(), files, 512), "");
  files.FailWritesWith(base::Status::Ok());
  files.RefuseTempFolder(base::Status::AccessDenied("/fake-tmp/PictaVera_Temp: a link"));
  EXPECT_EQ(WriteGridJobFile(EditedJob(), files, 512), "");
  files.RefuseTempFolder(base::Status::Ok());
  mosalith::GridJob hostile = EditedJob();
  hostile.outputs[0] = "/x\n";
  EXPECT_EQ(WriteGridJobFile(hostile, files, 512), "");
  const std::string failures = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(files.Files().size(), before);
  EXPECT_NE(failures.find("DEBUG C++: Cannot write config file: outputPaths[0] holds a line break\n"),
            std::string::npos);
}

}  // namespace
}  // namespace runner::printing
