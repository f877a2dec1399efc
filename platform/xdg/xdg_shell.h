// XdgShell: the Shell port over the desktop's opener (xdg-open), started without a shell.
//
// The opener receives one argument: the file:// URI of the absolute path, percent-encoded, so that no
// file name can be read as an option ("--help") or as a URL of another scheme. Its standard input is
// /dev/null, and so is its standard output (which may carry the channel's frames); it inherits no other
// descriptor than standard error. An opener that exits 0 within the wait is accepted; one that exits
// otherwise is refused as kUnsupported, one that cannot be started as kNotFound; one still running after
// the wait is accepted and reaped later by this object.
// Thread safety: every method may be called from any thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <sys/types.h>

#include "platform/shell.h"

namespace platform {

class XdgShell : public Shell {
 public:
  explicit XdgShell(std::string opener = "xdg-open", std::chrono::milliseconds wait = std::chrono::seconds(5));
  // Stops the reaper; openers still running are left to end on their own.
  ~XdgShell() override;
  XdgShell(const XdgShell&) = delete;
  XdgShell& operator=(const XdgShell&) = delete;

  bool IsRegularFile(const std::string& path) override;
  base::Status Open(const std::string& path) override;

  // The file:// URI of `absolute_path` (bytes outside A-Z a-z 0-9 - . _ ~ / percent-encoded).
  static std::string FileUri(const std::string& absolute_path);

 private:
  void Reap();

  std::string opener_;
  std::chrono::milliseconds wait_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::vector<pid_t> running_;
  bool stopping_ = false;
  std::thread reaper_;
};

}  // namespace platform
