#!/usr/bin/env bash
# The installed layout, as the Debian package lays it out, installed from the build into a temporary
# prefix: PREFIX/bin/pictavera finds its helper in PREFIX/lib/pictavera/ and composes a sheet with it (not
# with its in-process fallback); --help and --version of both programs; the manual pages render cleanly.
#   installed_layout_test.sh BUILD_DIR VERSION SAMPLE_PHOTO
set -euo pipefail
build=${1:?build folder} version=${2:?version} photo=${3:?photo}
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null
[ -x "$prefix/bin/pictavera" ] && [ -x "$prefix/lib/pictavera/mosalith" ] || fail "installed programs missing"
[ ! -e "$prefix/bin/mosalith" ] || fail "mosalith installed beside pictavera"

[ "$("$prefix/bin/pictavera" --version)" = "pictavera $version" ] || fail "pictavera --version"
[ "$("$prefix/lib/pictavera/mosalith" --version)" = "mosalith $version" ] || fail "mosalith --version"
"$prefix/bin/pictavera" --help 2>/dev/null | grep -q "pictavera call CHANNEL METHOD" || fail "pictavera --help"
"$prefix/lib/pictavera/mosalith" --help 2>/dev/null | grep -q "usage: mosalith JOB_FILE" || fail "mosalith --help"

sheet="$prefix/sheet_1.jpg"
reply=$(PICTAVERA_TEMP_DIR="$prefix/temp" "$prefix/bin/pictavera" call printing_channel createGridImages \
  "{\"imagePaths\": [\"$photo\"], \"outputPaths\": [\"$sheet\"], \"rows\": 1, \"columns\": 1,
    \"pageWidth\": 300, \"pageHeight\": 400, \"marginLeft\": 0, \"marginRight\": 0,
    \"marginTop\": 0, \"marginBottom\": 0, \"jpegQuality\": 90}" 2>"$prefix/log")
[ "$reply" = '{"success":true}' ] || fail "createGridImages answered $reply"
grep -q "^Mosalith: " "$prefix/log" || fail "the sheet was not composed by the installed helper: $(cat "$prefix/log")"
[ -s "$sheet" ] || fail "no sheet written"

for page in "$prefix"/share/man/man1/pictavera.1.gz "$prefix"/share/man/man1/mosalith.1.gz; do
  [ -s "$page" ] || fail "manual page $page missing"
  if command -v man >/dev/null; then
    warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$page: $warnings"
  fi
done
echo "installed layout: ok"
