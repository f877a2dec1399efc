#!/usr/bin/env bash
# Installs every Debian package that the build, the tests, the demo and the benchmarks need; with
# --windows, those of the Windows build and its tests under Wine (scripts/test-windows.sh) instead.
# Idempotent: run it as often as you like. Needs root (or sudo).
set -euo pipefail

packages=(
  # build
  build-essential cmake g++ pkg-config
  # the image core: libjpeg-turbo (TurboJPEG and libjpeg), libpng, libtiff, libwebp, libheif with its
  # HEVC and AV1 decoders, stb_image (BMP, TGA, PSD); stb_image_write writes the tests' picture files
  libstb-dev libturbojpeg0-dev libjpeg62-turbo-dev libpng-dev libtiff-dev libwebp-dev libheif-dev
  # application: JSON in `pictavera call`
  nlohmann-json3-dev
  # both programs: colour conversion with ICC profiles
  liblcms2-dev
  # application graphics: canvas and drawing, JPEG with decode-time reduction, PNG, EXIF orientation
  libcairo2-dev libturbojpeg0-dev libpng-dev libexif-dev
  # tests
  googletest libgtest-dev libgmock-dev
  # benchmarks
  libbenchmark-dev
  # the bake benchmark's reference pipeline (the vips command)
  libvips-tools
  # the decoder fuzzer (libFuzzer comes with clang's runtime)
  clang libclang-rt-14-dev
  # test images with EXIF; demo and benchmark photos; wall time, CPU time and peak memory; the
  # benchmark's peers
  libimage-exiftool-perl imagemagick time python3 graphicsmagick libvips-tools
  # insight channels: EXIF tags, the face detector, file URIs and MD5 names of the shared thumbnail cache;
  # a photo with a face for the detector test (copied into the build when it is configured);
  # vipsthumbnail (above) for the thumbnail benchmark
  libexif-dev libdlib-dev libglib2.0-dev python-matplotlib-data
  # dlib's CMake package links libblas.so and liblapack.so, but libdlib-dev does not pull them in
  libblas-dev liblapack-dev
  # locale sources, so a test can check that job files read the same under a comma-decimal locale
  locales
  # printers: the CUPS client library and its raster half (PWG raster pages), cairo's PDF pages; the
  # filters a Debian desktop prints through; the tests start a private scheduler and driverless
  # (IPP Everywhere) virtual printers on a private D-Bus system bus
  libcups2-dev libcupsimage2-dev libcairo2-dev cups-daemon cups-client cups-filters cups-ipp-utils dbus-daemon
  # opening files in the desktop's default application
  xdg-utils
  # the printing process test reads the PDF printer's pages and images (pdfinfo, pdfimages)
  poppler-utils
)

windows_packages=(
  # compilers for 64-bit Windows, posix thread model (std::thread, std::mutex)
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
  # runs the Windows programs and tests
  wine wine64
  # libjpeg-turbo's SIMD code; dpkg-source unpacks Debian's source package
  nasm dpkg-dev
  # GoogleTest's sources (/usr/src/googletest); stb's headers; the Linux build's versions of libjpeg-turbo,
  # libpng, libtiff and libwebp, cross-built from their source packages over Debian's zlib for mingw-w64
  googletest libstb-dev libturbojpeg0-dev libpng-dev libtiff-dev libwebp-dev libz-mingw-w64-dev
  # nlohmann-json's headers for the host's `call` (copied into the Windows build's dependencies)
  nlohmann-json3-dev
  # the Linux build's libexif and dlib versions, cross-built from their source packages; dlib's tarball
  libexif-dev libdlib-dev bzip2
  # the Linux build's LittleCMS 2 version, cross-built from its source package
  liblcms2-dev
  # the printing tests of the Windows host: a private CUPS scheduler, PostScript rendered by ghostscript
  cups-daemon cups-client ghostscript
)
if [ "${1:-}" = --windows ]; then packages=("${windows_packages[@]}"); fi

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
