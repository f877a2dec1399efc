// Temporary file names: the process id they hold.
#include "base/temporary_names.h"

#include <charconv>

namespace base {
namespace {

constexpr std::string_view kTemporarySuffix = ".tmp";

bool AllDigits(std::string_view text) {
  if (text.empty()) return false;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

}  // namespace

std::optional<int> ProcessIdText(std::string_view digits) {
  int pid = 0;
  if (digits.empty() || digits.front() == '0') return std::nullopt;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), pid);
  if (error != std::errc() || end != digits.data() + digits.size() || pid <= 0) return std::nullopt;
  return pid;
}

std::optional<int> TemporaryFileOwner(std::string_view name, std::string_view prefix) {
  if (!name.starts_with(prefix) || !name.ends_with(kTemporarySuffix)) return std::nullopt;
  const std::string_view middle = name.substr(prefix.size(), name.size() - prefix.size() - kTemporarySuffix.size());
  const size_t dash = middle.find('-');
  if (dash == std::string_view::npos || !AllDigits(middle.substr(dash + 1))) return std::nullopt;
  return ProcessIdText(middle.substr(0, dash));
}

}  // namespace base
