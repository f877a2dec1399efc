// WinStreamServer: standard input and output served by a reader thread, a writer thread and the loop.
#include "flutter/engine/stream_server_win.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <io.h>
#include <windows.h>

#include "flutter/log.h"

namespace flutter::engine {

using Clock = std::chrono::steady_clock;

namespace {

constexpr size_t kReadChunkBytes = 64 * 1024;
// One blocking write at most this long, so a client that takes its replies slowly shows progress.
constexpr DWORD kWriteChunkBytes = 64 * 1024;
constexpr char kClientName[] = "standard input";

enum class Input { kOpen, kEnded, kFailed };

std::string WindowsError(DWORD error) { return "Windows error " + std::to_string(error); }

DWORD MillisecondsUntil(Clock::time_point at, Clock::time_point now) {
  if (at == Clock::time_point::max()) return INFINITE;
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(at - now).count();
  return static_cast<DWORD>(std::clamp<decltype(ms)>(ms, 0, 60'000));
}

}  // namespace

struct WinStreamServer::State {
  explicit State(TransportLimits l) : limits(l) {}

  const TransportLimits limits;
  HANDLE in = INVALID_HANDLE_VALUE;
  HANDLE out = INVALID_HANDLE_VALUE;
  WakePipe loop_wake;  // wakes the serve loop: a chunk read, the input ended, replies written or queued

  std::mutex mutex;
  std::condition_variable changed;  // the reader and the writer wait on it
  bool stopping = false;            // the server is gone: both threads end when they next look

  bool read_wanted = false;  // the loop asks the reader for one more chunk
  std::vector<uint8_t> chunk;
  bool chunk_ready = false;
  Input input = Input::kOpen;
  DWORD input_error = 0;

  std::vector<uint8_t> queued;  // reply frames not yet handed to the writer
  size_t output_bytes = 0;      // queued, or held by the writer and not yet taken by the client
  bool writing = false;         // the writer holds bytes the client has not taken all of
  Clock::time_point waiting_since{};  // the writer's last progress
  bool closed = false;          // no reply is taken any more
  bool overrun = false;
  bool write_failed = false;
  DWORD write_error = 0;

  size_t requests = 0;
  size_t request_bytes = 0;

  // Under `mutex`: the client is not to be read (its replies or its requests are above the limits).
  bool ReadPaused() const {
    return output_bytes >= limits.connection_output_bytes || request_bytes >= limits.connection_request_bytes ||
           requests >= limits.connection_requests;
  }
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
    state->loop_wake.Notify();
    if (ended) return;
  }
}

void WriteLoop(std::shared_ptr<State> state) {
  std::vector<uint8_t> writing;
  for (;;) {
    {
      std::unique_lock lock(state->mutex);
      state->changed.wait(lock, [&] { return !state->queued.empty() || state->stopping || state->closed; });
      if (state->queued.empty() || state->closed) return;
      writing.swap(state->queued);
      state->writing = true;
      state->waiting_since = Clock::now();
    }
    for (size_t done = 0; done < writing.size();) {
      DWORD wrote = 0;
      const DWORD size = static_cast<DWORD>(std::min<size_t>(writing.size() - done, kWriteChunkBytes));
      const BOOL ok = ::WriteFile(state->out, writing.data() + done, size, &wrote, nullptr);
      const DWORD error = ok ? 0 : ::GetLastError();
      bool give_up;
      {
        std::lock_guard lock(state->mutex);
        give_up = !ok || state->closed;  // failed, or the client was dropped meanwhile
        if (give_up) {
          if (!ok) {
            state->write_failed = true;
            state->write_error = error;
          }
          state->closed = true;
          state->writing = false;
          state->output_bytes = 0;
          std::vector<uint8_t>().swap(state->queued);
        } else {
          state->output_bytes -= wrote;
          state->waiting_since = Clock::now();
        }
      }
      if (give_up) {
        state->loop_wake.Notify();
        return;
      }
      done += wrote;
    }
    std::vector<uint8_t>().swap(writing);
    {
      std::lock_guard lock(state->mutex);
      state->writing = false;
    }
    state->loop_wake.Notify();
  }
}

void QueueReply(State& state, uint32_t id, const uint8_t* envelope, size_t size) {
  const std::vector<uint8_t> frame = EncodeReply(id, envelope, size);
  {
    std::lock_guard lock(state.mutex);
    if (state.closed) return;
    if (state.output_bytes + frame.size() > state.limits.connection_output_hard_bytes && state.output_bytes > 0) {
      // The client stopped reading while earlier requests were still being answered: it is dropped
      // rather than let its replies take the host's memory.
      state.overrun = true;
      state.closed = true;
      state.output_bytes -= state.queued.size();
      std::vector<uint8_t>().swap(state.queued);
    } else {
      state.queued.insert(state.queued.end(), frame.begin(), frame.end());
      state.output_bytes += frame.size();
    }
  }
  state.changed.notify_all();
  state.loop_wake.NotifyOnce();
}

// Counts one delivered request until the returned token is released with its reply function.
std::shared_ptr<void> TrackRequest(const std::shared_ptr<State>& state, size_t bytes) {
  {
    std::lock_guard lock(state->mutex);
    ++state->requests;
    state->request_bytes += bytes;
  }
  return std::shared_ptr<void>(nullptr, [state, bytes](void*) {
    {
      std::lock_guard lock(state->mutex);
      --state->requests;
      state->request_bytes -= bytes;
    }
    state->loop_wake.NotifyOnce();  // a client paused for its requests in flight may be read again
  });
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
  {
    std::lock_guard lock(state_->mutex);
    state_->stopping = true;
    state_->closed = true;
  }
  state_->changed.notify_all();
}

std::optional<ServeEnd> WinStreamServer::OutputEnd() {
  std::lock_guard lock(state_->mutex);
  if (dropped_) return std::nullopt;
  const State& state = *state_;
  if (state.overrun) {
    LogLine(std::string("ERROR: ") + kClientName + " stopped reading while its replies piled up beyond " +
            std::to_string(state.limits.connection_output_hard_bytes) + " bytes; connection dropped");
  } else if (state.write_failed) {
    if (state.write_error == ERROR_BROKEN_PIPE || state.write_error == ERROR_NO_DATA) {
      dropped_ = true;
      return ServeEnd::kEndOfInput;  // the client went away
    }
    LogLine(std::string("ERROR: cannot write replies to ") + kClientName + ": " + WindowsError(state.write_error));
  } else if (state.writing && Clock::now() - state.waiting_since >= state.limits.stuck_limit) {
    LogLine(std::string("ERROR: ") + kClientName + " took no reply for " +
            std::to_string(state.limits.stuck_limit.count()) + " ms; connection dropped with " +
            std::to_string(state.output_bytes) + " bytes unsent");
    state_->closed = true;
    state_->output_bytes = 0;
    std::vector<uint8_t>().swap(state_->queued);
  } else {
    return std::nullopt;
  }
  dropped_ = true;
  return ServeEnd::kFailed;
}

Clock::time_point WinStreamServer::StuckAt() {
  std::lock_guard lock(state_->mutex);
  if (dropped_ || !state_->writing) return Clock::time_point::max();
  return state_->waiting_since + state_->limits.stuck_limit;
}

void WinStreamServer::Deliver(EngineMessenger& messenger, const std::vector<uint8_t>& body) {
  std::string error;
  auto request = ParseRequest(body.data(), body.size(), &error);
  if (!request) {
    LogInputLine(std::string("ERROR: malformed frame from ") + kClientName + " skipped: " + error);
    return;
  }
  ReplyTarget target;
  target.send = [state = state_, id = request->id, token = TrackRequest(state_, body.size())](
                    const uint8_t* envelope, size_t size) { QueueReply(*state, id, envelope, size); };
  messenger.DeliverMessage(std::move(request->channel), std::move(request->message), std::move(target));
}

ServeEnd WinStreamServer::Serve(EngineMessenger& messenger, const StopSignal& stop) {
  State& state = *state_;
  std::vector<uint8_t> chunk;
  std::vector<uint8_t> body;
  for (;;) {
    state.loop_wake.Clear();  // everything the notifiers changed so far is looked at below
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
      frames_.Feed(chunk.data(), chunk.size());
      chunk.clear();
      while (frames_.Next(&body)) Deliver(messenger, body);
      if (frames_.failed()) {
        LogInputLine(std::string("ERROR: frame length from ") + kClientName + " above the limit of " +
                     std::to_string(kMaxFrameBytes) + " bytes; connection ended");
        return ServeEnd::kFailed;
      }
    }
    if (const auto end = OutputEnd()) return *end;
    if (input == Input::kEnded) {
      if (frames_.pending_bytes() > 0) {
        LogInputLine(std::string("ERROR: frame from ") + kClientName + " cut short by the end of input (" +
                     std::to_string(frames_.pending_bytes()) + " bytes dropped)");
        return ServeEnd::kFailed;
      }
      return ServeEnd::kEndOfInput;
    }
    if (input == Input::kFailed) {
      LogLine(std::string("ERROR: cannot read from ") + kClientName + ": " + WindowsError(input_error));
      return ServeEnd::kFailed;
    }
    {
      std::lock_guard lock(state.mutex);
      if (!read_asked_ && !state.ReadPaused()) {
        state.read_wanted = true;
        read_asked_ = true;
      }
    }
    state.changed.notify_all();
    const HANDLE events[2] = {stop.event(), state.loop_wake.event()};
    const DWORD woken = ::WaitForMultipleObjects(2, events, FALSE, MillisecondsUntil(StuckAt(), Clock::now()));
    if (woken == WAIT_OBJECT_0) return ServeEnd::kStopped;
    if (woken == WAIT_FAILED) {
      LogLine("ERROR: waiting for standard input failed: " + WindowsError(::GetLastError()));
      return ServeEnd::kFailed;
    }
  }
}

WaitEnd WinStreamServer::WriteRepliesUntil(const StopSignal& stop, const StopSignal& wake, Clock::time_point deadline) {
  for (;;) {
    const Clock::time_point now = Clock::now();
    if (now >= deadline) return WaitEnd::kDeadline;
    state_->loop_wake.Clear();
    OutputEnd();  // a client that fails or stalls is dropped; the wait goes on without it
    const HANDLE events[3] = {stop.event(), wake.event(), state_->loop_wake.event()};
    const DWORD woken =
        ::WaitForMultipleObjects(3, events, FALSE, MillisecondsUntil(std::min(deadline, StuckAt()), now));
    if (woken == WAIT_OBJECT_0) return WaitEnd::kStopped;
    if (woken == WAIT_OBJECT_0 + 1) return WaitEnd::kWoken;
    if (woken == WAIT_FAILED) return WaitEnd::kDeadline;
  }
}

void WinStreamServer::Drain() {
  State& state = *state_;
  const Clock::time_point give_up = Clock::now() + 5 * state.limits.drain_limit;
  for (;;) {
    state.loop_wake.Clear();
    {
      std::lock_guard lock(state.mutex);
      if (state.closed || state.output_bytes == 0) return;
      const Clock::time_point now = Clock::now();
      const Clock::time_point last = state.writing ? state.waiting_since : now;
      if (now - last >= state.limits.drain_limit || now >= give_up) {
        LogLine(std::string("ERROR: ") + kClientName + " took no reply at close; " +
                std::to_string(state.output_bytes) + " bytes of replies dropped");
        state.closed = true;
        return;
      }
    }
    ::WaitForSingleObject(state.loop_wake.event(), 50);
  }
}

}  // namespace flutter::engine
