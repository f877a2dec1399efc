// MethodResultFunctions<T>: a MethodResult that forwards each answer to a function (any may be empty).
//
// It does not enforce the one-answer rule itself; each call is forwarded as made.
// Thread safety: as the functions it holds.
#pragma once

#include <functional>
#include <string>
#include <utility>

#include "flutter/encodable_value.h"
#include "flutter/method_result.h"

namespace flutter {

template <typename T = EncodableValue>
using ResultHandlerSuccess = std::function<void(const T* result)>;
template <typename T = EncodableValue>
using ResultHandlerError = std::function<void(const std::string& error_code, const std::string& error_message,
                                              const T* error_details)>;
using ResultHandlerNotImplemented = std::function<void()>;

template <typename T = EncodableValue>
class MethodResultFunctions : public MethodResult<T> {
 public:
  MethodResultFunctions(ResultHandlerSuccess<T> on_success, ResultHandlerError<T> on_error,
                        ResultHandlerNotImplemented on_not_implemented)
      : on_success_(std::move(on_success)),
        on_error_(std::move(on_error)),
        on_not_implemented_(std::move(on_not_implemented)) {}

  ~MethodResultFunctions() override = default;
  MethodResultFunctions(MethodResultFunctions const&) = delete;
  MethodResultFunctions& operator=(MethodResultFunctions const&) = delete;

 protected:
  void SuccessInternal(const T* result) override {
    if (on_success_) on_success_(result);
  }
  void ErrorInternal(const std::string& error_code, const std::string& error_message,
                     const T* error_details) override {
    if (on_error_) on_error_(error_code, error_message, error_details);
  }
  void NotImplementedInternal() override {
    if (on_not_implemented_) on_not_implemented_();
  }

 private:
  ResultHandlerSuccess<T> on_success_;
  ResultHandlerError<T> on_error_;
  ResultHandlerNotImplemented on_not_implemented_;
};

}  // namespace flutter
