#!/usr/bin/env python3
"""The host under load, from outside, through `pictavera serve --stdio` (scripts/pictavera_client.py).

    bench/host_bench.py [--build build] [SCENARIO ...]     scenarios: previews sheet memory shutdown (default: all)

previews  a light call (getColorProfiles) sent behind 40 previews of 12-megapixel photos: its latency,
          and when the last preview came
sheet     a light call behind a sheet job whose helper takes 5 s (a stand-in beside a copy of the host),
          and behind a real 48-photo job of 12-megapixel photos
memory    pictures that claim 16000 x 16000 pixels (a ~0.6 KB JPEG, a ~0.75 MB PNG) in a face batch, two
          previews, a two-worker bake and a print on the built-in PDF printer, all at once: the host's peak
          resident memory (the budget's default, 1 GiB), whether every call was answered, the exit code;
          then the same with the JPEG progressive (its decoder holds every coefficient)
shutdown  a sheet job whose helper ignores SIGTERM, then two SIGTERMs: seconds from the second to the
          host's end, whether the helper's process group is gone
Each run starts a host of its own in a private temporary folder; numbers are one run each (wall time).
"""
import argparse
import os
import resource
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "scripts"))
from pictavera_client import Host  # noqa: E402


def make_photo(path, seed):
    subprocess.run([sys.executable, os.path.join(HERE, "..", "scripts", "make_photo.py"), "--scene", "mountains",
                    "--size", "4000x3000", "--seed", str(seed), path], check=True, stdout=subprocess.DEVNULL)


def huge_jpeg(path, progressive=False):
    """A small JPEG (baseline, or progressive) whose frame header claims 16000 x 16000 pixels; its scan
    data ends long before."""
    small = path + ".small.jpg"
    subprocess.run(["convert", "-size", "16x16", "plasma:", "-quality", "95", "-strip"] +
                   (["-interlace", "JPEG"] if progressive else []) + [small], check=True)
    data = bytearray(open(small, "rb").read())
    os.unlink(small)
    i = 2
    while i < len(data):
        marker, length = data[i + 1], struct.unpack(">H", data[i + 2:i + 4])[0]
        if marker in (0xC0, 0xC1, 0xC2):
            data[i + 5:i + 9] = struct.pack(">HH", 16000, 16000)
            break
        i += 2 + length
    open(path, "wb").write(bytes(data))


def huge_png(path, side=16000):
    """An RGB PNG of side x side black pixels, compressed whole (about 0.75 MB for 16000)."""
    def chunk(kind, payload):
        return struct.pack(">I", len(payload)) + kind + payload + struct.pack(">I", zlib.crc32(kind + payload) & 0xFFFFFFFF)
    compressor = zlib.compressobj(9)
    row = b"\0" * (1 + side * 3)
    parts = []
    for _ in range(side):
        parts.append(compressor.compress(row))
    parts.append(compressor.flush())
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", struct.pack(">IIBBBBB", side, side, 8, 2, 0, 0, 0)))
        out.write(chunk(b"IDAT", b"".join(parts)))
        out.write(chunk(b"IEND", b""))


class Setup:
    """A copy of the host (hard-linked) in a private folder, so stand-in helpers can sit beside it."""

    def __init__(self, build, helper_script=None, real_helper=False):
        self.folder = tempfile.mkdtemp(prefix="host_bench_")
        self.host = os.path.join(self.folder, "pictavera")
        self._link(os.path.join(build, "bin", "pictavera"), self.host)
        if real_helper:
            self._link(os.path.join(build, "bin", "mosalith"), os.path.join(self.folder, "mosalith"))
        elif helper_script is not None:
            helper = os.path.join(self.folder, "mosalith")
            with open(helper, "w") as out:
                out.write("#!/bin/sh\n" + helper_script + "\n")
            os.chmod(helper, 0o700)
        self.temp = os.path.join(self.folder, "tmp")
        os.mkdir(self.temp, 0o700)
        self.pdf = os.path.join(self.folder, "pdf")
        os.mkdir(self.pdf)
        self.env = dict(os.environ, PICTAVERA_TEMP_DIR=self.temp, PICTAVERA_PDF_DIR=self.pdf,
                        XDG_CONFIG_HOME=os.path.join(self.folder, "config"),
                        XDG_CACHE_HOME=os.path.join(self.folder, "cache"))
        self.log = open(os.path.join(self.folder, "host.log"), "wb")

    @staticmethod
    def _link(source, target):
        try:
            os.link(source, target)
        except OSError:
            shutil.copy2(source, target)

    def start(self):
        return Host([self.host, "serve", "--stdio"], env=self.env, stderr=self.log)

    def close(self):
        self.log.close()
        shutil.rmtree(self.folder, ignore_errors=True)


def sheet_arguments(photos, outputs, rows=1, columns=1):
    return {"imagePaths": photos, "outputPaths": outputs, "rows": rows, "columns": columns, "pageWidth": 1854,
            "pageHeight": 2445, "marginLeft": 18, "marginRight": 18, "marginTop": 16, "marginBottom": 16}


def previews(build, photos_folder):
    setup = Setup(build)
    try:
        with setup.start() as host:
            host.wait(host.send("printing_channel", "getColorProfiles"), 30)  # the host is up
            ids = [host.send("thumbnail_channel", "getThumbnail",
                             {"path": os.path.join(photos_folder, f"photo_{i % 8}_{i}.jpg"), "width": 512,
                              "height": 512}) for i in range(40)]
            light = host.send("printing_channel", "getColorProfiles")
            host.wait(light, 60)
            for call_id in ids:
                host.wait(call_id, 120)
            answered = sum(1 for i in ids if host.replies.get(i, ({},))[0].get("success") is not None)
            print(f"previews: light call behind 40 previews of 12 MP photos: {host.latency(light) * 1000:.0f} ms; "
                  f"last preview after {max(host.latency(i) for i in ids):.2f} s; {answered}/40 previews made")
            code = host.close()
            print(f"previews: exit code {code}")
    finally:
        setup.close()


def sheet(build, photos_folder):
    setup = Setup(build, helper_script="sleep 5; echo OK")
    try:
        with setup.start() as host:
            host.wait(host.send("printing_channel", "getColorProfiles"), 30)
            job = host.send("printing_channel", "createGridImages",
                            sheet_arguments([os.path.join(photos_folder, "photo_0_0.jpg")],
                                            [os.path.join(setup.folder, "sheet.jpg")]))
            light = host.send("printing_channel", "getColorProfiles")
            host.wait(light, 30)
            host.wait(job, 60)
            print(f"sheet: light call behind a sheet job with a 5 s helper: {host.latency(light) * 1000:.0f} ms "
                  f"(the job answered after {host.latency(job):.2f} s: {host.replies[job][0]})")
            host.close()
    finally:
        setup.close()
    setup = Setup(build, real_helper=True)
    try:
        photos = [os.path.join(photos_folder, f"photo_{i % 8}_{i % 40}.jpg") for i in range(48)]
        outputs = [os.path.join(setup.folder, f"sheet_{i}.jpg") for i in range(4)]
        with setup.start() as host:
            host.wait(host.send("printing_channel", "getColorProfiles"), 30)
            job = host.send("printing_channel", "createGridImages", sheet_arguments(photos, outputs, 4, 3))
            light = host.send("printing_channel", "getColorProfiles")
            host.wait(light, 30)
            host.wait(job, 300)
            print(f"sheet: light call behind a 48-photo sheet job (12 MP photos, mosalith): "
                  f"{host.latency(light) * 1000:.0f} ms (the job answered after {host.latency(job):.2f} s: "
                  f"{host.replies[job][0]})")
            host.close()
    finally:
        setup.close()


def memory(build, progressive=False):
    setup = Setup(build)
    try:
        jpeg = os.path.join(setup.folder, "claims.jpg")
        png = os.path.join(setup.folder, "claims.png")
        huge_jpeg(jpeg, progressive)
        huge_png(png)
        kind = "progressive JPEG" if progressive else "JPEG"
        print(f"memory: files {os.path.getsize(jpeg)} bytes ({kind}) and {os.path.getsize(png)} bytes (PNG), "
              f"both claiming 16000 x 16000")
        before = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
        start = time.monotonic()
        with setup.start() as host:
            ids = [
                host.send("face_rects_channel", "detectFacesWindows", {"imagePaths": [jpeg, png]}),
                host.send("thumbnail_channel", "getThumbnail", {"path": jpeg, "width": 512, "height": 512}),
                host.send("thumbnail_channel", "getThumbnail", {"path": png, "width": 512, "height": 512}),
                host.send("printing_channel", "bakeImagesForPrinting",
                          {"requests": [{"sourcePath": png, "canvasWidth": 1200, "canvasHeight": 1800},
                                        {"sourcePath": jpeg, "canvasWidth": 1200, "canvasHeight": 1800}],
                           "maxThreads": 2}),
                host.send("printing_channel", "printWithLayoutWindows",
                          {"imagePaths": [jpeg, png], "printerName": "PictaVera PDF"}),
            ]
            for call_id in ids:
                host.wait(call_id, 600)
            answered = sum(1 for i in ids if i in host.replies)
            summaries = []
            for i in ids:
                reply = host.replies.get(i, ({"none": None},))[0]
                summaries.append("error " + reply["error"]["code"] if "error" in reply else "success")
            code = host.close()
        took = time.monotonic() - start
        peak_kib = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
        note = "" if peak_kib > before else " (an earlier child's peak was higher: not measured)"
        print(f"memory: face batch, 2 previews, 2-worker bake, print at once: peak {peak_kib / 1024:.0f} MiB{note}, "
              f"{answered}/{len(ids)} answered ({', '.join(summaries)}), exit code {code}, {took:.1f} s")
    finally:
        setup.close()


def group_gone(pgid, within=2.0):
    deadline = time.monotonic() + within
    while time.monotonic() < deadline:
        try:
            os.killpg(pgid, 0)
        except ProcessLookupError:
            return True
        time.sleep(0.02)
    return False


def shutdown(build):
    for how in ("two SIGTERMs", "end of input only"):
        setup = Setup(build, helper_script="echo $$ > \"$PICTAVERA_TEMP_DIR/helper.pid\"; trap '' TERM; "
                                           "while :; do sleep 1; done")
        try:
            with setup.start() as host:
                job = host.send("printing_channel", "createGridImages",
                                sheet_arguments(["/nonexistent.jpg"], [os.path.join(setup.folder, "sheet.jpg")]))
                pid_file = os.path.join(setup.temp, "helper.pid")
                deadline = time.monotonic() + 30
                while not os.path.exists(pid_file) and time.monotonic() < deadline:
                    time.sleep(0.05)
                time.sleep(0.1)
                helper = int(open(pid_file).read())
                if how == "two SIGTERMs":
                    host.process.send_signal(signal.SIGTERM)
                    time.sleep(0.5)
                    last = time.monotonic()
                    host.process.send_signal(signal.SIGTERM)
                else:
                    last = time.monotonic()
                    host.process.stdin.close()
                host.wait(job, 30)
                code = host.process.wait(60)
                ended_after = time.monotonic() - last
                state = "gone" if group_gone(helper) else "still there"
                print(f"shutdown ({how}): hung helper: host ended {ended_after:.2f} s after the last stop "
                      f"(exit code {code}); helper group {state}; the job's answer: {host.replies.get(job, ('none',))[0]}")
        finally:
            setup.close()


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", default=os.path.join(HERE, "..", "build"))
    parser.add_argument("scenarios", nargs="*", default=["previews", "sheet", "memory", "shutdown"])
    args = parser.parse_args(argv)
    photos_folder = None
    if {"previews", "sheet"} & set(args.scenarios):
        photos_folder = tempfile.mkdtemp(prefix="host_bench_photos_")
        for seed in range(8):
            make_photo(os.path.join(photos_folder, f"photo_{seed}.jpg"), seed)
        # 40 distinct files (no cache between them), eight pictures.
        for i in range(40):
            os.link(os.path.join(photos_folder, f"photo_{i % 8}.jpg"), os.path.join(photos_folder, f"photo_{i % 8}_{i}.jpg"))
    try:
        for scenario in args.scenarios:
            if scenario in ("previews", "sheet"):
                globals()[scenario](args.build, photos_folder)
            elif scenario == "memory":
                # One process each: the peak of a process's children is the largest of all of them.
                for variant in ("memory-baseline", "memory-progressive"):
                    subprocess.run([sys.executable, os.path.abspath(__file__), "--build", args.build, variant],
                                   check=True)
            elif scenario.startswith("memory-"):
                memory(args.build, progressive=scenario == "memory-progressive")
            else:
                globals()[scenario](args.build)
    finally:
        if photos_folder:
            shutil.rmtree(photos_folder, ignore_errors=True)


if __name__ == "__main__":
    main(sys.argv[1:])
