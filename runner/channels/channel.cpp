// The channel layer's shared pieces: exact-name dispatch and channel installation.
#include "runner/channels/channel.h"

#include <exception>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "flutter/standard_method_codec.h"
#include "runner/log.h"

namespace runner {
namespace {

// The call's result as the handler sees it: answers go straight through to the real result, and the
// dispatch keeps a second handle so it can still answer when the handler throws before answering.
// Whoever answers first wins; a later answer reaches the real result, which reports it as a duplicate.
class GuardedResult : public MethodResult {
 public:
  struct State {
    std::mutex mutex;
    std::unique_ptr<MethodResult> inner;
    bool answered = false;
  };

  explicit GuardedResult(std::shared_ptr<State> state) : state_(std::move(state)) {}

  // Answers `error_message` as "UNHANDLED_EXCEPTION" unless an answer was already given.
  static void AnswerUnhandled(State& state, const std::string& error_message) {
    std::lock_guard lock(state.mutex);
    if (state.answered) return;
    state.answered = true;
    state.inner->Error("UNHANDLED_EXCEPTION", error_message);
  }

 protected:
  // The real result is answered under the state's lock, so the handler's answer and the dispatch's
  // fallback never run at once.
  void SuccessInternal(const EncodableValue* result) override {
    std::lock_guard lock(state_->mutex);
    state_->answered = true;
    result ? state_->inner->Success(*result) : state_->inner->Success();
  }
  void ErrorInternal(const std::string& code, const std::string& message, const EncodableValue* details) override {
    std::lock_guard lock(state_->mutex);
    state_->answered = true;
    details ? state_->inner->Error(code, message, *details) : state_->inner->Error(code, message);
  }
  void NotImplementedInternal() override {
    std::lock_guard lock(state_->mutex);
    state_->answered = true;
    state_->inner->NotImplemented();
  }

 private:
  std::shared_ptr<State> state_;
};

}  // namespace

const MethodEntry* FindMethod(std::span<const MethodEntry> table, std::string_view method_name) {
  for (const MethodEntry& entry : table) {
    if (entry.name == method_name) return &entry;  // equal length and equal bytes
  }
  return nullptr;
}

void DispatchMethodCall(std::span<const MethodEntry> table, const MethodCall& call,
                        std::unique_ptr<MethodResult> result) {
  const MethodEntry* entry = FindMethod(table, call.method_name());
  if (entry == nullptr || !entry->handler) {
    result->NotImplemented();
    return;
  }
  auto state = std::make_shared<GuardedResult::State>();
  state->inner = std::move(result);
  // An exception that escapes the handler still answers the call, rather than leaving it pending for ever.
  try {
    entry->handler(call, std::make_unique<GuardedResult>(state));
  } catch (const std::exception& e) {
    LogLine("ERROR: exception escaped the handler of " + call.method_name() + ": " + e.what());
    GuardedResult::AnswerUnhandled(*state, e.what());
  } catch (...) {
    LogLine("ERROR: exception escaped the handler of " + call.method_name());
    GuardedResult::AnswerUnhandled(*state, "unknown exception");
  }
}

void InstallChannel(flutter::BinaryMessenger* messenger, std::string_view name,
                    std::span<const MethodEntry> table, std::unique_ptr<Channel>& slot) {
  auto channel = std::make_unique<Channel>(messenger, std::string(name),
                                           &flutter::StandardMethodCodec::GetInstance());
  MethodHandler dispatch = [table = std::vector<MethodEntry>(table.begin(), table.end())](
                               const MethodCall& call, std::unique_ptr<MethodResult> result) {
    DispatchMethodCall(table, call, std::move(result));
  };
  channel->SetMethodCallHandler(dispatch);

  std::unique_ptr<Channel> previous = std::exchange(slot, std::move(channel));
  if (previous) {
    // The old channel shares the name with the new one. Whether destroying it clears the messenger's
    // registration for that name is the wrapper's business; registering again afterwards keeps the new
    // handler in place either way.
    previous.reset();
    slot->SetMethodCallHandler(std::move(dispatch));
  }
}

}  // namespace runner
