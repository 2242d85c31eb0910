#!/usr/bin/env bash
# Builds the plug-in and the command-line host and renders the demo to out/demo.wav.
# Until the synth exists, the demo plays tools/demo/demo.mid through a Debian instrument (amsynth).
set -euo pipefail
cd "$(dirname "$0")"
bash tools/ensure-packages.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$(nproc)"
mkdir -p out
plugin=/usr/lib/vst/amsynth_vst.so
build/tools/vsthost/vsthost info "$plugin" | head -n 12
build/tools/vsthost/vsthost render "$plugin" --midi tools/demo/demo.mid -o out/demo.wav
