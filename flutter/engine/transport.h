// The transports that carry frames between clients and the engine's messenger: a byte stream (standard
// input and output, flutter/engine/stream_server.h) and a unix stream socket with several clients
// (flutter/engine/socket_server.h).
//
// Both serve from one thread that polls every descriptor (ServeLoop, and Transport, what both servers
// offer after Serve, in flutter/engine/serve_loop.h): it reads requests and delivers them to the
// messenger, and writes the replies that answering threads queue on each connection. No thread ever
// waits for a client: replies are queued (Connection::QueueReply) and written as the client takes them. Memory stays bounded by TransportLimits: a client whose replies pile up, or
// whose requests are still being answered, is not read until it catches up (backpressure); a client that
// takes no reply for `stuck_limit` is dropped, with one log line; so is one whose frame would take the
// server past its input limit.
//
// Life of a server: Serve until it returns (the first stop: no new call is read from then on), then, while
// the work already taken on finishes, WriteRepliesUntil as often as the host likes; then shut the engine
// down (no reply can be queued any more), then Drain to write what is still queued, then destroy the
// server.
#pragma once

#include "flutter/engine/serve_loop.h"
#include "flutter/engine/socket_server.h"
#include "flutter/engine/stream_server.h"
