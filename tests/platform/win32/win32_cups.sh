#!/usr/bin/env bash
# The private CUPS scheduler of the Windows printing tests (run on the build machine, beside Wine): the
# CUPS tests' sandbox (two PPD queues whose capture backend keeps each job in DIR/out) plus PV_Raw, a raw
# queue (no PPD, no filters) with the same capture backend, where Wine's PostScript arrives as it is sent.
#   win32_cups.sh start DIR | stop DIR
#   win32_cups.sh check-job DIR PAGES WIDTH_PT HEIGHT_PT PROGRAM...
#       runs PROGRAM (the print-job test under Wine), then renders the one document it left in DIR/out
#       with ghostscript and checks its page count and page size (points, 72 per inch, +-1); exit code
#       77 (skipped) when no scheduler could be started.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
command=${1:?start, stop or check-job}
dir=${2:?folder}

case "$command" in
  start)
    rm -rf "$dir"
    mkdir -p "$dir"
    # Where no scheduler can run here, the printing tests skip, saying so; nothing fails for it.
    if ! "$here/../cups/cups_sandbox.sh" start "$dir" >/dev/null; then
      echo "win32_cups: no private scheduler (the printing tests skip)"
      exit 0
    fi
    export CUPS_SERVER="$dir/cups.sock" CUPS_SERVERROOT="$dir/client"
    /usr/sbin/lpadmin -p PV_Raw -E -v "capture:$dir/out" -D "Raw capture" 2>/dev/null
    lpstat -p PV_Raw >/dev/null
    echo "win32_cups: scheduler at $dir/cups.sock with $(lpstat -p | grep -c '^printer') queues"
    ;;
  stop)
    "$here/../cups/cups_sandbox.sh" stop "$dir"
    ;;
  check-job)
    pages=${3:?pages}; width=${4:?width}; height=${5:?height}
    shift 5
    if [ ! -S "$dir/cups.sock" ]; then echo "skipped: no private CUPS scheduler"; exit 77; fi
    rm -f "$dir"/out/job-*
    "$@"
    for _ in $(seq 100); do
      document=$(ls "$dir"/out/job-*.pdf 2>/dev/null | head -n1 || true)
      [ -n "$document" ] && break
      sleep 0.1
    done
    [ -n "$document" ] || { echo "no job arrived at the capture queue" >&2; exit 1; }
    head -c 4 "$document" | grep -q '%!PS' || { echo "the job is not PostScript" >&2; exit 1; }
    render="$(mktemp -d)"
    trap 'rm -rf "$render"' EXIT
    gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=png16m -r72 -o "$render/page-%d.png" "$document"
    got_pages=$(ls "$render" | wc -l)
    # The page size in pixels at 72 dpi: the PNG header's width and height.
    read -r got_width got_height < <(od -An -j16 -N8 -tu1 "$render/page-1.png" |
      awk '{print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}')
    echo "win32_cups: captured $(wc -c <"$document") bytes of PostScript, $got_pages pages of ${got_width}x${got_height} pt"
    [ "$got_pages" -eq "$pages" ] || { echo "expected $pages pages" >&2; exit 1; }
    # Every page carries ink: the pictures were drawn, not only the pages started.
    gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=inkcov -o - "$document" |
      awk '{ if ($1 + $2 + $3 + $4 < 0.001) blank++ } END { exit blank > 0 }' ||
      { echo "a blank page" >&2; exit 1; }
    for pair in "$got_width $width" "$got_height $height"; do
      set -- $pair
      [ $(( $1 - $2 )) -le 1 ] && [ $(( $2 - $1 )) -le 1 ] || { echo "expected ${width}x${height} pt" >&2; exit 1; }
    done
    ;;
esac
