// Window messages: how work threads reach the main window (the stand-in for posting a window message).
#pragma once

#include <cstdint>
#include <memory>

namespace runner {

// The face-detection worker's result message (WM_APP + 1).
inline constexpr uint32_t kFaceResultsMessage = 0x8001;

// What a window message carries to the main window's handler: the poster allocates it, the handler owns
// it once delivered, and it is released with the message when the message cannot be delivered. Each
// message defines its own payload type deriving from this one.
class WindowMessagePayload {
 public:
  virtual ~WindowMessagePayload() = default;
};

// The main window as a work thread sees it. Work threads hold it through a std::weak_ptr: once the window
// is gone the pointer expires and posting fails, as posting to a destroyed window does.
// Thread safety: PostWindowMessage may be called from any thread.
class WindowMessageTarget {
 public:
  virtual ~WindowMessageTarget() = default;
  // Queues `message` for the window's message handler on the platform thread, which receives `payload`
  // (may be null). Returns false when the window no longer takes messages; the payload is then released
  // here, as is a payload whose message was queued but never handled.
  virtual bool PostWindowMessage(uint32_t message, uintptr_t wparam,
                                 std::unique_ptr<WindowMessagePayload> payload) = 0;
};

}  // namespace runner
