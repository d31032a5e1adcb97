#!/usr/bin/env bash
# Builds the fuzz targets with clang in build-fuzz/ and fuzzes each of them.
#
#   scripts/fuzz.sh [--seconds N] [--replay-only] [TARGET...]
#
# First every stored input (tests/data/fuzz/*/*) is replayed through every
# target; then each target is fuzzed for N seconds (default 60) under
# AddressSanitizer and UndefinedBehaviorSanitizer, starting from fresh seeds
# in fuzz/corpus-work/<target>/ and its stored inputs. An input that crashes
# a target is copied into tests/data/fuzz/<target>/, where the test build
# replays it too; the script then exits with 1.
set -uo pipefail
cd "$(dirname "$0")/.."

seconds=60
replay_only=0
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) seconds="$2"; shift 2 ;;
    --replay-only) replay_only=1; shift ;;
    -h|--help) sed -n '2,11p' "$0"; exit 0 ;;
    *) targets+=("$1"); shift ;;
  esac
done
all_targets=(movie_road info command_line video_packet audio_packet)
[ ${#targets[@]} -eq 0 ] && targets=("${all_targets[@]}")

BUILD=${FUZZ_BUILD:-build-fuzz}
JOBS=${JOBS:-2}

binary() {
  case "$1" in
    video_packet) echo "$BUILD/fuzz/video/video_packet_fuzz" ;;
    audio_packet) echo "$BUILD/fuzz/audio/audio_packet_fuzz" ;;
    *) echo "$BUILD/fuzz/road/$1_fuzz" ;;
  esac
}
# Stored inputs of a target (the packet targets keep their older folder names).
stored() {
  case "$1" in
    video_packet) echo tests/data/fuzz/video ;;
    audio_packet) echo tests/data/fuzz/audio ;;
    *) echo "tests/data/fuzz/$1" ;;
  esac
}

if [ ! -f "$BUILD/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DZARN_FUZZ=ON -DZARN_BENCH=OFF -DZARN_PLATFORM=OFF >/dev/null || exit 1
fi
build_targets=(road_seed_writer video_seed_writer)
for t in "${targets[@]}"; do build_targets+=("$(basename "$(binary "$t")")"); done
echo "fuzz: building ${build_targets[*]}"
cmake --build "$BUILD" --target "${build_targets[@]}" -j "$JOBS" >"$BUILD/fuzz-build.log" 2>&1 || {
  tail -30 "$BUILD/fuzz-build.log"
  exit 1
}

export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=0:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
status=0

# Every stored input through every target, each in a process of its own:
# buffers the frame copy keeps from an earlier input could hide an overflow.
mapfile -t stored_files < <(find tests/data/fuzz -type f | sort)
for t in "${targets[@]}"; do
  failed=0
  for f in "${stored_files[@]}"; do
    if ! "$(binary "$t")" -runs=1 "$f" >"$BUILD/replay-$t.log" 2>&1; then
      echo "fuzz: replay $t FAILED on $f:"
      grep -E "SUMMARY|ERROR|runtime error" "$BUILD/replay-$t.log" | head -5
      failed=1
    fi
  done
  [ $failed -eq 0 ] && echo "fuzz: replay $t: ${#stored_files[@]} stored inputs passed"
  [ $failed -eq 0 ] || status=1
done
[ "$replay_only" -eq 1 ] && exit $status

# Fresh seeds from the project's encoder and the packet builders.
mkdir -p fuzz/corpus-work/video_packet fuzz/corpus-work/audio_packet
"$BUILD/tests/fuzz/road_seed_writer" fuzz/corpus-work >/dev/null || exit 1
"$BUILD/tests/video/video_seed_writer" fuzz/corpus-work/video_packet >/dev/null || exit 1

artifacts="$BUILD/fuzz-artifacts"
mkdir -p "$artifacts"
for t in "${targets[@]}"; do
  dict=()
  case "$t" in movie_road|info|command_line) dict=(-dict=fuzz/zarn.dict) ;; esac
  log="$BUILD/fuzz-$t.log"
  rm -f "$artifacts/$t-"*
  "$(binary "$t")" "${dict[@]}" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$artifacts/$t-" \
    "fuzz/corpus-work/$t" "$(stored "$t")" >"$log" 2>&1
  rc=$?
  summary=$(grep -E "^#[0-9]+[[:space:]]+DONE" "$log" | tail -1)
  if [ $rc -eq 0 ]; then
    echo "fuzz: $t ${seconds}s: ${summary:-done}"
    continue
  fi
  status=1
  runs=$(grep -oE '^#[0-9]+' "$log" | tail -1)
  echo "fuzz: $t FAILED after ${runs:-#0} runs (log: $log):"
  grep -E "SUMMARY|ERROR: |runtime error|deadly signal" "$log" | head -5
  for found in "$artifacts/$t-"{crash,leak,timeout,oom}-*; do
    [ -f "$found" ] || continue
    keep="$(stored "$t")/$(basename "$found" | sed "s/^$t-//")"
    cp "$found" "$keep"
    echo "fuzz: the input is kept as $keep (a regression case: fix the fault, then commit it)"
  done
done
exit $status
