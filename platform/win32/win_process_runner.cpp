// WinProcessRunner: CreateProcessW with an explicit handle list, PeekNamedPipe to drain every 100 ms.
#include "platform/win32/win_process_runner.h"

#include "platform/win32/windows_api.h"

#include <memory>

#include "platform/win32/wide_text.h"
#include "platform/win32/win_file_calls.h"

namespace platform {
namespace {

constexpr DWORD kDrainIntervalMs = 100;
// While output flows, the pipe is looked at again sooner, so that a chatty child is not held up.
constexpr DWORD kBusyDrainIntervalMs = 5;
// Room for what a chatty child writes between two drains.
constexpr DWORD kPipeBytes = 1 << 16;
constexpr unsigned kTerminateExitCode = 128 + 15;
constexpr unsigned kKillExitCode = 128 + 9;

struct HandleCloser {
  void operator()(void* handle) const {
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
  }
};
using Handle = std::unique_ptr<void, HandleCloser>;

void AppendQuoted(std::wstring& line, const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    line += argument;
    return;
  }
  line += L'"';
  size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    // Backslashes count as escapes only before a quote: double them there, keep them elsewhere.
    line.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    line += c;
  }
  line.append(backslashes * 2, L'\\');  // before the closing quote
  line += L'"';
}

// Reads what the pipe holds now. False once it is at its end (every writer closed) or broken.
bool ReadAvailable(HANDLE pipe, std::string& output) {
  for (;;) {
    DWORD available = 0;
    if (!::PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) return false;
    if (available == 0) return true;
    char chunk[4096];
    DWORD got = 0;
    const DWORD want = available < sizeof chunk ? available : static_cast<DWORD>(sizeof chunk);
    if (!::ReadFile(pipe, chunk, want, &got, nullptr)) return false;
    output.append(chunk, got);
  }
}

// A child started suspended in a job object of its own, and the read end of its joined output.
struct SuspendedChild {
  Handle read_end;
  Handle job;
  Handle process;
  Handle thread;
  DWORD pid = 0;
};

// Starts `program` suspended (until it is in its job object, so nothing it starts escapes the job),
// hidden, inheriting only the null device as its input and the pipe's write end as its output and error.
// False with `*error` set to the system's error number when it cannot be started.
bool StartSuspended(const std::wstring& program, std::wstring& command_line, SuspendedChild* started,
                    DWORD* error) {
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE read_raw = nullptr;
  HANDLE write_raw = nullptr;
  if (!::CreatePipe(&read_raw, &write_raw, &inheritable, kPipeBytes)) {
    *error = ::GetLastError();
    return false;
  }
  started->read_end.reset(read_raw);
  Handle write_end(write_raw);  // closed on return: the child's copy is then the only writer left
  ::SetHandleInformation(read_raw, HANDLE_FLAG_INHERIT, 0);
  Handle null_input(::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                                  OPEN_EXISTING, 0, nullptr));
  started->job.reset(::CreateJobObjectW(nullptr, nullptr));
  if (null_input.get() == INVALID_HANDLE_VALUE || !started->job) {
    *error = ::GetLastError();
    return false;
  }
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  // A job object whose last handle closes takes its processes with it: the child never outlives a
  // runner that stopped watching it.
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  ::SetInformationJobObject(started->job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits);

  // Only these two handles are inherited, so concurrent children never hold each other's pipes.
  HANDLE inherited[2] = {null_input.get(), write_end.get()};
  SIZE_T list_bytes = 0;
  ::InitializeProcThreadAttributeList(nullptr, 1, 0, &list_bytes);
  std::vector<unsigned char> list_storage(list_bytes);
  auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(list_storage.data());
  if (!::InitializeProcThreadAttributeList(list, 1, 0, &list_bytes) ||
      !::UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited, sizeof inherited, nullptr,
                                   nullptr)) {
    *error = ::GetLastError();
    return false;
  }
  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
  startup.StartupInfo.wShowWindow = SW_HIDE;
  startup.StartupInfo.hStdInput = null_input.get();
  startup.StartupInfo.hStdOutput = write_end.get();
  startup.StartupInfo.hStdError = write_end.get();
  startup.lpAttributeList = list;

  PROCESS_INFORMATION process{};
  const BOOL created = ::CreateProcessW(
      program.c_str(), command_line.data(), nullptr, nullptr, TRUE,
      CREATE_NO_WINDOW | CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT | EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr,
      &startup.StartupInfo, &process);
  const DWORD create_error = ::GetLastError();
  ::DeleteProcThreadAttributeList(list);
  if (!created) {
    *error = create_error;
    return false;
  }
  started->process.reset(process.hProcess);
  started->thread.reset(process.hThread);
  started->pid = process.dwProcessId;
  return true;
}

}  // namespace

std::wstring CommandLineOf(const std::wstring& program, const std::vector<std::wstring>& arguments) {
  std::wstring line;
  AppendQuoted(line, program);
  for (const std::wstring& argument : arguments) {
    line += L' ';
    AppendQuoted(line, argument);
  }
  return line;
}

ProcessOutcome WinProcessRunner::Run(const std::string& program, const std::vector<std::string>& arguments) {
  ProcessOutcome outcome;
  std::optional<std::wstring> wide_program = win32::SystemPath(program);
  std::vector<std::wstring> wide_arguments;
  for (const std::string& argument : arguments) {
    std::optional<std::wstring> wide = win32::Widen(argument);
    if (!wide) wide_program.reset();
    wide_arguments.push_back(wide.value_or(L""));
  }
  if (!wide_program || wide_program->empty()) {
    outcome.start = FileStatusFromWin32(ERROR_INVALID_PARAMETER, program);
    return outcome;
  }
  std::wstring command_line = CommandLineOf(*wide_program, wide_arguments);
  SuspendedChild child;
  DWORD error = 0;
  if (!StartSuspended(*wide_program, command_line, &child, &error)) {
    outcome.start = FileStatusFromWin32(error, program);
    return outcome;
  }
  ::AssignProcessToJobObject(child.job.get(), child.process.get());
  {
    std::lock_guard lock(mutex_);
    jobs_[child.pid] = {child.job.get(), child.process.get()};
  }
  ::ResumeThread(child.thread.get());
  outcome.start = base::Status::Ok();
  DrainUntilEnded(child.process.get(), child.read_end.get(), outcome);
  {
    std::lock_guard lock(mutex_);
    jobs_.erase(child.pid);
  }
  return outcome;
}

void WinProcessRunner::DrainUntilEnded(void* child, void* read_end, ProcessOutcome& outcome) {
  bool pipe_open = true;
  bool flowing = false;
  for (;;) {
    const DWORD interval = !pipe_open ? INFINITE : flowing ? kBusyDrainIntervalMs : kDrainIntervalMs;
    const DWORD waited = ::WaitForSingleObject(child, interval);
    if (pipe_open) {
      const size_t before = outcome.output.size();
      pipe_open = ReadAvailable(read_end, outcome.output);
      flowing = outcome.output.size() > before;
      output_bytes_ += outcome.output.size() - before;
    }
    if (waited == WAIT_TIMEOUT) continue;
    DWORD exit_code = 1;
    if (waited != WAIT_OBJECT_0 || !::GetExitCodeProcess(child, &exit_code)) {
      outcome.wait_failed = true;
      exit_code = 1;
    }
    // What the child wrote before it ended is in the pipe now; a grandchild still holding the pipe must
    // not hold up the job, so the drain stops once the pipe is empty.
    if (pipe_open) {
      const size_t before = outcome.output.size();
      ReadAvailable(read_end, outcome.output);
      output_bytes_ += outcome.output.size() - before;
    }
    outcome.exit_code = static_cast<int>(exit_code);
    return;
  }
}

void WinProcessRunner::EndAll(unsigned exit_code) const {
  std::lock_guard lock(mutex_);
  for (const auto& [pid, handles] : jobs_) {
    ::TerminateJobObject(handles.first, exit_code);
    ::TerminateProcess(handles.second, exit_code);
  }
}

void WinProcessRunner::TerminateAll() { EndAll(kTerminateExitCode); }

void WinProcessRunner::KillAll() { EndAll(kKillExitCode); }

size_t WinProcessRunner::running() const {
  std::lock_guard lock(mutex_);
  return jobs_.size();
}

bool WinProcessRunner::ProcessExists(int pid) const {
  if (pid <= 0) return false;
  const Handle process(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid)));
  // Access denied: it exists, as another user's process.
  if (!process) return ::GetLastError() == ERROR_ACCESS_DENIED;
  return ::WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
}

}  // namespace platform
