#!/usr/bin/env bash
# How clean the reduction is, measured from outside on what the programs write:
#   - ghost rings: a 4000 x 3000 zone plate (made here, grey, quality-100 JPEG, frequency rising to 0.45
#     cycles per pixel) composed by mosalith onto a 606 x 603 and a 909 x 1206 magnet at quality 95 (and
#     100), and previewed by pictavera; the peak-to-peak levels left where the plate is finer than 1.5
#     times what the magnet can show (nothing may survive there); a Lanczos-3 reduction of the full decode
#     for comparison, as it is and encoded at quality 95 like the magnets (what the JPEG itself leaves);
#   - PSNR of magnets (quality 95 and 100) and previews against a Lanczos-3 reduction of the photo's
#     full-size decode, on camera-like photos (the sheet benchmark's set), a grainy fractal photo and the
#     repository's samples; vipsthumbnail's previews beside ours; and, as "ref q95", the Lanczos-3
#     reduction itself encoded at quality 95: the most a quality-95 magnet can score.
#
#   bench/quality_bench.sh [BUILD_DIR]    (default build-bench, built in Release when missing)
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
cd "$repo"
build="${1:-build-bench}"
if [ ! -x "$build/bench/reduction_quality" ] || [ ! -x "$build/bin/mosalith" ] || [ ! -x "$build/bin/pictavera" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DPICTAVERA_BUILD_TESTS=OFF \
    -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache > /dev/null
  cmake --build "$build" -j2 --target mosalith pictavera reduction_quality > /dev/null
fi
quality="$build/bench/reduction_quality"
mosalith="$build/bin/mosalith"
pictavera="$build/bin/pictavera"
cache="${BENCH_CACHE_ROOT:-${XDG_CACHE_HOME:-$HOME/.cache}/pictavera-bench}"
photos="$cache/photos-v1"
mkdir -p "$cache/quality"
plate="$cache/quality/zoneplate-4000x3000.jpg"
[ -s "$plate" ] || "$quality" zoneplate "$plate" 4000 3000
grainy="$cache/quality/fractal-grain.jpg"
if [ ! -s "$grainy" ]; then
  # Fine random detail everywhere, as fabric, foliage and sensor grain give.
  convert -size 4000x3000 -seed 7 plasma:fractal -blur 0x1 -attenuate 0.3 +noise Gaussian -quality 95 "$grainy"
fi
work="$(mktemp -d "${TMPDIR:-/tmp}/quality-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT

# magnet NAME PHOTO WIDTH HEIGHT QUALITY: one photo onto one magnet filling a page without margins.
magnet() {
  cat > "$work/$1.txt" <<EOF
[settings]
rows=1
cols=1
pageWidth=$3
pageHeight=$4
marginLeft=0
marginRight=0
marginTop=0
marginBottom=0
jpegQuality=$5
showCutGrid=0
[images]
$2
[outputs]
$work/$1.jpg
EOF
  "$mosalith" "$work/$1.txt" > "$work/$1.log" 2>&1
}

# preview PHOTO OUT.png: pictavera's 256 x 256 preview.
preview() {
  "$pictavera" call thumbnail_channel getThumbnail "{\"path\": \"$1\", \"width\": 256, \"height\": 256}" 2>/dev/null |
    python3 -c 'import base64, json, sys
reply = json.load(sys.stdin)["success"]
data = base64.b64decode(reply["$bytes"]) if isinstance(reply, dict) else bytes(reply)
open(sys.argv[1], "wb").write(data)' "$2"
}
size_of() { python3 -c 'import struct, sys
d = open(sys.argv[1], "rb").read(24)
print(*struct.unpack(">II", d[16:24]))' "$1"; }
number() { sed -n 's/.*: \([0-9.-]*\) .*/\1/p'; }
# at_q95 IN OUT.jpg: IN encoded as the magnets are at quality 95 (4:4:4), the bound JPEG itself sets.
at_q95() { convert "$1" -quality 95 -sampling-factor 1x1 "$2"; }

echo "reduction quality, $(git rev-parse --short HEAD 2>/dev/null || echo '?'), load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "ghost rings of the 4000 x 3000 zone plate (levels peak to peak; a Lanczos-3 reduction of the full decode beside):"
for m in "606 603" "909 1206"; do
  set -- $m
  magnet "plate-$1" "$plate" "$1" "$2" 95
  magnet "plate-$1-q100" "$plate" "$1" "$2" 100
  "$quality" lanczos "$plate" "$work/plate-ref.png" "$1" "$2"
  at_q95 "$work/plate-ref.png" "$work/plate-ref95.jpg"
  printf '  magnet %4s x %-4s  mosalith %3s (q100: %s)   Lanczos-3 %3s (at q95: %s)\n' "$1" "$2" \
    "$("$quality" rings "$work/plate-$1.jpg" 0 0 "$1" "$2" 4000 3000 | number)" \
    "$("$quality" rings "$work/plate-$1-q100.jpg" 0 0 "$1" "$2" 4000 3000 | number)" \
    "$("$quality" rings "$work/plate-ref.png" 0 0 "$1" "$2" 4000 3000 | number)" \
    "$("$quality" rings "$work/plate-ref95.jpg" 0 0 "$1" "$2" 4000 3000 | number)"
done
preview "$plate" "$work/plate-preview.png"
read -r pw ph < <(size_of "$work/plate-preview.png")
vipsthumbnail "$plate" --size 256x256 -o "$work/plate-vips.png"
read -r vw vh < <(size_of "$work/plate-vips.png")
printf '  preview %sx%s     pictavera %3s   vipsthumbnail %3s (%sx%s)\n' "$pw" "$ph" \
  "$("$quality" rings "$work/plate-preview.png" 0 0 "$pw" "$ph" 4000 3000 | number)" \
  "$("$quality" rings "$work/plate-vips.png" 0 0 "$vw" "$vh" 4000 3000 | number)" "$vw" "$vh"

echo "PSNR against a Lanczos-3 reduction of the full decode (dB):"
printf '  %-28s %9s %9s %9s %9s %9s %9s\n' photo "606 q95" "909 q95" "606 q100" preview vips "ref q95"
set -- "$photos/photo_01.jpg" "$photos/photo_02.jpg" "$photos/photo_05.jpg" "$photos/photo_08.jpg" "$grainy" \
  samples/city.jpg samples/forest_exif6.jpg
for photo in "$@"; do
  [ -s "$photo" ] || continue
  magnet a "$photo" 606 603 95
  magnet b "$photo" 909 1206 95
  magnet c "$photo" 606 603 100
  preview "$photo" "$work/p.png"
  read -r pw ph < <(size_of "$work/p.png")
  vipsthumbnail "$photo" --size 256x256 -o "$work/v.png"
  read -r vw vh < <(size_of "$work/v.png")
  "$quality" lanczos "$photo" "$work/ref.png" 606 603
  at_q95 "$work/ref.png" "$work/ref95.jpg"
  printf '  %-28s %9s %9s %9s %9s %9s %9s\n' "$(basename "$photo")" \
    "$("$quality" psnr "$work/a.jpg" 0 0 606 603 "$photo" | number)" \
    "$("$quality" psnr "$work/b.jpg" 0 0 909 1206 "$photo" | number)" \
    "$("$quality" psnr "$work/c.jpg" 0 0 606 603 "$photo" | number)" \
    "$("$quality" psnr "$work/p.png" 0 0 "$pw" "$ph" "$photo" | number)" \
    "$("$quality" psnr "$work/v.png" 0 0 "$vw" "$vh" "$photo" | number)" \
    "$("$quality" psnr "$work/ref95.jpg" 0 0 606 603 "$photo" | number)"
done
