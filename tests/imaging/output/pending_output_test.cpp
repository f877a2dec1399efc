// Tests of the one rule of writing files over an in-memory disk that can fail where a real one rarely
// does on demand: a flush that reports a full disk, a rename refused, names taken by earlier processes.
#include "imaging/output/pending_output.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <map>
#include <string>

namespace imaging {
namespace {

// A folder "/d" of entries by path; files hold text. Separators are '/' and, when `windows`, '\'.
class MemoryCalls : public FileCalls {
 public:
  struct Entry {
    EntryKind kind = EntryKind::kFile;
    std::string text;
  };
  std::map<std::string, Entry> entries;
  int sync_error = 0;
  bool windows = false;

  bool IsSeparator(char c) const override { return c == '/' || (windows && c == '\\'); }
  long ProcessId() const override { return 42; }
  int CreateNew(const std::string& path, uint32_t, Handle* handle) override {
    if (entries.count(path) != 0) return EEXIST;
    entries[path] = Entry{};
    open_.push_back(path);
    *handle = static_cast<Handle>(open_.size() - 1);
    return 0;
  }
  int Write(Handle handle, const uint8_t* bytes, size_t size) override {
    entries[open_[handle]].text.append(reinterpret_cast<const char*>(bytes), size);
    return 0;
  }
  int SyncAndClose(Handle) override { return sync_error; }
  void Close(Handle) override {}
  EntryKind KindAt(const std::string& path) override {
    const auto found = entries.find(path);
    return found == entries.end() ? EntryKind::kMissing : found->second.kind;
  }
  int Replace(const std::string& from, const std::string& to) override {
    entries[to] = entries[from];  // a link at `to` is itself replaced: its target stays as it was
    entries.erase(from);
    return 0;
  }
  int RenameNoReplace(const std::string& from, const std::string& to) override {
    return entries.count(to) != 0 ? EEXIST : Replace(from, to);
  }
  int Remove(const std::string& path) override { return entries.erase(path) == 1 ? 0 : ENOENT; }

 private:
  std::vector<std::string> open_;
};

int WriteText(PendingOutput& file, const std::string& text) {
  return file.Write(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

TEST(PendingOutputTest, ReplacesFilesAndLinksButNothingElseAndLeavesNoTemporaryFile) {
  MemoryCalls calls;
  calls.entries["/d/sheet.jpg"] = {EntryKind::kLink, "link to /d/photo.jpg"};
  calls.entries["/d/folder.jpg"] = {EntryKind::kFolder, ""};
  calls.entries["/d/fifo.jpg"] = {EntryKind::kOther, ""};
  calls.entries["/d/.mosalith-42-1.tmp"] = {EntryKind::kFile, "left by a killed helper of the same id"};
  int error = 0;
  for (const auto& [name, expected] : std::map<std::string, int>{{"sheet.jpg", 0}, {"folder.jpg", EISDIR},
                                                                  {"fifo.jpg", EEXIST}}) {
    std::unique_ptr<PendingOutput> file = PendingOutput::Start(calls, "/d", ".mosalith-", 0666, &error);
    ASSERT_TRUE(file) << error;
    EXPECT_NE(file->temporary_path(), "/d/.mosalith-42-1.tmp");
    ASSERT_EQ(WriteText(*file, "new"), 0);
    EXPECT_EQ(file->Publish("/d/" + name, PublishMode::kReplace), expected) << name;
    EXPECT_EQ(file->Publish("/d/other.jpg", PublishMode::kReplace), EBADF) << "a file is published or gone";
  }
  EXPECT_EQ(calls.entries["/d/sheet.jpg"].kind, EntryKind::kFile);
  EXPECT_EQ(calls.entries["/d/sheet.jpg"].text, "new");
  EXPECT_EQ(calls.entries["/d/folder.jpg"].kind, EntryKind::kFolder);
  EXPECT_EQ(calls.entries["/d/fifo.jpg"].kind, EntryKind::kOther);
  EXPECT_EQ(calls.entries.size(), 4u);  // the three names and the older temporary file, nothing of ours
}

TEST(PendingOutputTest, AFullDiskAtTheFlushKeepsTheOlderFileAndDropsTheNewOne) {
  MemoryCalls calls;
  calls.entries["/d/sheet.jpg"] = {EntryKind::kFile, "old"};
  calls.sync_error = ENOSPC;
  int error = 0;
  std::unique_ptr<PendingOutput> file = PendingOutput::Start(calls, "/d", ".pictavera-", 0644, &error);
  ASSERT_TRUE(file);
  ASSERT_EQ(WriteText(*file, "new"), 0);
  EXPECT_EQ(file->Publish("/d/sheet.jpg", PublishMode::kReplace), ENOSPC);
  EXPECT_EQ(file->temporary_path(), "");
  EXPECT_EQ(calls.entries.size(), 1u);
  EXPECT_EQ(calls.entries["/d/sheet.jpg"].text, "old");
  EXPECT_EQ(WriteText(*file, "more"), EBADF);
}

TEST(PendingOutputTest, ATakenNameOrAnotherFolderKeepsTheFilePendingForTheNextName) {
  MemoryCalls calls;
  calls.windows = true;
  calls.entries["C:/bake/a.jpg"] = {EntryKind::kFile, "earlier bake"};
  int error = 0;
  std::unique_ptr<PendingOutput> file = PendingOutput::Start(calls, "C:\\bake\\", ".pictavera-", 0644, &error);
  ASSERT_TRUE(file);
  EXPECT_EQ(file->temporary_path().rfind("C:\\bake\\.pictavera-42-", 0), 0u) << file->temporary_path();
  ASSERT_EQ(WriteText(*file, "baked"), 0);
  EXPECT_EQ(file->Publish("C:/elsewhere/b.jpg", PublishMode::kNoReplace), EXDEV);
  EXPECT_EQ(file->Publish("C:/bake/a.jpg", PublishMode::kNoReplace), EEXIST);
  ASSERT_EQ(file->Publish("C:/bake\\b.jpg", PublishMode::kNoReplace), 0);
  EXPECT_EQ(calls.entries["C:/bake\\b.jpg"].text, "baked");
  EXPECT_EQ(calls.entries["C:/bake/a.jpg"].text, "earlier bake");
  EXPECT_EQ(calls.entries.size(), 2u);
}

TEST(PendingOutputTest, FoldersOfPathsKeepRootsAndDrives) {
  MemoryCalls posix;
  MemoryCalls windows;
  windows.windows = true;
  EXPECT_EQ(FolderOf(posix, "/sheet.jpg"), "/");
  EXPECT_EQ(FolderOf(posix, "/home/me/sheet.jpg"), "/home/me");
  EXPECT_EQ(FolderOf(posix, "sheet.jpg"), ".");
  EXPECT_EQ(FolderOf(posix, "a\\b.jpg"), ".");
  EXPECT_EQ(FolderOf(windows, "a\\b.jpg"), "a");
  EXPECT_EQ(FolderOf(windows, "C:\\sheet.jpg"), "C:\\");
  EXPECT_EQ(FolderOf(windows, "C:/photos/sheet.jpg"), "C:/photos");
  int error = 0;
  std::unique_ptr<PendingOutput> file = PendingOutput::Start(windows, "C:\\", ".mosalith-", 0666, &error);
  ASSERT_TRUE(file);
  EXPECT_EQ(file->Publish("C:/sheet.jpg", PublishMode::kReplace), 0);
  EXPECT_EQ(windows.entries.count("C:/sheet.jpg"), 1u);
  EXPECT_EQ(PendingOutput::Start(windows, "", ".mosalith-", 0666, &error), nullptr);
  EXPECT_EQ(error, ENOENT);
}

}  // namespace
}  // namespace imaging
