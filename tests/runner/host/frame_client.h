// Frames for tests that talk to a transport or to the built program: request frames, a client end that
// writes them and reads replies.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "flutter/encodable_value.h"
#include "flutter/engine/serve_loop.h"
#include "flutter/engine/frame.h"
#include "flutter/method_call.h"
#include "flutter/standard_method_codec.h"

namespace flutter::engine::testing {

inline std::vector<uint8_t> CallMessage(const std::string& method, EncodableValue argument = EncodableValue()) {
  return *StandardMethodCodec::GetInstance().EncodeMethodCall(
      MethodCall<EncodableValue>(method, std::make_unique<EncodableValue>(std::move(argument))));
}

inline std::vector<uint8_t> RequestFrame(uint32_t id, const std::string& channel, const std::vector<uint8_t>& message) {
  return EncodeRequest(id, channel, message.data(), message.size());
}

inline std::vector<uint8_t> SuccessEnvelope(const EncodableValue& value) {
  return *StandardMethodCodec::GetInstance().EncodeSuccessEnvelope(&value);
}

// The client end of one connection: writes frames, reads replies.
class Client {
 public:
  Client(int write_fd, int read_fd) : write_fd_(write_fd), read_fd_(read_fd), is_socket_(write_fd == read_fd) {}
  ~Client() {
    CloseWrite();
    if (read_fd_ != write_fd_) ::close(read_fd_);
  }
  void Write(const std::vector<uint8_t>& bytes) {
    ASSERT_TRUE(WriteAll(write_fd_, bytes.data(), bytes.size(), is_socket_));
  }
  void CloseWrite() {
    if (write_fd_ < 0) return;
    if (write_fd_ == read_fd_) {
      ::shutdown(write_fd_, SHUT_WR);
    } else {
      ::close(write_fd_);
    }
    write_fd_ = -1;
  }
  // The next reply, or std::nullopt at end of input or after 10 s.
  std::optional<Reply> Read() {
    std::vector<uint8_t> body;
    while (!frames_.Next(&body)) {
      pollfd fd{read_fd_, POLLIN, 0};
      if (::poll(&fd, 1, 10000) <= 0) return std::nullopt;
      uint8_t chunk[4096];
      const ssize_t got = ::read(read_fd_, chunk, sizeof chunk);
      if (got <= 0) return std::nullopt;
      frames_.Feed(chunk, static_cast<size_t>(got));
    }
    return ParseReply(body.data(), body.size());
  }
  // True when the other side ends the stream before another reply, within 10 s (a stream that stays
  // open, or a reply, is false).
  bool Ends() {
    std::vector<uint8_t> body;
    if (frames_.Next(&body)) return false;
    for (;;) {
      pollfd fd{read_fd_, POLLIN, 0};
      if (::poll(&fd, 1, 10000) <= 0) return false;
      uint8_t chunk[4096];
      const ssize_t got = ::read(read_fd_, chunk, sizeof chunk);
      if (got <= 0) return true;
      frames_.Feed(chunk, static_cast<size_t>(got));
      if (frames_.Next(&body)) return false;
    }
  }

 private:
  int write_fd_;
  int read_fd_;
  bool is_socket_;
  FrameReader frames_;
};

}  // namespace flutter::engine::testing
