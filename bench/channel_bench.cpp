// Calls per second of a small method call (a map of five keys) answered at once:
//   InProcess    - through the engine's messenger and the printing channel's dispatch, in this process;
//   ServeStdio   - over `pictavera serve --stdio`, with many calls in flight.
// The method name is not in the printing channel's table, so the answer (not implemented) comes from the
// dispatch itself and the numbers measure the channel path, not a handler.
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include "flutter/engine/connection.h"
#include "flutter/engine/engine.h"
#include "flutter/engine/frame.h"
#include "flutter/method_call.h"
#include "flutter/standard_method_codec.h"
#include "runner/printing/printing_channel.h"
#include "tests/runner/test_services.h"

namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;

std::vector<uint8_t> SmallCall() {
  EncodableMap arguments{
      {EncodableValue("printerName"), EncodableValue("PDF")},
      {EncodableValue("paperWidthMm"), EncodableValue(100.0)},
      {EncodableValue("paperHeightMm"), EncodableValue(150.0)},
      {EncodableValue("copies"), EncodableValue(int32_t{1})},
      {EncodableValue("landscape"), EncodableValue(false)},
  };
  return *flutter::StandardMethodCodec::GetInstance().EncodeMethodCall(flutter::MethodCall<EncodableValue>(
      "benchNoSuchMethod", std::make_unique<EncodableValue>(std::move(arguments))));
}

constexpr int kBatch = 1000;

void InProcess(benchmark::State& state) {
  runner::testing::TestServices services;
  flutter::engine::Engine engine;
  std::unique_ptr<runner::Channel> channel;
  engine.RunOnPlatformThread([&] { runner::printing::SetupPrintingChannel(engine.messenger(), channel, services.services); });
  const auto message = SmallCall();
  std::mutex mutex;
  std::condition_variable done;
  int answered = 0;
  for (auto _ : state) {
    {
      std::lock_guard lock(mutex);
      answered = 0;
    }
    for (int i = 0; i < kBatch; ++i) {
      flutter::engine::ReplyTarget target;
      target.send = [&](const uint8_t*, size_t) {
        std::lock_guard lock(mutex);
        if (++answered == kBatch) done.notify_one();
      };
      engine.messenger()->DeliverMessage("printing_channel", message, std::move(target));
    }
    std::unique_lock lock(mutex);
    done.wait(lock, [&] { return answered == kBatch; });
  }
  state.counters["calls_per_s"] = benchmark::Counter(double(state.iterations()) * kBatch, benchmark::Counter::kIsRate);
  engine.Shutdown();
}
BENCHMARK(InProcess)->UseRealTime()->Unit(benchmark::kMillisecond);

void ServeStdio(benchmark::State& state) {
  const int in_flight = static_cast<int>(state.range(0));
  signal(SIGPIPE, SIG_IGN);
  int to_child[2], from_child[2];
  if (pipe2(to_child, O_CLOEXEC) != 0 || pipe2(from_child, O_CLOEXEC) != 0) {
    state.SkipWithError("pipe");
    return;
  }
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(to_child[0], STDIN_FILENO);
    dup2(from_child[1], STDOUT_FILENO);
    execl(PICTAVERA_BINARY, PICTAVERA_BINARY, "serve", "--stdio", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(to_child[0]);
  close(from_child[1]);
  const int write_fd = to_child[1], read_fd = from_child[0];
  const auto message = SmallCall();
  std::vector<uint8_t> frame;
  uint32_t next_id = 1;
  flutter::engine::FrameReader replies;
  std::vector<uint8_t> body;
  uint8_t chunk[65536];
  long total = 0;
  for (auto _ : state) {
    int sent = 0, received = 0, outstanding = 0;
    while (received < kBatch) {
      // Top up the window of calls in flight, in one write.
      frame.clear();
      while (sent < kBatch && outstanding < in_flight) {
        const auto one = flutter::engine::EncodeRequest(next_id++, "printing_channel", message.data(), message.size());
        frame.insert(frame.end(), one.begin(), one.end());
        ++sent;
        ++outstanding;
      }
      if (!frame.empty() && !flutter::engine::WriteAll(write_fd, frame.data(), frame.size(), false)) {
        state.SkipWithError("write to the host failed");
        break;
      }
      const ssize_t got = read(read_fd, chunk, sizeof chunk);
      if (got <= 0) {
        state.SkipWithError("host closed its output");
        break;
      }
      replies.Feed(chunk, static_cast<size_t>(got));
      while (replies.Next(&body)) {
        ++received;
        --outstanding;
      }
    }
    total += received;
  }
  state.counters["calls_per_s"] = benchmark::Counter(double(total), benchmark::Counter::kIsRate);
  close(write_fd);
  while (read(read_fd, chunk, sizeof chunk) > 0) {
  }
  close(read_fd);
  int status = 0;
  waitpid(pid, &status, 0);
}
BENCHMARK(ServeStdio)->Arg(1)->Arg(64)->Arg(512)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
