#!/usr/bin/env bash
# Sets up and runs the tests: installs the packages, builds into build/, builds the codec fuzzer with clang
# and runs it for a fixed time (FUZZ_SECONDS, default 60; 0 skips), runs every test through CTest, then
# the Windows build and its tests under Wine (scripts/test-windows.sh; WINDOWS=0 skips it).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j2

fuzz_seconds="${FUZZ_SECONDS:-60}"
if [ "$fuzz_seconds" != 0 ]; then
  scripts/fuzz.sh "$fuzz_seconds"
fi

(cd build && ctest --output-on-failure -j2)

if [ "${WINDOWS:-1}" != 0 ]; then
  scripts/test-windows.sh
fi
