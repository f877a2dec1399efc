// Window messages: how work threads reach the main window (the stand-in for posting a window message).
#pragma once

#include <cstdint>

namespace runner {

// The face-detection worker's result message (WM_APP + 1).
inline constexpr uint32_t kFaceResultsMessage = 0x8001;

// The main window as a work thread sees it. Work threads hold it through a std::weak_ptr: once the window
// is gone the pointer expires and posting fails, as posting to a destroyed window does.
// Thread safety: PostWindowMessage may be called from any thread.
class WindowMessageTarget {
 public:
  virtual ~WindowMessageTarget() = default;
  // Queues `message` for the window's message handler on the platform thread. Returns true when queued;
  // then the handler owns `payload`. Returns false when the window no longer takes messages; the payload
  // then stays the caller's.
  virtual bool PostWindowMessage(uint32_t message, uintptr_t wparam, void* payload) = 0;
};

}  // namespace runner
