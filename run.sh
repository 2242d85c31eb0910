#!/usr/bin/env bash
# Builds the plug-in (build/sources/Veltrane.so, its start-up bank and images inside it) and our command-line VST
# host, lists the plug-in's programs, and renders the demo MIDI file tools/demo/demo.mid through program 0
# ("First Sound") to out/demo.wav. ./run.sh N renders it through program N instead (to out/demo-N.wav).
# Builds nothing of the tests; installs only the Debian packages of tools/debian-packages.
# CMAKE_BUILD_PARALLEL_LEVEL, when set, is the number of build jobs (else one per processor).
set -euo pipefail
cd "$(dirname "$0")"
bash tools/ensure-packages.sh tools/debian-packages
jobs=${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}
if [ -f build/CMakeCache.txt ]; then
  cmake -S . -B build # keeps the options it was configured with (./test.sh turns the tests on)
else
  cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DVELTRANE_TESTS=OFF -DVELTRANE_BENCH=OFF
fi
cmake --build build -j"$jobs" --target Veltrane vsthost
mkdir -p out
plugin=build/sources/Veltrane.so
build/tools/vsthost/vsthost info "$plugin" > out/info.txt # the whole list, parameters included
sed '/^parameters/q' out/info.txt                         # identity and programs
if [ -n "${1:-}" ]; then
  build/tools/vsthost/vsthost render "$plugin" --program "$1" --midi tools/demo/demo.mid -o "out/demo-$1.wav"
else
  build/tools/vsthost/vsthost render "$plugin" --midi tools/demo/demo.mid -o out/demo.wav
fi
