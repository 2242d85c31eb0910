#!/bin/sh
# usage: ardour_test.sh Veltrane.so ardour_check tools/ardour-render
# Renders the plug-in (with its resources folder Veltrane.vst/ beside it) in Ardour, headless, to a 32-bit
# float WAV, then checks the four notes.
set -eu
SO=$1; CHECK=$2; RENDER=$3
# Without sox on the PATH the script says which package is missing, before it starts anything.
MSG=$(PATH=/nonexistent /bin/sh "$RENDER/ardour_render.sh" "$SO" Veltrane /dev/null 2>&1) && exit 1
case "$MSG" in *"sox (package sox) is missing: apt-get install -y --no-install-recommends sox"*) ;; *) echo "$MSG"; exit 1;; esac
OUT=$(mktemp /tmp/veltrane-ardour.XXXXXX.wav)
trap 'rm -f "$OUT"' EXIT
sh "$RENDER/ardour_render.sh" "$SO" Veltrane "$OUT" 4 # a 32-bit float WAV, as the README says
[ "$(soxi -b "$OUT") $(soxi -e "$OUT")" = "32 Floating Point PCM" ] || { soxi "$OUT"; exit 1; }
"$CHECK" "$OUT"
