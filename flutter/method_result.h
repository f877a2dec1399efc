// MethodResult<T>: the one answer to a method call: success (with or without a value), error, or not
// implemented.
//
// Exactly one of Success, Error or NotImplemented must be called, exactly once. The result that answers
// a call arriving from the engine (EngineMethodResult) enforces this: a second answer is ignored with a
// line on std::cerr, and destroying it unanswered leaves the caller waiting (also logged).
//
// Thread safety: an answer may be given on any thread, but a result is owned by one holder at a time and
// must not be touched by two threads at once.
#pragma once

#include <string>

#include "flutter/encodable_value.h"

namespace flutter {

template <typename T = EncodableValue>
class MethodResult {
 public:
  MethodResult() = default;
  virtual ~MethodResult() = default;
  MethodResult(MethodResult const&) = delete;
  MethodResult& operator=(MethodResult const&) = delete;

  // Success carrying `result`.
  void Success(const T& result) { SuccessInternal(&result); }

  // Success carrying nothing (null on the wire).
  void Success() { SuccessInternal(nullptr); }

  // An error with a code, a message and details.
  void Error(const std::string& error_code, const std::string& error_message, const T& error_details) {
    ErrorInternal(error_code, error_message, &error_details);
  }

  // An error with a code and a message; the details are null.
  void Error(const std::string& error_code, const std::string& error_message = "") {
    ErrorInternal(error_code, error_message, nullptr);
  }

  // The method is not known to the handler.
  void NotImplemented() { NotImplementedInternal(); }

 protected:
  // `result` is null for a success without a value; it is only valid during the call.
  virtual void SuccessInternal(const T* result) = 0;
  virtual void ErrorInternal(const std::string& error_code, const std::string& error_message,
                             const T* error_details) = 0;
  virtual void NotImplementedInternal() = 0;
};

}  // namespace flutter
