#!/usr/bin/env bash
# Times "bakeImagesForPrinting" on camera-sized photos beside a libvips pipeline doing the same work.
#
#   bench/bake_bench.sh
#
# The case: 24 bake requests of 12-megapixel JPEGs (4000x3000 and 3000x4000) onto 1063 x 1417 canvases,
# each with an inside stroke (0.3 -> a 6-pixel pen), a zoom of 1.1, an offset, every other one turned for
# output, and a frame picture (1063 x 1417 PNG with transparency) over it; JPEG quality 95. The bake runs
# through `pictavera call` (the whole program: start, channel, 24 bakes, reply), once with the default
# worker count (one fewer than the hardware threads) and once with one worker per hardware thread.
# The reference: libvips (the vips command) doing thumbnail (cover, centre crop), embed (the stroke as a
# border), composite (the frame) and jpegsave at Q95 for the same 24 photos, as many at once as there are
# hardware threads.
# Reports wall time, images per second, CPU time and peak memory (largest process).
#
# Builds pictavera in Release into build-bench/. Photos 1-24 of the benchmark set (bench/photos.sh), made
# once when missing.
# Environment: BENCH_RUNS (runs per case, default 3; the table shows the median run), BENCH_CACHE.
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
cd "$repo"

runs="${BENCH_RUNS:-3}"
source "$repo/bench/photos.sh"
[ -x /usr/bin/time ] || { echo "bench: /usr/bin/time is missing; run scripts/install-deps.sh" >&2; exit 1; }
command -v vips > /dev/null || { echo "bench: vips is missing (libvips-tools); run scripts/install-deps.sh" >&2; exit 1; }
hw="$(nproc)"

echo "bench: building pictavera (Release) in build-bench/"
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DPICTAVERA_BUILD_TESTS=OFF > /dev/null
cmake --build build-bench -j2 --target pictavera > /dev/null
pictavera="$repo/build-bench/bin/pictavera"
[ -x "$pictavera" ] || { echo "bench: no pictavera at $pictavera" >&2; exit 1; }

# --- the photos and the frame -------------------------------------------------------------------------
make_photos 24

work="$(mktemp -d "${TMPDIR:-/tmp}/bake-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT
frame="$work/frame.png"
convert -size 1063x1417 xc:none -fill none -stroke 'rgba(255,255,255,0.85)' -strokewidth 60 \
  -draw 'rectangle 30,30 1032,1386' -stroke 'rgba(20,20,20,0.6)' -strokewidth 4 -draw 'rectangle 70,70 992,1346' \
  "$frame"

# --- the requests -------------------------------------------------------------------------------------
requests() {
  local threads=$1 i sep=""
  printf '{"maxThreads":%d,"jpegQuality":95,"requests":[' "$threads"
  for ((i = 1; i <= 24; i++)); do
    local rotate=false
    ((i % 2)) && rotate=true
    printf '%s{"sourcePath":"%s","framePath":"%s","canvasWidth":1063,"canvasHeight":1417,"imageScale":1.1,' \
      "$sep" "$(photo_path "$i")" "$frame"
    printf '"offsetX":12.5,"offsetY":-8.0,"rotateForOutput":%s,' "$rotate"
    printf '"effects":{"stroke":0.3,"strokeColor":4294901760.0,"strokeScale":1.0}}'
    sep=","
  done
  printf ']}'
}
requests 0 > "$work/default.json"
requests "$hw" > "$work/all.json"

# The libvips reference for photo $1 into folder $2: cover the canvas inside the 6-pixel border, embed it
# in the border's colour, lay the frame over it, save at Q95.
cat > "$work/vips_one.sh" << 'VIPS'
#!/usr/bin/env bash
set -euo pipefail
photo=$1 out=$2 frame=$3
base="$out/$(basename "$photo" .jpg)"
vips thumbnail "$photo" "$base.t.v" 1051 --height 1405 --crop centre
vips embed "$base.t.v" "$base.e.v" 6 6 1063 1417 --extend background --background "255 0 0"
vips composite2 "$base.e.v" "$frame" "$base.c.v" over
vips jpegsave "$base.c.v" "$base.jpg" --Q 95
rm -f "$base.t.v" "$base.e.v" "$base.c.v"
VIPS
chmod +x "$work/vips_one.sh"

# measure LABEL COMMAND... : BENCH_RUNS runs under /usr/bin/time; each run's "wall user sys peak_kb".
measure() {
  local label=$1 r
  shift
  : > "$work/$label.times"
  for ((r = 0; r < runs; r++)); do
    rm -rf "$work/out" && mkdir -p "$work/out"
    /usr/bin/time -f "%e %U %S %M" -o "$work/run.time" "$@" > "$work/run.out" 2> "$work/run.err" || {
      echo "bench: $label failed:" >&2; tail -5 "$work/run.err" >&2; exit 1; }
    cat "$work/run.time" >> "$work/$label.times"
  done
}

cat > "$work/bake.sh" << BAKE
#!/usr/bin/env bash
PICTAVERA_TEMP_DIR="$work/out" XDG_CONFIG_HOME="$work/cfg" exec "$pictavera" call printing_channel \
  bakeImagesForPrinting "\$(cat "\$1")"
BAKE
chmod +x "$work/bake.sh"

check_bake() {
  grep -q '"successCount":24' "$work/run.out" || { echo "bench: the bake did not bake 24 images" >&2; exit 1; }
}

echo "bench: $runs runs per case, $hw hardware threads"
measure bake_default "$work/bake.sh" "$work/default.json"; check_bake
measure bake_all "$work/bake.sh" "$work/all.json"; check_bake
for ((i = 1; i <= 24; i++)); do photo_path "$i"; echo; done > "$work/photos.txt"
measure vips xargs -a "$work/photos.txt" -P "$hw" -I{} "$work/vips_one.sh" {} "$work/out" "$frame"
[ "$(ls "$work/out"/*.jpg | wc -l)" -eq 24 ] || { echo "bench: vips did not write 24 files" >&2; exit 1; }

printf '\n%-34s %8s %10s %9s %10s\n' case "wall s" "images/s" "cpu s" "peak MB"
report() {
  local label=$1 title=$2
  sort -n "$work/$label.times" | awk -v t="$title" -v n="$runs" 'NR == int((n + 1) / 2) {
    printf "%-34s %8.2f %10.2f %9.2f %10.1f\n", t, $1, 24 / $1, $2 + $3, $4 / 1024 }'
}
default_workers=$((hw > 1 ? hw - 1 : 1))
report bake_default "pictavera bake, $default_workers worker(s)"
report bake_all "pictavera bake, $hw worker(s)"
report vips "libvips $(vips --version | cut -d- -f2), $hw at once"
