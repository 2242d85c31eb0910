#!/usr/bin/env bash
# Builds the plug-in and the command-line host and renders the demo to out/demo.wav.
set -euo pipefail
cd "$(dirname "$0")"
bash tools/ensure-packages.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$(nproc)"
echo "The command-line host does not exist yet: nothing to render."
