// FileStatus: an errno value of the file seam (file_calls.h, pending_output.h) as a base::Status, for
// the ports above the seam. The one table from those numbers to kinds: the adapters that keep errno
// values of their own (POSIX calls, or Windows errors already turned into errno values) use it too, so
// that one failure reads as one kind on every system.
//
//   0                                   ok
//   ENOENT, ENOTDIR                     kNotFound (a folder on the way is missing or not a folder)
//   EEXIST                              kAlreadyExists
//   EACCES, EPERM, EROFS, ELOOP, EISDIR kAccessDenied (refused, or not a file where one is needed)
//   EINVAL, ENAMETOOLONG, EXDEV         kInvalidArgument (a name the system takes no file under, or a
//                                       final name outside the file's folder)
//   EFBIG                               kTooLarge
//   ENOMEM                              kOutOfMemory
//   ENOSYS                              kUnsupported
//   ENOSPC, EDQUOT                      kIoError, the message saying "disk full"
//   anything else                       kIoError
//
// The message is "<path>: <reason>", the reason being the system's text for the number ("No such file
// or directory"), or the one given.
// Thread safety: plain functions.
#pragma once

#include <string_view>

#include "base/status.h"

namespace imaging {

// The kind for `error`, by the table above.
base::Status::Code FileErrorKind(int error);

// The status for `error` about `path`, with the system's text for the number; ok for 0.
base::Status FileStatus(int error, std::string_view path);

// The same with `reason` as the text (a system's own message for the failure that gave `error`).
base::Status FileStatus(int error, std::string_view path, std::string_view reason);

}  // namespace imaging
