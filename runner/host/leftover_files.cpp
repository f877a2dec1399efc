// Leftover files: names read, owners looked up, files removed.
#include "runner/host/leftover_files.h"

#include <charconv>

#include "platform/file_system.h"
#include "platform/process_runner.h"
#include "runner/log.h"

namespace runner {
namespace {

constexpr std::string_view kJobPrefix = "grid_config_";
constexpr std::string_view kJobSuffix = ".txt";
constexpr std::string_view kTemporaryPrefix = ".pictavera-";
constexpr std::string_view kTemporarySuffix = ".tmp";

// `digits` read whole as a positive decimal process id.
std::optional<int> Pid(std::string_view digits) {
  int pid = 0;
  if (digits.empty() || digits.front() == '0') return std::nullopt;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), pid);
  if (error != std::errc() || end != digits.data() + digits.size() || pid <= 0) return std::nullopt;
  return pid;
}

bool AllDigits(std::string_view text) {
  if (text.empty()) return false;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

}  // namespace

std::optional<int> JobFileOwner(std::string_view name) {
  if (!name.starts_with(kJobPrefix) || !name.ends_with(kJobSuffix)) return std::nullopt;
  std::string_view middle = name.substr(kJobPrefix.size(), name.size() - kJobPrefix.size() - kJobSuffix.size());
  const size_t underscore = middle.find('_');
  if (underscore == std::string_view::npos || !AllDigits(middle.substr(underscore + 1))) return std::nullopt;
  return Pid(middle.substr(0, underscore));
}

std::optional<int> TemporaryFileOwner(std::string_view name) {
  if (!name.starts_with(kTemporaryPrefix) || !name.ends_with(kTemporarySuffix)) return std::nullopt;
  const std::string_view middle =
      name.substr(kTemporaryPrefix.size(), name.size() - kTemporaryPrefix.size() - kTemporarySuffix.size());
  const size_t dash = middle.find('-');
  if (dash == std::string_view::npos || !AllDigits(middle.substr(dash + 1))) return std::nullopt;
  return Pid(middle.substr(0, dash));
}

std::optional<int> LeftoverOwner(std::string_view name) {
  if (std::optional<int> owner = JobFileOwner(name)) return owner;
  return TemporaryFileOwner(name);
}

int RemoveLeftovers(platform::FileSystem& files, const platform::ProcessRunner& processes, const std::string& folder,
                    const std::function<std::optional<int>(std::string_view)>& owner_of, int self_pid) {
  int error = 0;
  const std::optional<std::vector<std::string>> names = files.OwnFiles(folder, &error);
  if (!names) return 0;
  int removed = 0;
  for (const std::string& name : *names) {
    const std::optional<int> owner = owner_of(name);
    if (!owner || *owner == self_pid || processes.ProcessExists(*owner)) continue;
    const std::string path = folder + "/" + name;
    if (files.RemoveFile(path) == 0) {
      LogLine("INFO: Removed " + path + ", left by process " + std::to_string(*owner) + " that no longer runs");
      ++removed;
    }
  }
  return removed;
}

void RemoveLeftoverFiles(platform::FileSystem& files, const platform::ProcessRunner& processes,
                         const std::string& pdf_folder, int self_pid) {
  int error = 0;
  if (const std::optional<std::string> temp = files.TempFolder(&error)) {
    RemoveLeftovers(files, processes, *temp, LeftoverOwner, self_pid);
  }
  if (!pdf_folder.empty()) RemoveLeftovers(files, processes, pdf_folder, TemporaryFileOwner, self_pid);
}

}  // namespace runner
