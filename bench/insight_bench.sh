#!/usr/bin/env bash
# Thumbnails beside vipsthumbnail on the same 12-megapixel JPEG, both as a process per preview (start-up
# included), then the in-process numbers of insight_bench. Usage: bench/insight_bench.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build}
pictavera="$build/bin/pictavera"
bench="$build/bench/insight_bench"
runs=20
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$bench" --benchmark_filter=Thumbnail256 --benchmark_min_time=0.01 >/dev/null 2>"$work/log"
photo=$(sed -n 's/^12-megapixel test photo: //p' "$work/log")
cp "$photo" "$work/photo.jpg"
rm -rf "$(dirname "$photo")"

seconds() { python3 -c 'import sys,time; print(f"{time.time():.6f}")'; }
start=$(seconds)
for _ in $(seq $runs); do vipsthumbnail --size 256x256 "$work/photo.jpg" -o "$work/vips.png" >/dev/null; done
end=$(seconds)
python3 -c "print(f'vipsthumbnail 256x256 (process per preview): {($end-$start)/$runs*1000:.1f} ms')"

start=$(seconds)
for _ in $(seq $runs); do
  "$pictavera" call thumbnail_channel getThumbnail "{\"path\":\"$work/photo.jpg\",\"width\":256,\"height\":256}" >/dev/null 2>&1
done
end=$(seconds)
python3 -c "print(f'pictavera call getThumbnail 256x256 (process per preview): {($end-$start)/$runs*1000:.1f} ms')"

"$bench" 2>/dev/null  # the face pipeline writes its "FD: " lines to standard error
