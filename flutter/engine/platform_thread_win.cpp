// The platform thread on Windows: a message loop over a message-only window.
//
// The thread creates the window (HWND_MESSAGE: never shown, receives only posted and sent messages) and
// runs GetMessage / DispatchMessage until the window is closed. Tasks queue in `queue_` and wake the
// loop with one kRunTasks message per burst (so a flood of tasks cannot fill the thread's message queue,
// which holds 10 000 messages). Shutdown posts kClose after refusing new work: the tasks already queued
// run first, then the loop ends.
// The thread is a single-threaded COM apartment, as the main window's thread is.
#include "flutter/engine/platform_thread.h"

#include <cstdio>
#include <mutex>
#include <string>

#include <objbase.h>
#include <windows.h>

#include "flutter/log.h"

namespace flutter::engine {
namespace {

constexpr UINT kRunTasks = WM_APP + 0x100;
constexpr UINT kClose = WM_APP + 0x101;
constexpr wchar_t kWindowClass[] = L"PICTAVERA_PLATFORM_THREAD";

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// The window class, registered once per process.
bool RegisterWindowClass() {
  static std::once_flag once;
  static bool registered = false;
  std::call_once(once, [] {
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = WindowProcedure;
    window_class.hInstance = ::GetModuleHandleW(nullptr);
    window_class.lpszClassName = kWindowClass;
    registered = ::RegisterClassExW(&window_class) != 0;
    if (!registered) LogLine("FATAL: cannot register the platform thread's window class: error " + std::to_string(::GetLastError()));
  });
  return registered;
}

}  // namespace

// The window procedure reaches the thread object through the window's user data; a friend in all but
// name, it calls back through this small bridge.
struct PlatformThreadWindow {
  static LRESULT Handle(PlatformThread& thread, HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == kRunTasks) {
      thread.RunQueuedTasks();
      return 0;
    }
    if (message == kClose) {
      thread.RunQueuedTasks();  // none can be added any more
      ::DestroyWindow(window);
      return 0;
    }
    if (message == WM_DESTROY) {
      ::PostQuitMessage(0);
      return 0;
    }
    return ::DefWindowProcW(window, message, wparam, lparam);
  }
};

namespace {

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* thread = reinterpret_cast<PlatformThread*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (thread == nullptr) return ::DefWindowProcW(window, message, wparam, lparam);
  return PlatformThreadWindow::Handle(*thread, window, message, wparam, lparam);
}

}  // namespace

PlatformThread::PlatformThread() {
  std::unique_lock lock(mutex_);
  thread_ = std::thread([this] { Run(); });
  thread_id_ = thread_.get_id();
  // Posting needs the window: wait until the thread has made it (or failed to).
  wake_.wait(lock, [this] { return window_ != nullptr || !accepting_; });
}

PlatformThread::~PlatformThread() { Shutdown(); }

bool PlatformThread::PostTask(Task task) {
  {
    std::lock_guard lock(mutex_);
    if (!accepting_) return false;
    if (!wake_posted_) {
      if (!::PostMessageW(static_cast<HWND>(window_), kRunTasks, 0, 0)) return false;
      wake_posted_ = true;
    }
    queue_.push_back(std::move(task));
  }
  // A modal dialog's own message loop runs the tasks anyway; a loop that asked to be woken is woken.
  WakeModalLoop();
  return true;
}

void PlatformThread::RunQueuedTasks() {
  for (;;) {
    std::deque<Task> tasks;
    {
      std::lock_guard lock(mutex_);
      wake_posted_ = false;
      tasks.swap(queue_);
    }
    if (tasks.empty()) return;
    for (const Task& task : tasks) RunGuarded(task);
  }
}

bool PlatformThread::RunsTasksOnCurrentThread() const { return std::this_thread::get_id() == thread_id_; }

void PlatformThread::Shutdown() {
  {
    std::lock_guard lock(mutex_);
    if (accepting_ && window_ != nullptr) ::PostMessageW(static_cast<HWND>(window_), kClose, 0, 0);
    accepting_ = false;
  }
  WakeModalLoop();
  if (RunsTasksOnCurrentThread()) {
    std::fputs("ERROR: platform thread asked to join itself; it stops after the current task\n", stderr);
    return;
  }
  if (thread_.joinable()) thread_.join();
}

void PlatformThread::Run() {
  MarkCurrentThread();
  const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  HWND window = nullptr;
  if (RegisterWindowClass()) {
    window = ::CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               ::GetModuleHandleW(nullptr), this);
    if (window == nullptr) LogLine("FATAL: cannot create the platform thread's window: error " + std::to_string(::GetLastError()));
  }
  {
    std::lock_guard lock(mutex_);
    window_ = window;
    if (window == nullptr) accepting_ = false;  // nothing can be posted: the thread refuses all work
  }
  wake_.notify_all();
  if (window != nullptr) {
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
  {
    std::lock_guard lock(mutex_);
    window_ = nullptr;
  }
  if (SUCCEEDED(com)) ::CoUninitialize();
}

}  // namespace flutter::engine
