// A method result for the baking tests that records its one answer.
#pragma once

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

}  // namespace runner::printing::testing
