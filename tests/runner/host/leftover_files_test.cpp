// Tests of the removal of files left by hosts that were killed: names read exactly, only ended owners.
#include "runner/host/leftover_files.h"

#include <gtest/gtest.h>

#include "platform/fake/fake_file_system.h"
#include "platform/fake/fake_process_runner.h"
#include "runner/host/folder_journal.h"

namespace runner {
namespace {

constexpr int kSelf = 500;
constexpr char kPdfFolder[] = "/home/u/PictaVera Prints";

TEST(LeftoverFilesTest, NamesAreReadWholeOrNotAtAll) {
  EXPECT_EQ(JobFileOwner("grid_config_1234_7.txt"), 1234);
  EXPECT_EQ(JobFileOwner("grid_config_1234_0.txt"), 1234);
  for (const char* other : {"grid_config_1234.txt", "grid_config__7.txt", "grid_config_0_7.txt", "grid_config_12a_7.txt",
                            "grid_config_1234_7.txt.bak", "grid_config_1234_x.txt", "my_grid_config_1_2.txt",
                            "grid_config_99999999999_1.txt", "sheet.jpg"}) {
    EXPECT_FALSE(JobFileOwner(other)) << other;
  }
  EXPECT_EQ(TemporaryFileOwner(".pictavera-4321-17.tmp"), 4321);
  EXPECT_EQ(LeftoverOwner(".pictavera-4321-17.tmp"), 4321);
  EXPECT_EQ(LeftoverOwner("grid_config_99_1.txt"), 99);
  for (const char* other : {"PictaVera Print 2026-03-03 09-05-07-1.pdf", ".pictavera-4321.tmp", ".pictavera--1.tmp",
                            ".pictavera-12-x.tmp", "pictavera-12-1.tmp", ".pictavera-12-1.tmp~", ".pictavera-0-1.tmp"}) {
    EXPECT_FALSE(TemporaryFileOwner(other)) << other;
  }
}

TEST(LeftoverFilesTest, OnlyFilesOfProcessesThatNoLongerRunAreRemoved) {
  platform::FakeFileSystem files;
  platform::FakeProcessRunner processes;
  processes.SetExistingProcesses({300});  // another host that still runs
  const std::string temp = platform::FakeFileSystem::kDefaultTempFolder;
  files.AddFile(temp + "/grid_config_100_1.txt", {1});   // its host was killed
  files.AddFile(temp + "/.pictavera-100-3.tmp", {1});    // a job file it was writing
  files.AddFile(temp + "/grid_config_300_4.txt", {1});   // a running host's job
  files.AddFile(temp + "/grid_config_500_2.txt", {1});   // this host's own
  files.AddFile(temp + "/notes.txt", {1});
  files.AddFile(temp + "/PictaVera_Baking_2026033_957/0.jpg", {1});
  const std::string part = std::string(kPdfFolder) + "/.pictavera-100-1.tmp";
  const std::string done = std::string(kPdfFolder) + "/PictaVera Print 2026-03-03 09-05-07-1.pdf";
  const std::string running = std::string(kPdfFolder) + "/.pictavera-300-2.tmp";
  files.AddFile(part, {1});
  files.AddFile(done, {1});
  files.AddFile(running, {1});
  ::testing::internal::CaptureStderr();
  RemoveLeftoverFiles(files, processes, kPdfFolder, kSelf);
  const std::string log = ::testing::internal::GetCapturedStderr();
  EXPECT_FALSE(files.Exists(temp + "/grid_config_100_1.txt"));
  EXPECT_FALSE(files.Exists(temp + "/.pictavera-100-3.tmp"));
  EXPECT_FALSE(files.Exists(part));
  for (const std::string& kept : {temp + "/grid_config_300_4.txt", temp + "/grid_config_500_2.txt", temp + "/notes.txt",
                                  temp + "/PictaVera_Baking_2026033_957/0.jpg", done, running}) {
    EXPECT_TRUE(files.Exists(kept)) << kept;
  }
  EXPECT_NE(log.find("INFO: Removed " + temp + "/grid_config_100_1.txt, left by process 100 that no longer runs\n"),
            std::string::npos)
      << log;
  // A folder that cannot be read removes nothing and says nothing.
  EXPECT_EQ(RemoveLeftovers(files, processes, "/nowhere", JobFileOwner, kSelf), 0);
}

TEST(FolderJournalTest, TheFoldersWrittenIntoAreJournalledOnceAndTheJournalGoesWithAHostThatEnds) {
  platform::FakeFileSystem files;
  const std::string temp = platform::FakeFileSystem::kDefaultTempFolder;
  const std::string journal = temp + "/folders_" + std::to_string(kSelf) + ".txt";
  {
    FolderJournal journalled(files, kSelf);
    files.AddFile("/sheets/keep.txt", {1});  // makes the folders
    files.AddFile("/bakes/keep.txt", {1});
    for (const char* folder : {"/sheets", "/sheets", "/bakes"}) EXPECT_TRUE(journalled.StartFile(folder, 0644).ok());
    journalled.NoteWritingIn("/helper out");
    journalled.NoteWritingIn("/bad\nname");  // cannot be one line: not journalled
    const auto text = files.ReadFile(journal, 1 << 20);
    ASSERT_TRUE(text.ok());
    EXPECT_EQ(JournalFolders(std::string(text->begin(), text->end())),
              (std::vector<std::string>{"/bakes", "/helper out", "/sheets"}));
  }
  EXPECT_FALSE(files.Exists(journal));
  EXPECT_EQ(JournalOwner("folders_42.txt"), 42);
  for (const char* other : {"folders_.txt", "folders_042.txt", "folders_4x.txt", "folders_42.tmp"}) {
    EXPECT_FALSE(JournalOwner(other)) << other;
  }
}

}  // namespace
}  // namespace runner
