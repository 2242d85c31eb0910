#!/usr/bin/env bash
# Builds the plug-in, its start-up bank and the command-line host, and renders the demo MIDI file
# tools/demo/demo.mid through Veltrane's program 0 ("First Sound") to out/demo.wav.
# ./run.sh N renders the demo through program N of the start-up bank instead (to out/demo-N.wav).
set -euo pipefail
cd "$(dirname "$0")"
bash tools/ensure-packages.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$(nproc)"
mkdir -p out
plugin=build/sources/Veltrane.so # finds init.fxb in build/sources/Veltrane.vst/Contents/Resources/
build/tools/vsthost/vsthost info "$plugin" > out/info.txt # the whole list, parameters included
head -n 12 out/info.txt
if [ -n "${1:-}" ]; then
  build/tools/vsthost/vsthost render "$plugin" --program "$1" --midi tools/demo/demo.mid -o "out/demo-$1.wav"
else
  build/tools/vsthost/vsthost render "$plugin" --midi tools/demo/demo.mid -o out/demo.wav
fi
