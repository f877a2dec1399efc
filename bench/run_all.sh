#!/usr/bin/env bash
# Runs the figures that guard speed and cleanliness in one go, beside their peers, and appends them to
# bench/RESULTS.md under the date, the commit, the machine's load and the peers' versions, so that a
# regression shows against the figures before it:
#   - sheets: mosalith beside GraphicsMagick, libvips and ImageMagick (12 photos on one sheet, on three,
#     48 photos on four; bench/mosalith_bench.sh);
#   - previews: getThumbnail beside vipsthumbnail per process and per file, and faces per photo
#     (bench/insight_bench.sh);
#   - bakes: bakeImagesForPrinting beside a libvips pipeline (bench/bake_bench.sh);
#   - cleanliness: zone-plate ghost rings and PSNR against a Lanczos-3 reduction (bench/quality_bench.sh).
# Each benchmark interleaves its rounds with its peer's and reports medians. About 10 minutes on 2 cores
# once the benchmark photos exist (the first run makes 48 of them into ~/.cache/pictavera-bench, which
# takes a few minutes more).
#   usage: bench/run_all.sh            (BENCH_RUNS, default 3, rounds of the sheet and bake benchmarks)
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
cd "$repo"
export BENCH_RUNS="${BENCH_RUNS:-3}"
results="$repo/bench/RESULTS.md"
build="$repo/build-bench"

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DPICTAVERA_BUILD_TESTS=OFF -DPICTAVERA_BUILD_BENCH=ON \
  > /dev/null
cmake --build "$build" -j2 --target mosalith pictavera insight_bench reduction_quality > /dev/null

version() { "$@" 2>&1 | head -n 1 || echo "not found"; }
log="$(mktemp)"
trap 'rm -f "$log"' EXIT
{
  echo "## $(date -u '+%Y-%m-%d %H:%M UTC'), commit $(git rev-parse --short HEAD)$(git diff --quiet HEAD || echo ' (with changes)')"
  echo
  echo "- machine: $(nproc) cores, $(awk '/MemTotal/ {printf "%.0f GiB", $2 / 1048576}' /proc/meminfo);" \
       "load before the run: $(cut -d ' ' -f 1-3 /proc/loadavg)"
  echo "- peers: $(version gm version | sed 's/ http.*//'); $(version vips --version);" \
       "$(version convert -version | sed 's/ https.*//')"
  echo
} > "$log"

run() {
  local title=$1
  shift
  echo "bench: $title" >&2
  {
    echo "### $title"
    echo
    echo '```'
    "$@" 2>&1 | grep -v '^bench: \(making\|building\)' || echo "(failed: exit ${PIPESTATUS[0]})"
    echo '```'
    echo
  } >> "$log"
}
start=$(date +%s)
run "Sheets (bench/mosalith_bench.sh)" bench/mosalith_bench.sh
run "Previews and faces (bench/insight_bench.sh)" bench/insight_bench.sh "$build" 5
run "Bakes (bench/bake_bench.sh)" bench/bake_bench.sh
run "Reduction quality (bench/quality_bench.sh)" bench/quality_bench.sh "$build"
echo "- load after the run: $(cut -d ' ' -f 1-3 /proc/loadavg); the run took $(( $(date +%s) - start )) s" >> "$log"
echo >> "$log"

[ -s "$results" ] || printf '# Benchmark results\n\nEach section is one run of bench/run_all.sh, newest last.\n\n' > "$results"
cat "$log" >> "$results"
cat "$log"
echo "bench: appended to $results" >&2
