// What a host needs from any transport's serve loop, on every platform: the stop signal it is stopped by
// and the reasons a serve or a wait for replies ended.
#pragma once

#include "flutter/engine/wake_pipe.h"

namespace flutter::engine {

// A wake-up that stops a serve loop (Notify, then TakeOne or Clear on the host's side).
using StopSignal = WakePipe;

// Why a serve loop returned. kFailed: for a stream, the connection ended by a failure (a frame above the
// size limit or cut short by the end of input, a read or write error, a client that stopped taking its
// replies); for a socket server, the listening socket failed.
enum class ServeEnd { kEndOfInput, kStopped, kFailed };

// Why WriteRepliesUntil returned: `wake` was notified, `stop` was notified, or the deadline passed.
enum class WaitEnd { kWoken, kStopped, kDeadline };

}  // namespace flutter::engine
