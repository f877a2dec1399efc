// MemoryBudget: the one process-wide budget for pixel buffers (decoded pictures, canvases, page bitmaps)
// that every operation draws on, and BudgetAllocator, through which a Bitmap's pixels take their share.
//
// Whoever allocates pixels takes their size from the budget first and gives it back when they are freed:
// Bitmap pixels through their allocator, canvases and temporary surfaces of the graphics adapters through
// a MemoryHold. The adapters of the Graphics port, the page devices and the face detector are handed the
// budget by the composition root; nothing else needs to know it exists.
//
// Taking:
//   - a request larger than the whole budget is refused at once: the operation takes the failure path of
//     a picture over the pixel limits;
//   - a request that does not fit in what is free waits until it does. Waiting requests are served in
//     order of arrival, those of threads that already hold part of the budget first (they are in the
//     middle of an operation and give everything back when it ends);
//   - when every thread holding part of the budget is itself waiting, none of them could ever go on: the
//     earliest of them is let through beyond the budget (counted in overdrafts()), so a bounded budget
//     never deadlocks the work it bounds;
//   - after Interrupt() (the application closing for good) no request waits any more: a request that does
//     not fit is refused.
// Sizes are bytes. Thread safety: every method may be called from any thread.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <new>
#include <optional>
#include <thread>
#include <unordered_map>
#include <utility>

namespace imaging {

inline constexpr uint64_t kDefaultMemoryBudgetBytes = uint64_t{1} << 30;

// The budget for the environment value `megabytes` (PICTAVERA_MEMORY_MB): a whole number of MiB from 16
// up; null, empty or anything else gives the default of 1 GiB.
uint64_t MemoryBudgetBytesFromEnvironment(const char* megabytes);

class MemoryBudget {
 public:
  explicit MemoryBudget(uint64_t capacity_bytes = kDefaultMemoryBudgetBytes);
  MemoryBudget(const MemoryBudget&) = delete;
  MemoryBudget& operator=(const MemoryBudget&) = delete;

  uint64_t capacity_bytes() const { return capacity_; }
  // False when `bytes` is more than the whole budget: such a request is always refused.
  bool CanEverTake(uint64_t bytes) const { return bytes <= capacity_; }

  // Takes `bytes` for the calling thread, waiting while they are not free (see the file comment). False,
  // without waiting, when `bytes` is more than the whole budget, or when it does not fit after Interrupt.
  bool Take(uint64_t bytes);
  // Gives back `bytes` that `owner` took (they may be given back on another thread).
  void Give(uint64_t bytes, std::thread::id owner);

  // From now on no request waits; requests waiting now are refused.
  void Interrupt();

  uint64_t in_use_bytes() const;
  uint64_t peak_bytes() const;
  uint64_t overdrafts() const;
  // Requests waiting now.
  size_t waiting() const;

 private:
  struct Waiter {
    uint64_t bytes;
    std::thread::id thread;
    bool granted = false;
    bool refused = false;
  };
  bool HoldsLocked(std::thread::id thread) const;
  // Grants what can be granted now, in order; wakes the waiters concerned.
  void GrantLocked();
  void RecordTakeLocked(uint64_t bytes, std::thread::id thread);

  const uint64_t capacity_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  uint64_t in_use_ = 0;
  uint64_t peak_ = 0;
  uint64_t overdrafts_ = 0;
  bool interrupted_ = false;
  std::unordered_map<std::thread::id, uint64_t> held_;  // bytes per thread that took them
  std::deque<Waiter*> waiters_;                          // in order of arrival
};

// A share of a budget held for as long as the object lives (a canvas, a temporary surface). A hold on no
// budget counts nothing.
class MemoryHold {
 public:
  MemoryHold() = default;
  // Takes `bytes` from `budget` (none: nothing is counted and the hold always succeeds). Nothing when
  // the budget refuses.
  static std::optional<MemoryHold> Take(class MemoryBudget* budget, uint64_t bytes);
  ~MemoryHold() { Release(); }
  MemoryHold(MemoryHold&& other) noexcept
      : budget_(std::exchange(other.budget_, nullptr)), bytes_(other.bytes_), owner_(other.owner_) {}
  MemoryHold& operator=(MemoryHold&& other) noexcept;
  MemoryHold(const MemoryHold&) = delete;
  MemoryHold& operator=(const MemoryHold&) = delete;

  void Release();

 private:
  MemoryBudget* budget_ = nullptr;
  uint64_t bytes_ = 0;
  std::thread::id owner_;
};

// The allocator of Bitmap pixels. With a budget, every allocation takes its size from it first (waiting
// as Take does) and throws std::bad_alloc when the budget refuses; the memory carries who took it, so it
// may be freed on any thread. Without one (the default) it is the plain allocator. Copies of a container
// allocate from the same budget as the original.
template <class T>
class BudgetAllocator {
 public:
  using value_type = T;
  using propagate_on_container_copy_assignment = std::true_type;
  using propagate_on_container_move_assignment = std::true_type;
  using propagate_on_container_swap = std::true_type;

  BudgetAllocator() noexcept = default;
  explicit BudgetAllocator(MemoryBudget* budget) noexcept : budget_(budget) {}
  template <class U>
  BudgetAllocator(const BudgetAllocator<U>& other) noexcept : budget_(other.budget()) {}

  T* allocate(size_t count) {
    const size_t bytes = count * sizeof(T);
    if (budget_ == nullptr) return static_cast<T*>(::operator new(bytes));
    if (!budget_->Take(bytes)) throw std::bad_alloc();
    void* raw = nullptr;
    try {
      raw = ::operator new(bytes + kHeaderBytes);
    } catch (...) {
      budget_->Give(bytes, std::this_thread::get_id());
      throw;
    }
    new (raw) std::thread::id(std::this_thread::get_id());
    return reinterpret_cast<T*>(static_cast<unsigned char*>(raw) + kHeaderBytes);
  }

  void deallocate(T* pointer, size_t count) noexcept {
    if (budget_ == nullptr) {
      ::operator delete(pointer);
      return;
    }
    unsigned char* raw = reinterpret_cast<unsigned char*>(pointer) - kHeaderBytes;
    budget_->Give(count * sizeof(T), *reinterpret_cast<std::thread::id*>(raw));
    ::operator delete(raw);
  }

  MemoryBudget* budget() const noexcept { return budget_; }

  template <class U>
  bool operator==(const BudgetAllocator<U>& other) const noexcept {
    return budget_ == other.budget();
  }

 private:
  // Room for the owner's id ahead of the pixels, keeping the pixels at the allocator's own alignment.
  static constexpr size_t kHeaderBytes = 16;
  static_assert(sizeof(std::thread::id) <= kHeaderBytes);
  MemoryBudget* budget_ = nullptr;
};

}  // namespace imaging
