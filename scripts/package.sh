#!/usr/bin/env bash
# Builds the Debian package into build-package/ (pictavera_<version>_<arch>.deb: /usr/bin/pictavera, the
# helper in /usr/lib/pictavera/, manual pages; dependencies computed from the programs), checks it with
# lintian when that is installed, and with --install installs it with apt-get (as root or through sudo).
#   usage: scripts/package.sh [--install]
set -euo pipefail
cd "$(dirname "$0")/.."
build=build-package

scripts/install-deps.sh
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DPICTAVERA_BUILD_TESTS=OFF -DPICTAVERA_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j2 --target pictavera mosalith package_documents
(cd "$build" && cpack -G DEB >/dev/null)
deb="$(ls -t "$build"/pictavera_*.deb | head -n1)"
echo "package: $deb"
if command -v lintian >/dev/null; then
  lintian --fail-on error "$deb"
fi
if [ "${1:-}" = --install ]; then
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q --reinstall "$PWD/$deb"
fi
