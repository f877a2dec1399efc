// WriteWhole on Windows: the C runtime descriptor's own handle, written with WriteFile, so the bytes go
// out as they are (no text-mode translation of line feeds) and each call is one write to the pipe or
// console.
#include <string_view>

#include <io.h>
#include <windows.h>

#include "flutter/log.h"

namespace flutter {

void WriteWhole(int fd, std::string_view text) {
  const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
  if (handle == INVALID_HANDLE_VALUE || handle == nullptr) return;  // no such stream; nowhere to report it
  const char* data = text.data();
  size_t left = text.size();
  while (left > 0) {
    const DWORD chunk = left > 0x40000000 ? 0x40000000 : static_cast<DWORD>(left);
    DWORD written = 0;
    if (!::WriteFile(handle, data, chunk, &written, nullptr) || written == 0) return;  // gone
    data += written;
    left -= written;
  }
}

}  // namespace flutter
