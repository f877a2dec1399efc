#!/usr/bin/env bash
# Sets up and runs the tests: installs the packages, builds into build/, builds the codec fuzzer with clang
# and runs it for a fixed time (FUZZ_SECONDS, default 60; 0 skips), then runs every test through CTest
# (last, so that its summary closes the output).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j2

fuzz_seconds="${FUZZ_SECONDS:-60}"
if [ "$fuzz_seconds" != 0 ]; then
  scripts/fuzz.sh "$fuzz_seconds"
fi

cd build && ctest --output-on-failure -j2
