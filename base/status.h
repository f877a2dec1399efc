// Status: the one way a port, an adapter or a core routine says how it failed. In the manner of
// LevelDB's Status: a kind from a short neutral list plus a message with the context (path, printer,
// job), cheap to return when all is well.
//
// Kinds name what went wrong, never a library or an operating system: a CUPS error, an errno or a
// Windows error number is turned into one of them by the adapter, right after the call that failed, and
// its text goes into the message if it helps a reader of the log. Callers that turn a failure into a
// channel error row or a log line choose by kind; they never parse the message. The system's own number
// may ride along (`system_error()`), for the log lines that name it and nothing else.
//
// Thread safety: a plain value.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace base {

class [[nodiscard]] Status {
 public:
  enum class Code {
    kOk,
    kNotFound,         // no such file, folder, printer, paper or job
    kAlreadyExists,    // the name is taken (a new file or folder that must not replace anything)
    kAccessDenied,     // permission refused, or a path that is not a regular file where one is needed
    kInvalidArgument,  // a value outside what the operation takes
    kUnsupported,      // a format, feature or option this build or this device does not have
    kCorrupt,          // data that does not parse or decode (a damaged file)
    kTooLarge,         // beyond a size limit or the memory budget as a whole
    kOutOfMemory,      // memory (or the budget's free part, after waiting) could not be had
    kIoError,          // reading, writing or any other system failure without a better kind
    kUnavailable,      // a device or service that is not there now (a stopped queue, no display)
    kCancelled,        // stopped on purpose: the user cancelled, or the program is closing
    kFailed,           // anything else
  };

  Status() = default;  // ok

  static Status Ok() { return Status(); }
  static Status NotFound(std::string message) { return Status(Code::kNotFound, std::move(message)); }
  static Status AlreadyExists(std::string message) { return Status(Code::kAlreadyExists, std::move(message)); }
  static Status AccessDenied(std::string message) { return Status(Code::kAccessDenied, std::move(message)); }
  static Status InvalidArgument(std::string message) { return Status(Code::kInvalidArgument, std::move(message)); }
  static Status Unsupported(std::string message) { return Status(Code::kUnsupported, std::move(message)); }
  static Status Corrupt(std::string message) { return Status(Code::kCorrupt, std::move(message)); }
  static Status TooLarge(std::string message) { return Status(Code::kTooLarge, std::move(message)); }
  static Status OutOfMemory(std::string message) { return Status(Code::kOutOfMemory, std::move(message)); }
  static Status IoError(std::string message) { return Status(Code::kIoError, std::move(message)); }
  static Status Unavailable(std::string message) { return Status(Code::kUnavailable, std::move(message)); }
  static Status Cancelled(std::string message) { return Status(Code::kCancelled, std::move(message)); }
  static Status Failed(std::string message) { return Status(Code::kFailed, std::move(message)); }

  Status(Code code, std::string message) : code_(code), message_(std::move(message)) {}

  bool ok() const { return code_ == Code::kOk; }
  Code code() const { return code_; }
  bool Is(Code code) const { return code_ == code; }
  // The context the failure was given ("/home/me/a.heic: unsupported format HEIC"); empty when ok.
  const std::string& message() const { return message_; }

  // "ok", or the kind's name then the message: "not found: /home/me/a.jpg".
  std::string ToString() const;

  // The same kind with `context` put before the message ("sheet 2: " + "disk full").
  Status WithContext(std::string_view context) const;

  // The number the system gave for the failure (an errno value, or what a Windows adapter turned its
  // error into), for log lines that print it; 0 when none was given. Never a reason to choose a path.
  int system_error() const { return system_error_; }
  Status WithSystemError(int number) const {
    Status copy = *this;
    copy.system_error_ = number;
    return copy;
  }

 private:
  Code code_ = Code::kOk;
  std::string message_;
  int system_error_ = 0;
};

// The kind's name in lower case words ("not found", "access denied", ...); "ok" for kOk.
const char* CodeName(Status::Code code);

// A value or the status that explains its absence. Holds a value exactly when ok().
template <typename T>
class [[nodiscard]] StatusOr {
 public:
  StatusOr(T value) : value_(std::move(value)) {}  // NOLINT: implicit, as a return value
  StatusOr(Status status) : status_(std::move(status)) {  // NOLINT: implicit, as a return value
    if (status_.ok()) status_ = Status::Failed("no value");
  }

  bool ok() const { return value_.has_value(); }
  const Status& status() const { return status_; }
  T& value() & { return *value_; }
  const T& value() const& { return *value_; }
  T&& value() && { return std::move(*value_); }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }
  T& operator*() & { return *value_; }
  const T& operator*() const& { return *value_; }

 private:
  std::optional<T> value_;
  Status status_;
};

}  // namespace base
