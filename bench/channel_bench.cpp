// Calls per second of a small method call (a map of five keys) answered at once:
//   InProcess    - through the engine's messenger and the printing channel's dispatch, in this process;
//   ServeStdio   - over `pictavera serve --stdio`, with many calls in flight.
// And the host under abuse, over `pictavera serve --socket`:
//   SecondClientWhileAnotherFloods - round-trip latency (p50, p99, max) of one client's calls while
//                  another client sends calls of 16 KiB as fast as the host takes them and never reads;
//   SlowReader   - calls of 16 KiB pipelined by a client that takes its replies only every 10 ms: calls
//                  per second, and the host's peak resident memory.
// The method name is not in the printing channel's table, so the answer (not implemented) comes from the
// dispatch itself and the numbers measure the channel path, not a handler.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include "flutter/engine/serve_loop.h"
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

// A `pictavera serve --socket` child with its standard error on /dev/null.
class SocketHost {
 public:
  SocketHost() : path_("/tmp/pictavera-bench-" + std::to_string(getpid()) + ".sock") {
    unlink(path_.c_str());
    pid_ = fork();
    if (pid_ == 0) {
      const int null_fd = open("/dev/null", O_WRONLY);
      dup2(null_fd, STDERR_FILENO);
      execl(PICTAVERA_BINARY, PICTAVERA_BINARY, "serve", "--socket", path_.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    for (int i = 0; i < 500 && access(path_.c_str(), F_OK) != 0; ++i) usleep(10000);
  }
  ~SocketHost() {
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
  }
  // A connected client socket, or -1.
  int Connect() const {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path_.c_str(), sizeof address.sun_path - 1);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
      close(fd);
      return -1;
    }
    return fd;
  }
  // Resident memory of the host in KiB.
  long RssKib() const {
    std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    }
    return 0;
  }

 private:
  std::string path_;
  pid_t pid_ = -1;
};

// A call whose argument is a 16 KiB byte list, answered at once (not implemented) by the dispatch.
std::vector<uint8_t> LargeCall() {
  return *flutter::StandardMethodCodec::GetInstance().EncodeMethodCall(flutter::MethodCall<EncodableValue>(
      "benchNoSuchMethod", std::make_unique<EncodableValue>(std::vector<uint8_t>(16 * 1024, 0x5a))));
}

// Reads one reply frame from the blocking `fd`; false at end of input.
bool ReadReply(int fd, flutter::engine::FrameReader& replies) {
  std::vector<uint8_t> body;
  uint8_t chunk[4096];
  while (!replies.Next(&body)) {
    const ssize_t got = read(fd, chunk, sizeof chunk);
    if (got <= 0) return false;
    replies.Feed(chunk, static_cast<size_t>(got));
  }
  return true;
}

void SecondClientWhileAnotherFloods(benchmark::State& state) {
  signal(SIGPIPE, SIG_IGN);
  SocketHost host;
  const int flooder = host.Connect(), client = host.Connect();
  if (flooder < 0 || client < 0) {
    state.SkipWithError("cannot connect to the host");
    return;
  }
  std::atomic<bool> flooding{true};
  std::thread flood([&] {
    const auto message = LargeCall();
    std::vector<uint8_t> batch;
    for (uint32_t id = 1; id <= 16; ++id) {
      const auto one = flutter::engine::EncodeRequest(id, "printing_channel", message.data(), message.size());
      batch.insert(batch.end(), one.begin(), one.end());
    }
    // Blocks once the host stops reading this client; ends when the socket is shut down.
    while (flooding && flutter::engine::WriteAll(flooder, batch.data(), batch.size(), true)) {
    }
  });
  usleep(200000);  // the flood is under way and the host has stopped reading it
  const auto message = SmallCall();
  flutter::engine::FrameReader replies;
  std::vector<double> latencies_ms;
  uint32_t next_id = 1;
  for (auto _ : state) {
    const auto frame = flutter::engine::EncodeRequest(next_id++, "thumbnail_channel", message.data(), message.size());
    const auto start = std::chrono::steady_clock::now();
    if (!flutter::engine::WriteAll(client, frame.data(), frame.size(), true) || !ReadReply(client, replies)) {
      state.SkipWithError("the host stopped answering");
      break;
    }
    latencies_ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  flooding = false;
  shutdown(flooder, SHUT_RDWR);
  flood.join();
  close(flooder);
  close(client);
  if (latencies_ms.empty()) return;
  std::sort(latencies_ms.begin(), latencies_ms.end());
  state.counters["p50_ms"] = latencies_ms[latencies_ms.size() / 2];
  state.counters["p99_ms"] = latencies_ms[std::min(latencies_ms.size() - 1, latencies_ms.size() * 99 / 100)];
  state.counters["max_ms"] = latencies_ms.back();
}
BENCHMARK(SecondClientWhileAnotherFloods)->Iterations(2000)->UseRealTime()->Unit(benchmark::kMicrosecond);

void SlowReader(benchmark::State& state) {
  signal(SIGPIPE, SIG_IGN);
  SocketHost host;
  const int client = host.Connect();
  if (client < 0) {
    state.SkipWithError("cannot connect to the host");
    return;
  }
  constexpr int kCalls = 2000;
  const auto message = LargeCall();
  std::vector<uint8_t> all;
  long peak_rss_kib = 0;
  long total = 0;
  uint32_t next_id = 1;
  for (auto _ : state) {
    all.clear();
    for (int i = 0; i < kCalls; ++i) {
      const auto one = flutter::engine::EncodeRequest(next_id++, "printing_channel", message.data(), message.size());
      all.insert(all.end(), one.begin(), one.end());
    }
    std::thread writer([&] { flutter::engine::WriteAll(client, all.data(), all.size(), true); });
    flutter::engine::FrameReader replies;
    std::vector<uint8_t> body;
    uint8_t chunk[512];
    int received = 0;
    while (received < kCalls) {
      usleep(10000);  // a reader that takes its replies in sips
      const ssize_t got = read(client, chunk, sizeof chunk);
      if (got <= 0) break;
      replies.Feed(chunk, static_cast<size_t>(got));
      while (replies.Next(&body)) ++received;
      peak_rss_kib = std::max(peak_rss_kib, host.RssKib());
    }
    writer.join();
    total += received;
    if (received < kCalls) {
      state.SkipWithError("the host stopped answering");
      break;
    }
  }
  close(client);
  state.counters["calls_per_s"] = benchmark::Counter(double(total), benchmark::Counter::kIsRate);
  state.counters["host_peak_rss_mib"] = double(peak_rss_kib) / 1024;
}
BENCHMARK(SlowReader)->Iterations(2)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
