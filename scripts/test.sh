#!/usr/bin/env bash
# Sets up and runs the tests: installs the packages, builds into build/, runs every test through CTest,
# then builds the codec fuzzer with clang and runs it for a fixed time (FUZZ_SECONDS, default 60; 0 skips).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j2
(cd build && ctest --output-on-failure -j2)

fuzz_seconds="${FUZZ_SECONDS:-60}"
if [ "$fuzz_seconds" != 0 ] && [ -f tests/fuzz/CMakeLists.txt ] && grep -q add_executable tests/fuzz/CMakeLists.txt; then
  scripts/fuzz.sh "$fuzz_seconds"
fi
