#!/usr/bin/env bash
# `make play`: plays samples/demo.zrn with sound in a window. Where no display
# server is reachable the player says so and plays headless (same pacing and
# summary). When the demo file is missing it is made first from the
# generated demo clip and tune.
set -euo pipefail
build=${1:-build}
demo=samples/demo.zrn
[ -f "$demo" ] || BUILD="$build" bash scripts/make-samples.sh
exec "$build/player/zarnplay" /S "$demo"
