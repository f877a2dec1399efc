// The process-wide streams and stop events of the host on Windows: a console control handler stands for
// SIGTERM and SIGINT, standard output is kept apart for frames and answers in binary.
#include "runner/host/process_streams.h"

#include <cstdio>
#include <iostream>
#include <mutex>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace runner {
namespace {

// How long the handler holds back the end the system imposes after a console closes (it ends the process
// about 5 s after the event), so the host can write its last answers.
constexpr DWORD kCloseGraceMs = 4500;

std::mutex g_mutex;
const flutter::engine::StopSignal* g_stop = nullptr;  // guarded by g_mutex; null when no loop runs
HANDLE g_host_ended = nullptr;                         // guarded by g_mutex; set once the guard goes

BOOL WINAPI OnConsoleEvent(DWORD event) {
  HANDLE ended = nullptr;
  {
    std::lock_guard lock(g_mutex);
    if (g_stop == nullptr) return FALSE;  // the default: the process ends
    g_stop->Notify();
    ended = g_host_ended;
  }
  // The handler runs on a thread of its own; for the console closing, logging off or shutting down, the
  // process ends as soon as it returns, so it waits for the host to finish first.
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
    ::WaitForSingleObject(ended, kCloseGraceMs);
  }
  return TRUE;
}

}  // namespace

struct StopSignalScope::Saved {
  HANDLE host_ended = nullptr;
};

StopSignalScope::StopSignalScope(const flutter::engine::StopSignal& stop) : saved_(std::make_unique<Saved>()) {
  saved_->host_ended = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  {
    std::lock_guard lock(g_mutex);
    g_stop = &stop;
    g_host_ended = saved_->host_ended;
  }
  ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

StopSignalScope::~StopSignalScope() {
  ::SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
  {
    std::lock_guard lock(g_mutex);
    g_stop = nullptr;
    g_host_ended = nullptr;
  }
  if (saved_->host_ended != nullptr) {
    ::SetEvent(saved_->host_ended);
    // A handler may still be waiting on it: the event lives as long as the process.
  }
}

void MarkDescriptorsCloseOnExec() {
  // A started program inherits only inheritable handles, and the process runner hands its program the
  // handles it names; the host's own standard handles are made uninheritable so that none slips through.
  for (const DWORD which : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
    const HANDLE handle = ::GetStdHandle(which);
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) ::SetHandleInformation(handle, HANDLE_FLAG_INHERIT, 0);
  }
}

StandardOutputAside::StandardOutputAside() {
  std::fflush(stdout);
  std::cout.flush();
  const auto out = reinterpret_cast<HANDLE>(::_get_osfhandle(1));
  HANDLE copy = nullptr;
  if (out == INVALID_HANDLE_VALUE || out == nullptr ||
      !::DuplicateHandle(::GetCurrentProcess(), out, ::GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
    return;
  }
  private_fd_ = ::_open_osfhandle(reinterpret_cast<intptr_t>(copy), _O_BINARY | _O_WRONLY);
  if (private_fd_ < 0) {
    ::CloseHandle(copy);
    return;
  }
  ::_dup2(2, 1);
  ::SetStdHandle(STD_OUTPUT_HANDLE, reinterpret_cast<HANDLE>(::_get_osfhandle(1)));
}

StandardOutputAside::~StandardOutputAside() {
  std::fflush(stdout);
  std::cout.flush();
  if (private_fd_ < 0) return;
  ::_dup2(private_fd_, 1);
  ::SetStdHandle(STD_OUTPUT_HANDLE, reinterpret_cast<HANDLE>(::_get_osfhandle(1)));
  ::_close(private_fd_);
}

int StandardOutputAside::private_fd() const { return private_fd_ >= 0 ? private_fd_ : 1; }

}  // namespace runner
