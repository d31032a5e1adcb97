#!/usr/bin/env bash
# Fails when a C or C++ file of the tree differs from what clang-format makes
# of it with the tree's .clang-format; names every such file.
# `check-format.sh --fix` rewrites them instead.
set -euo pipefail
cd "$(dirname "$0")/.."
fix=0
[ "${1:-}" = --fix ] && fix=1
bad=()
while IFS= read -r -d '' f; do
    if [ "$fix" -eq 1 ]; then
        clang-format -i "$f"
    elif ! clang-format "$f" | cmp -s - "$f"; then
        bad+=("$f")
    fi
done < <(git ls-files -z '*.c' '*.cc' '*.cpp' '*.h')
if [ ${#bad[@]} -gt 0 ]; then
    printf 'not formatted as .clang-format says (scripts/check-format.sh --fix):\n' >&2
    printf '  %s\n' "${bad[@]}" >&2
    exit 1
fi
