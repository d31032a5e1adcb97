#!/usr/bin/env bash
# Fails when a C or C++ file of the tree differs from what clang-format makes
# of it with the tree's .clang-format; names every such file.
# `check-format.sh --fix` rewrites them instead.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = --fix ]; then
    git ls-files -z '*.c' '*.cc' '*.cpp' '*.h' | xargs -0 -r clang-format -i
    exit 0
fi
# Two at a time, in batches: the check is one clang-format run per file.
bad=$(git ls-files -z '*.c' '*.cc' '*.cpp' '*.h' | xargs -0 -r -P 2 -n 25 sh -c \
    'for f; do clang-format "$f" | cmp -s - "$f" || echo "$f"; done' sh)
if [ -n "$bad" ]; then
    printf 'not formatted as .clang-format says (scripts/check-format.sh --fix):\n' >&2
    printf '%s\n' "$bad" | sed 's/^/  /' >&2
    exit 1
fi
