#!/bin/sh
# The shared library exports zarn_* functions and nothing else.
set -eu
symbols=$(nm -D --defined-only "$1" | awk '{print $3}')
[ -n "$symbols" ] || { echo "no symbols exported by $1"; exit 1; }
echo "$symbols" | grep -q '^zarn_decode_frame$' || { echo "zarn_decode_frame is not exported"; exit 1; }
others=$(echo "$symbols" | grep -v '^zarn_' || true)
[ -z "$others" ] || { echo "exported besides zarn_*:"; echo "$others"; exit 1; }
