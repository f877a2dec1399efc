// Method results for the baking tests: one that records its one answer, one that passes it on.
#pragma once

#include <memory>
#include <string>

#include "runner/channels/channel.h"

namespace runner::printing::testing {

// Records the answer; counts answers so a second one shows.
class RecordedResult : public MethodResult {
 public:
  int answers = 0;
  bool success = false;
  EncodableValue value;
  std::string code;
  std::string message;

  const EncodableMap& map() const { return std::get<EncodableMap>(value); }

 protected:
  void SuccessInternal(const EncodableValue* result) override {
    ++answers;
    success = true;
    if (result) value = *result;
  }
  void ErrorInternal(const std::string& error_code, const std::string& error_message,
                     const EncodableValue*) override {
    ++answers;
    code = error_code;
    message = error_message;
  }
  void NotImplementedInternal() override { ++answers; }
};

// A result that passes its one answer on to `target`, which the test keeps, so that a handler can own it.
class ForwardingResult : public MethodResult {
 public:
  explicit ForwardingResult(MethodResult& target) : target_(target) {}

 protected:
  void SuccessInternal(const EncodableValue* result) override { result ? target_.Success(*result) : target_.Success(); }
  void ErrorInternal(const std::string& code, const std::string& message, const EncodableValue* details) override {
    details ? target_.Error(code, message, *details) : target_.Error(code, message);
  }
  void NotImplementedInternal() override { target_.NotImplemented(); }

 private:
  MethodResult& target_;
};

}  // namespace runner::printing::testing
