// The file primitives every POSIX adapter uses: reading a whole file with a bound, writing all of a
// buffer, replacing a file atomically, making folders, and the user's home, configuration and cache
// folders. One copy of each, so that every reader refuses the same things and every writer follows the
// one rule of platform/file_system.h.
// Each function returns 0 or an errno value unless it says otherwise. Thread-safe (no shared state).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// Reads the whole regular file at `path` into `*out` (replacing its contents). Opened without blocking
// (a FIFO put in its place cannot hang the reader) and checked after opening: EINVAL for anything but a
// regular file, EFBIG (and `*out` empty) when it holds more than `max_bytes`.
int ReadWholeFile(const std::string& path, size_t max_bytes, std::string* out);
int ReadWholeFile(const std::string& path, size_t max_bytes, std::vector<uint8_t>* out);

// The same checks, but a longer file gives its first `max_bytes` bytes instead of EFBIG.
int ReadFileStart(const std::string& path, size_t max_bytes, std::string* out);
int ReadFileStart(const std::string& path, size_t max_bytes, std::vector<uint8_t>* out);

// Writes all `size` bytes to `fd`, retrying short writes and EINTR. EIO when the system writes nothing.
int WriteAll(int fd, const void* bytes, size_t size);

// Replaces the file `path` with `bytes` by the one rule (a new file beside it, written, flushed, renamed
// over it; a link at `path` is replaced, not written through). The folder must exist. On failure the
// older file stays as it was and no temporary file is left. `*started` (when given) says whether the new
// file could be made at all, which tells a folder that takes no files from a write that failed.
int ReplaceFileAtomically(const std::string& path, const void* bytes, size_t size, uint32_t mode,
                          bool* started = nullptr);

// Creates `folder` and every missing folder above it with `mode`. ENOTDIR when something other than a
// folder is in the way. An existing folder is success.
int MakeFolders(const std::string& folder, uint32_t mode = 0700);

// The user's home folder: `home` (the HOME variable) when it is an absolute path, else the password
// database's entry for the effective user; nothing when neither gives an absolute path.
std::optional<std::string> HomeFolder(const char* home);

// The configuration folder: `xdg_config_home` when it is an absolute path, else <home>/.config.
std::optional<std::string> ConfigFolder(const char* xdg_config_home, const char* home);

// The cache folder: `xdg_cache_home` when it is an absolute path, else <home>/.cache.
std::optional<std::string> CacheFolder(const char* xdg_cache_home, const char* home);

// The documents folder: `xdg_documents_dir` when it is an absolute path, else the last
// XDG_DOCUMENTS_DIR="..." line of the desktop's user-dirs file (<config>/user-dirs.dirs, "$HOME/..."
// expanded) naming an absolute path, else <home>/Documents.
std::optional<std::string> DocumentsFolder(const char* xdg_documents_dir, const char* xdg_config_home,
                                           const char* home);

// The same four from this process's environment (HOME, XDG_CONFIG_HOME, XDG_CACHE_HOME, XDG_DOCUMENTS_DIR).
std::optional<std::string> HomeFolder();
std::optional<std::string> ConfigFolder();
std::optional<std::string> CacheFolder();
std::optional<std::string> DocumentsFolder();

}  // namespace platform
