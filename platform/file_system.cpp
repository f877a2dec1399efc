// The FileSystem port's whole-file writes, built once on PendingFile for every adapter.
#include "platform/file_system.h"

#include <cerrno>

namespace platform {
namespace {

int WriteByRule(FileSystem& files, const std::string& path, const std::vector<uint8_t>& bytes, uint32_t mode,
                PublishMode publish) {
  if (path.empty() || path.back() == '/') return ENOENT;
  int error = 0;
  std::unique_ptr<PendingFile> file = files.StartFile(FolderOfPath(path), mode, &error);
  if (!file) return error != 0 ? error : EIO;
  if ((error = file->Write(bytes.data(), bytes.size())) != 0) return error;
  return file->Publish(path, publish);  // the temporary file goes with `file` unless published
}

}  // namespace

std::string FolderOfPath(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

int FileSystem::WriteFile(const std::string& path, const std::vector<uint8_t>& bytes, uint32_t mode) {
  return WriteByRule(*this, path, bytes, mode, PublishMode::kReplace);
}

int FileSystem::WriteNewFile(const std::string& path, const std::vector<uint8_t>& bytes, uint32_t mode) {
  return WriteByRule(*this, path, bytes, mode, PublishMode::kNoReplace);
}

}  // namespace platform
