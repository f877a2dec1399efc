// MethodCall<T>: a method name and its one argument value, as a channel handler receives it.
//
// Thread safety: a plain value.
#pragma once

#include <memory>
#include <string>

#include "flutter/encodable_value.h"

namespace flutter {

template <typename T = EncodableValue>
class MethodCall {
 public:
  // `arguments` may be null (no argument value at all, distinct from a null EncodableValue).
  MethodCall(const std::string& method_name, std::unique_ptr<T> arguments)
      : method_name_(method_name), arguments_(std::move(arguments)) {}

  virtual ~MethodCall() = default;
  MethodCall(MethodCall<T> const&) = delete;
  MethodCall& operator=(MethodCall<T> const&) = delete;

  const std::string& method_name() const { return method_name_; }

  // The argument value, owned by the call; null when there is none.
  const T* arguments() const { return arguments_.get(); }

 private:
  std::string method_name_;
  std::unique_ptr<T> arguments_;
};

}  // namespace flutter
