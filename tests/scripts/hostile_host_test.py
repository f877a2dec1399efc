#!/usr/bin/env python3
"""The built host as the interface meets it on a bad day: calls pipelined faster than it can work and
ended by the end of input, hostile names in the log, text that is not UTF-8, nonsense numbers.

    hostile_host_test.py BIN_FOLDER
"""
import os
import struct
import subprocess
import sys
import tempfile
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
from pictavera_client import decode_envelope, encode_call  # noqa: E402

FAILURES = []


def check(condition, what):
    if not condition:
        FAILURES.append(what)
        print("FAIL: " + what, file=sys.stderr)


def png(width, height):
    """A small grey RGB PNG."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    raw = b"".join(b"\0" + b"\x80" * (3 * width) for _ in range(height))
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b"")


def frames(calls):
    """Request frames for (channel, method, arguments) in order, ids from 1."""
    out = bytearray()
    for call_id, (channel, method, arguments) in enumerate(calls, 1):
        name = channel.encode()
        body = bytes([1]) + struct.pack("<IH", call_id, len(name)) + name + encode_call(method, arguments)
        out += struct.pack("<I", len(body)) + body
    return bytes(out)


def serve(bin_folder, input_bytes, env):
    """Runs `pictavera serve --stdio` on `input_bytes` (then the end of input): exit code, replies by id
    (a list per id, so a second answer shows), standard error."""
    process = subprocess.run([os.path.join(bin_folder, "pictavera"), "serve", "--stdio"], input=input_bytes,
                             capture_output=True, env=env, timeout=300)
    replies = {}
    out, at = process.stdout, 0
    while at + 4 <= len(out):
        (n,) = struct.unpack_from("<I", out, at)
        body = out[at + 4:at + 4 + n]
        at += 4 + n
        (call_id,) = struct.unpack_from("<I", body, 1)
        replies.setdefault(call_id, []).append(decode_envelope(body[5:]))
    return process.returncode, replies, process.stderr


def pipelined_calls_ended_by_the_end_of_input(bin_folder, folder, env):
    """Far more previews than the preview lane holds, then the end of input at once: every call is
    answered exactly once, and with a preview (the lane made the host stop reading, it refused none)."""
    photo = os.path.join(folder, "small.png")
    with open(photo, "wb") as out:
        out.write(png(16, 12))
    count = 3000
    calls = [("thumbnail_channel", "getThumbnail", {"path": photo, "width": 8, "height": 8})] * count
    code, replies, stderr = serve(bin_folder, frames(calls), env)
    check(code == 0, "pipelined previews: exit code %d" % code)
    check(len(replies) == count, "pipelined previews: %d of %d answered" % (len(replies), count))
    check(all(len(r) == 1 for r in replies.values()), "pipelined previews: a call answered twice")
    empty = sum(1 for r in replies.values() if not isinstance(r[0].get("success"), bytes))
    check(empty == 0, "pipelined previews: %d answered without a preview" % empty)
    check(b"already wait" not in stderr, "pipelined previews: calls refused for want of room")


def sheet_arguments(photos, output):
    return {"imagePaths": photos, "outputPaths": [output], "rows": 1, "columns": 1, "pageWidth": 60,
            "pageHeight": 60, "marginLeft": 0, "marginRight": 0, "marginTop": 0, "marginBottom": 0}


def hostile_names_in_the_log(bin_folder, folder, env):
    """A photo whose name holds a terminal escape, a C1 control and a right-to-left override: the
    helper's lines the host copies and the host's own lines carry them escaped, never raw."""
    name = os.path.join(folder, "red\x1b[31m\u202e\u009bgpj.png")
    with open(name, "wb") as out:
        out.write(png(16, 12))
    calls = [("printing_channel", "createGridImages", sheet_arguments([name], os.path.join(folder, "sheet.jpg"))),
             ("face_rects_channel", "detectFacesWindows", {"imagePaths": [name]})]
    code, replies, stderr = serve(bin_folder, frames(calls), env)
    check(replies.get(1) == [{"success": True}], "hostile names: the sheet was not made: %r" % replies.get(1))
    for raw in (b"\x1b", b"\xe2\x80\xae", b"\xc2\x9b"):
        check(raw not in stderr, "hostile names: %r reached standard error raw" % raw)
    escaped = b"red\\x1b[31m\\u202e\\u009bgpj.png"
    check(b"Mosalith: load " + os.path.dirname(name).encode() + b"/" + escaped in stderr,
          "hostile names: the helper's line about the photo is missing")
    check(b"FD: Opening path: " + os.path.dirname(name).encode() + b"/" + escaped in stderr,
          "hostile names: the host's own line about the photo is missing")


def strict_utf8(value):
    """Whether every text in a decoded reply is UTF-8 (the client decodes with surrogateescape)."""
    if isinstance(value, str):
        try:
            value.encode("utf-8")
            return True
        except UnicodeEncodeError:
            return False
    if isinstance(value, dict):
        return all(strict_utf8(k) and strict_utf8(v) for k, v in value.items())
    if isinstance(value, list):
        return all(strict_utf8(v) for v in value)
    return True


def text_that_is_not_utf8(bin_folder, folder, env):
    """Paths that are not UTF-8 are refused as malformed arguments, never opened or echoed; every reply is
    UTF-8 the interface's strict decoder takes."""
    bad = os.path.join(folder, "photo\udcff.jpg")  # the byte 0xFF in the middle of the name
    not_utf8 = {"code": "INVALID_ARGUMENTS", "message": "Text that is not valid UTF-8 in ", "details": None}
    calls = [
        (("printing_channel", "printImagesWindows", [bad]), "element 0"),
        (("printing_channel", "createGridImages", sheet_arguments([bad], os.path.join(folder, "s.jpg"))),
         "key 'imagePaths'"),
        (("printing_channel", "printWithLayoutWindows", {"imagePaths": [bad], "printerName": "x\udcfe"}),
         "key 'imagePaths'"),
        (("face_rects_channel", "detectFacesWindows", {"imagePaths": [bad]}), None),
        (("thumbnail_channel", "getThumbnail", {"path": bad, "width": 8, "height": 8}), None),
        (("media_info_channel", "getQuickMeta", {"path": bad}), None),
    ]
    code, replies, _ = serve(bin_folder, frames([c for c, _ in calls]), env)
    for call_id, ((_, method, _), where) in enumerate(calls, 1):
        reply = replies.get(call_id, [None])[0]
        if where is None:
            expected = {"success": None}
        else:
            expected = {"error": dict(not_utf8, message=not_utf8["message"] + where)}
        check(reply == expected, "not UTF-8: %s answered %r" % (method, reply))
        check(strict_utf8(reply), "not UTF-8: the answer to %s is not UTF-8" % method)


def nonsense_numbers(bin_folder, folder, env):
    """Numbers of the right kind that cannot mean anything are refused by name, never turned into a blank
    picture answered as a success."""
    photo = os.path.join(folder, "small.png")
    sheet = sheet_arguments([photo], os.path.join(folder, "nonsense.jpg"))
    refused_sheets = []
    for key, values, expected in (("dpi", [float("nan"), 0, -5, 2**31 - 1], "1 to 10000"),
                                  ("jpegQuality", [-5, 1000], "1 to 100"),
                                  ("cutGridWidthMm", [-1.0, 1e300], "0 to 10")):
        for value in values:
            refused_sheets.append((dict(sheet, **{key: value}), key, expected))
    calls = [("printing_channel", "createGridImages", args) for args, _, _ in refused_sheets]
    bake = {"sourcePath": photo, "canvasWidth": 40, "canvasHeight": 30}
    calls.append(("printing_channel", "bakeImagesForPrinting", {"requests": [
        dict(bake, imageScale=0.0), dict(bake, imageScale=float("nan")),
        dict(bake, effects={"stroke": 1e30}), dict(bake)]}))
    calls.append(("printing_channel", "setDefaultPrinterAndPaper",
                  {"printerName": "PictaVera PDF", "paperSize": {"width": 1, "height": 1}}))
    code, replies, _ = serve(bin_folder, frames(calls), env)
    for call_id, (_, key, expected) in enumerate(refused_sheets, 1):
        reply = replies.get(call_id, [None])[0]
        want = {"error": {"code": "INVALID_ARGUMENTS", "details": None,
                          "message": "Invalid value for key '%s': expected %s" % (key, expected)}}
        check(reply == want, "nonsense: sheet %s=%r answered %r" % (key, refused_sheets[call_id - 1][0][key], reply))
    bake_reply = (replies.get(len(refused_sheets) + 1, [{}])[0].get("success") or {}).get("results", [])
    outcomes = [(r.get("success"), r.get("error", "")) for r in bake_reply]
    check(len(outcomes) == 4 and [o[0] for o in outcomes] == [False, False, False, True],
          "nonsense: bake outcomes %r" % outcomes)
    if len(outcomes) == 4:
        check("imageScale" in outcomes[0][1] and "imageScale" in outcomes[1][1] and "stroke" in outcomes[2][1],
              "nonsense: bake failures do not name their keys: %r" % outcomes)
    paper = replies.get(len(refused_sheets) + 2, [None])[0]
    check(paper == {"error": {"code": "INVALID_ARGUMENTS", "details": None,
                              "message": "Invalid value for key 'paperSize': expected sides from 10 to 5000 mm"}},
          "nonsense: a 1 x 1 mm paper answered %r" % paper)


def main():
    bin_folder = sys.argv[1]
    with tempfile.TemporaryDirectory(prefix="hostile_host_test_") as folder:
        env = dict(os.environ, PICTAVERA_TEMP_DIR=os.path.join(folder, "temp"),
                   XDG_CONFIG_HOME=os.path.join(folder, "config"), XDG_CACHE_HOME=os.path.join(folder, "cache"))
        pipelined_calls_ended_by_the_end_of_input(bin_folder, folder, env)
        hostile_names_in_the_log(bin_folder, folder, env)
        text_that_is_not_utf8(bin_folder, folder, env)
        nonsense_numbers(bin_folder, folder, env)
    if FAILURES:
        sys.exit(1)
    print("hostile_host_test: all checks passed")


if __name__ == "__main__":
    main()
