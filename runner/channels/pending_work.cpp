// PendingWork: tracked calls, counted jobs, and the failure answers of the host's last moments.
#include "runner/channels/pending_work.h"

#include <algorithm>
#include <vector>

namespace runner {

struct PendingWork::Entry {
  std::string kind;
  PendingWork* owner = nullptr;
  // For a tracked call; a counted job has none.
  std::mutex mutex;
  std::unique_ptr<MethodResult> inner;
  FailureAnswer failure;
  bool answered = false;

  // Gives the one answer through `answer` unless one was given; true when this was it.
  template <class Answer>
  bool AnswerOnce(Answer&& answer) {
    {
      std::lock_guard lock(mutex);
      if (answered) return false;
      answered = true;
      try {
        answer(*inner);
      } catch (...) {
        // An answer that cannot be sent (out of memory encoding it) still ends the call.
      }
    }
    owner->Remove(this);
    return true;
  }
};

namespace {

// The result a worker answers through: the first answer goes to the call, later ones are dropped.
class TrackedResult : public MethodResult {
 public:
  explicit TrackedResult(std::shared_ptr<PendingWork::Entry> entry) : entry_(std::move(entry)) {}
  // Released unanswered: the call gets its failure row rather than no answer at all.
  ~TrackedResult() override {
    entry_->AnswerOnce([this](MethodResult& result) {
      if (entry_->failure) entry_->failure(result);
    });
  }

 protected:
  void SuccessInternal(const EncodableValue* value) override {
    entry_->AnswerOnce([value](MethodResult& result) { value ? result.Success(*value) : result.Success(); });
  }
  void ErrorInternal(const std::string& code, const std::string& message, const EncodableValue* details) override {
    entry_->AnswerOnce([&](MethodResult& result) {
      details ? result.Error(code, message, *details) : result.Error(code, message);
    });
  }
  void NotImplementedInternal() override {
    entry_->AnswerOnce([](MethodResult& result) { result.NotImplemented(); });
  }

 private:
  std::shared_ptr<PendingWork::Entry> entry_;
};

std::string Plural(const std::string& kind, size_t count) {
  if (count == 1) return kind;
  const bool es = kind.ends_with("ch") || kind.ends_with("sh") || kind.ends_with("s") || kind.ends_with("x");
  return kind + (es ? "es" : "s");
}

}  // namespace

std::unique_ptr<MethodResult> PendingWork::Track(std::string kind, std::unique_ptr<MethodResult> result,
                                                 FailureAnswer failure) {
  auto entry = std::make_shared<Entry>();
  entry->kind = std::move(kind);
  entry->owner = this;
  entry->inner = std::move(result);
  entry->failure = std::move(failure);
  Add(entry);
  return std::make_unique<TrackedResult>(std::move(entry));
}

std::shared_ptr<void> PendingWork::Begin(std::string kind) {
  auto entry = std::make_shared<Entry>();
  entry->kind = std::move(kind);
  entry->owner = this;
  entry->answered = true;  // nothing to answer: EndAll leaves it alone
  Add(entry);
  return std::shared_ptr<void>(entry.get(), [this, entry](void*) { Remove(entry.get()); });
}

void PendingWork::Add(const std::shared_ptr<Entry>& entry) {
  {
    std::lock_guard lock(mutex_);
    entries_.push_back(entry);
  }
  Notify();
}

void PendingWork::Remove(const Entry* entry) {
  {
    std::lock_guard lock(mutex_);
    const auto found = std::find_if(entries_.begin(), entries_.end(),
                                    [entry](const std::shared_ptr<Entry>& e) { return e.get() == entry; });
    if (found == entries_.end()) return;
    entries_.erase(found);
    ++ended_;
  }
  Notify();
}

void PendingWork::Notify() {
  std::function<void()> listener;
  {
    std::lock_guard lock(mutex_);
    listener = listener_;
  }
  if (listener) listener();
}

size_t PendingWork::size() const {
  std::lock_guard lock(mutex_);
  return entries_.size();
}

uint64_t PendingWork::ended() const {
  std::lock_guard lock(mutex_);
  return ended_;
}

void PendingWork::Progressed() {
  std::lock_guard lock(mutex_);
  ++steps_;
}

uint64_t PendingWork::progress() const {
  std::lock_guard lock(mutex_);
  return ended_ + steps_;
}

std::string PendingWork::Describe() const {
  std::vector<std::pair<std::string, size_t>> counts;
  {
    std::lock_guard lock(mutex_);
    for (const auto& entry : entries_) {
      auto found = std::find_if(counts.begin(), counts.end(), [&entry](const auto& c) { return c.first == entry->kind; });
      if (found == counts.end()) {
        counts.emplace_back(entry->kind, 1);
      } else {
        ++found->second;
      }
    }
  }
  std::string text;
  for (const auto& [kind, count] : counts) {
    if (!text.empty()) text += ", ";
    text += std::to_string(count) + " " + Plural(kind, count);
  }
  return text;
}

void PendingWork::SetListener(std::function<void()> listener) {
  std::lock_guard lock(mutex_);
  listener_ = std::move(listener);
}

void PendingWork::EndAll() {
  std::vector<std::shared_ptr<Entry>> open;
  {
    std::lock_guard lock(mutex_);
    open.assign(entries_.begin(), entries_.end());
  }
  for (const auto& entry : open) {
    if (!entry->inner) continue;  // a counted job: it ends by itself
    entry->AnswerOnce([&entry](MethodResult& result) {
      if (entry->failure) entry->failure(result);
    });
  }
}

}  // namespace runner
