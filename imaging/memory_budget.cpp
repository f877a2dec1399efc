// MemoryBudget: taking and giving back, the order of waiters, and the way out of a standstill.
#include "imaging/memory_budget.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace imaging {
namespace {

constexpr uint64_t kMinimumBudgetMegabytes = 16;
constexpr uint64_t kMaximumBudgetMegabytes = uint64_t{1} << 30;  // far beyond any machine, and no overflow

}  // namespace

uint64_t MemoryBudgetBytesFromEnvironment(const char* megabytes) {
  if (megabytes == nullptr) return kDefaultMemoryBudgetBytes;
  const char* end = megabytes + std::strlen(megabytes);
  uint64_t value = 0;
  const auto [stop, error] = std::from_chars(megabytes, end, value);
  if (error != std::errc() || stop != end || stop == megabytes || value < kMinimumBudgetMegabytes ||
      value > kMaximumBudgetMegabytes) {
    return kDefaultMemoryBudgetBytes;
  }
  return value << 20;
}

MemoryBudget::MemoryBudget(uint64_t capacity_bytes) : capacity_(capacity_bytes) {}

bool MemoryBudget::HoldsLocked(std::thread::id thread) const {
  const auto found = held_.find(thread);
  return found != held_.end() && found->second > 0;
}

void MemoryBudget::RecordTakeLocked(uint64_t bytes, std::thread::id thread) {
  in_use_ += bytes;
  held_[thread] += bytes;
  peak_ = std::max(peak_, in_use_);
}

bool MemoryBudget::Take(uint64_t bytes) {
  if (bytes > capacity_) return false;
  if (bytes == 0) return true;
  const std::thread::id self = std::this_thread::get_id();
  std::unique_lock lock(mutex_);
  if (waiters_.empty() && in_use_ + bytes <= capacity_) {
    RecordTakeLocked(bytes, self);
    return true;
  }
  if (interrupted_) return false;
  Waiter waiter{bytes, self};
  waiters_.push_back(&waiter);
  GrantLocked();
  changed_.wait(lock, [&waiter] { return waiter.granted || waiter.refused; });
  return waiter.granted;
}

void MemoryBudget::GrantLocked() {
  bool woke = false;
  if (interrupted_) {
    for (Waiter* waiter : waiters_) waiter->refused = true;
    woke = !waiters_.empty();
    waiters_.clear();
  }
  // Holders first, then the others, each in order of arrival. A request that does not fit holds up every
  // one behind it (a holder's, the others' too), so a large request is never passed over by small ones.
  bool blocked = false;
  for (const bool holders : {true, false}) {
    for (auto it = waiters_.begin(); it != waiters_.end() && !blocked;) {
      Waiter* waiter = *it;
      if (HoldsLocked(waiter->thread) != holders) {
        ++it;
        continue;
      }
      if (in_use_ + waiter->bytes > capacity_) {
        blocked = true;
        break;
      }
      RecordTakeLocked(waiter->bytes, waiter->thread);
      waiter->granted = woke = true;
      it = waiters_.erase(it);
    }
  }
  // A standstill: every thread holding part of the budget waits for more. The earliest of them goes on.
  if (!waiters_.empty() && in_use_ > 0) {
    bool every_holder_waits = true;
    for (const auto& [thread, bytes] : held_) {
      if (bytes == 0) continue;
      const bool waits = std::any_of(waiters_.begin(), waiters_.end(),
                                     [&thread = thread](const Waiter* waiter) { return waiter->thread == thread; });
      if (!waits) {
        every_holder_waits = false;
        break;
      }
    }
    if (every_holder_waits) {
      const auto first_holder = std::find_if(waiters_.begin(), waiters_.end(),
                                             [this](const Waiter* waiter) { return HoldsLocked(waiter->thread); });
      if (first_holder != waiters_.end()) {
        Waiter* waiter = *first_holder;
        RecordTakeLocked(waiter->bytes, waiter->thread);
        ++overdrafts_;
        waiter->granted = woke = true;
        waiters_.erase(first_holder);
      }
    }
  }
  if (woke) changed_.notify_all();
}

void MemoryBudget::Give(uint64_t bytes, std::thread::id owner) {
  if (bytes == 0) return;
  std::lock_guard lock(mutex_);
  in_use_ -= std::min(bytes, in_use_);
  const auto found = held_.find(owner);
  if (found != held_.end()) {
    found->second -= std::min(bytes, found->second);
    if (found->second == 0) held_.erase(found);
  }
  GrantLocked();
}

void MemoryBudget::Interrupt() {
  std::lock_guard lock(mutex_);
  interrupted_ = true;
  GrantLocked();
}

uint64_t MemoryBudget::in_use_bytes() const {
  std::lock_guard lock(mutex_);
  return in_use_;
}

uint64_t MemoryBudget::peak_bytes() const {
  std::lock_guard lock(mutex_);
  return peak_;
}

uint64_t MemoryBudget::overdrafts() const {
  std::lock_guard lock(mutex_);
  return overdrafts_;
}

size_t MemoryBudget::waiting() const {
  std::lock_guard lock(mutex_);
  return waiters_.size();
}

std::optional<MemoryHold> MemoryHold::Take(MemoryBudget* budget, uint64_t bytes) {
  MemoryHold hold;
  if (budget == nullptr) return hold;
  if (!budget->Take(bytes)) return std::nullopt;
  hold.budget_ = budget;
  hold.bytes_ = bytes;
  hold.owner_ = std::this_thread::get_id();
  return hold;
}

MemoryHold& MemoryHold::operator=(MemoryHold&& other) noexcept {
  if (this != &other) {
    Release();
    budget_ = std::exchange(other.budget_, nullptr);
    bytes_ = other.bytes_;
    owner_ = other.owner_;
  }
  return *this;
}

void MemoryHold::Release() {
  if (budget_ != nullptr) budget_->Give(bytes_, owner_);
  budget_ = nullptr;
}

}  // namespace imaging
