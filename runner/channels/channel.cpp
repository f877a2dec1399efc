// The channel layer's shared pieces: exact-name dispatch and channel installation.
#include "runner/channels/channel.h"

#include <exception>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "flutter/standard_method_codec.h"
#include "runner/channels/channel_text.h"
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

  GuardedResult(std::shared_ptr<State> state, std::string method) : state_(std::move(state)), method_(std::move(method)) {}

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
    std::optional<EncodableValue> mended;
    if (result != nullptr && !AllTextIsUtf8(*result)) {  // rare: only then is the answer copied
      mended = *result;
      MakeTextUtf8(*mended);
      Mended();
      result = &*mended;
    }
    std::lock_guard lock(state_->mutex);
    state_->answered = true;
    result ? state_->inner->Success(*result) : state_->inner->Success();
  }
  void ErrorInternal(const std::string& code, const std::string& message, const EncodableValue* details) override {
    std::string text = message;
    if (MakeTextUtf8(text)) Mended();
    std::lock_guard lock(state_->mutex);
    state_->answered = true;
    details ? state_->inner->Error(code, text, *details) : state_->inner->Error(code, text);
  }
  void NotImplementedInternal() override {
    std::lock_guard lock(state_->mutex);
    state_->answered = true;
    state_->inner->NotImplemented();
  }

 private:
  void Mended() const { LogLine("ERROR: the answer to " + method_ + " held text that is not UTF-8; it was mended"); }

  std::shared_ptr<State> state_;
  const std::string method_;
};

}  // namespace

const MethodEntry* FindMethod(std::span<const MethodEntry> table, std::string_view method_name) {
  for (const MethodEntry& entry : table) {
    if (entry.name == method_name) return &entry;  // equal length and equal bytes
  }
  return nullptr;
}

void DispatchMethodCall(std::span<const MethodEntry> table, const MethodCall& call,
                        std::unique_ptr<MethodResult> result, const MalformedAnswer& malformed) {
  const MethodEntry* entry = FindMethod(table, call.method_name());
  if (entry == nullptr || !entry->handler) {
    result->NotImplemented();
    return;
  }
  if (const std::optional<std::string> where = FindTextThatIsNotUtf8(call.arguments())) {
    LogLineRateLimited("ERROR: " + call.method_name() + " refused: text that is not UTF-8 in " + *where);
    malformed ? malformed(*where, *result) : result->Success();
    return;
  }
  auto state = std::make_shared<GuardedResult::State>();
  state->inner = std::move(result);
  // An exception that escapes the handler still answers the call, rather than leaving it pending for ever.
  try {
    entry->handler(call, std::make_unique<GuardedResult>(state, call.method_name()));
  } catch (const std::exception& e) {
    LogLine("ERROR: exception escaped the handler of " + call.method_name() + ": " + e.what());
    GuardedResult::AnswerUnhandled(*state, e.what());
  } catch (...) {
    LogLine("ERROR: exception escaped the handler of " + call.method_name());
    GuardedResult::AnswerUnhandled(*state, "unknown exception");
  }
}

void InstallChannel(flutter::BinaryMessenger* messenger, std::string_view name,
                    std::span<const MethodEntry> table, std::unique_ptr<Channel>& slot,
                    MalformedAnswer malformed) {
  auto channel = std::make_unique<Channel>(messenger, std::string(name),
                                           &flutter::StandardMethodCodec::GetInstance());
  MethodHandler dispatch = [table = std::vector<MethodEntry>(table.begin(), table.end()),
                            malformed = std::move(malformed)](const MethodCall& call,
                                                              std::unique_ptr<MethodResult> result) {
    DispatchMethodCall(table, call, std::move(result), malformed);
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
