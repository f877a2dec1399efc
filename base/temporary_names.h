// The names of files still being written: ".<program>-<pid>-<n>.tmp" in their destination folder
// (".pictavera-" for the host, ".mosalith-" for the helper), so that what a killed process left can be
// told by the process id in its name and removed once that process no longer runs.
// Pure functions, thread-safe.
#pragma once

#include <optional>
#include <string_view>

namespace base {

inline constexpr std::string_view kHostTemporaryPrefix = ".pictavera-";
inline constexpr std::string_view kHelperTemporaryPrefix = ".mosalith-";

// The process id in `name` when it is "<prefix><pid>-<n>.tmp" (pid and n decimal, pid above 0 and
// without a leading zero); nothing otherwise.
std::optional<int> TemporaryFileOwner(std::string_view name, std::string_view prefix);

// A positive decimal process id written whole, without a leading zero; nothing otherwise.
std::optional<int> ProcessIdText(std::string_view digits);

}  // namespace base
