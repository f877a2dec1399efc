// The program's arguments on Windows: the UTF-16 command line, split and converted to UTF-8.
#include "runner/host/program_arguments.h"

#include <windows.h>
#include <shellapi.h>

namespace runner {
namespace {

std::string ToUtf8(const wchar_t* text) {
  const int units = ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, -1, nullptr, 0, nullptr, nullptr);
  if (units <= 1) return std::string();  // empty, or not valid UTF-16
  std::string utf8(static_cast<size_t>(units), '\0');
  ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, -1, utf8.data(), units, nullptr, nullptr);
  utf8.pop_back();  // the terminating NUL
  return utf8;
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
