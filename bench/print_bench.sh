#!/usr/bin/env bash
# Times printing 12 A4 sheets as the interface prints them: wall time and peak memory of one
# `pictavera call printing_channel printWithLayoutWindows` with the 12 sheets, on each kind of queue:
#   pdf-printer)  the built-in PDF printer (a PDF file)
#   ppd-queue)    a PPD queue of a private CUPS scheduler (a PDF streamed to it; a capture backend)
#   driverless)   a driverless queue that takes JPEG and PWG raster (one JPEG page per job)
#   pwg-raster)   a driverless queue that takes PWG raster only (one raster document)
# The sheets: 12 A4 sheets (2480 x 3508 px at 300 dpi, 4 x 3 magnets of the 12-megapixel benchmark photos
# each, cut lines), composed once by mosalith through the host. A call answers when the job has been
# handed to the scheduler (or the file written), not when the virtual printer has "printed" it.
#
#   bench/print_bench.sh
#
# Builds pictavera and mosalith in Release into build-bench/ (BENCH_BIN=folder uses programs built
# elsewhere). Uses the photos bench/mosalith_bench.sh makes and caches. BENCH_RUNS (default 3; the table
# shows the median run), BENCH_CACHE.
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
cd "$repo"

runs="${BENCH_RUNS:-3}"
source "$repo/bench/photos.sh"
[ -x /usr/bin/time ] || { echo "bench: /usr/bin/time is missing; run scripts/install-deps.sh" >&2; exit 1; }
if [ -n "${BENCH_BIN:-}" ]; then
  bin="$(cd "$BENCH_BIN" && pwd)"
else
  echo "bench: building pictavera and mosalith (Release) in build-bench/"
  cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DPICTAVERA_BUILD_TESTS=OFF > /dev/null
  cmake --build build-bench -j2 --target pictavera mosalith > /dev/null
  bin="$repo/build-bench/bin"
fi
[ -x "$bin/pictavera" ] && [ -x "$bin/mosalith" ] || { echo "bench: no pictavera and mosalith in $bin" >&2; exit 1; }

# --- the photos (the same recipe and cache as bench/mosalith_bench.sh) -----------------------------
make_photos 12

work="$(mktemp -d "${TMPDIR:-/tmp}/print-bench.XXXXXX")"
chmod 0755 "$work"  # the scheduler may run as another user
sandbox="$work/cups"
trap 'bash tests/platform/cups/cups_sandbox.sh stop "$sandbox" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
eval "$(bash tests/platform/cups/cups_sandbox.sh start "$sandbox")"
bash tests/platform/cups/cups_sandbox.sh ipp "$sandbox" PV_Driverless image/jpeg,image/pwg-raster
bash tests/platform/cups/cups_sandbox.sh ipp "$sandbox" PV_Raster image/pwg-raster
export PICTAVERA_TEMP_DIR="$work/temp" PICTAVERA_PDF_DIR="$work/pdf" XDG_CONFIG_HOME="$work/config"

# --- the 12 sheets ---------------------------------------------------------------------------------
images="" outputs="" sheets=""
for ((s = 1; s <= 12; s++)); do
  outputs+="${outputs:+, }\"$work/sheet_$s.jpg\""
  sheets+="${sheets:+, }\"$work/sheet_$s.jpg\""
  for ((i = 1; i <= 12; i++)); do images+="${images:+, }\"$(photo_path "$i")\""; done
done
"$bin/pictavera" call printing_channel createGridImages "{\"imagePaths\": [$images], \"outputPaths\": [$outputs],
  \"rows\": 4, \"columns\": 3, \"pageWidth\": 2480, \"pageHeight\": 3508, \"marginLeft\": 36, \"marginRight\": 36,
  \"marginTop\": 36, \"marginBottom\": 36, \"jpegQuality\": 95, \"showCutGrid\": true, \"cutGridWidthMm\": 0.2,
  \"dpi\": 300}" 2> "$work/sheets.log" | grep -q '"success":true' || { tail "$work/sheets.log" >&2; exit 1; }

# --- the prints ------------------------------------------------------------------------------------
echo "bench: 12 A4 sheets, $runs runs each; load: $(uptime | sed 's/.*load average: //')"
printf '%-12s %10s %12s\n' case "wall (s)" "peak (MiB)"
for case in pdf-printer ppd-queue driverless pwg-raster; do
  case $case in
    pdf-printer) printer="PictaVera PDF" ;;
    ppd-queue) printer=PV_Office ;;
    driverless) printer=PV_Driverless ;;
    pwg-raster) printer=PV_Raster ;;
  esac
  results=()
  for ((r = 1; r <= runs; r++)); do
    /usr/bin/time -f '%e %M' -o "$work/time" "$bin/pictavera" call printing_channel printWithLayoutWindows \
      "{\"imagePaths\": [$sheets], \"printerName\": \"$printer\", \"paperSize\": {\"width\": 210, \"height\": 297}}" \
      2> "$work/$case.log" | grep -q '"success":true' || { tail "$work/$case.log" >&2; exit 1; }
    results+=("$(cat "$work/time")")
  done
  median="$(printf '%s\n' "${results[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p")"
  read -r wall peak_kb <<< "$median"
  printf '%-12s %10s %12s\n' "$case" "$wall" "$((peak_kb / 1024))"
done
