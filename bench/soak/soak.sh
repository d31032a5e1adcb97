#!/usr/bin/env bash
# Soak benchmark: the headless player loops the demo for a while (default ten
# minutes) with its sound on the dummy driver; every interval it samples the
# player's resident memory, threads and open files. After the first loop
# these must stay flat: growth beyond a small allowance fails the run.
#
#   bench/soak/soak.sh [BUILD_DIR] [SECONDS] [INTERVAL]
set -euo pipefail
build=${1:-build}
seconds=${2:-600}
interval=${3:-10}
demo=samples/demo.zrn
player="$build/player/zarnplay"
[ -x "$player" ] || { echo "soak: no player at $player (build first)" >&2; exit 1; }

export SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy
"$player" /L "$demo" >/dev/null 2>&1 &
pid=$!
trap 'kill "$pid" 2>/dev/null || true' EXIT

sample() {
    local rss threads fds
    rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$pid/status")
    threads=$(awk '/^Threads:/ {print $2}' "/proc/$pid/status")
    fds=$(ls "/proc/$pid/fd" | wc -l)
    echo "$rss $threads $fds"
}

# The demo's first loop ends within its own length; sample from then on.
sleep "$interval"
read -r rss0 threads0 fds0 < <(sample)
echo "soak: after ${interval} s: resident ${rss0} KiB, ${threads0} threads, ${fds0} open files"
max_rss=$rss0
elapsed=$interval
while [ "$elapsed" -lt "$seconds" ]; do
    sleep "$interval"
    elapsed=$((elapsed + interval))
    kill -0 "$pid" 2>/dev/null || { echo "soak: the player ended after ${elapsed} s" >&2; exit 1; }
    read -r rss threads fds < <(sample)
    [ "$rss" -gt "$max_rss" ] && max_rss=$rss
    if [ "$threads" -ne "$threads0" ] || [ "$fds" -ne "$fds0" ]; then
        echo "soak: at ${elapsed} s: ${threads} threads, ${fds} open files (were ${threads0}, ${fds0})" >&2
        exit 1
    fi
done
read -r rss threads fds < <(sample)
growth=$((max_rss - rss0))
echo "soak: after ${seconds} s: resident ${rss} KiB (highest ${max_rss}, growth ${growth} KiB), ${threads} threads, ${fds} open files"
# A page or two of noise is allowed; a leak per loop is not.
if [ "$growth" -gt 1024 ]; then
    echo "soak: resident memory grew by ${growth} KiB" >&2
    exit 1
fi
echo "soak: flat"
