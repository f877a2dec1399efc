#!/usr/bin/env bash
# Times mosalith on camera-sized photos beside GraphicsMagick, libvips and ImageMagick doing the same
# grids, in one run: wall time, CPU time (user + sys), peak memory, and mosalith's wall time as a ratio
# of each peer's.
#
#   bench/mosalith_bench.sh
#
# Cases (page 1854 x 2445 px at 450 dpi, default margins, cut lines on, JPEG quality 95):
#   a) 12 photos -> one 4 x 3 sheet      (cells 606 x 603)
#   b) 12 photos -> three 2 x 2 sheets   (cells 909 x 1206)
#   c) 48 photos -> four 4 x 3 sheets
# The peers lay the same photos out as the same grids of cover-filled, centre-cropped cells at quality 95
# (no margins or cut lines, which cost little):
#   gm       GraphicsMagick with its JPEG decode size hint (-size): one convert per row of cells, two
#            processes at a time, then one append per sheet
#   vips     vipsthumbnail (shrink-on-load, centre crop) for the cells, then vips arrayjoin per sheet
#   im       ImageMagick montage with its JPEG decode size hint (-define jpeg:size)
#
# Builds mosalith in Release into build-bench/. The 48 photos (12-megapixel JPEGs, 4000x3000 and
# 3000x4000, 3-6 MB each, photos 1-12 are the 12-photo set) are made once and kept in
# ${XDG_CACHE_HOME:-~/.cache}/pictavera-bench; making them takes a while the first time.
#
# Environment: BENCH_RUNS (runs per case, default 3; the table shows the median run),
# BENCH_PEERS=0 skips the peers, BENCH_CACHE overrides the photo folder.
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
cd "$repo"

runs="${BENCH_RUNS:-3}"
# The folder name carries the photo recipe's version: a changed recipe makes a new set.
source "$repo/bench/photos.sh"
[ -x /usr/bin/time ] || { echo "bench: /usr/bin/time is missing; run scripts/install-deps.sh" >&2; exit 1; }

echo "bench: building mosalith (Release) in build-bench/"
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DPICTAVERA_BUILD_TESTS=OFF \
  -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache > /dev/null
cmake --build build-bench -j2 --target mosalith > /dev/null
mosalith="$repo/build-bench/bin/mosalith"
[ -x "$mosalith" ] || { echo "bench: no mosalith at $mosalith" >&2; exit 1; }

# --- the photos -------------------------------------------------------------------------------------
make_photos 48
sizes="$(for ((i = 1; i <= 48; i++)); do stat -c %s "$(photo_path "$i")"; done | sort -n)"
echo "bench: 48 photos in $cache, $(head -1 <<< "$sizes" | awk '{printf "%.1f", $1/1e6}')" \
     "to $(tail -1 <<< "$sizes" | awk '{printf "%.1f", $1/1e6}') MB each"

# --- the jobs ---------------------------------------------------------------------------------------
work="$(mktemp -d "${TMPDIR:-/tmp}/mosalith-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT

# case parameters: rows cols photos sheets cell_width cell_height
declare -A case_rows=([a]=4 [b]=2 [c]=4) case_cols=([a]=3 [b]=2 [c]=3) case_photos=([a]=12 [b]=12 [c]=48) \
  case_sheets=([a]=1 [b]=3 [c]=4) case_cw=([a]=606 [b]=909 [c]=606) case_ch=([a]=603 [b]=1206 [c]=603)

# write_job NAME CASE
write_job() {
  local name=$1 c=$2 i
  {
    echo "[settings]"
    printf '%s\n' "rows=${case_rows[$c]}" "cols=${case_cols[$c]}" pageWidth=1854 pageHeight=2445 marginLeft=18 \
      marginRight=18 marginTop=16 marginBottom=16 jpegQuality=95 showCutGrid=1 cutGridWidthMm=0.1 \
      cutGridColor=darkGray dpi=450
    echo "[images]"
    for ((i = 1; i <= case_photos[$c]; i++)); do photo_path "$i"; echo; done
    echo "[outputs]"
    for ((i = 1; i <= case_sheets[$c]; i++)); do echo "$work/$name-sheet$i.jpg"; done
  } > "$work/$name.txt"
}

# measure LABEL COMMAND... : runs the command BENCH_RUNS times under /usr/bin/time and keeps each run's
# "wall user sys peak_kb" line in $work/LABEL.times (peak: the largest single process).
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

# median LABEL FIELD : the median run's (by wall time) field 1 wall, 2 CPU, 3 peak MB.
median() {
  sort -n "$work/$1.times" | awk -v field="$2" '
    { wall[NR] = $1; cpu[NR] = $2 + $3; mem[NR] = $4 / 1024 }
    END { m = int((NR + 1) / 2); printf "%.2f", field == 1 ? wall[m] : (field == 2 ? cpu[m] : mem[m]) }'
}

# photos_of CASE SHEET FIRST_ROW ROW_COUNT : the photo paths of those rows of that sheet.
photos_of() {
  local c=$1 sheet=$2 first_row=$3 count=$4 i
  local per_sheet=$((case_rows[$c] * case_cols[$c]))
  local from=$(((sheet - 1) * per_sheet + first_row * case_cols[$c] + 1))
  local to=$((from + count * case_cols[$c] - 1))
  ((to > case_photos[$c])) && to=${case_photos[$c]}
  for ((i = from; i <= to; i++)); do photo_path "$i"; echo; done
}

# The peers' scripts, one per case: GraphicsMagick with two processes (half of each sheet's rows
# each), libvips, ImageMagick.
write_peers() {
  local c=$1 rows=${case_rows[$1]} cols=${case_cols[$1]} sheets=${case_sheets[$1]} sheet
  local cell="${case_cw[$1]}x${case_ch[$1]}"
  {
    echo "set -e"
    echo "cd '$work'"
    # Each line is one row of cells (gm convert has no grid of its own); xargs runs two gm processes at a time.
    echo "xargs -P 2 -L 1 sh -c 'gm convert -size $cell \"\$@\"' gm <<'EOF'"
    local row
    for ((sheet = 1; sheet <= sheets; sheet++)); do
      for ((row = 0; row < rows; row++)); do
        echo "$(photos_of "$c" "$sheet" "$row" 1 | tr '\n' ' ') -resize $cell^ -gravity center -extent $cell +append gm-$c-$sheet-$row.miff"
      done
    done
    echo "EOF"
    echo "for s in \$(seq $sheets); do echo \$s; done | xargs -P 2 -I{} sh -c 'gm convert \$(for r in \$(seq 0 $((rows - 1))); do echo gm-$c-{}-\$r.miff; done) -append -quality 95 gm-$c-{}.jpg'"
  } > "$work/gm-$c.sh"
  {
    echo "set -e"
    echo "cd '$work'"
    echo "mkdir -p vips-$c"
    echo "vipsthumbnail $(photos_of "$c" 1 0 $((rows * sheets)) | tr '\n' ' ') -s $cell -m centre -o '$work/vips-$c/%s.v'"
    for ((sheet = 1; sheet <= sheets; sheet++)); do
      local tiles="" p
      for p in $(photos_of "$c" "$sheet" 0 "$rows"); do tiles+="vips-$c/$(basename "${p%.jpg}").v "; done
      echo "vips arrayjoin '${tiles% }' vips-$c-$sheet.jpg[Q=95] --across $cols"
    done
  } > "$work/vips-$c.sh"
  {
    echo "set -e"
    echo "cd '$work'"
    echo "montage -define jpeg:size=$cell $(photos_of "$c" 1 0 $((rows * sheets)) | tr '\n' ' ') -resize $cell^ -gravity center -extent $cell -tile ${cols}x$rows -geometry +0+0 -quality 95 im-$c.jpg"
  } > "$work/im-$c.sh"
}

peers=(gm vips im)
[ "${BENCH_PEERS:-1}" = 0 ] && peers=()
for c in a b c; do
  write_job "$c" "$c"
  echo "bench: timing case $c ($runs runs)"
  measure "$c" "$mosalith" "$work/$c.txt"
  sheets=("$work/$c"-sheet*.jpg)
  [ "${#sheets[@]}" -eq "${case_sheets[$c]}" ] ||
    { echo "bench: case $c wrote ${#sheets[@]} of ${case_sheets[$c]} sheets" >&2; exit 1; }
  write_peers "$c"
  for peer in "${peers[@]}"; do measure "$peer-$c" bash "$work/$peer-$c.sh"; done
done

echo
echo "mosalith $(git -C "$repo" rev-parse --short HEAD 2>/dev/null || echo '?'), $(nproc) logical CPUs," \
     "load average $(cut -d' ' -f1-3 /proc/loadavg), median of $runs runs"
printf '%-30s %8s %8s %8s' "case" "wall s" "CPU s" "peak MB"
for peer in "${peers[@]}"; do printf ' %8s %7s' "$peer s" "ratio"; done
echo
for c in a b c; do
  label="$c) ${case_photos[$c]} -> ${case_sheets[$c]} x ${case_rows[$c]}x${case_cols[$c]}"
  for variant in "$c"; do
    name="$label"
    printf '%-30s %8s %8s %8s' "$name" "$(median "$variant" 1)" "$(median "$variant" 2)" "$(median "$variant" 3)"
    for peer in "${peers[@]}"; do
      printf ' %8s %7s' "$(median "$peer-$c" 1)" \
        "$(awk -v m="$(median "$variant" 1)" -v p="$(median "$peer-$c" 1)" 'BEGIN { printf "%.2f", m / p }')"
    done
    echo
  done
done
for c in a b c; do
  for peer in "${peers[@]}"; do
    printf '   %-5s case %s: CPU %s s, peak %s MB\n' "$peer" "$c" "$(median "$peer-$c" 2)" "$(median "$peer-$c" 3)"
  done
done

