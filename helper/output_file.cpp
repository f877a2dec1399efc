// OutputFile: the core's pending file over this platform's calls, under the helper's temporary names.
#include "helper/output_file.h"

#include <string_view>

#include "helper/file_open.h"

namespace mosalith {
namespace {

// A killed helper's files still being written are found by this name and removed by the next run.
constexpr std::string_view kTemporaryPrefix = ".mosalith-";

}  // namespace

std::optional<OutputFile> OutputFile::Create(const std::string& utf8_path) {
  imaging::FileCalls& calls = SystemFileCalls();
  if (utf8_path.empty() || calls.IsSeparator(utf8_path.back())) return std::nullopt;
  int error = 0;
  std::unique_ptr<imaging::PendingOutput> file =
      imaging::PendingOutput::Start(calls, imaging::FolderOf(calls, utf8_path), kTemporaryPrefix, 0666, &error);
  if (!file) return std::nullopt;
  return OutputFile(utf8_path, std::move(file));
}

bool OutputFile::Write(const uint8_t* bytes, size_t size) { return file_ && file_->Write(bytes, size) == 0; }

bool OutputFile::Commit() {
  return file_ && file_->Publish(final_path_, imaging::PublishMode::kReplace) == 0;
}

}  // namespace mosalith
