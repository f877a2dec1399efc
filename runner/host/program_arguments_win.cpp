// The program's arguments on Windows: the UTF-16 command line, split and converted to UTF-8.
#include "runner/host/program_arguments.h"

#include <windows.h>
#include <shellapi.h>

#include <cwchar>

#include "base/utf8.h"

namespace runner {
namespace {

// An argument that is not valid UTF-16 cannot be converted and becomes "".
std::string ToUtf8(const wchar_t* text) {
  const std::u16string units(text, text + std::wcslen(text));
  return base::IsValidUtf16(units) ? base::Utf16ToUtf8(units) : std::string();
}

}  // namespace

std::vector<std::string> ProgramArguments(int, char**) {
  int count = 0;
  wchar_t** arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  std::vector<std::string> utf8;
  if (arguments == nullptr) return utf8;
  for (int i = 1; i < count; ++i) utf8.push_back(ToUtf8(arguments[i]));
  ::LocalFree(arguments);
  return utf8;
}

}  // namespace runner
