// The FileSystem port's whole-file writes, built once on PendingFile for every adapter, and the pending
// file by the image core's rule with its failures as kinds.
#include "platform/file_system.h"

#include <string_view>

#include "imaging/output/file_status.h"

namespace platform {
namespace {

// The host's files still being written: the next host removes those of a host that was killed
// (runner/host/leftover_files.h reads the same names).
constexpr std::string_view kTemporaryPrefix = ".pictavera-";

// The characters that end a folder's name in a path: Windows takes '\' as well as '/'.
#ifdef _WIN32
constexpr char kSeparators[] = "/\\";
#else
constexpr char kSeparators[] = "/";
#endif

class RulePendingFile : public PendingFile {
 public:
  explicit RulePendingFile(std::unique_ptr<imaging::PendingOutput> file)
      : file_(std::move(file)), temporary_(file_->temporary_path()) {}

  // A failed write's message names the temporary file, which the core forgets as it removes it.
  base::Status Write(const uint8_t* bytes, size_t size) override {
    return imaging::FileStatus(file_->Write(bytes, size), temporary_);
  }
  base::Status Publish(const std::string& path, PublishMode mode) override {
    return imaging::FileStatus(file_->Publish(path, mode), path);
  }

 private:
  std::unique_ptr<imaging::PendingOutput> file_;
  const std::string temporary_;
};

base::Status WriteByRule(FileSystem& files, const std::string& path, const std::vector<uint8_t>& bytes, uint32_t mode,
                         PublishMode publish) {
  if (path.empty() || std::string_view(kSeparators).find(path.back()) != std::string_view::npos) {
    return base::Status::NotFound(path + ": no file name");
  }
  base::StatusOr<std::unique_ptr<PendingFile>> file = files.StartFile(FolderOfPath(path), mode);
  if (!file.ok()) return file.status();
  if (base::Status written = (*file)->Write(bytes.data(), bytes.size()); !written.ok()) {
    return written.WithContext(path);
  }
  return (*file)->Publish(path, publish);  // the temporary file goes with `file` unless published
}

}  // namespace

base::StatusOr<std::unique_ptr<PendingFile>> StartFileByRule(imaging::FileCalls& calls, const std::string& folder,
                                                             uint32_t mode) {
  int error = 0;
  std::unique_ptr<imaging::PendingOutput> file =
      imaging::PendingOutput::Start(calls, folder, kTemporaryPrefix, mode, &error);
  if (!file) return imaging::FileStatus(error, folder);
  return std::unique_ptr<PendingFile>(std::make_unique<RulePendingFile>(std::move(file)));
}

std::string FolderOfPath(const std::string& path) {
  const size_t slash = path.find_last_of(kSeparators);
  if (slash == std::string::npos) return ".";
  return path.substr(0, slash == 0 ? 1 : slash);
}

base::Status FileSystem::WriteFile(const std::string& path, const std::vector<uint8_t>& bytes, uint32_t mode) {
  return WriteByRule(*this, path, bytes, mode, PublishMode::kReplace);
}

base::Status FileSystem::WriteNewFile(const std::string& path, const std::vector<uint8_t>& bytes, uint32_t mode) {
  return WriteByRule(*this, path, bytes, mode, PublishMode::kNoReplace);
}

}  // namespace platform
