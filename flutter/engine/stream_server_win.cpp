// WinStreamServer: standard input and output moved by a reader thread and a writer thread.
#include "flutter/engine/stream_server_win.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <io.h>
#include <windows.h>

namespace flutter::engine {

using Clock = std::chrono::steady_clock;

namespace {

constexpr size_t kReadChunkBytes = 64 * 1024;
// One blocking write at most this long, so a client that takes its replies slowly shows progress.
constexpr size_t kWriteChunkBytes = 64 * 1024;
// How often Drain looks again while the writer works.
constexpr DWORD kDrainLookMs = 50;

enum class Input { kOpen, kEnded, kFailed };

std::string WindowsError(DWORD error) { return "Windows error " + std::to_string(error); }

DWORD MillisecondsUntil(Clock::time_point at, Clock::time_point now) {
  if (at == Clock::time_point::max()) return INFINITE;
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(at - now).count();
  return static_cast<DWORD>(std::clamp<decltype(ms)>(ms, 0, 60'000));
}

}  // namespace

struct WinStreamServer::State {
  explicit State(TransportLimits limits)
      : shared(std::make_shared<TransportShared>(limits)),
        connection(std::make_shared<Connection>("standard input", shared)) {}

  const std::shared_ptr<TransportShared> shared;  // its wake-up wakes the serve loop
  const std::shared_ptr<Connection> connection;
  HANDLE in = INVALID_HANDLE_VALUE;
  HANDLE out = INVALID_HANDLE_VALUE;

  std::mutex mutex;
  std::condition_variable changed;  // the reader and the writer wait on it
  bool stopping = false;            // the server is gone: both threads end when they next look
  bool read_wanted = false;         // the loop asks the reader for one more chunk
  bool write_wanted = false;        // the loop asks the writer to write what the connection holds
  std::vector<uint8_t> chunk;
  bool chunk_ready = false;
  Input input = Input::kOpen;
  DWORD input_error = 0;
};

namespace {

using State = WinStreamServer::State;

void ReadLoop(std::shared_ptr<State> state) {
  std::vector<uint8_t> buffer(kReadChunkBytes);
  for (;;) {
    {
      std::unique_lock lock(state->mutex);
      state->changed.wait(lock, [&] { return state->read_wanted || state->stopping; });
      if (state->stopping) return;
      state->read_wanted = false;
    }
    DWORD got = 0;
    const BOOL ok = ::ReadFile(state->in, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr);
    const DWORD error = ok ? 0 : ::GetLastError();
    bool ended;
    {
      std::lock_guard lock(state->mutex);
      if (!ok) {
        // The writing end closed: the end of input, as read() returning 0 is on POSIX.
        const bool closed = error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF;
        state->input = closed ? Input::kEnded : Input::kFailed;
        state->input_error = error;
      } else if (got == 0) {
        state->input = Input::kEnded;
      } else {
        state->chunk.assign(buffer.begin(), buffer.begin() + got);
        state->chunk_ready = true;
      }
      ended = state->input != Input::kOpen;
    }
    state->shared->wakeup.Notify();
    if (ended) return;
  }
}

// Writes what the connection hands out until it holds nothing more, then waits to be asked again.
void WriteLoop(std::shared_ptr<State> state) {
  Connection& connection = *state->connection;
  for (;;) {
    {
      std::unique_lock lock(state->mutex);
      state->changed.wait(lock, [&] { return state->write_wanted || state->stopping; });
      if (state->stopping) return;
      state->write_wanted = false;  // before the writes: a later ask covers what is queued meanwhile
    }
    for (;;) {
      const Connection::Bytes bytes = connection.Output(Clock::now());
      if (bytes.size == 0) break;
      DWORD wrote = 0;
      const DWORD size = static_cast<DWORD>(std::min(bytes.size, kWriteChunkBytes));
      if (!::WriteFile(state->out, bytes.data, size, &wrote, nullptr)) {
        const DWORD error = ::GetLastError();
        connection.WriteFailed(error == ERROR_BROKEN_PIPE || error == ERROR_NO_DATA, WindowsError(error));
        state->shared->wakeup.Notify();
        return;
      }
      connection.Wrote(wrote, Clock::now());
    }
    state->shared->wakeup.NotifyOnce();
  }
}

}  // namespace

WinStreamServer::WinStreamServer(int in_fd, int out_fd, TransportLimits limits)
    : state_(std::make_shared<State>(limits)) {
  state_->in = reinterpret_cast<HANDLE>(::_get_osfhandle(in_fd));
  state_->out = reinterpret_cast<HANDLE>(::_get_osfhandle(out_fd));
  std::thread(ReadLoop, state_).detach();
  std::thread(WriteLoop, state_).detach();
}

WinStreamServer::~WinStreamServer() {
  state_->connection->Close();
  {
    std::lock_guard lock(state_->mutex);
    state_->stopping = true;
  }
  state_->changed.notify_all();
}

void WinStreamServer::KickWriter() {
  if (!state_->connection->has_output()) return;
  {
    std::lock_guard lock(state_->mutex);
    state_->write_wanted = true;
  }
  state_->changed.notify_all();
}

std::optional<ServeEnd> WinStreamServer::Dropped() {
  if (dropped_) return std::nullopt;
  const std::optional<Connection::Drop> drop = state_->connection->Check(Clock::now());
  if (!drop) return std::nullopt;
  dropped_ = true;
  return *drop == Connection::Drop::kLeft ? ServeEnd::kEndOfInput : ServeEnd::kFailed;
}

ServeEnd WinStreamServer::Serve(EngineMessenger& messenger, const StopSignal& stop) {
  State& state = *state_;
  Connection& connection = *state.connection;
  const ReadGate* gate = state.shared->limits.read_gate;
  std::vector<uint8_t> chunk;
  for (;;) {
    state.shared->wakeup.Clear();  // everything the notifiers changed so far is looked at below
    if (gate != nullptr) gate->released().Clear();
    Input input;
    DWORD input_error;
    {
      std::lock_guard lock(state.mutex);
      if (state.chunk_ready) {
        chunk.swap(state.chunk);
        state.chunk_ready = false;
        read_asked_ = false;
      }
      input = state.input;
      input_error = state.input_error;
    }
    if (!chunk.empty()) {
      connection.Receive(messenger, chunk.data(), chunk.size());
      chunk.clear();
    }
    KickWriter();
    if (const auto end = Dropped()) return *end;
    if (input == Input::kEnded) return connection.InputEnded() ? ServeEnd::kEndOfInput : ServeEnd::kFailed;
    if (input == Input::kFailed) {
      connection.ReadFailed(WindowsError(input_error));
      return ServeEnd::kFailed;
    }
    if (!read_asked_ && !connection.ReadPaused()) {
      {
        std::lock_guard lock(state.mutex);
        state.read_wanted = true;
      }
      read_asked_ = true;
      state.changed.notify_all();
    }
    HANDLE events[3] = {stop.event(), state.shared->wakeup.event(), nullptr};
    DWORD count = 2;
    if (gate != nullptr && gate->held()) events[count++] = gate->released().event();
    const DWORD woken =
        ::WaitForMultipleObjects(count, events, FALSE, MillisecondsUntil(connection.StuckAt(), Clock::now()));
    if (woken == WAIT_OBJECT_0) return ServeEnd::kStopped;
    if (woken == WAIT_FAILED) {
      connection.ReadFailed("waiting failed: " + WindowsError(::GetLastError()));
      return ServeEnd::kFailed;
    }
  }
}

WaitEnd WinStreamServer::WriteRepliesUntil(const StopSignal& stop, const StopSignal& wake, Clock::time_point deadline) {
  for (;;) {
    const Clock::time_point now = Clock::now();
    if (now >= deadline) return WaitEnd::kDeadline;
    state_->shared->wakeup.Clear();
    KickWriter();
    Dropped();  // a client that fails or stalls is dropped; the wait goes on without it
    const HANDLE events[3] = {stop.event(), wake.event(), state_->shared->wakeup.event()};
    const DWORD woken = ::WaitForMultipleObjects(
        3, events, FALSE, MillisecondsUntil(std::min(deadline, state_->connection->StuckAt()), now));
    if (woken == WAIT_OBJECT_0) return WaitEnd::kStopped;
    if (woken == WAIT_OBJECT_0 + 1) return WaitEnd::kWoken;
    if (woken == WAIT_FAILED) return WaitEnd::kDeadline;
  }
}

void WinStreamServer::Drain() {
  Connection& connection = *state_->connection;
  const Clock::time_point give_up = Clock::now() + 5 * state_->shared->limits.drain_limit;
  for (;;) {
    state_->shared->wakeup.Clear();
    KickWriter();
    if (dropped_ || connection.closed() || !connection.has_output()) return;
    if (connection.CheckAtClose(Clock::now(), give_up)) return;
    ::WaitForSingleObject(state_->shared->wakeup.event(), kDrainLookMs);
  }
}

}  // namespace flutter::engine
