#!/usr/bin/env python3
"""A client for `pictavera serve --stdio`, written apart from the host's own code: frames, the standard
message codec and the method-call envelopes, as the interface speaks them.

As a library (benchmarks and checks from outside):

    from pictavera_client import Host
    with Host(["build/bin/pictavera", "serve", "--stdio"]) as host:
        call_id = host.send("printing_channel", "getColorProfiles")
        reply = host.wait(call_id, timeout=5)        # {"success": ...} / {"error": {...}} / {"notImplemented": True}

As a command (several calls pipelined on one host; each answer printed as one JSON line when it arrives):

    scripts/pictavera_client.py [--host build/bin/pictavera] CHANNEL METHOD [JSON] [-- CHANNEL METHOD [JSON] ...]

JSON arguments follow `pictavera call`: integers that fit 32 bits are int32, larger ones int64, numbers with a
fraction are double; {"$bytes": "<base64>"}, {"$int64": n}, {"$double": n} force a kind.
"""
import base64
import json
import os
import select
import struct
import subprocess
import sys
import time

# The standard message codec's type bytes.
NULL, TRUE, FALSE, INT32, INT64, FLOAT64, STRING, UINT8LIST, INT32LIST, INT64LIST, FLOAT64LIST, LIST, MAP, \
    FLOAT32LIST = 0, 1, 2, 3, 4, 6, 7, 8, 9, 10, 11, 12, 13, 14


class Int64(int):
    """An integer sent as int64 whatever its size."""


class Double(float):
    """A number sent as a double even when it has no fraction."""


def _write_size(out, n):
    if n < 254:
        out.append(n)
    elif n <= 0xFFFF:
        out.append(254)
        out += struct.pack("<H", n)
    else:
        out.append(255)
        out += struct.pack("<I", n)


def _align(out, n):
    while len(out) % n:
        out.append(0)


def encode_value(value, out):
    if value is None:
        out.append(NULL)
    elif value is True:
        out.append(TRUE)
    elif value is False:
        out.append(FALSE)
    elif isinstance(value, Int64):
        out.append(INT64)
        out += struct.pack("<q", value)
    elif isinstance(value, int):
        if -2**31 <= value < 2**31:
            out.append(INT32)
            out += struct.pack("<i", value)
        else:
            out.append(INT64)
            out += struct.pack("<q", value)
    elif isinstance(value, float):
        out.append(FLOAT64)
        _align(out, 8)
        out += struct.pack("<d", value)
    elif isinstance(value, str):
        data = value.encode("utf-8", "surrogateescape")
        out.append(STRING)
        _write_size(out, len(data))
        out += data
    elif isinstance(value, (bytes, bytearray)):
        out.append(UINT8LIST)
        _write_size(out, len(value))
        out += value
    elif isinstance(value, (list, tuple)):
        out.append(LIST)
        _write_size(out, len(value))
        for item in value:
            encode_value(item, out)
    elif isinstance(value, dict):
        out.append(MAP)
        _write_size(out, len(value))
        for key, item in value.items():
            encode_value(key, out)
            encode_value(item, out)
    else:
        raise TypeError(f"cannot encode {type(value).__name__}")


class _Reader:
    def __init__(self, data):
        self.data, self.pos = data, 0

    def take(self, n):
        if self.pos + n > len(self.data):
            raise ValueError("message cut short")
        chunk = self.data[self.pos:self.pos + n]
        self.pos += n
        return chunk

    def size(self):
        n = self.take(1)[0]
        if n == 254:
            return struct.unpack("<H", self.take(2))[0]
        if n == 255:
            return struct.unpack("<I", self.take(4))[0]
        return n

    def align(self, n):
        self.pos += (-self.pos) % n

    def value(self):
        kind = self.take(1)[0]
        if kind == NULL:
            return None
        if kind == TRUE:
            return True
        if kind == FALSE:
            return False
        if kind == INT32:
            return struct.unpack("<i", self.take(4))[0]
        if kind == INT64:
            return struct.unpack("<q", self.take(8))[0]
        if kind == FLOAT64:
            self.align(8)
            return struct.unpack("<d", self.take(8))[0]
        if kind == STRING:
            return self.take(self.size()).decode("utf-8", "surrogateescape")
        if kind == UINT8LIST:
            return bytes(self.take(self.size()))
        for list_kind, width, fmt in ((INT32LIST, 4, "i"), (INT64LIST, 8, "q"), (FLOAT64LIST, 8, "d"),
                                      (FLOAT32LIST, 4, "f")):
            if kind == list_kind:
                n = self.size()
                self.align(width)
                return list(struct.unpack(f"<{n}{fmt}", self.take(n * width)))
        if kind == LIST:
            return [self.value() for _ in range(self.size())]
        if kind == MAP:
            result = {}
            for _ in range(self.size()):
                key = self.value()
                result[key if isinstance(key, (str, int, float, bool, type(None), bytes)) else repr(key)] = \
                    self.value()
            return result
        raise ValueError(f"unknown type byte {kind}")


def encode_call(method, arguments=None):
    out = bytearray()
    encode_value(method, out)
    encode_value(arguments, out)
    return bytes(out)


def decode_envelope(data):
    """A reply envelope as {"success": v}, {"error": {...}} or {"notImplemented": True}."""
    if not data:
        return {"notImplemented": True}
    reader = _Reader(data)
    flag = reader.take(1)[0]
    if flag == 0:
        return {"success": reader.value()}
    code, message, details = reader.value(), reader.value(), reader.value()
    return {"error": {"code": code, "message": message, "details": details}}


class Host:
    """One `pictavera serve --stdio` process. Replies are collected as they arrive, in any order."""

    def __init__(self, command, env=None, stderr=None):
        self.process = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=stderr, env=env)
        self.next_id = 1
        self.replies = {}     # id -> (envelope, seconds after send)
        self.sent_at = {}
        self._buffer = b""

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.close()

    def send(self, channel, method, arguments=None):
        call_id = self.next_id
        self.next_id += 1
        name = channel.encode()
        body = bytes([1]) + struct.pack("<IH", call_id, len(name)) + name + encode_call(method, arguments)
        self.process.stdin.write(struct.pack("<I", len(body)) + body)
        self.process.stdin.flush()
        self.sent_at[call_id] = time.monotonic()
        return call_id

    def _pump(self, timeout):
        """Reads what the host has written within `timeout` seconds; False at end of output."""
        ready, _, _ = select.select([self.process.stdout], [], [], max(timeout, 0))
        if not ready:
            return True
        chunk = os.read(self.process.stdout.fileno(), 1 << 20)
        if not chunk:
            return False
        self._buffer += chunk
        while len(self._buffer) >= 4:
            (n,) = struct.unpack("<I", self._buffer[:4])
            if len(self._buffer) < 4 + n:
                break
            frame, self._buffer = self._buffer[4:4 + n], self._buffer[4 + n:]
            if frame[:1] == b"\x02":
                (call_id,) = struct.unpack("<I", frame[1:5])
                self.replies[call_id] = (decode_envelope(frame[5:]),
                                         time.monotonic() - self.sent_at.get(call_id, time.monotonic()))
        return True

    def wait(self, call_id, timeout=60.0):
        """The reply to `call_id`, or None when it does not come within `timeout` seconds."""
        deadline = time.monotonic() + timeout
        while call_id not in self.replies:
            left = deadline - time.monotonic()
            if left <= 0 or not self._pump(left):
                return None
        return self.replies[call_id][0]

    def latency(self, call_id):
        """Seconds from sending `call_id` to its reply arriving (after wait)."""
        return self.replies[call_id][1]

    def close(self, timeout=30.0):
        """Ends input and waits for the host; its exit code."""
        if self.process.stdin and not self.process.stdin.closed:
            try:
                self.process.stdin.close()
            except BrokenPipeError:
                pass
        deadline = time.monotonic() + timeout
        while self.process.poll() is None and time.monotonic() < deadline:
            if not self._pump(0.05):
                break
        try:
            return self.process.wait(max(deadline - time.monotonic(), 0.1))
        except subprocess.TimeoutExpired:
            self.process.kill()
            return self.process.wait()


def from_json(value):
    """JSON as `pictavera call` reads it."""
    if isinstance(value, dict):
        if set(value) == {"$bytes"}:
            return base64.b64decode(value["$bytes"])
        if set(value) == {"$int64"}:
            return Int64(value["$int64"])
        if set(value) == {"$double"}:
            return Double(value["$double"])
        return {k: from_json(v) for k, v in value.items()}
    if isinstance(value, list):
        return [from_json(v) for v in value]
    return value


def to_json(value):
    if isinstance(value, bytes):
        return {"$bytes": base64.b64encode(value).decode()}
    if isinstance(value, dict):
        return {str(k): to_json(v) for k, v in value.items()}
    if isinstance(value, list):
        return [to_json(v) for v in value]
    return value


def main(argv):
    host_path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "build", "bin", "pictavera")
    if len(argv) >= 2 and argv[0] == "--host":
        host_path, argv = argv[1], argv[2:]
    calls, current = [], []
    for arg in argv + ["--"]:
        if arg == "--":
            if current:
                calls.append(current)
            current = []
        else:
            current.append(arg)
    if not calls or any(len(c) not in (2, 3) for c in calls):
        print(__doc__, file=sys.stderr)
        return 2
    with Host([host_path, "serve", "--stdio"]) as host:
        ids = [host.send(c[0], c[1], from_json(json.loads(c[2])) if len(c) == 3 else None) for c in calls]
        failed = False
        for call_id in ids:
            reply = host.wait(call_id)
            if reply is None:
                failed = True
                print(json.dumps({"noReply": call_id}))
                continue
            print(json.dumps(to_json(reply), ensure_ascii=False))
        code = host.close()
    return 3 if failed else (0 if code == 0 else 4)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
