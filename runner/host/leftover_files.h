// Leftover files: what a host that was killed leaves behind, found by the process id in the names and
// removed when the next host starts.
//
// Job files are "grid_config_<pid>_<n>.txt" in the temporary folder; files still being written (a job
// file, a sheet, a bake, an unfinished PDF of the built-in printer) are ".pictavera-<pid>-<n>.tmp" in
// their folder, and the helper's ".mosalith-<pid>-<n>.tmp". A running program deletes its own on every
// path, so such a file whose process no longer exists (and that belongs to this user) is of no use to
// anyone: it is removed, with one "INFO: " line each. The folders a host wrote into are found from its
// journal (runner/host/folder_journal.h). Files of a process that still runs (another host, or a process
// that took the same id) are left alone.
// Thread safety: re-entrant; the ports state their own.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace platform {
class FileSystem;
class ProcessRunner;
}  // namespace platform

namespace runner {

// The process id in a job file's name, or nothing when `name` is not one.
std::optional<int> JobFileOwner(std::string_view name);
// The process id in the name of a file still being written, or nothing when `name` is not one.
std::optional<int> TemporaryFileOwner(std::string_view name);

// The process id in either name.
std::optional<int> LeftoverOwner(std::string_view name);

// Removes the files of `folder` whose name `owner_of` reads a process id from, when that process no
// longer exists and is not `self_pid`. Returns how many were removed; a folder that cannot be read
// removes nothing.
int RemoveLeftovers(platform::FileSystem& files, const platform::ProcessRunner& processes, const std::string& folder,
                    const std::function<std::optional<int>(std::string_view)>& owner_of, int self_pid);

// Files still being written, in every folder a journal of a host that no longer runs lists (of either
// program); then those journals. Returns how many files were removed.
int CleanJournalledFolders(platform::FileSystem& files, const platform::ProcessRunner& processes,
                           const std::string& temp_folder, int self_pid);

// The journalled folders; job files and files still being written in the temporary folder; files still
// being written in `pdf_folder` (may be empty): the built-in printer's unfinished PDFs.
void RemoveLeftoverFiles(platform::FileSystem& files, const platform::ProcessRunner& processes,
                         const std::string& pdf_folder, int self_pid);

}  // namespace runner
