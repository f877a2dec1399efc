// A method result that records the answer a handler gives, for tests that call handlers directly.
#pragma once

#include <string>
#include <variant>

#include "flutter/encodable_value.h"
#include "flutter/method_result.h"

namespace test_support {

// Records the last answer and counts every answer, so a second one shows. Not thread-safe: for handlers
// that answer on the calling thread.
class RecordedResult : public flutter::MethodResult<flutter::EncodableValue> {
 public:
  int answers = 0;
  bool success = false;
  flutter::EncodableValue value;  // the success value
  std::string code;               // the error's code and message
  std::string message;
  bool details_null = false;      // the error came without details (or with null ones)

  const flutter::EncodableMap& map() const { return std::get<flutter::EncodableMap>(value); }

 protected:
  void SuccessInternal(const flutter::EncodableValue* result) override {
    ++answers;
    success = true;
    if (result) value = *result;
  }
  void ErrorInternal(const std::string& error_code, const std::string& error_message,
                     const flutter::EncodableValue* details) override {
    ++answers;
    code = error_code;
    message = error_message;
    details_null = details == nullptr || details->IsNull();
  }
  void NotImplementedInternal() override { ++answers; }
};

}  // namespace test_support
