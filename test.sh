#!/usr/bin/env bash
# Builds Veltrane with every test and benchmark and runs every test: a Release build, then a second build
# under AddressSanitizer + UndefinedBehaviorSanitizer (clang) that also runs the fuzz targets, then the
# two-thread tests under ThreadSanitizer. Installs the missing Debian packages of tools/debian-packages and
# tools/debian-packages-tests first.
# Usage: ./test.sh [--quick]   (--quick: the Release pass only)
# CMAKE_BUILD_PARALLEL_LEVEL, when set, is the number of build jobs and of tests run at once (else one per
# processor).
set -euo pipefail
cd "$(dirname "$0")"
bash tools/ensure-packages.sh tools/debian-packages tools/debian-packages-tests
jobs=${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DVELTRANE_TESTS=ON -DVELTRANE_BENCH=ON
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

[ "${1:-}" = "--quick" ] && exit 0

# fontconfig keeps its configuration for the life of the process: tools/lsan.supp (the build runs
# instrumented tools too: the start-up bank and the artwork generator).
export LSAN_OPTIONS=suppressions=$PWD/tools/lsan.supp
CC=clang CXX=clang++ cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVELTRANE_SANITIZE=ON -DVELTRANE_FUZZ=ON -DVELTRANE_BENCH=OFF
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j"$jobs"

# ThreadSanitizer: the engine's two-thread test (editor edits and loads while the audio thread renders), and the
# editor's (menus, ticks and idle calls while the audio thread carries out commands and the host changes programs;
# instances made, played and closed on threads of their own beside one GUI thread; two editors on two threads).
CC=clang CXX=clang++ cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELTRANE_TSAN=ON -DVELTRANE_BENCH=OFF
cmake --build build-tsan -j"$jobs" --target engine_thread_test editor_thread_test
TSAN_OPTIONS=halt_on_error=1 build-tsan/tests/engine/engine_thread_test
TSAN_OPTIONS=halt_on_error=1 build-tsan/tests/editor/editor_thread_test
