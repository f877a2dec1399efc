// mosalith on Windows: the arguments arrive as UTF-16 and are handed on as UTF-8, the form every path
// takes inside the helper (see helper/file_open.h).
//
// Standard output and error are binary streams, so "OK" and the log lines end in a line feed as on
// Linux rather than in a carriage return and line feed: the application reads them through one pipe.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "base/utf8.h"
#include "helper/driver.h"

namespace {

// An unpaired surrogate has no UTF-8 form and becomes U+FFFD, as in the application's own conversion.
std::string Utf8(const wchar_t* wide) { return base::Utf16ToUtf8(std::u16string(wide, wide + std::wcslen(wide))); }

}  // namespace

int wmain(int argc, wchar_t** argv) {
  ::_setmode(::_fileno(stdout), _O_BINARY);
  ::_setmode(::_fileno(stderr), _O_BINARY);
  std::vector<std::string> arguments;
  for (int i = 0; i < argc; ++i) arguments.push_back(Utf8(argv[i]));
  std::vector<const char*> pointers;
  for (const std::string& argument : arguments) pointers.push_back(argument.c_str());
  pointers.push_back(nullptr);
  return mosalith::RunDriver(argc, pointers.data());
}
