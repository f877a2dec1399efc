#!/usr/bin/env bash
# The Windows build and its tests on this Linux machine: installs the cross compilers and Wine, builds
# libjpeg-turbo (from Debian's source package) and GoogleTest (from Debian's sources) for Windows once
# into build-windows/deps/, cross-builds into build-windows/ (programs in build-windows/bin/) and runs
# CTest through Wine in a temporary Wine prefix, headless, removed afterwards.
#
# For now the Windows build holds mosalith and its tests (PICTAVERA_HELPER_ONLY), and platform core with
# the Win32 adapters and their tests (a private CUPS scheduler started by CTest). Needs root (or sudo)
# for the packages. WINDOWS_JOBS (default 2) sets the build's parallelism.
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
stamp="libjpeg-turbo $turbo_version, googletest $gtest_version, stb $stb_version, $(sha1sum "$toolchain" | cut -c1-12)"
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
  cmake --build "$work/turbo" -j"$jobs" --target turbojpeg-static >>"$work/turbo.log"
  # Only what the build links: the static library, its header and its pkg-config file.
  mkdir -p "$deps/include/stb" "$deps/lib/pkgconfig"
  cp "$turbo_src/turbojpeg.h" "$deps/include/"
  cp "$work/turbo/libturbojpeg.a" "$deps/lib/"
  cp "$work/turbo/pkgscripts/libturbojpeg.pc" "$deps/lib/pkgconfig/"

  phase "GoogleTest: build"
  cmake -S /usr/src/googletest -B "$work/googletest" --toolchain "$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$deps" -Dgtest_disable_pthreads=ON >"$work/googletest.log"
  cmake --build "$work/googletest" -j"$jobs" --target install >>"$work/googletest.log"

  # stb is headers only: the same files as the Linux build's.
  cp /usr/include/stb/stb_image.h /usr/include/stb/stb_image_write.h /usr/include/stb/stb_image_resize.h \
    "$deps/include/stb/"

  echo "$stamp" >"$deps/stamp"
  rm -rf "$work"
fi

# --- the Windows build --------------------------------------------------------------------------------
phase "build into $build"
# Tests are listed when CTest runs them (through Wine), not at build time.
export PKG_CONFIG_LIBDIR="$deps/lib/pkgconfig"
cmake -S . -B "$build" --toolchain "$toolchain" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_FIND_ROOT_PATH="$deps" -DPICTAVERA_HELPER_ONLY=ON
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
