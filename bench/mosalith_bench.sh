#!/usr/bin/env bash
# Times mosalith on camera-sized photos: wall time, CPU time (user + sys) and peak memory per case.
#
#   bench/mosalith_bench.sh
#
# Cases (page 1854 x 2445 px at 450 dpi, default margins, cut lines on, JPEG quality 95):
#   a) 12 photos -> one 4 x 3 sheet
#   b) 12 photos -> three 2 x 2 sheets
#   c) 48 photos -> four 4 x 3 sheets
# plus, as a reference point, ImageMagick's montage laying the same 12 photos out as a 4 x 3 grid.
#
# Builds mosalith in Release into build-bench/. The 48 photos (12-megapixel JPEGs, 4000x3000 and
# 3000x4000, 3-6 MB each, photos 1-12 are the 12-photo set) are made once and kept in
# ${XDG_CACHE_HOME:-~/.cache}/pictavera-bench; making them takes a while the first time.
#
# Environment: BENCH_RUNS (runs per case, default 3; the table shows the median run),
# BENCH_IMAGEMAGICK=0 skips the ImageMagick reference, BENCH_CACHE overrides the photo folder.
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
cd "$repo"

runs="${BENCH_RUNS:-3}"
# The folder name carries the photo recipe's version: a changed recipe makes a new set.
cache="${BENCH_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/pictavera-bench/photos-v1}"
[ -x /usr/bin/time ] || { echo "bench: /usr/bin/time is missing; run scripts/install-deps.sh" >&2; exit 1; }

echo "bench: building mosalith (Release) in build-bench/"
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DPICTAVERA_BUILD_TESTS=OFF > /dev/null
cmake --build build-bench -j2 --target mosalith > /dev/null
mosalith="$repo/build-bench/bin/mosalith"
[ -x "$mosalith" ] || { echo "bench: no mosalith at $mosalith" >&2; exit 1; }

# --- the photos -------------------------------------------------------------------------------------
scenes=(mountains city sunset forest beach bokeh fruit macro)
mkdir -p "$cache"
photo_path() { printf '%s/photo_%02d.jpg' "$cache" "$1"; }
made=0
for ((i = 1; i <= 48; i++)); do
  f="$(photo_path "$i")"
  [ -s "$f" ] && continue
  if ((i % 2)); then size=4000x3000; else size=3000x4000; fi
  scene=${scenes[(i - 1) % ${#scenes[@]}]}
  echo "bench: making $f ($scene, $size)"
  # Grain 0.3 at quality 95 gives 3.5-5 MB per photo, like a phone camera's.
  python3 scripts/make_photo.py --scene "$scene" --size "$size" --seed "$((1000 + i))" --quality 95 \
    --grain 0.3 "${f%.jpg}.part.jpg"
  mv "${f%.jpg}.part.jpg" "$f"
  made=$((made + 1))
done
sizes="$(for ((i = 1; i <= 48; i++)); do stat -c %s "$(photo_path "$i")"; done | sort -n)"
echo "bench: 48 photos in $cache ($made made now), $(head -1 <<< "$sizes" | awk '{printf "%.1f", $1/1e6}')" \
     "to $(tail -1 <<< "$sizes" | awk '{printf "%.1f", $1/1e6}') MB each"

# --- the jobs ---------------------------------------------------------------------------------------
work="$(mktemp -d "${TMPDIR:-/tmp}/mosalith-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT

# write_job NAME ROWS COLS PHOTOS SHEETS
write_job() {
  local name=$1 rows=$2 cols=$3 photos=$4 sheets=$5 i
  {
    echo "[settings]"
    printf '%s\n' "rows=$rows" "cols=$cols" pageWidth=1854 pageHeight=2445 marginLeft=18 marginRight=18 \
      marginTop=16 marginBottom=16 jpegQuality=95 showCutGrid=1 cutGridWidthMm=0.1 cutGridColor=darkGray dpi=450
    echo "[images]"
    for ((i = 1; i <= photos; i++)); do photo_path "$i"; echo; done
    echo "[outputs]"
    for ((i = 1; i <= sheets; i++)); do echo "$work/$name-sheet$i.jpg"; done
  } > "$work/$name.txt"
}
write_job a 4 3 12 1
write_job b 2 2 12 3
write_job c 4 3 48 4

# measure LABEL COMMAND... : runs the command BENCH_RUNS times under /usr/bin/time and keeps each run's
# "wall user sys peak_kb" line in $work/LABEL.times.
measure() {
  local label=$1 r
  shift
  : > "$work/$label.times"
  for ((r = 0; r < runs; r++)); do
    if ! /usr/bin/time -f "%e %U %S %M" -o "$work/$label.one" "$@" > "$work/$label.log" 2>&1; then
      echo "bench: $label failed:" >&2
      tail -20 "$work/$label.log" >&2
      exit 1
    fi
    cat "$work/$label.one" >> "$work/$label.times"
  done
}

# row NAME LABEL PHOTOS SHEETS : one table row from the median run (by wall time).
row() {
  sort -n "$work/$1.times" | awk -v label="$2" -v photos="$3" -v sheets="$4" -v runs="$runs" '
    { wall[NR] = $1; cpu[NR] = $2 + $3; mem[NR] = $4 }
    END {
      m = int((NR + 1) / 2)
      printf "%-34s %6d %6d %9.2f %11.2f %10.0f   (%d runs)\n", label, photos, sheets, wall[m], cpu[m],
             mem[m] / 1024, runs
    }'
}

for job in a b c; do
  echo "bench: timing case $job ($runs runs)"
  measure "$job" "$mosalith" "$work/$job.txt"
  sheets=("$work/$job"-sheet*.jpg)
  expected=$(sed -n '/^\[outputs\]/,$p' "$work/$job.txt" | grep -c "^$work")
  [ "${#sheets[@]}" -eq "$expected" ] || { echo "bench: case $job wrote ${#sheets[@]} of $expected sheets" >&2; exit 1; }
done

if [ "${BENCH_IMAGEMAGICK:-1}" != 0 ]; then
  twelve=()
  for ((i = 1; i <= 12; i++)); do twelve+=("$(photo_path "$i")"); done
  # Each photo cover-filled into a 606 x 603 tile (the 4 x 3 cell), 3 across and 4 down.
  echo "bench: timing ImageMagick montage ($runs runs)"
  measure im_montage montage "${twelve[@]}" -resize 606x603^ -gravity center -extent 606x603 \
    -tile 3x4 -geometry +0+0 -quality 95 "$work/im-sheet.jpg"
  # The same with a decoder size hint, which lets libjpeg decode at 1/2 .. 1/8 scale.
  echo "bench: timing ImageMagick montage with a JPEG size hint ($runs runs)"
  measure im_montage_hint montage -define jpeg:size=1212x1206 "${twelve[@]}" -resize 606x603^ \
    -gravity center -extent 606x603 -tile 3x4 -geometry +0+0 -quality 95 "$work/im-sheet-hint.jpg"
fi

echo
echo "mosalith $(git -C "$repo" rev-parse --short HEAD 2>/dev/null || echo '?'), $(nproc) logical CPUs," \
     "load average $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-34s %6s %6s %9s %11s %10s\n' "case" photos sheets "wall s" "CPU s" "peak MB"
row a "a) mosalith 12 -> one 4x3" 12 1
row b "b) mosalith 12 -> three 2x2" 12 3
row c "c) mosalith 48 -> four 4x3" 48 4
if [ "${BENCH_IMAGEMAGICK:-1}" != 0 ]; then
  row im_montage "ImageMagick montage 12 -> 4x3" 12 1
  row im_montage_hint "ImageMagick montage, size hint" 12 1
fi
