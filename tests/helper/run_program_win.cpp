// RunProgram on Windows: CreateProcessW with UTF-16 arguments quoted as the C runtime splits them, and
// the output files as the child's standard handles.
#include "tests/helper/run_program.h"

#include <windows.h>

#include "tests/helper/test_images.h"
#include "tests/support/temp_folder.h"

namespace mosalith::testing {
namespace {

std::wstring Wide(const std::string& utf8) { return test_support::PathFromUtf8(utf8).wstring(); }

// One argument of a command line, written so that the C runtime's splitting gives it back unchanged:
// quoted when empty or holding blanks or quotes; backslashes doubled only before a quote.
std::wstring Quoted(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) return argument;
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted.push_back(c);
  }
  quoted.append(backslashes * 2, L'\\');
  quoted.push_back(L'"');
  return quoted;
}

// A handle the child inherits: `path` created for writing, or opened for reading.
HANDLE Inheritable(const std::wstring& path, bool write) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  return ::CreateFileW(path.c_str(), write ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       &inherit, write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

int RunProgram(const std::string& program, const std::vector<std::string>& arguments, const std::string& out_path,
               const std::string& err_path, int timeout_s) {
  const std::wstring application = Wide(program);
  std::wstring command_line = Quoted(application);
  for (const std::string& argument : arguments) command_line += L" " + Quoted(Wide(argument));

  const HANDLE input = Inheritable(L"NUL", false);
  const HANDLE output = Inheritable(Wide(out_path), true);
  const HANDLE error = Inheritable(Wide(err_path), true);
  int exit_code = -1;
  if (input != INVALID_HANDLE_VALUE && output != INVALID_HANDLE_VALUE && error != INVALID_HANDLE_VALUE) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = output;
    startup.hStdError = error;
    PROCESS_INFORMATION process{};
    if (::CreateProcessW(application.c_str(), command_line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                         nullptr, nullptr, &startup, &process)) {
      DWORD code = 0;
      if (::WaitForSingleObject(process.hProcess, static_cast<DWORD>(timeout_s) * 1000) == WAIT_TIMEOUT) {
        ::TerminateProcess(process.hProcess, kTimedOut);
        ::WaitForSingleObject(process.hProcess, INFINITE);
        exit_code = kTimedOut;
      } else if (::GetExitCodeProcess(process.hProcess, &code)) {
        exit_code = static_cast<int>(code);
      }
      ::CloseHandle(process.hThread);
      ::CloseHandle(process.hProcess);
    }
  }
  for (HANDLE handle : {input, output, error}) {
    if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
  }
  return exit_code;
}

}  // namespace mosalith::testing
