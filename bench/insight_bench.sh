#!/usr/bin/env bash
# Previews beside vipsthumbnail on the same files, in one run: a camera-like 12-megapixel JPEG and a
# 2000 x 1500 PNG, each at 256 x 256:
#   - vipsthumbnail, one process per preview (start-up included);
#   - vipsthumbnail, one process for many files (per file);
#   - pictavera serve --stdio, a long-lived host answering getThumbnail (per preview, as the interface
#     sees it through scripts/pictavera_client.py);
#   - pictavera call, one process per preview;
# rounds interleaved so that a busy machine slows both sides alike; medians of the rounds. Then the
# in-process numbers of insight_bench (faces, previews, quick metadata).
#   usage: bench/insight_bench.sh [BUILD_DIR] [ROUNDS]
set -euo pipefail
build=${1:-build}
rounds=${2:-5}
bench="$build/bench/insight_bench"
# The test script's build leaves the benchmarks out: switch them on for this build folder.
cmake -S "$(dirname "$0")/.." -B "$build" -DPICTAVERA_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target insight_bench pictavera >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$bench" --benchmark_filter=QuickMeta --benchmark_min_time=0.01 >/dev/null 2>"$work/log"
for kind in camera png; do
  made=$(sed -n "s/^$kind photo: //p" "$work/log")
  cp "$made" "$work/$kind.${made##*.}"
  folder=$(dirname "$made")
done
rm -rf "$folder"

python3 - "$build/bin/pictavera" "$work" "$rounds" <<'EOF'
import os, shutil, statistics, subprocess, sys, time
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(sys.argv[1])), "..", "..", "scripts"))
sys.path.insert(0, "scripts")
from pictavera_client import Host

pictavera, work, rounds = sys.argv[1], sys.argv[2], int(sys.argv[3])
files = {"12 MP JPEG": os.path.join(work, "camera.jpg"), "2000x1500 PNG": os.path.join(work, "png.png")}
per_round = 10       # previews per measurement
batch = 20           # files in one vipsthumbnail process
out = os.path.join(work, "out")
os.makedirs(out)

def run(command):
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

def per_process(command, n):
    start = time.perf_counter()
    for _ in range(n):
        run(command)
    return (time.perf_counter() - start) / n * 1000

for label, path in files.items():
    size = os.path.getsize(path)
    copies = []
    for i in range(batch):
        copy = os.path.join(work, f"copy{i}{os.path.splitext(path)[1]}")
        shutil.copy(path, copy)
        copies.append(copy)
    results = {k: [] for k in ("vips_process", "vips_batch", "host", "call")}
    with Host([pictavera, "serve", "--stdio"], stderr=subprocess.DEVNULL) as host:
        arguments = {"path": path, "width": 256, "height": 256}
        reply = host.wait(host.send("thumbnail_channel", "getThumbnail", arguments), timeout=60)
        preview = reply.get("success")
        for _ in range(rounds):
            results["vips_process"].append(
                per_process(["vipsthumbnail", "--size", "256x256", path, "-o", os.path.join(out, "v.png")], per_round))
            start = time.perf_counter()
            run(["vipsthumbnail", "--size", "256x256", "-o", os.path.join(out, "%s.png")] + copies)
            results["vips_batch"].append((time.perf_counter() - start) / batch * 1000)
            start = time.perf_counter()
            for _ in range(per_round):
                host.wait(host.send("thumbnail_channel", "getThumbnail", arguments), timeout=60)
            results["host"].append((time.perf_counter() - start) / per_round * 1000)
            results["call"].append(per_process(
                [pictavera, "call", "thumbnail_channel", "getThumbnail",
                 '{"path": "%s", "width": 256, "height": 256}' % path], per_round // 2))
    m = {k: statistics.median(v) for k, v in results.items()}
    print(f"{label} ({size / 1e6:.1f} MB; preview {len(preview) if preview else 0} bytes), median of {rounds} rounds:")
    print(f"  vipsthumbnail, process per preview:       {m['vips_process']:6.1f} ms")
    print(f"  vipsthumbnail, {batch} files in one process:  {m['vips_batch']:6.1f} ms per file")
    print(f"  pictavera serve, long-lived host:         {m['host']:6.1f} ms per preview"
          f"  ({m['host'] / m['vips_process']:.2f} x vips per process, {m['host'] / m['vips_batch']:.2f} x vips per file)")
    print(f"  pictavera call, process per preview:      {m['call']:6.1f} ms")
EOF

"$bench" 2>/dev/null  # the face pipeline writes its "FD: " lines to standard error
