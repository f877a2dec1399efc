#!/usr/bin/env bash
# Sets up and runs the tests: installs the packages (those of the Windows build too, in the same apt run),
# builds into build/ (optimised, without debug information or benchmarks), runs every test through CTest, then the Windows build and
# its tests under Wine (scripts/test-windows.sh; WINDOWS=0 skips it), and the fuzzers, built with clang and
# run for a fixed time (FUZZ_SECONDS, default 60; 0 skips; scripts/fuzz.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
windows="${WINDOWS:-1}"
fuzz_seconds="${FUZZ_SECONDS:-60}"

if [ "$windows" != 0 ]; then scripts/install-deps.sh --all; else scripts/install-deps.sh; fi
# The code of a RelWithDebInfo build (-O2) without its debug information, which costs a third of the
# compile time.
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" \
  -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DPICTAVERA_BUILD_BENCH=OFF
cmake --build build -j2
(cd build && ctest --output-on-failure -j2)

if [ "$windows" != 0 ]; then
  scripts/test-windows.sh
fi
if [ "$fuzz_seconds" != 0 ]; then
  scripts/fuzz.sh "$fuzz_seconds"
fi
