#!/usr/bin/env bash
# The Windows build and its tests on this Linux machine: installs the cross compilers and Wine, builds
# libjpeg-turbo, libexif, dlib, LittleCMS 2, libpng, libtiff and libwebp (from Debian's source packages)
# and GoogleTest (from Debian's sources) for Windows once
# into build-windows/deps/, cross-builds into build-windows/ (programs in build-windows/bin/) and runs
# CTest through Wine in a temporary Wine prefix, headless, removed afterwards.
#
# The whole tree: mosalith.exe and Pictavera.exe side by side in build-windows/bin/, the portable suites
# (they use the fakes), the Windows adapters' tests and the process tests. Needs root (or sudo) for the
# packages. WINDOWS_JOBS (default 2) sets the build's parallelism.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
build="$root/build-windows"
deps="$build/deps"
jobs="${WINDOWS_JOBS:-2}"
toolchain="$root/cmake/mingw-w64-x86_64.cmake"

phase_start=$SECONDS
phase() {  # names the next phase, with the time spent so far
  echo "test-windows: $1 ($((SECONDS - phase_start)) s so far)"
}

phase "packages"
scripts/install-deps.sh --windows

# --- libjpeg-turbo and GoogleTest for Windows, built once per version -------------------------------
# The same libjpeg-turbo version as the Linux build's, so both builds write the same sheet bytes.
turbo_version="$(dpkg-query -W -f='${source:Version}' libturbojpeg0-dev)"
gtest_version="$(dpkg-query -W -f='${Version}' googletest)"
stb_version="$(dpkg-query -W -f='${Version}' libstb-dev)"
stamp="libjpeg-turbo $turbo_version (libjpeg too), googletest $gtest_version, stb $stb_version, $(sha1sum "$toolchain" | cut -c1-12)"
if [ "$(cat "$deps/stamp" 2>/dev/null)" != "$stamp" ]; then
  phase "libjpeg-turbo $turbo_version, GoogleTest $gtest_version and stb $stb_version for Windows"
  rm -rf "$deps" "$build/deps-work"
  work="$build/deps-work"
  mkdir -p "$work/apt/lists/partial" "$work/src"

  # A private source list for `apt-get source`: the deb-src twins of the machine's own Debian archives
  # (addresses and suites read from apt), its own index folder, the machine's lists and caches untouched.
  apt-get indextargets --format '$(REPO_URI) $(RELEASE) $(COMPONENT)' 'Created-By: Packages' | sort -u |
    while read -r uri release component; do echo "deb-src $uri $release $component"; done >"$work/apt/sources.list"
  apt_private=(-o "Dir::Etc::SourceList=$work/apt/sources.list" -o "Dir::Etc::SourceParts=$work/apt/none"
               -o "Dir::State::Lists=$work/apt/lists" -o "Dir::Cache::pkgcache=" -o "Dir::Cache::srcpkgcache=")
  apt-get "${apt_private[@]}" update -q
  (cd "$work/src" && apt-get "${apt_private[@]}" source -q "libjpeg-turbo=$turbo_version")
  turbo_src="$(find "$work/src" -mindepth 1 -maxdepth 1 -type d -name 'libjpeg-turbo-*' | head -n1)"

  phase "libjpeg-turbo: build"
  cmake -S "$turbo_src" -B "$work/turbo" --toolchain "$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$deps" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=ON \
    -DCMAKE_ASM_NASM_COMPILER=nasm >"$work/turbo.log"
  cmake --build "$work/turbo" -j"$jobs" --target turbojpeg-static jpeg-static >>"$work/turbo.log"
  # Only what the build links: the static libraries (TurboJPEG encodes, libjpeg decodes), their headers
  # and their pkg-config files.
  mkdir -p "$deps/include/stb" "$deps/lib/pkgconfig"
  cp "$turbo_src/turbojpeg.h" "$turbo_src/jpeglib.h" "$turbo_src/jerror.h" "$turbo_src/jmorecfg.h" \
    "$work/turbo/jconfig.h" "$deps/include/"
  cp "$work/turbo/libturbojpeg.a" "$work/turbo/libjpeg.a" "$deps/lib/"
  cp "$work/turbo/pkgscripts/libturbojpeg.pc" "$work/turbo/pkgscripts/libjpeg.pc" "$deps/lib/pkgconfig/"

  phase "GoogleTest: build"
  cmake -S /usr/src/googletest -B "$work/googletest" --toolchain "$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$deps" -Dgtest_disable_pthreads=ON >"$work/googletest.log"
  cmake --build "$work/googletest" -j"$jobs" --target install >>"$work/googletest.log"

  # stb is headers only: the same files as the Linux build's.
  cp /usr/include/stb/stb_image.h /usr/include/stb/stb_image_write.h "$deps/include/stb/"

  echo "$stamp" >"$deps/stamp"
  rm -rf "$work"
fi

# nlohmann-json is headers only, with its CMake package: the build machine's own files, copied each run.
mkdir -p "$deps/include" "$deps/share/cmake"
rm -rf "$deps/include/nlohmann" "$deps/share/cmake/nlohmann_json"
cp -r /usr/include/nlohmann "$deps/include/"
cp -r /usr/share/cmake/nlohmann_json "$deps/share/cmake/"

# --- libexif and dlib's face detector for Windows (the metadata and face adapters), built once ------------
# From Debian's source packages of the Linux build's versions. libexif: its C files compiled as they are
# (the package's configure script is not generated in the source package). dlib: its headers configured
# for Windows (no GUI, no BLAS or LAPACK, no image codecs), and the two compiled sources the frontal face
# detector needs to read its built-in model (base64, the entropy decoder); the rest of dlib is headers.
exif_version="$(dpkg-query -W -f='${source:Version}' libexif-dev)"
dlib_version="$(dpkg-query -W -f='${source:Version}' libdlib-dev)"
stamp2="libexif $exif_version, dlib $dlib_version, $(sha1sum "$toolchain" | cut -c1-12)"
if [ "$(cat "$deps/stamp-graphics" 2>/dev/null)" != "$stamp2" ]; then
  phase "libexif $exif_version and dlib $dlib_version for Windows"
  work="$build/deps-work"
  rm -rf "$work" "$deps/include/libexif" "$deps/include/dlib"
  mkdir -p "$work/apt/lists/partial" "$work/src" "$work/obj" "$deps/lib/pkgconfig"
  apt-get indextargets --format '$(REPO_URI) $(RELEASE) $(COMPONENT)' 'Created-By: Packages' | sort -u |
    while read -r uri release component; do echo "deb-src $uri $release $component"; done >"$work/apt/sources.list"
  apt_private=(-o "Dir::Etc::SourceList=$work/apt/sources.list" -o "Dir::Etc::SourceParts=$work/apt/none"
               -o "Dir::State::Lists=$work/apt/lists" -o "Dir::Cache::pkgcache=" -o "Dir::Cache::srcpkgcache=")
  apt-get "${apt_private[@]}" update -q
  (cd "$work/src" && apt-get "${apt_private[@]}" source -q "libexif=$exif_version")
  # dlib's source package also carries 200 MB of trained models: only its main tarball is unpacked.
  (cd "$work/src" && apt-get "${apt_private[@]}" source -q --download-only "dlib=$dlib_version" &&
    tar -xjf dlib_*.orig.tar.bz2 --wildcards '*/dlib/*')

  phase "libexif: build"
  exif_src="$(find "$work/src" -mindepth 1 -maxdepth 1 -type d -name 'libexif-*' | head -n1)"
  printf '#define GETTEXT_PACKAGE "libexif-12"\n#define LOCALEDIR ""\n' >"$exif_src/config.h"
  printf '#include <stdint.h>\n' >"$exif_src/libexif/_stdint.h"
  for f in "$exif_src"/libexif/*.c "$exif_src"/libexif/*/*.c; do
    x86_64-w64-mingw32-gcc-posix -O2 -I"$exif_src" -c "$f" -o "$work/obj/exif_$(basename "$f" .c).o"
  done
  x86_64-w64-mingw32-ar rcs "$deps/lib/libexif.a" "$work"/obj/exif_*.o
  mkdir -p "$deps/include/libexif"
  cp "$exif_src"/libexif/*.h "$deps/include/libexif/"
  printf 'prefix=%s\nName: libexif\nDescription: EXIF\nVersion: %s\nCflags: -I${prefix}/include\nLibs: -L${prefix}/lib -lexif\n' \
    "$deps" "${exif_version%%-*}" >"$deps/lib/pkgconfig/libexif.pc"

  phase "dlib: build"
  dlib_src="$(find "$work/src" -mindepth 1 -maxdepth 1 -type d -name 'dlib-*' | head -n1)"
  cp -r "$dlib_src/dlib" "$deps/include/dlib"
  printf '// dlib for the Windows build.\n#define DLIB_DISABLE_ASSERTS\n#define DLIB_NO_GUI_SUPPORT\n' \
    >"$deps/include/dlib/config.h"
  for f in base64/base64_kernel_1.cpp entropy_decoder/entropy_decoder_kernel_2.cpp; do
    x86_64-w64-mingw32-g++-posix -std=c++17 -O2 -I"$deps/include" -c "$deps/include/dlib/$f" \
      -o "$work/obj/dlib_$(basename "$f" .cpp).o"
  done
  x86_64-w64-mingw32-ar rcs "$deps/lib/libdlib.a" "$work"/obj/dlib_*.o
  printf 'prefix=%s\nName: dlib\nDescription: dlib\nVersion: %s\nCflags: -I${prefix}/include\nLibs: -L${prefix}/lib -ldlib\n' \
    "$deps" "${dlib_version%%+*}" >"$deps/lib/pkgconfig/dlib-1.pc"

  echo "$stamp2" >"$deps/stamp-graphics"
  rm -rf "$work"
fi

# --- LittleCMS 2 for Windows (colour conversion), built once per version ---------------------------------
# From Debian's source package of the Linux build's version: its C files compiled as they are.
lcms_version="$(dpkg-query -W -f='${source:Version}' liblcms2-dev)"
stamp3="lcms2 $lcms_version, $(sha1sum "$toolchain" | cut -c1-12)"
if [ "$(cat "$deps/stamp-colour" 2>/dev/null)" != "$stamp3" ]; then
  phase "lcms2 $lcms_version for Windows"
  work="$build/deps-work"
  rm -rf "$work" "$deps/include/lcms2.h" "$deps/include/lcms2_plugin.h" "$deps/lib/liblcms2.a"
  mkdir -p "$work/apt/lists/partial" "$work/src" "$work/obj" "$deps/include" "$deps/lib/pkgconfig"
  apt-get indextargets --format '$(REPO_URI) $(RELEASE) $(COMPONENT)' 'Created-By: Packages' | sort -u |
    while read -r uri release component; do echo "deb-src $uri $release $component"; done >"$work/apt/sources.list"
  apt_private=(-o "Dir::Etc::SourceList=$work/apt/sources.list" -o "Dir::Etc::SourceParts=$work/apt/none"
               -o "Dir::State::Lists=$work/apt/lists" -o "Dir::Cache::pkgcache=" -o "Dir::Cache::srcpkgcache=")
  apt-get "${apt_private[@]}" update -q
  (cd "$work/src" && apt-get "${apt_private[@]}" source -q "lcms2=$lcms_version")
  lcms_src="$(find "$work/src" -mindepth 1 -maxdepth 1 -type d -name 'lcms2-*' | head -n1)"
  for f in "$lcms_src"/src/*.c; do
    x86_64-w64-mingw32-gcc-posix -O2 -DCMS_NO_REGISTER_KEYWORD -I"$lcms_src/include" -c "$f" \
      -o "$work/obj/lcms_$(basename "$f" .c).o"
  done
  x86_64-w64-mingw32-ar rcs "$deps/lib/liblcms2.a" "$work"/obj/lcms_*.o
  cp "$lcms_src/include/lcms2.h" "$lcms_src/include/lcms2_plugin.h" "$deps/include/"
  printf 'prefix=%s\nName: lcms2\nDescription: LittleCMS 2\nVersion: %s\nCflags: -I${prefix}/include\nLibs: -L${prefix}/lib -llcms2\n' \
    "$deps" "${lcms_version%%-*}" >"$deps/lib/pkgconfig/lcms2.pc"
  echo "$stamp3" >"$deps/stamp-colour"
  rm -rf "$work"
fi

# --- libpng, libtiff and libwebp for Windows (the image core's decoders), built once per version ---------
# From Debian's source packages of the Linux build's versions, static, over Debian's zlib for mingw-w64.
# HEIF and AVIF are left out: libheif with its HEVC and AV1 decoders does not cross-build within CI's
# time, so the Windows build refuses those formats by name ("unsupported format HEIC").
png_version="$(dpkg-query -W -f='${source:Version}' libpng-dev)"
tiff_version="$(dpkg-query -W -f='${source:Version}' libtiff-dev)"
webp_version="$(dpkg-query -W -f='${source:Version}' libwebp-dev)"
zlib_version="$(dpkg-query -W -f='${Version}' libz-mingw-w64-dev)"
stamp4="libpng $png_version, libtiff $tiff_version, libwebp $webp_version, zlib $zlib_version, $(sha1sum "$toolchain" | cut -c1-12)"
if [ "$(cat "$deps/stamp-pictures" 2>/dev/null)" != "$stamp4" ]; then
  phase "libpng $png_version, libtiff $tiff_version and libwebp $webp_version for Windows"
  work="$build/deps-work"
  rm -rf "$work"
  mkdir -p "$work/apt/lists/partial" "$work/src" "$deps/lib/pkgconfig"
  apt-get indextargets --format '$(REPO_URI) $(RELEASE) $(COMPONENT)' 'Created-By: Packages' | sort -u |
    while read -r uri release component; do echo "deb-src $uri $release $component"; done >"$work/apt/sources.list"
  apt_private=(-o "Dir::Etc::SourceList=$work/apt/sources.list" -o "Dir::Etc::SourceParts=$work/apt/none"
               -o "Dir::State::Lists=$work/apt/lists" -o "Dir::Cache::pkgcache=" -o "Dir::Cache::srcpkgcache=")
  apt-get "${apt_private[@]}" update -q
  # The release's own sources of these packages (a machine may hold an older point release; the security
  # archive lacks some of their upstream signatures).
  codename="$(. /etc/os-release && echo "$VERSION_CODENAME")"
  (cd "$work/src" && apt-get "${apt_private[@]}" source -q "libpng1.6/$codename" "tiff/$codename" "libwebp/$codename")
  zlib=(-DZLIB_LIBRARY=/usr/x86_64-w64-mingw32/lib/libz.a -DZLIB_INCLUDE_DIR=/usr/x86_64-w64-mingw32/include)
  common=(--toolchain "$toolchain" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$deps" -DBUILD_SHARED_LIBS=OFF)
  # zlib's pkg-config file, so that the libraries' own files resolve.
  printf 'Name: zlib\nDescription: zlib\nVersion: %s\nLibs: -L/usr/x86_64-w64-mingw32/lib -lz\nCflags: -I/usr/x86_64-w64-mingw32/include\n' \
    "${zlib_version%%+*}" >"$deps/lib/pkgconfig/zlib.pc"

  phase "libpng: build"
  png_src="$(find "$work/src" -mindepth 1 -maxdepth 1 -type d -name 'libpng1.6-*' | head -n1)"
  cmake -S "$png_src" -B "$work/png" "${common[@]}" "${zlib[@]}" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF \
    -DPNG_EXECUTABLES=OFF >"$work/png.log"
  cmake --build "$work/png" -j"$jobs" --target install >>"$work/png.log"

  phase "libwebp: build"
  webp_src="$(find "$work/src" -mindepth 1 -maxdepth 1 -type d -name 'libwebp-*' | head -n1)"
  cmake -S "$webp_src" -B "$work/webp" "${common[@]}" -DWEBP_BUILD_ANIM_UTILS=OFF -DWEBP_BUILD_CWEBP=OFF \
    -DWEBP_BUILD_DWEBP=OFF -DWEBP_BUILD_GIF2WEBP=OFF -DWEBP_BUILD_IMG2WEBP=OFF -DWEBP_BUILD_VWEBP=OFF \
    -DWEBP_BUILD_WEBPINFO=OFF -DWEBP_BUILD_WEBPMUX=OFF -DWEBP_BUILD_EXTRAS=OFF >"$work/webp.log"
  cmake --build "$work/webp" -j"$jobs" --target install >>"$work/webp.log"

  phase "libtiff: build"
  tiff_src="$(find "$work/src" -mindepth 1 -maxdepth 1 -type d -name 'tiff-*' | head -n1)"
  cmake -S "$tiff_src" -B "$work/tiff" "${common[@]}" "${zlib[@]}" -Dtiff-tools=OFF -Dtiff-tests=OFF \
    -Dtiff-contrib=OFF -Dtiff-docs=OFF -Djpeg=OFF -Dold-jpeg=OFF -Djbig=OFF -Dlerc=OFF -Dlzma=OFF -Dzstd=OFF \
    -Dwebp=OFF -Dlibdeflate=OFF -Dcxx=OFF >"$work/tiff.log"
  cmake --build "$work/tiff" -j"$jobs" --target install >>"$work/tiff.log"

  echo "$stamp4" >"$deps/stamp-pictures"
  rm -rf "$work"
fi

# --- the Windows build --------------------------------------------------------------------------------
phase "build into $build"
# Tests are listed when CTest runs them (through Wine), not at build time.
export PKG_CONFIG_LIBDIR="$deps/lib/pkgconfig"
cmake -S . -B "$build" --toolchain "$toolchain" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_FIND_ROOT_PATH="$deps" -DPICTAVERA_HELPER_ONLY=OFF
cmake --build "$build" -j"$jobs"

# --- the tests under Wine -------------------------------------------------------------------------------
phase "tests under Wine"
prefix_parent="$(mktemp -d)"
cleanup() {
  WINEPREFIX="$prefix_parent/prefix" wineserver -k 2>/dev/null || true
  rm -rf "$prefix_parent"
}
trap cleanup EXIT
export WINEPREFIX="$prefix_parent/prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="  # no offer to install .NET or the HTML engine
unset DISPLAY WAYLAND_DISPLAY               # headless: nothing may open a window
wineboot -i >/dev/null 2>&1
wineserver -w
# One persistent server, and Wine's own services started once now by a program whose output goes
# nowhere: the services inherit the first program's standard output, and would otherwise hold a test's
# output pipe open after it ended. Without a persistent server every test pays Wine's start-up.
wineserver -p
wine cmd /c exit </dev/null >/dev/null 2>&1

# One test at a time: in parallel, a test under Wine occasionally ends with no output.
ctest --test-dir "$build" -j1 --output-on-failure
phase "done"
