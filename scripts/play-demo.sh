#!/usr/bin/env bash
# `make play`: plays samples/demo.zrn with sound in a window. Where no display
# server is reachable the player says so and plays headless (same pacing and
# summary). When the demo file is missing it is made first from the
# generated demo clip and tune.
set -euo pipefail
build=${1:-build}
demo=samples/demo.zrn
if [ ! -f "$demo" ]; then
  echo "Making $demo ..."
  mkdir -p samples
  tmp=$(mktemp -d)
  trap 'rm -rf "$tmp"' EXIT
  "$build/encoder/zarn_make_media" video demo 640 360 250 25 "$tmp/demo.y4m"
  "$build/encoder/zarn_make_media" sound tune 44100 2 10 "$tmp/demo.wav"
  "$build/tools/zarn" encode "$tmp/demo.y4m" --wav "$tmp/demo.wav" -o "$demo"
fi
exec "$build/player/zarnplay" /S "$demo"
