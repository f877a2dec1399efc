// GraphicsLibrary: the process-wide start and stop of the graphics library for bakes, reference-counted,
// and BakeShared, the state every bake of the process shares.
//
// The library starts when the first running bake acquires it and stops when the last one releases it; a
// later bake starts it again. The start and stop calls are the only work done under the mutex. Some
// graphics libraries need no start at all: their start always succeeds and stop does nothing.
// Thread safety: every method may be called from any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <utility>

#include "platform/graphics.h"

namespace runner::printing {

class GraphicsLibrary {
 public:
  using StartFunction = std::function<platform::GraphicsStatus()>;
  using StopFunction = std::function<void()>;

  // A library that needs no start.
  GraphicsLibrary();
  GraphicsLibrary(StartFunction start, StopFunction stop);
  GraphicsLibrary(const GraphicsLibrary&) = delete;
  GraphicsLibrary& operator=(const GraphicsLibrary&) = delete;

  // Starts the library when no bake holds it. kOk, or the start's failure with the count left as it was.
  platform::GraphicsStatus Acquire();
  // Drops one reference; the last one stops the library. Does nothing when none is held.
  void Release();

  int count() const;

 private:
  StartFunction start_;
  StopFunction stop_;
  mutable std::mutex mutex_;
  int count_ = 0;
};

// One acquired reference, released exactly once: by Release() or, on any other path, by the destructor.
class GraphicsLibraryHold {
 public:
  explicit GraphicsLibraryHold(GraphicsLibrary& library) : library_(library) {}
  ~GraphicsLibraryHold() { Release(); }
  GraphicsLibraryHold(const GraphicsLibraryHold&) = delete;
  GraphicsLibraryHold& operator=(const GraphicsLibraryHold&) = delete;

  // kOk when the reference is now held.
  platform::GraphicsStatus Acquire() {
    const platform::GraphicsStatus status = library_.Acquire();
    held_ = status == platform::GraphicsStatus::kOk;
    return status;
  }
  void Release() {
    if (held_) library_.Release();
    held_ = false;
  }

 private:
  GraphicsLibrary& library_;
  bool held_ = false;
};

// What all bakes of one process share: the library's reference count and the file-name counter, which
// never goes back so that names in one folder stay distinct across bakes.
struct BakeShared {
  BakeShared() = default;
  // For a library that needs starting and stopping.
  BakeShared(GraphicsLibrary::StartFunction start, GraphicsLibrary::StopFunction stop)
      : graphics_library(std::move(start), std::move(stop)) {}

  GraphicsLibrary graphics_library;
  std::atomic<uint32_t> file_counter{0};
};

}  // namespace runner::printing
