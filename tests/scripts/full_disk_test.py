#!/usr/bin/env python3
"""Sheets (through the helper program and through the in-process composer), bakes and the helper on its
own, writing into a real 3 MiB tmpfs until it is full: every request that cannot finish answers an error,
and no truncated, empty or temporary file is ever left on that disk; a file that was there before is
either kept whole or replaced by a whole new one.

    full_disk_test.py BIN_FOLDER

The tmpfs is mounted in a private mount namespace (unshare -m), so nothing is seen outside this test.
Exits with 77 (skipped, with the reason on standard error) where that is not allowed.
"""
import json
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
from pictavera_client import Host  # noqa: E402

SKIPPED = 77


def png(width, height, pixel_bytes, colour_type, bit_depth=8):
    """A PNG of rows of `pixel_bytes` (bytes per row given whole), no colour-space chunk."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    header = struct.pack(">IIBBBBB", width, height, bit_depth, colour_type, 0, 0, 0)
    row = len(pixel_bytes) // height
    raw = b"".join(b"\0" + pixel_bytes[y * row:(y + 1) * row] for y in range(height))
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 1)) + chunk(b"IEND", b"")


def noise_photo(path, size, seed):
    """Colour noise: no JPEG encoder can make it small, so a few sheets fill the disk."""
    rng = random.Random(seed)
    with open(path, "wb") as out:
        out.write(png(size, size, rng.randbytes(size * size * 3), 2))


def check_disk(disk, before, failures, what):
    """Every file on `disk` is a whole JPEG (or a file that was there before, unchanged); none hidden."""
    for folder, _, names in os.walk(disk):
        for name in names:
            path = os.path.join(folder, name)
            data = open(path, "rb").read()
            if name.startswith("."):
                failures.append(f"{what}: temporary file left: {path}")
            elif path in before and data == before[path]:
                continue
            elif len(data) < 4 or data[:2] != b"\xff\xd8" or data[-2:] != b"\xff\xd9":
                failures.append(f"{what}: truncated or empty file: {path} ({len(data)} bytes)")


def clear(disk):
    for entry in os.listdir(disk):
        path = os.path.join(disk, entry)
        shutil.rmtree(path) if os.path.isdir(path) and not os.path.islink(path) else os.remove(path)


def call(host_program, channel, method, arguments, env):
    with Host([host_program, "serve", "--stdio"], env=env, stderr=subprocess.DEVNULL) as host:
        return host.wait(host.send(channel, method, arguments), timeout=600)


def inside(bin_folder, work):
    disk = os.path.join(work, "disk")
    os.makedirs(disk)
    subprocess.run(["mount", "--make-rprivate", "/"], check=True)
    subprocess.run(["mount", "-t", "tmpfs", "-o", "size=3m", "tmpfs", disk], check=True)
    photos = [os.path.join(work, f"photo{i}.png") for i in range(4)]
    for i, path in enumerate(photos):
        noise_photo(path, 900, i)
    alone = os.path.join(work, "alone")  # the host without the helper beside it
    os.makedirs(alone)
    shutil.copy(os.path.join(bin_folder, "pictavera"), alone)
    env = dict(os.environ, PICTAVERA_TEMP_DIR=os.path.join(work, "temp"))
    failures = []

    for label, program in (("helper", os.path.join(bin_folder, "pictavera")),
                           ("in-process", os.path.join(alone, "pictavera"))):
        clear(disk)
        old = os.path.join(disk, "sheet_3.jpg")
        with open(old, "wb") as out:
            out.write(b"\xff\xd8 an earlier sheet \xff\xd9")
        before = {old: open(old, "rb").read()}
        outputs = [os.path.join(disk, f"sheet_{i}.jpg") for i in range(1, 6)]
        reply = call(program, "printing_channel", "createGridImages", {
            "imagePaths": photos, "outputPaths": outputs, "rows": 1, "columns": 1, "pageWidth": 900,
            "pageHeight": 900, "marginLeft": 0, "marginRight": 0, "marginTop": 0, "marginBottom": 0,
            "jpegQuality": 100}, env)
        error = (reply or {}).get("error") or {}
        if error.get("code") != "GRID_ERROR" or not error.get("message", "").startswith("Failed to save grid image"):
            failures.append(f"sheets through the {label}: expected a save failure, got {json.dumps(reply)}")
        check_disk(disk, before, failures, f"sheets through the {label}")

    clear(disk)
    env_bake = dict(os.environ, PICTAVERA_TEMP_DIR=os.path.join(disk, "temp"))
    requests = [{"sourcePath": p, "canvasWidth": 900, "canvasHeight": 900} for p in photos * 2]
    reply = call(os.path.join(bin_folder, "pictavera"), "printing_channel", "bakeImagesForPrinting",
                 {"requests": requests, "jpegQuality": 100}, env_bake)
    results = ((reply or {}).get("success") or {}).get("results", [])
    failed = [r for r in results if not r.get("success")]
    if len(results) != len(requests) or not failed:
        failures.append(f"bake: expected some failed saves, got {json.dumps(reply)[:400]}")
    for r in failed:
        if not r.get("error", "").startswith("Failed to save baked image"):
            failures.append(f"bake: unexpected failure {r}")
    check_disk(disk, {}, failures, "bake")

    clear(disk)
    job = os.path.join(work, "job.txt")
    with open(job, "w") as out:
        out.write("[settings]\nrows=1\ncols=1\npageWidth=900\npageHeight=900\nmarginLeft=0\nmarginRight=0\n"
                  "marginTop=0\nmarginBottom=0\njpegQuality=100\n[images]\n" + "\n".join(photos) +
                  "\n[outputs]\n" + "\n".join(os.path.join(disk, f"m{i}.jpg") for i in range(4)) + "\n")
    run = subprocess.run([os.path.join(bin_folder, "mosalith"), job], capture_output=True, text=True)
    if run.returncode != 2:
        failures.append(f"mosalith alone: expected exit 2, got {run.returncode}: {run.stderr[-300:]}")
    check_disk(disk, {}, failures, "mosalith alone")
    subprocess.run(["umount", disk], check=False)
    for failure in failures:
        print("FAIL " + failure, file=sys.stderr)
    return 1 if failures else 0


def main(argv):
    if len(argv) == 3 and argv[0] == "--inside":
        return inside(argv[1], argv[2])
    if len(argv) != 1:
        print(__doc__, file=sys.stderr)
        return 2
    bin_folder = os.path.abspath(argv[0])
    probe = subprocess.run(["unshare", "-m", "true"], capture_output=True, text=True)
    if probe.returncode != 0:
        print("skipped: a private mount namespace is not allowed here (unshare -m: "
              f"{probe.stderr.strip() or probe.returncode})", file=sys.stderr)
        return SKIPPED
    with tempfile.TemporaryDirectory(prefix="full-disk-test-") as work:
        return subprocess.run(["unshare", "-m", sys.executable, os.path.abspath(__file__), "--inside", bin_folder,
                               work]).returncode


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
