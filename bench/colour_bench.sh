#!/usr/bin/env bash
# What converting colours costs a sheet: mosalith on the same jobs with colorProfile=no_conversion (the
# numbers as stored, no profile written) against the selections that convert, paired run by run with
# farm-bench (A = the converting job, B = no_conversion; the ratio A/B is the cost, 1.10 = 10 %).
#
#   bench/colour_bench.sh
#
# Cases (page 1854 x 2445 px at 450 dpi, cut lines on, JPEG quality 95; the photos of
# bench/mosalith_bench.sh, 12-megapixel JPEGs, photos 1-12):
#   a) 12 photos -> one 4 x 3 sheet      (cells 606 x 603)
#   b) 12 photos -> three 2 x 2 sheets   (cells 909 x 1206)
# Selections: adobe_rgb (every photo converted from sRGB into Adobe RGB, the most a sheet converts: every
# pixel of every magnet), srgb (photos already sRGB: nothing converted, the profile written), and srgb with
# the photos tagged Adobe RGB (converted into sRGB; needs a decoder that reads embedded profiles).
#
# Builds mosalith in Release into build-bench/. Needs farm-bench (the tool library), python3 (the photos)
# and exiftool (tagging copies of the photos with a profile). BENCH_RUNS (default 7) runs per command.
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
cd "$repo"
runs="${BENCH_RUNS:-7}"
source "$repo/bench/photos.sh"
command -v farm-bench >/dev/null || { echo "bench: farm-bench is missing" >&2; exit 1; }

echo "bench: building mosalith (Release) in build-bench/"
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DPICTAVERA_BUILD_TESTS=OFF \
  -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache > /dev/null
cmake --build build-bench -j2 --target mosalith > /dev/null
mosalith="$repo/build-bench/bin/mosalith"

# The same photos as bench/mosalith_bench.sh (its recipe, its cache): made once.
make_photos 12

work="$(mktemp -d "${TMPDIR:-/tmp}/colour-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT

# The Adobe RGB profile mosalith writes, taken from a sheet of one photo (its APP2 segment), then put into
# copies of the photos: the same numbers, now said to be Adobe RGB.
printf '[settings]\nrows=1\ncols=1\ncolorProfile=adobe_rgb\n[images]\n%s\n[outputs]\n%s\n' "$(photo_path 1)" \
  "$work/probe.jpg" > "$work/probe.txt"
"$mosalith" "$work/probe.txt" > /dev/null 2>&1
python3 - "$work/probe.jpg" "$work/adobe.icc" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
at, icc = 2, b""
while at + 4 <= len(data) and data[at] == 0xFF and data[at + 1] != 0xDA:
    length = int.from_bytes(data[at + 2:at + 4], "big")
    if data[at + 1] == 0xE2 and data[at + 4:at + 16] == b"ICC_PROFILE\0":
        icc += data[at + 18:at + 2 + length]
    at += 2 + length
open(sys.argv[2], "wb").write(icc)
PY
tagged="$work/tagged"
mkdir -p "$tagged"
for ((i = 1; i <= 12; i++)); do
  cp "$(photo_path "$i")" "$tagged/"
done
exiftool -q -overwrite_original "-icc_profile<=$work/adobe.icc" "$tagged"/*.jpg

# write_job NAME ROWS COLS SHEETS PROFILE PHOTO_FOLDER
write_job() {
  local name=$1 rows=$2 cols=$3 sheets=$4 profile=$5 folder=$6 i
  {
    echo "[settings]"
    printf '%s\n' "rows=$rows" "cols=$cols" pageWidth=1854 pageHeight=2445 marginLeft=18 marginRight=18 marginTop=16 \
      marginBottom=16 jpegQuality=95 showCutGrid=1 cutGridWidthMm=0.1 cutGridColor=darkGray dpi=450 \
      "colorProfile=$profile"
    echo "[images]"
    for ((i = 1; i <= 12; i++)); do printf '%s/photo_%02d.jpg\n' "$folder" "$i"; done
    echo "[outputs]"
    for ((i = 1; i <= sheets; i++)); do echo "$work/$name-sheet$i.jpg"; done
  } > "$work/$name.txt"
}

echo "bench: load $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
for c in a b; do
  if [ $c = a ]; then shape=(4 3 1); else shape=(2 2 3); fi
  write_job "$c-none" "${shape[@]}" no_conversion "$cache"
  write_job "$c-adobe" "${shape[@]}" adobe_rgb "$cache"
  write_job "$c-srgb" "${shape[@]}" srgb "$cache"
  write_job "$c-tagged" "${shape[@]}" srgb "$tagged"
  for selection in adobe srgb tagged; do
    echo "== case $c: $selection (A) against no_conversion (B)"
    farm-bench -n "$runs" --timeout 900 --vs "$mosalith $work/$c-none.txt" -- "$mosalith" "$work/$c-$selection.txt" |
      grep -E 'wall|cpu|ratio|A/B' || true
  done
done
