// Status: the kinds' names and the text forms.
#include "base/status.h"

namespace base {

const char* CodeName(Status::Code code) {
  switch (code) {
    case Status::Code::kOk: return "ok";
    case Status::Code::kNotFound: return "not found";
    case Status::Code::kAlreadyExists: return "already exists";
    case Status::Code::kAccessDenied: return "access denied";
    case Status::Code::kInvalidArgument: return "invalid argument";
    case Status::Code::kUnsupported: return "unsupported";
    case Status::Code::kCorrupt: return "damaged data";
    case Status::Code::kTooLarge: return "too large";
    case Status::Code::kOutOfMemory: return "out of memory";
    case Status::Code::kIoError: return "I/O error";
    case Status::Code::kUnavailable: return "unavailable";
    case Status::Code::kCancelled: return "cancelled";
    case Status::Code::kFailed: return "failed";
  }
  return "failed";
}

std::string Status::ToString() const {
  if (ok()) return "ok";
  std::string text = CodeName(code_);
  if (!message_.empty()) {
    text += ": ";
    text += message_;
  }
  return text;
}

Status Status::WithContext(std::string_view context) const {
  if (ok()) return *this;
  std::string message(context);
  if (!message_.empty()) {
    if (!message.empty()) message += ": ";
    message += message_;
  }
  return Status(code_, std::move(message)).WithSystemError(system_error_);
}

}  // namespace base
