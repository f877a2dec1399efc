#!/usr/bin/env bash
# Builds the fuzzers with clang into build-fuzz/ and runs them two at a time (one per core), SECONDS
# (default 60) on each core: on one the codec fuzzer for three quarters of it on a small seed corpus
# generated into that folder, then the transport's frame reader; on the other, a quarter each, the
# picture-header fuzzer (the one picture header reader of both programs, libexif and the EXIF date
# parser) on the sample photos' headers, the grid job file fuzzer (its reader, and the writer's round
# trip), the settings record fuzzer (records and options text, and their round trips) and the JSON of
# `pictavera call`.
# Exits non-zero when a fuzzer finds a crash, a leak or a broken round trip; the input that did it is left
# in build-fuzz/fuzz-artifacts/.
#   usage: scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
build=build-fuzz

# Line tables only: enough for the fuzzers' stack traces, at a fraction of full debug information's cost.
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -gline-tables-only -DNDEBUG" \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -gline-tables-only -DNDEBUG" \
  -DPICTAVERA_FUZZ=ON -DPICTAVERA_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target codec_fuzzer picture_header_fuzzer grid_job_fuzzer \
  settings_record_fuzzer json_fuzzer frame_fuzzer

seeds="$build/fuzz-seeds/codec"
corpus="$build/fuzz-corpus/codec"
artifacts="$build/fuzz-artifacts/"
mkdir -p "$seeds" "$corpus" "$artifacts"

# Seeds: one valid message of each kind, method calls as the interface sends them, and reply envelopes.
seed() { printf "$2" >"$seeds/$1"; }
seed null         '\x00'
seed int32        '\x03\x78\x56\x34\x12'
seed int64        '\x04\xef\xcd\xab\x90\x78\x56\x34\x12'
seed double       '\x06\x00\x00\x00\x00\x00\x00\x00\x18\x2d\x44\x54\xfb\x21\x09\x40'
seed string       '\x07\x0bhello world'
seed bytes        '\x08\x04\xba\x5e\xba\x11'
seed int32s       '\x09\x03\x00\x00\x78\x56\x34\x12\xff\xff\xff\xff\x00\x00\x00\x00'
seed int64s       '\x0a\x01\x00\x00\x00\x00\x00\x00\xef\xcd\xab\x90\x78\x56\x34\x12'
seed doubles      '\x0b\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x40\x8f\x40'
seed floats       '\x0e\x02\x00\x00\xd8\x0f\x49\x40\x00\x00\x7a\x44'
seed list         '\x0c\x03\x00\x07\x05hello\x06\x00\x00\x00\x00\x00\x1f\x85\xeb\x51\xb8\x1e\x09\x40'
seed map          '\x0d\x02\x07\x04path\x07\x06/a.jpg\x07\x05width\x03\x40\x01\x00\x00'
seed long_size    '\x08\xfe\x03\x00\x01\x02\x03'
seed call         '\x07\x0cgetThumbnail\x0d\x01\x07\x04path\x07\x06/a.jpg'
seed call_null    '\x07\x12getPrintersWindows\x00'
seed oversized    '\x07\x0cgetThumbnail\x0d\x01\x07\x04path\x07\xff\xff\xff\xff\xff\x06/a.jpg'
seed call_list    '\x07\x12printImagesWindows\x0c\x01\x07\x06/a.jpg'
seed success      '\x00\x03\x2a\x00\x00\x00'
seed error        '\x01\x07\x11INVALID_ARGUMENTS\x07\x19Expected map of arguments\x00'
seed error_trace  '\x01\x07\x01E\x00\x00\x07\x02at'

# run_fuzzer NAME SECONDS MAX_LEN CORPUS SEEDS : runs tests/fuzz/NAME for SECONDS; its output goes to
# $build/NAME.log, its exit status (non-zero: it found something) to $build/NAME.status.
run_fuzzer() {
  local name=$1 secs=$2 max_len=$3 corpus=$4 seeds=$5 status=0
  "$build/tests/fuzz/$name" -max_total_time="$secs" -max_len="$max_len" -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$artifacts" "$corpus" "$seeds" >"$build/$name.log" 2>&1 || status=$?
  echo "$status" >"$build/$name.status"
}
# report NAME LABEL : the fuzzer's summary line; on a failure its last lines, and the script stops.
report() {
  local name=$1 label=$2 log="$build/$1.log" status
  status=$(cat "$build/$name.status" 2>/dev/null || echo 1)
  grep -E '^Done [0-9]+ runs' "$log" | sed "s/^/fuzz ($label): /" || true
  if [ "$status" -ne 0 ]; then
    tail -n 25 "$log"
    echo "fuzz: the $label fuzzer failed (exit $status); see $log and $artifacts" >&2
    exit "$status"
  fi
}

# The picture-header fuzzer: seeded with the first 64 KiB of each sample photo (their headers and EXIF).
header_seeds="$build/fuzz-seeds/header"
header_corpus="$build/fuzz-corpus/header"
mkdir -p "$header_seeds" "$header_corpus"
for f in samples/*.jpg samples/*.png; do head -c 65536 "$f" >"$header_seeds/$(basename "$f")"; done
# A PNG with eXIf and pHYs, and a JPEG with a comment before its EXIF block and a JFIF density, when
# exiftool is there to write them.
if command -v exiftool >/dev/null; then
  cp samples/frame.png "$header_seeds/exif.png"
  exiftool -q -overwrite_original -Orientation#=6 -XResolution=300 -YResolution=300 -ResolutionUnit=inches \
    "$header_seeds/exif.png" >/dev/null 2>&1 || true
  head -c 65536 samples/beach.jpg >"$header_seeds/comment.jpg"
  exiftool -q -overwrite_original -Comment=x -Orientation#=8 -JFIF:XResolution=118 -JFIF:YResolution=118 \
    -JFIF:ResolutionUnit=cm "$header_seeds/comment.jpg" >/dev/null 2>&1 || true
fi

# The grid job fuzzer: seeded with a job as the application writes it, and one with every odd form.
job_seeds="$build/fuzz-seeds/grid_job"
job_corpus="$build/fuzz-corpus/grid_job"
mkdir -p "$job_seeds" "$job_corpus"
printf '\xef\xbb\xbf[settings]\nrows=4\ncols=3\npageWidth=1854\npageHeight=2445\nmarginLeft=18\nmarginRight=18\nmarginTop=16\nmarginBottom=16\njpegQuality=95\nshowCutGrid=1\ncutGridWidthMm=0.1\ncutGridColor=darkGray\ndpi=450\nmagnetAspectRatio=0.75\n[images]\n/p/a.jpg\n/p/b.jpg\n[frames]\n(none)\n/f/round.png\n[outputs]\n/o/sheet_1.jpg\n[effects]\n1,0.6,0,0.5,0.5,0,0,0,0,0,1.2,10,-4,300,300,0,1,4294967295,1,1\n' \
  >"$job_seeds/written"
printf '# comment\r\n  [settings]\r\n\tdpi= 0x1.8p8x\r\nrows=+2\r\nshowCutGrid=true\r\n[images]\r\n  a b \r\n[outputs]\r\nc\r\n[effects]\r\n-1,1\r\n0,1e-45,2,3,4,5,6,7\r\n0,.5,,\r\n[unknown]\r\nx\r\n' \
  >"$job_seeds/odd"
printf '[settings]\nrows=3\ncols=3\ngapPx=24\nbleedPx=12\ncutGuides=marks\nfullLengthGuides=1\nrotateToFit=0\nfaceAwareCrop=1\nframeFit=cover\n[images]\na\nb\n[outputs]\nc\n[faces]\n0,0.25,0.125,0.5,0.375\n1,-1,2,1e300,0.1\n' \
  >"$job_seeds/sheet_keys"

# Seeds of the three small fuzzers: options text as the settings store keeps it, a call's arguments,
# a frame stream of a call.
small_seeds="$build/fuzz-seeds/small"
mkdir -p "$small_seeds" "$build/fuzz-corpus/settings_record" "$build/fuzz-corpus/json" "$build/fuzz-corpus/frame"
printf 'copies=1 media=iso_a4_210x297mm print-color-mode=color name="two words" flag' >"$small_seeds/options"
printf '{"images":["/p/a.jpg"],"rows":2,"cols":2,"dpi":300.5,"names":{"x":[true,null,-1e300]}}' >"$small_seeds/json"
cp "$seeds/call" "$small_seeds/frame"

# Two at a time, one per core, SECONDS on each.
quarter=$(( (seconds + 3) / 4 ))
rm -f "$build"/*.status
(
  run_fuzzer codec_fuzzer $(( seconds - quarter )) 4096 "$corpus" "$seeds"
  run_fuzzer frame_fuzzer "$quarter" 4096 "$build/fuzz-corpus/frame" "$small_seeds"
) &
(
  run_fuzzer picture_header_fuzzer "$quarter" 65536 "$header_corpus" "$header_seeds"
  run_fuzzer grid_job_fuzzer "$quarter" 4096 "$job_corpus" "$job_seeds"
  run_fuzzer settings_record_fuzzer "$quarter" 4096 "$build/fuzz-corpus/settings_record" "$small_seeds"
  run_fuzzer json_fuzzer "$quarter" 4096 "$build/fuzz-corpus/json" "$small_seeds"
) &
wait
report codec_fuzzer codec
report picture_header_fuzzer "picture header"
report grid_job_fuzzer "grid job"
report settings_record_fuzzer "settings record"
report json_fuzzer "call JSON"
report frame_fuzzer "transport frame"
