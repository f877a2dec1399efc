// BlockingSpecialFile on Windows: a named pipe whose server never writes. Each instance takes one
// client, so several are made: every open of the name connects, and only a reader that does not check
// what it opened would then wait.
#include "tests/helper/not_a_file.h"
#include "tests/support/temp_folder.h"

#include <windows.h>

#include <atomic>
#include <stdexcept>
#include <vector>

namespace mosalith::testing {

namespace {
constexpr int kInstances = 8;
}  // namespace

struct BlockingSpecialFile::Server {
  std::vector<HANDLE> instances;
  ~Server() {
    for (HANDLE instance : instances) ::CloseHandle(instance);
  }
};

BlockingSpecialFile::BlockingSpecialFile(const test_support::TempFolder&, const std::string& name)
    : server_(std::make_unique<Server>()) {
  static std::atomic<int> counter{0};
  const std::string pipe = "\\\\.\\pipe\\mosalith-test-" + std::to_string(::GetCurrentProcessId()) + "-" +
                           std::to_string(counter++) + "-" + name;
  path_ = pipe;
  const std::wstring wide = test_support::PathFromUtf8(pipe).wstring();
  for (int i = 0; i < kInstances; ++i) {
    const HANDLE instance = ::CreateNamedPipeW(wide.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT,
                                               PIPE_UNLIMITED_INSTANCES, 4096, 4096, 0, nullptr);
    if (instance == INVALID_HANDLE_VALUE) throw std::runtime_error("CreateNamedPipeW failed: " + pipe);
    server_->instances.push_back(instance);
  }
}

BlockingSpecialFile::~BlockingSpecialFile() = default;

}  // namespace mosalith::testing
