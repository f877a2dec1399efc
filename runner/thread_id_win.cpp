// CurrentThreadId on Windows: the system's thread id.
#include <windows.h>

#include "runner/log.h"

namespace runner {

long CurrentThreadId() { return static_cast<long>(::GetCurrentThreadId()); }

}  // namespace runner
