#!/usr/bin/env bash
# Composes a few sheets of photo magnets through pictavera, from nothing but the repository.
#
#   scripts/demo.sh [--installed] [PHOTO_DIR]
#
# Installs the packages (scripts/install-deps.sh), builds pictavera and mosalith into build/bin/, and sends
# two sheet requests as the interface does, `pictavera call printing_channel createGridImages '{...}'` (a
# 4 x 3 sheet and two 2 x 2 sheets: cut lines, a decorative frame on some magnets, tone and colour
# adjustments, a user zoom and pan, outside and inside borders), and a sheet planned in millimetres with
# `planMagnetSheets` (50 mm squares on A4, crop marks, bleed). pictavera writes the job file, runs
# mosalith beside it and answers; the script says where the sheets are. Photos come from PHOTO_DIR (its JPEG and PNG files, used in name order and repeated as
# needed) or, without it, from samples/. Everything is written to out/demo/. DEMO_BUILD_DIR=folder builds
# somewhere else than build/. --installed uses the installed programs instead (the Debian package,
# scripts/package.sh --install: pictavera on the PATH, mosalith in /usr/lib/pictavera/) and builds nothing.
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
cd "$repo"

installed=0
if [ "${1:-}" = --installed ]; then installed=1; shift; fi
photo_dir="${1:-$repo/samples}"
[ -d "$photo_dir" ] || { echo "demo: no such folder: $photo_dir" >&2; exit 2; }
photo_dir="$(cd "$photo_dir" && pwd)"
frame="$repo/samples/frame.png"
out="$repo/out/demo"
build_dir="${DEMO_BUILD_DIR:-build}" # another folder keeps the demo's build apart from the tests'

# The photos: every JPEG or PNG in the folder except the sample frame. A job file holds one path per line,
# so pictavera refuses names with a line break; they are left out here.
photos=()
while IFS= read -r -d '' f; do
  case "$f" in *$'\n'* | *$'\r'*) echo "demo: skipping a file whose name has a line break" >&2; continue ;; esac
  [ "$f" -ef "$frame" ] && continue
  photos+=("$f")
done < <(find "$photo_dir" -maxdepth 1 -type f \( -iname '*.jpg' -o -iname '*.jpeg' -o -iname '*.png' \) -print0 |
         sort -z)
[ "${#photos[@]}" -gt 0 ] || { echo "demo: no .jpg, .jpeg or .png files in $photo_dir" >&2; exit 2; }
echo "demo: ${#photos[@]} photos from $photo_dir"

if [ "$installed" = 1 ]; then
  scripts/install-deps.sh --demo
  pictavera="$(command -v pictavera)" || { echo "demo: pictavera is not installed (scripts/package.sh --install)" >&2; exit 1; }
  echo "demo: the installed $pictavera ($("$pictavera" --version))"
else
  scripts/install-deps.sh
  cmake -S . -B "$build_dir"
  cmake --build "$build_dir" -j2 --target pictavera mosalith
  bin="$repo/$build_dir/bin"
  [ "${build_dir:0:1}" != / ] || bin="$build_dir/bin"
  pictavera="$bin/pictavera"
  [ -x "$pictavera" ] && [ -x "$bin/mosalith" ] || { echo "demo: the build produced no $bin/pictavera and mosalith" >&2; exit 1; }
fi

rm -rf "$out"
mkdir -p "$out"

# request ROWS COLS PHOTO_COUNT FRAME_POSITIONS OUTPUT... : the createGridImages arguments as JSON.
# Effect lines come on standard input: a photo index, then NAME=VALUE overrides of the neutral record
# (brightness, contrast, saturation, exposure, grayscale, temperature, sharpness, wbTint, shadow, scale,
# offsetX, offsetY, viewportWidth, viewportHeight, stroke, strokeScale, strokeColor as 0xAARRGGBB in
# decimal, strokeExternal 1 = outside / 0 = over the photo's edge, gamma). The method reads effect values
# as doubles only, so every value is sent as a JSON number with a fraction.
request() {
  python3 -c '
import json, sys
args = sys.argv[1:]
frame, rows, cols, count, framed = args[0], int(args[1]), int(args[2]), int(args[3]), args[4].split()
split = args.index("--")
outputs, photos = args[5:split], args[split + 1:]
effects = [{} for _ in range(count)]
for line in sys.stdin.read().splitlines():
    if not line.strip():
        continue
    index, *pairs = line.split()
    for pair in pairs:
        name, value = pair.split("=", 1)
        effects[int(index)][name] = float(value)
print(json.dumps({
    "imagePaths": [photos[i % len(photos)] for i in range(count)],
    "outputPaths": outputs,
    "framePaths": [frame if str(i) in framed else "" for i in range(count)],
    "rows": rows, "columns": cols, "pageWidth": 1854, "pageHeight": 2445,
    "marginLeft": 18, "marginRight": 18, "marginTop": 16, "marginBottom": 16,
    "jpegQuality": 92, "showCutGrid": True, "cutGridWidthMm": 0.3, "cutGridColor": "gray", "dpi": 300,
    "imageEffects": effects,
}, indent=1))
' "$frame" "$@" "--" "${photos[@]}"
}

# Sheet set 1: twelve magnets on one 4 x 3 sheet. The cells are a little wider than tall, so portrait
# photos are turned a quarter to fit them (the forest sample is stored on its side and tagged with EXIF
# orientation 6, which is honoured first).
white=$((0xFFFFFFFF))
navy=$((0xFF223A72))
red=$((0xFFC4302E))
request 4 3 12 "1 6 10" "$out/sheet_4x3.jpg" > "$out/request_4x3.json" <<EOF
0 brightness=0.6 saturation=0.7
2 grayscale=1 contrast=0.3
3 scale=1.6 offsetX=40 offsetY=-20 viewportWidth=300 viewportHeight=300
4 stroke=0.8 strokeColor=$white strokeExternal=1
5 stroke=0.6 strokeColor=$navy strokeExternal=0 temperature=0.4
7 exposure=0.7 sharpness=0.6
8 saturation=0 shadow=0.25
9 wbTint=0.5 gamma=1.3
11 scale=1.3 offsetY=30 viewportWidth=300 viewportHeight=300 stroke=0.5 strokeColor=$red strokeExternal=1
EOF

# Sheet set 2: eight magnets on two 2 x 2 sheets. The magnets fill their portrait cells, so landscape
# photos are turned a quarter to fit them.
request 2 2 8 "0 5" "$out/sheet_2x2_1.jpg" "$out/sheet_2x2_2.jpg" > "$out/request_2x2.json" <<EOF
1 stroke=1.2 strokeColor=$white strokeExternal=1 contrast=0.4
2 scale=2 offsetX=-30 offsetY=25 viewportWidth=300 viewportHeight=400
3 grayscale=0.8 temperature=0.8 shadow=0.1
4 stroke=0.9 strokeColor=$navy strokeExternal=0 brightness=0.55 saturation=0.8
6 exposure=0.35 contrast=-0.4
7 gamma=0.8 sharpness=1
EOF

for job in 4x3 2x2; do
  echo "demo: pictavera call printing_channel createGridImages \"\$(cat out/demo/request_$job.json)\""
  reply="$("$pictavera" call printing_channel createGridImages "$(cat "$out/request_$job.json")" \
             2> "$out/sheets_$job.log")" || true
  if [ "$reply" != '{"success":true}' ]; then
    echo "demo: the sheet request $job failed: ${reply:-no reply}; pictavera's log:" >&2
    cat "$out/sheets_$job.log" >&2
    exit 1
  fi
  echo "demo: $reply, $(grep -c '^Mosalith: Saved page' "$out/sheets_$job.log" || true) sheet(s) saved by mosalith," \
       "$(grep -o 'mosalith completed in [0-9]*ms' "$out/sheets_$job.log" || echo 'composed in-process')"
done

# Sheet set 3, designed in millimetres: 50 mm square magnets with 3 mm gaps and a 1 mm bleed, planned for
# A4 on the built-in PDF printer. planMagnetSheets answers the layout that prints at true size inside the
# paper's printable area, a preflight of the photos, and the createGridImages request, which gets the photos
# and one output path per sheet added and is sent as it is.
plan_photos=$(printf '%s\n' "${photos[@]}" | head -n 9 | python3 -c 'import json, sys; print(json.dumps(sys.stdin.read().splitlines()))')
plan_args="{\"magnetWidthMm\": 50, \"magnetHeightMm\": 50, \"gapMm\": 3, \"bleedMm\": 1, \"faceAwareCrop\": true,
  \"printerName\": \"PictaVera PDF\", \"paperName\": \"A4\", \"imagePaths\": $plan_photos}"
echo "demo: pictavera call printing_channel planMagnetSheets '{\"magnetWidthMm\": 50, \"magnetHeightMm\": 50, ...}'"
XDG_CONFIG_HOME="$out/config" "$pictavera" call printing_channel planMagnetSheets "$plan_args" \
  > "$out/plan_50mm.json" 2> "$out/plan_50mm.log"
python3 - "$out" <<'PLAN'
import json, os, sys
out = sys.argv[1]
reply = json.load(open(os.path.join(out, "plan_50mm.json")))
if "success" not in reply:
    sys.exit(f"demo: the plan failed: {reply}")
plan = reply["success"]
print(f"demo: {plan['rows']} x {plan['columns']} magnets of {plan['magnetWidthMm']} mm ({plan['magnetWidthPx']} px at"
      f" {plan['dpi']} dpi) per {plan['paperName']} sheet, {plan['sheetsNeeded']} sheet(s), grid at"
      f" {plan['gridOnPaperMm']['left']:.2f} mm from the left edge")
for photo in plan["preflight"]:
    if photo["warnings"]:
        print(f"demo: preflight: {os.path.basename(photo['imagePath'])}: {', '.join(photo['warnings'])}"
              f" ({photo['effectivePpi']} ppi)")
request = dict(plan["request"], imagePaths=[p["imagePath"] for p in plan["preflight"]],
               outputPaths=[os.path.join(out, f"sheet_plan_50mm_{n}.jpg") for n in range(1, plan["sheetsNeeded"] + 1)])
json.dump(request, open(os.path.join(out, "request_plan_50mm.json"), "w"), indent=1)
PLAN
reply="$("$pictavera" call printing_channel createGridImages "$(cat "$out/request_plan_50mm.json")" \
           2> "$out/sheets_plan_50mm.log")" || true
if [ "$reply" != '{"success":true}' ]; then
  echo "demo: the planned sheet request failed: ${reply:-no reply}; pictavera's log:" >&2
  cat "$out/sheets_plan_50mm.log" >&2
  exit 1
fi
echo "demo: $reply, the planned sheet(s) composed with crop marks"

echo
echo "The sheets (one JPEG per sheet; the requests and pictavera's logs are beside them). A photo whose"
echo "shape does not match its magnet is turned a quarter turn, as the printed magnet can be turned too:"
for sheet in "$out"/sheet_*.jpg; do
  [ -s "$sheet" ] || { echo "demo: missing sheet $sheet" >&2; exit 1; }
  echo "  $sheet  ($(identify -format '%w x %h' "$sheet") pixels, JPEG)"
done

# Printing: the sheets as one job on the built-in PDF printer, one page per sheet, through pictavera.
# The planned sheets cover A4 at 300 dpi: they print at true size, each magnet 50.04 mm square.
# Its files and its own settings stay in out/demo; the user's printers and settings are not touched.
# The sheets are 1854 x 2445 pixels composed at 300 dpi (the request's "dpi", which the sheet files state
# as their resolution): 157.0 x 207.0 mm, inside A4, so each prints at that true size, centred, and every
# magnet on it at the size it was designed at (the 4 x 3 magnets are 51 mm wide).
rm -rf "$out/pdf"
sheets=$(printf '"%s",' "$out"/sheet_*.jpg)
echo "demo: printing the sheets on \"PictaVera PDF\" (A4)"
PICTAVERA_PDF_DIR="$out/pdf" XDG_CONFIG_HOME="$out/config" "$pictavera" call printing_channel printWithLayoutWindows \
  "{\"imagePaths\": [${sheets%,}], \"printerName\": \"PictaVera PDF\", \"paperSize\": {\"width\": 210, \"height\": 297}}" \
  2> "$out/print.log"
for pdf in "$out"/pdf/*.pdf; do
  [ -s "$pdf" ] || { echo "demo: no PDF was printed; see $out/print.log" >&2; exit 1; }
  echo "  $pdf  ($(grep -c '^DEBUG: Page .* sent to printer successfully' "$out/print.log") pages," \
       "$(grep -c '^DEBUG DRAWING (true size)' "$out/print.log") at true size:" \
       "$(grep -m1 -A4 '^DEBUG DRAWING (true size)' "$out/print.log" | grep -o 'Expected physical: .*' || true))"
done
