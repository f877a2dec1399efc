// The FileSystem port's whole-file writes, built once on PendingFile for every adapter.
#include "platform/file_system.h"

#include <cerrno>
#include <string_view>

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
  explicit RulePendingFile(std::unique_ptr<imaging::PendingOutput> file) : file_(std::move(file)) {}
  int Write(const uint8_t* bytes, size_t size) override { return file_->Write(bytes, size); }
  int Publish(const std::string& path, PublishMode mode) override { return file_->Publish(path, mode); }

 private:
  std::unique_ptr<imaging::PendingOutput> file_;
};

int WriteByRule(FileSystem& files, const std::string& path, const std::vector<uint8_t>& bytes, uint32_t mode,
                PublishMode publish) {
  if (path.empty() || std::string_view(kSeparators).find(path.back()) != std::string_view::npos) return ENOENT;
  int error = 0;
  std::unique_ptr<PendingFile> file = files.StartFile(FolderOfPath(path), mode, &error);
  if (!file) return error != 0 ? error : EIO;
  if ((error = file->Write(bytes.data(), bytes.size())) != 0) return error;
  return file->Publish(path, publish);  // the temporary file goes with `file` unless published
}

}  // namespace

std::unique_ptr<PendingFile> StartFileByRule(imaging::FileCalls& calls, const std::string& folder, uint32_t mode,
                                             int* error) {
  std::unique_ptr<imaging::PendingOutput> file =
      imaging::PendingOutput::Start(calls, folder, kTemporaryPrefix, mode, error);
  if (!file) return nullptr;
  return std::make_unique<RulePendingFile>(std::move(file));
}

std::string FolderOfPath(const std::string& path) {
  const size_t slash = path.find_last_of(kSeparators);
  if (slash == std::string::npos) return ".";
  return path.substr(0, slash == 0 ? 1 : slash);
}

int FileSystem::WriteFile(const std::string& path, const std::vector<uint8_t>& bytes, uint32_t mode) {
  return WriteByRule(*this, path, bytes, mode, PublishMode::kReplace);
}

int FileSystem::WriteNewFile(const std::string& path, const std::vector<uint8_t>& bytes, uint32_t mode) {
  return WriteByRule(*this, path, bytes, mode, PublishMode::kNoReplace);
}

}  // namespace platform
