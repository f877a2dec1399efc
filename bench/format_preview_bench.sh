#!/usr/bin/env bash
# Previews of the same 12-megapixel photo stored as JPEG, PNG, TIFF, WebP, HEIC and AVIF: pictavera's
# "getThumbnail" (one `pictavera call` per preview) beside `vipsthumbnail` (one process per preview) on
# the same files in one run, rounds interleaved, medians of wall time per file and their ratio.
#
#   bench/format_preview_bench.sh [BUILD_DIR] [ROUNDS]
#
# The photos are made once into ~/.cache/pictavera-bench/formats (ImageMagick, from a generated
# camera-like picture). Needs ImageMagick with HEIC/AVIF support and libvips-tools.
set -euo pipefail
build="${1:-build}"
rounds="${2:-5}"
pictavera="$build/bin/pictavera"
cache="${HOME}/.cache/pictavera-bench/formats"
mkdir -p "$cache"
formats=(jpg png tiff webp heic avif)
if [ ! -f "$cache/photo.avif" ]; then
  echo "bench: making the 12-megapixel photos (once)" >&2
  convert -size 4000x3000 plasma:fractal -blur 0x1 -attenuate 0.3 +noise Gaussian "$cache/photo.png"
  convert "$cache/photo.png" -quality 92 "$cache/photo.jpg"
  convert "$cache/photo.png" "$cache/photo.tiff"
  convert "$cache/photo.png" -quality 90 "$cache/photo.webp"
  convert "$cache/photo.png" -quality 90 "$cache/photo.heic"
  convert "$cache/photo.png" -quality 60 "$cache/photo.avif"
fi
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
seconds() { local start end; start=$(date +%s.%N); "$@" >/dev/null 2>&1; end=$(date +%s.%N); echo "$end - $start" | bc; }
declare -A ours vips
for ((r = 0; r < rounds; r++)); do
  for f in "${formats[@]}"; do
    ours[$f]+="$(seconds "$pictavera" call thumbnail_channel getThumbnail \
      "{\"path\": \"$cache/photo.$f\", \"width\": 256, \"height\": 256}") "
    vips[$f]+="$(seconds vipsthumbnail "$cache/photo.$f" -s 256 -o "$out/t_%s.png") "
  done
done
median() { tr ' ' '\n' | grep . | sort -g | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
echo "previews of a 12-megapixel photo, 256 px box, median of $rounds rounds, load $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-6s %12s %16s %8s\n' format "pictavera s" "vipsthumbnail s" ratio
for f in "${formats[@]}"; do
  a=$(echo "${ours[$f]}" | median)
  b=$(echo "${vips[$f]}" | median)
  printf '%-6s %12.3f %16.3f %8.2f\n' "$f" "$a" "$b" "$(echo "$a / $b" | bc -l)"
done
