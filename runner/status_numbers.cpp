// Status numbers: the kinds and their numbers.
#include "runner/status_numbers.h"

namespace runner {

using Code = base::Status::Code;

int GraphicsStatusNumber(Code code) {
  switch (code) {
    case Code::kOk: return 0;
    case Code::kInvalidArgument:
    case Code::kTooLarge: return 2;
    case Code::kOutOfMemory: return 3;
    case Code::kIoError: return 7;
    case Code::kNotFound: return 10;
    case Code::kAccessDenied: return 12;
    case Code::kUnsupported:
    case Code::kCorrupt: return 13;
    default: return 1;
  }
}

int ShellRefusalNumber(Code code) {
  switch (code) {
    case Code::kNotFound: return 2;
    case Code::kAccessDenied: return 5;
    case Code::kOutOfMemory: return 8;
    default: return 31;
  }
}

}  // namespace runner
