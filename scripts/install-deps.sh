#!/usr/bin/env bash
# Installs every Debian package that the build, the tests, the demo and the benchmarks need.
# Idempotent: run it as often as you like. Needs root (or sudo).
set -euo pipefail

packages=(
  # build
  build-essential cmake g++ pkg-config
  # helper: stb_image, stb_image_write, stb_image_resize (compiled into the helper)
  libstb-dev
  # application: JSON in `pictavera call`
  nlohmann-json3-dev
  # application graphics: canvas and drawing, JPEG with decode-time reduction, PNG, EXIF orientation
  libcairo2-dev libturbojpeg0-dev libpng-dev libexif-dev
  # tests
  googletest libgtest-dev libgmock-dev
  # benchmarks
  libbenchmark-dev
  # the decoder fuzzer (libFuzzer comes with clang's runtime)
  clang libclang-rt-14-dev
  # test images with EXIF; demo and benchmark photos; wall time, CPU time and peak memory
  libimage-exiftool-perl imagemagick time python3
  # locale sources, so a test can check that job files read the same under a comma-decimal locale
  locales
  # printers: the CUPS client library, cairo's PDF pages; the tests start a private scheduler
  libcups2-dev libcairo2-dev cups-daemon cups-client
  # opening files in the desktop's default application
  xdg-utils
)

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ "${#missing[@]}" -eq 0 ]; then
  echo "install-deps: all ${#packages[@]} packages present"
  exit 0
fi
echo "install-deps: installing ${missing[*]}"
"${sudo_cmd[@]}" apt-get update -q
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
