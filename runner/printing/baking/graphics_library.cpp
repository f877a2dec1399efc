// GraphicsLibrary: the reference-counted start and stop.
#include "runner/printing/baking/graphics_library.h"

#include <utility>

namespace runner::printing {

GraphicsLibrary::GraphicsLibrary()
    : GraphicsLibrary([] { return platform::GraphicsStatus::kOk; }, [] {}) {}

GraphicsLibrary::GraphicsLibrary(StartFunction start, StopFunction stop)
    : start_(std::move(start)), stop_(std::move(stop)) {}

platform::GraphicsStatus GraphicsLibrary::Acquire() {
  std::lock_guard lock(mutex_);
  if (count_ == 0) {
    const platform::GraphicsStatus status = start_();
    if (status != platform::GraphicsStatus::kOk) return status;
  }
  ++count_;
  return platform::GraphicsStatus::kOk;
}

void GraphicsLibrary::Release() {
  std::lock_guard lock(mutex_);
  if (count_ <= 0) return;
  if (--count_ == 0) stop_();
}

int GraphicsLibrary::count() const {
  std::lock_guard lock(mutex_);
  return count_;
}

}  // namespace runner::printing
