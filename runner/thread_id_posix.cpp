// CurrentThreadId on Linux: the kernel's thread id.
#include <unistd.h>

#include "runner/log.h"

namespace runner {

long CurrentThreadId() { return static_cast<long>(::gettid()); }

}  // namespace runner
