// PendingWork: the calls and background jobs the host has taken on and not yet finished. The window's
// closing reads it: what it waits for (one line), whether anything still moves, and, when it cannot wait
// any longer, the failure row each open call is answered with.
//
// A call handed to a worker is tracked: Track wraps its result, so that its first answer ends the entry.
// EndAll answers every call still open with its failure row; an answer the work gives afterwards is
// dropped without a word (the caller already has its one answer). A tracked result released unanswered
// (a task dropped by its lane, an exception) is answered with its failure row too, so no call is ever left
// without an answer. Background jobs without a call (a sheet job polled later) are counted by Begin.
// Thread safety: every method may be called from any thread; the listener is called outside every lock.
#pragma once

#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>

#include "runner/channels/channel.h"

namespace runner {

class PendingWork {
 public:
  // Answers a call with its failure row.
  using FailureAnswer = std::function<void(MethodResult& result)>;

  PendingWork() = default;
  PendingWork(const PendingWork&) = delete;
  PendingWork& operator=(const PendingWork&) = delete;

  // Tracks the open call `result` of kind `kind` (singular: "preview", "sheet job"). The returned result
  // passes the first answer through to `result`; `failure` is the answer EndAll gives in its place.
  std::unique_ptr<MethodResult> Track(std::string kind, std::unique_ptr<MethodResult> result, FailureAnswer failure);

  // Counts a background job of kind `kind` until the returned token is released.
  std::shared_ptr<void> Begin(std::string kind);

  // Entries not yet ended.
  size_t size() const;
  // How many entries have ended since the start: it grows whenever work finishes.
  uint64_t ended() const;
  // Long work marks its steps (a picture of a face batch, an image of a bake): progress() grows with
  // every step and every entry that ends, so the closing can tell work that moves from work that hangs.
  void Progressed();
  uint64_t progress() const;
  // What is pending, counted per kind in order of first arrival: "1 sheet job, 2 previews"; "" for none.
  std::string Describe() const;

  // Called after every entry that begins or ends (on the thread that began or ended it). One listener;
  // set it before work starts or while none runs concurrently with the change.
  void SetListener(std::function<void()> listener);

  // Answers every tracked call still open with its failure row, once each.
  void EndAll();

  struct Entry;

 private:
  void Add(const std::shared_ptr<Entry>& entry);
  void Remove(const Entry* entry);
  void Notify();

  mutable std::mutex mutex_;
  std::list<std::shared_ptr<Entry>> entries_;
  uint64_t ended_ = 0;
  uint64_t steps_ = 0;
  std::function<void()> listener_;
};

}  // namespace runner
