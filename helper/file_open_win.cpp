// OpenFile, OutputFile and IdentifyFile on Windows: UTF-8 names become UTF-16 here; only files on disk
// are opened.
#include "helper/file_open.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <atomic>
#include <cstring>
#include <new>
#include <utility>

#include "base/utf8.h"

namespace mosalith {
namespace {

// The UTF-16 form of `utf8`, or empty when it is empty, not valid UTF-8 or holds a NUL (which would cut
// the name short and open another file).
std::wstring WidePath(const std::string& utf8) {
  const std::optional<std::u16string> name = base::SystemName(utf8);
  if (!name) return {};
  return std::wstring(name->begin(), name->end());
}

}  // namespace

FilePtr OpenFile(const std::string& utf8_path, const char* mode) {
  const std::wstring path = WidePath(utf8_path);
  if (path.empty()) return nullptr;
  // "N": not inherited by child processes, as O_CLOEXEC on POSIX.
  std::wstring wide_mode(mode, mode + std::strlen(mode));
  wide_mode.push_back(L'N');
  FilePtr file(::_wfopen(path.c_str(), wide_mode.c_str()));
  if (!file) return nullptr;
  // A named pipe, the console or another device is refused: reading a pipe whose other end never writes
  // would block the helper for ever. Opening one does not block, so the check is made on what was opened.
  // Folders cannot be opened this way at all.
  const HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(file.get())));
  if (handle == INVALID_HANDLE_VALUE || ::GetFileType(handle) != FILE_TYPE_DISK) return nullptr;
  return file;
}

bool ReadWholeFile(const std::string& utf8_path, std::vector<uint8_t>& bytes, int64_t max_bytes) {
  FilePtr file = OpenFile(utf8_path, "rb");
  if (!file) return false;
  const int64_t size = ::_filelengthi64(::_fileno(file.get()));
  if (size < 0 || size > max_bytes) return false;
  try {
    bytes.resize(static_cast<size_t>(size));
  } catch (const std::bad_alloc&) {
    return false;
  }
  // A file that grew since its length was taken is read as it was then.
  return std::fread(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
}

std::optional<OutputFile> OutputFile::Create(const std::string& utf8_path) {
  static std::atomic<unsigned long> counter{0};
  const size_t slash = utf8_path.find_last_of("/\\");
  if (utf8_path.empty() || WidePath(utf8_path).empty() || slash + 1 == utf8_path.size()) return std::nullopt;
  const std::string folder = slash == std::string::npos ? "." : utf8_path.substr(0, slash + 1);
  const std::string separator = slash == std::string::npos ? "\\" : "";
  for (int attempt = 0; attempt < 16; ++attempt) {
    const std::string temporary = folder + separator + ".mosalith-" + std::to_string(::GetCurrentProcessId()) +
                                  "-" + std::to_string(counter.fetch_add(1) + 1) + ".tmp";
    // CREATE_NEW: never an existing file, and never through a link left at the name.
    const HANDLE handle = ::CreateFileW(WidePath(temporary).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      if (::GetLastError() == ERROR_FILE_EXISTS) continue;  // left by a process that had the same id
      return std::nullopt;
    }
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
    if (fd < 0) {
      ::CloseHandle(handle);
      ::DeleteFileW(WidePath(temporary).c_str());
      return std::nullopt;
    }
    std::FILE* file = ::_fdopen(fd, "wb");
    if (file == nullptr) {
      ::_close(fd);
      ::DeleteFileW(WidePath(temporary).c_str());
      return std::nullopt;
    }
    return OutputFile(utf8_path, temporary, FilePtr(file));
  }
  return std::nullopt;
}

OutputFile::~OutputFile() {
  file_.reset();
  if (!temporary_path_.empty()) ::DeleteFileW(WidePath(temporary_path_).c_str());
}

bool OutputFile::Commit() {
  if (!file_ || temporary_path_.empty()) return false;
  // A full disk can show only at the flush or the close.
  const HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(file_.get())));
  bool ok = std::fflush(file_.get()) == 0 && std::ferror(file_.get()) == 0 && ::FlushFileBuffers(handle) != 0;
  ok = std::fclose(file_.release()) == 0 && ok;
  // Only a file (or a link, itself replaced) is replaced: a folder or a device at the name is refused.
  const std::wstring final_path = WidePath(final_path_);
  const DWORD existing = ::GetFileAttributesW(final_path.c_str());
  if (ok && existing != INVALID_FILE_ATTRIBUTES) {
    ok = (existing & FILE_ATTRIBUTE_DIRECTORY) == 0 && (existing & FILE_ATTRIBUTE_DEVICE) == 0;
  }
  ok = ok && ::MoveFileExW(WidePath(temporary_path_).c_str(), final_path.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  if (ok) temporary_path_.clear();
  return ok;  // the destructor removes the temporary file after a failure
}

std::optional<FileId> IdentifyFile(const std::string& utf8_path) {
  const std::wstring path = WidePath(utf8_path);
  if (path.empty()) return std::nullopt;
  // Links are followed (no FILE_FLAG_OPEN_REPARSE_POINT); folders need backup semantics to be opened.
  const HANDLE handle = ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info{};
  const bool found = ::GetFileInformationByHandle(handle, &info) != 0;
  ::CloseHandle(handle);
  if (!found) return std::nullopt;
  return FileId{info.dwVolumeSerialNumber,
                (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

}  // namespace mosalith
