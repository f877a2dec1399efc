#!/usr/bin/env bash
# Composes a few sheets of photo magnets with mosalith, from nothing but the repository.
#
#   scripts/demo.sh [PHOTO_DIR]
#
# Installs the packages (scripts/install-deps.sh), builds mosalith into build/, writes two grid job files
# (a 4 x 3 sheet and two 2 x 2 sheets: cut lines, a decorative frame on some magnets, tone and colour
# adjustments, a user zoom and pan, outside and inside borders), runs mosalith on each and says where the
# sheets are. Photos come from PHOTO_DIR (its JPEG and PNG files, used in name order and repeated as
# needed) or, without it, from samples/. Everything is written to out/demo/. DEMO_BUILD_DIR=folder builds
# somewhere else than build/.
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
cd "$repo"

photo_dir="${1:-$repo/samples}"
[ -d "$photo_dir" ] || { echo "demo: no such folder: $photo_dir" >&2; exit 2; }
photo_dir="$(cd "$photo_dir" && pwd)"
frame="$repo/samples/frame.png"
out="$repo/out/demo"
build_dir="${DEMO_BUILD_DIR:-build}" # another folder keeps the demo's build apart from the tests'

# The photos: every JPEG or PNG in the folder except the sample frame. A job file holds one path per line
# with leading blanks stripped, so names with a line break cannot be passed and are left out.
photos=()
while IFS= read -r -d '' f; do
  case "$f" in *$'\n'* | *$'\r'*) echo "demo: skipping a file whose name has a line break" >&2; continue ;; esac
  [ "$f" -ef "$frame" ] && continue
  photos+=("$f")
done < <(find "$photo_dir" -maxdepth 1 -type f \( -iname '*.jpg' -o -iname '*.jpeg' -o -iname '*.png' \) -print0 |
         sort -z)
[ "${#photos[@]}" -gt 0 ] || { echo "demo: no .jpg, .jpeg or .png files in $photo_dir" >&2; exit 2; }
echo "demo: ${#photos[@]} photos from $photo_dir"

scripts/install-deps.sh
cmake -S . -B "$build_dir"
cmake --build "$build_dir" -j2 --target mosalith
mosalith="$repo/$build_dir/helper/mosalith"
[ "${build_dir:0:1}" != / ] || mosalith="$build_dir/helper/mosalith"
[ -x "$mosalith" ] || { echo "demo: the build produced no $mosalith" >&2; exit 1; }

rm -rf "$out"
mkdir -p "$out"

# One effect record line: photo index, then NAME=VALUE overrides of the neutral record. The fields are
# written in the job file's order: 16 reals, the border colour (0xAARRGGBB as unsigned decimal), the border
# kind (1 = outside: photo shrunk inside it, 0 = painted over the photo's edge) and gamma.
effect_fields=(brightness contrast saturation exposure grayscale temperature sharpness wbTint shadow
               scale offsetX offsetY viewportWidth viewportHeight stroke strokeScale strokeColor
               strokeExternal gamma)
effect() {
  local index=$1
  shift
  declare -A v=([brightness]=0.5 [contrast]=0 [saturation]=0.5 [exposure]=0.5 [grayscale]=0
                [temperature]=0 [sharpness]=0 [wbTint]=0 [shadow]=0 [scale]=1 [offsetX]=0 [offsetY]=0
                [viewportWidth]=0 [viewportHeight]=0 [stroke]=0 [strokeScale]=1 [strokeColor]=4294967295
                [strokeExternal]=1 [gamma]=1)
  local kv
  for kv in "$@"; do
    [ -n "${v[${kv%%=*}]+set}" ] || { echo "demo: unknown effect field ${kv%%=*}" >&2; exit 1; }
    v[${kv%%=*}]=${kv#*=}
  done
  local line=$index name
  for name in "${effect_fields[@]}"; do line+=",${v[$name]}"; done
  echo "$line"
}

# write_job FILE ROWS COLS PHOTO_COUNT FRAME_POSITIONS MAGNET_ASPECT OUTPUT...
# Effect lines come on standard input. MAGNET_ASPECT 0 lets each magnet fill its cell.
write_job() {
  local file=$1 rows=$2 cols=$3 count=$4 framed=" $5 " aspect=$6
  shift 6
  {
    echo "# Pictavera demo job: $count photos on a ${rows} x ${cols} grid"
    echo "[settings]"
    echo "rows=$rows"
    echo "cols=$cols"
    echo "pageWidth=1854"
    echo "pageHeight=2445"
    echo "marginLeft=18"
    echo "marginRight=18"
    echo "marginTop=16"
    echo "marginBottom=16"
    echo "jpegQuality=92"
    echo "showCutGrid=1"
    echo "cutGridWidthMm=0.3"
    echo "cutGridColor=gray"
    echo "dpi=450"
    [ "$aspect" = 0 ] || echo "magnetAspectRatio=$aspect"
    echo "[images]"
    local i
    for ((i = 0; i < count; i++)); do echo "${photos[i % ${#photos[@]}]}"; done
    echo "[frames]"
    for ((i = 0; i < count; i++)); do
      if [[ "$framed" == *" $i "* ]]; then echo "$frame"; else echo "(none)"; fi
    done
    echo "[outputs]"
    printf '%s\n' "$@"
    echo "[effects]"
    cat
  } > "$file"
}

# Sheet set 1: twelve square magnets on one 4 x 3 sheet. Square magnets take every photo upright (the
# forest sample is stored on its side and tagged with EXIF orientation 6).
white=$((0xFFFFFFFF))
navy=$((0xFF223A72))
red=$((0xFFC4302E))
write_job "$out/job_4x3.txt" 4 3 12 "1 6 10" 1 "$out/sheet_4x3.jpg" <<EOF
$(effect 0 brightness=0.6 saturation=0.7)
$(effect 2 grayscale=1 contrast=0.3)
$(effect 3 scale=1.6 offsetX=40 offsetY=-20 viewportWidth=300 viewportHeight=300)
$(effect 4 stroke=0.8 strokeColor=$white strokeExternal=1)
$(effect 5 stroke=0.6 strokeColor=$navy strokeExternal=0 temperature=0.4)
$(effect 7 exposure=0.7 sharpness=0.6)
$(effect 8 saturation=0 shadow=0.25)
$(effect 9 wbTint=0.5 gamma=1.3)
$(effect 11 scale=1.3 offsetY=30 viewportWidth=300 viewportHeight=300 stroke=0.5 strokeColor=$red strokeExternal=1)
EOF

# Sheet set 2: eight magnets on two 2 x 2 sheets. The magnets fill their portrait cells, so landscape
# photos are turned a quarter to fit them.
write_job "$out/job_2x2.txt" 2 2 8 "0 5" 0 "$out/sheet_2x2_1.jpg" "$out/sheet_2x2_2.jpg" <<EOF
$(effect 1 stroke=1.2 strokeColor=$white strokeExternal=1 contrast=0.4)
$(effect 2 scale=2 offsetX=-30 offsetY=25 viewportWidth=300 viewportHeight=400)
$(effect 3 grayscale=0.8 temperature=0.8 shadow=0.1)
$(effect 4 stroke=0.9 strokeColor=$navy strokeExternal=0 brightness=0.55 saturation=0.8)
$(effect 6 exposure=0.35 contrast=-0.4)
$(effect 7 gamma=0.8 sharpness=1)
EOF

for job in job_4x3 job_2x2; do
  echo "demo: mosalith $out/$job.txt"
  if ! "$mosalith" "$out/$job.txt" > "$out/$job.log" 2>&1; then
    echo "demo: mosalith failed on $job; its output:" >&2
    cat "$out/$job.log" >&2
    exit 1
  fi
  echo "demo: $(grep -c '^Mosalith: Saved page' "$out/$job.log") sheet(s) saved, $(grep '^Mosalith: Total time' "$out/$job.log" | sed 's/^Mosalith: //')"
done

echo
echo "The sheets (one JPEG per sheet; the job files and mosalith's logs are beside them). A photo whose"
echo "shape does not match its magnet is turned a quarter turn, as the printed magnet can be turned too:"
for sheet in "$out"/sheet_*.jpg; do
  [ -s "$sheet" ] || { echo "demo: missing sheet $sheet" >&2; exit 1; }
  echo "  $sheet  ($(identify -format '%w x %h' "$sheet") pixels, JPEG)"
done

# Printing: the sheets as one job on the built-in PDF printer, one page per sheet, through pictavera.
# Its files and its own settings stay in out/demo; the user's printers and settings are not touched.
cmake --build "$build_dir" -j2 --target pictavera
pictavera="$repo/$build_dir/runner/pictavera"
[ "${build_dir:0:1}" != / ] || pictavera="$build_dir/runner/pictavera"
rm -rf "$out/pdf"
sheets=$(printf '"%s",' "$out"/sheet_*.jpg)
echo "demo: printing the sheets on \"PictaVera PDF\" (A4)"
PICTAVERA_PDF_DIR="$out/pdf" XDG_CONFIG_HOME="$out/config" "$pictavera" call printing_channel printWithLayoutWindows \
  "{\"imagePaths\": [${sheets%,}], \"printerName\": \"PictaVera PDF\", \"paperSize\": {\"width\": 210, \"height\": 297}}" \
  2> "$out/print.log"
for pdf in "$out"/pdf/*.pdf; do
  [ -s "$pdf" ] || { echo "demo: no PDF was printed; see $out/print.log" >&2; exit 1; }
  echo "  $pdf  ($(grep -c '^DEBUG: Page .* sent to printer successfully' "$out/print.log") pages)"
done
