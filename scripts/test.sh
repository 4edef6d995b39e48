#!/usr/bin/env bash
# Builds everything and runs every test: the native suite with address and
# undefined-behaviour sanitizers, the threaded tests again under ThreadSanitizer,
# the fuzz targets on their corpus and for a short while (KVL_FUZZ_SECONDS each,
# default 20), the Windows programs with mingw-w64, the core and logic suites
# cross-built and run under Wine, and the end-to-end tests of the real .exe
# files under Wine. Each build's tests are first counted per label against
# tests/min_counts.txt, so a group that stopped being registered fails the run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source scripts/deps.sh
kvl_install_deps

jobs=${KVL_JOBS:-2}
build=${KVL_BUILD:-$root/build}

echo "== Windows build (mingw-w64)"
cmake -S . -B "$build/win" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-posix.cmake"
ninja -C "$build/win" -j"$jobs"

echo "== Native build (address and undefined-behaviour sanitizers)"
cmake -S . -B "$build/native" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKVL_SANITIZE=address \
  -DKVL_WIN_BUILD_DIR="$build/win"
ninja -C "$build/native" -j"$jobs"

echo "== Native build (thread sanitizer)"
cmake -S . -B "$build/tsan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKVL_SANITIZE=thread
ninja -C "$build/tsan" -j"$jobs"

echo "== Tests of each group, against their minimum counts"
scripts/check_test_counts.sh "$build/native"
scripts/check_test_counts.sh "$build/tsan" --without wine --without soak

# Corpus replay and a short run of every fuzz target (clang, libFuzzer).
KVL_JOBS=$jobs KVL_BUILD=$build scripts/fuzz.sh "${KVL_FUZZ_SECONDS:-20}"

echo "== Tests under ThreadSanitizer (without Wine)"
(cd "$build/tsan" && ctest --output-on-failure --no-tests=error -j"$jobs" -LE wine)

echo "== All tests (native suite and Wine end-to-end)"
cd "$build/native"
ctest --output-on-failure --no-tests=error -j"$jobs"
