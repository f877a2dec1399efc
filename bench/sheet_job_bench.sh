#!/usr/bin/env bash
# Times a sheet request as the interface sends it: wall time, CPU time (user + sys) and peak memory.
#
#   bench/sheet_job_bench.sh
#
# The reference sheet: 12 camera-sized photos on one 4 x 3 sheet (page 1854 x 2445 px at 450 dpi, default
# margins, cut lines on, JPEG quality 95), sent with `pictavera call printing_channel createGridImages`:
#   helper)   pictavera runs mosalith, which sits beside it in build-bench/bin/
#   fallback) a copy of pictavera in a folder without mosalith composes the sheet in-process
# Each run is one `pictavera call` process, so its start-up is included (a few milliseconds). Peak memory
# is the largest resident set of pictavera and the children it waited for (mosalith in the helper case).
#
# Builds pictavera and mosalith in Release into build-bench/. Uses the 12-megapixel photos that
# bench/mosalith_bench.sh makes and caches (photos 1-12); makes the missing ones the same way.
# Environment: BENCH_RUNS (runs per case, default 3; the table shows the median run), BENCH_CACHE.
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
cd "$repo"

runs="${BENCH_RUNS:-3}"
source "$repo/bench/photos.sh"
[ -x /usr/bin/time ] || { echo "bench: /usr/bin/time is missing; run scripts/install-deps.sh" >&2; exit 1; }

echo "bench: building pictavera and mosalith (Release) in build-bench/"
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DPICTAVERA_BUILD_TESTS=OFF > /dev/null
cmake --build build-bench -j2 --target pictavera mosalith > /dev/null
bin="$repo/build-bench/bin"
[ -x "$bin/pictavera" ] && [ -x "$bin/mosalith" ] || { echo "bench: no pictavera and mosalith in $bin" >&2; exit 1; }

# --- the photos (the same recipe and cache as bench/mosalith_bench.sh) -----------------------------
make_photos 12

work="$(mktemp -d "${TMPDIR:-/tmp}/sheet-job-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT
# The fallback case: the same program alone in its folder, so it finds no helper beside it.
mkdir -p "$work/alone"
cp "$bin/pictavera" "$work/alone/pictavera"
export PICTAVERA_TEMP_DIR="$work/temp"

# request OUTPUT : the createGridImages arguments for the reference sheet.
request() {
  local images="" i
  for ((i = 1; i <= 12; i++)); do images+="${images:+, }\"$(photo_path "$i")\""; done
  printf '{"imagePaths": [%s], "outputPaths": ["%s"], "rows": 4, "columns": 3, "pageWidth": 1854,
    "pageHeight": 2445, "marginLeft": 18, "marginRight": 18, "marginTop": 16, "marginBottom": 16,
    "jpegQuality": 95, "showCutGrid": true, "cutGridWidthMm": 0.1, "cutGridColor": "darkGray",
    "dpi": 450}' "$images" "$1"
}

# measure LABEL PROGRAM : BENCH_RUNS timed calls; one "wall user sys peak_kb" line per run.
measure() {
  local label=$1 program=$2 r
  : > "$work/$label.times"
  for ((r = 0; r < runs; r++)); do
    rm -f "$work/$label.jpg"
    /usr/bin/time -f "%e %U %S %M" -o "$work/$label.one" \
      "$program" call printing_channel createGridImages "$(request "$work/$label.jpg")" \
      > "$work/$label.reply" 2> "$work/$label.log" || true
    if [ "$(cat "$work/$label.reply")" != '{"success":true}' ] || [ ! -s "$work/$label.jpg" ]; then
      echo "bench: $label failed: $(cat "$work/$label.reply")" >&2
      tail -20 "$work/$label.log" >&2
      exit 1
    fi
    cat "$work/$label.one" >> "$work/$label.times"
  done
}

echo "bench: timing the helper case ($runs runs)"
measure helper "$bin/pictavera"
grep -q 'mosalith completed in' "$work/helper.log" || { echo "bench: the helper case did not use mosalith" >&2; exit 1; }
echo "bench: timing the fallback case ($runs runs)"
measure fallback "$work/alone/pictavera"
grep -q 'mosalith.exe not found, using fallback' "$work/fallback.log" ||
  { echo "bench: the fallback case found a helper" >&2; exit 1; }

row() {
  sort -n "$work/$1.times" | awk -v label="$2" -v runs="$runs" '
    { wall[NR] = $1; cpu[NR] = $2 + $3; mem[NR] = $4 }
    END {
      m = int((NR + 1) / 2)
      printf "%-44s %9.2f %11.2f %10.0f   (%d runs)\n", label, wall[m], cpu[m], mem[m] / 1024, runs
    }'
}

echo
echo "pictavera $(git -C "$repo" rev-parse --short HEAD 2>/dev/null || echo '?'), $(nproc) logical CPUs," \
     "load average $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-44s %9s %11s %10s\n' "case (12 photos -> one 4x3 sheet)" "wall s" "CPU s" "peak MB"
row helper "createGridImages through mosalith"
row fallback "createGridImages, in-process composer"
