// The transports that carry frames between clients and the engine's messenger: a byte stream (standard
// input and output, flutter/engine/stream_server.h) and a unix stream socket with several clients
// (flutter/engine/socket_server.h).
//
// The rules of a connection (frames, limits, back-pressure, refusals of large requests, dropping a stuck
// client) are written once, in Connection (flutter/engine/connection.h); the servers only move bytes. On
// POSIX both serve from one thread that polls every descriptor (ServeLoop, and Transport, what both
// servers offer after Serve, in flutter/engine/serve_loop.h); on Windows the standard streams are served
// by flutter/engine/stream_server_win.h. No thread ever waits for a client: replies are queued
// (Connection::QueueReply) and written as the client takes them.
//
// Life of a server: Serve until it returns (the first stop: no new call is read from then on), then, while
// the work already taken on finishes, WriteRepliesUntil as often as the host likes; then shut the engine
// down (no reply can be queued any more), then Drain to write what is still queued, then destroy the
// server.
#pragma once

#include "flutter/engine/serve_loop.h"
#include "flutter/engine/socket_server.h"
#include "flutter/engine/stream_server.h"
