#!/usr/bin/env bash
# Runs the main job on the bundled demo: `zarn info` until the player exists.
set -euo pipefail
build=${1:-build}
exec "$build/tools/zarn" info samples/demo.zrn
