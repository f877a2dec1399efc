// RemoveOwnLeftovers: the helper's files still being written that a killed helper left behind.
//
// The helper writes each sheet under ".mosalith-<pid>-<n>.tmp" in the sheet's folder (file_open.h). A
// helper killed while writing leaves that file for good, so each run first removes, in the folders of the
// job it runs, the ones of helpers that no longer run and that belong to this user, with one line each.
// Files of a helper that still runs (another job writing into the same folder) are left alone.
#pragma once

#include <string>
#include <vector>

namespace mosalith {

// The distinct folders of `paths` (UTF-8 file paths; "." for a path without a folder).
std::vector<std::string> FoldersOf(const std::vector<std::string>& paths);

// Removes the leftovers in `folder` (see above); returns how many were removed. A folder that cannot be
// read removes nothing.
int RemoveOwnLeftovers(const std::string& folder);

}  // namespace mosalith
