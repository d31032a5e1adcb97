#!/usr/bin/env bash
# The GStreamer plugin through gst-inspect, gst-launch, gst-discoverer and
# playbin, against `zarn decode`: same pictures and samples bit for bit for
# every version letter, alpha and grey-scale, pull and push mode; damaged
# files end with an error, never a crash or a hang.
# Usage: gst_plugin_test.sh ZARN PLUGIN_DIR DEMO.zrn [SEEK_TEST]
# Exit 0 passed, 1 failed, 77 skipped (GStreamer or the plugin missing).
set -u
zarn=$1 plugin_dir=$2 demo=$3 seek_test=${4:-}

for tool in gst-launch-1.0 gst-inspect-1.0 gst-discoverer-1.0; do
    if ! command -v $tool >/dev/null; then
        echo "SKIP: $tool is not installed"
        exit 77
    fi
done
if [ ! -f "$plugin_dir/libgstzarn.so" ]; then
    echo "SKIP: the plugin was not built (no GStreamer development files)"
    exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export GST_PLUGIN_PATH=$plugin_dir GST_REGISTRY=$work/registry.bin
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
# A sanitizer build's plugin needs its runtime loaded first in the tools.
gst() {
    if [ -n "${ZARN_GST_PRELOAD:-}" ]; then
        LD_PRELOAD=$ZARN_GST_PRELOAD ASAN_OPTIONS=detect_leaks=0 "$@"
    else
        "$@"
    fi
}
launch() { gst timeout 30 gst-launch-1.0 -q "$@"; }

# The frames from the first "FRAME" on: the stream headers' field order differs.
frames() { tail -c +$(($(grep -abo -m1 FRAME "$1" | cut -d: -f1) + 1)) "$1"; }
# The sample bytes of a 44-byte-header PCM WAV.
samples() { tail -c +45 "$1"; }

# -- The plugin as gst-inspect shows it.
inspect=$(gst gst-inspect-1.0 zarn 2>"$work/inspect.err")
for feature in zarndemux zarnvideodec zarnaudiodec "video/x-zarn: zrn"; do
    grep -q "$feature" <<<"$inspect" || fail "gst-inspect-1.0 zarn does not list $feature"
done
for element in zarndemux zarnvideodec zarnaudiodec; do
    gst gst-inspect-1.0 $element >/dev/null 2>>"$work/inspect.err" || fail "gst-inspect-1.0 $element"
done
[ -s "$work/inspect.err" ] && fail "gst-inspect-1.0 warns: $(cat "$work/inspect.err")"

# -- Test clips drawn by GStreamer itself: 96x64 at 12/1, 14 frames, key frames 4 apart.
launch videotestsrc num-buffers=14 pattern=ball ! video/x-raw,format=I420,width=96,height=64,framerate=12/1 \
    ! y4menc ! filesink location="$work/in.y4m" || fail "drawing the test clip"
launch videotestsrc num-buffers=14 pattern=circular ! video/x-raw,format=I420,width=96,height=64,framerate=12/1 \
    ! y4menc ! filesink location="$work/alpha.y4m" || fail "drawing the alpha clip"
launch audiotestsrc num-buffers=12 samplesperbuffer=2205 wave=sine freq=660 \
    ! audio/x-raw,format=S16LE,rate=22050,channels=2 ! wavenc ! filesink location="$work/a.wav" \
    || fail "drawing the sound"
launch audiotestsrc num-buffers=12 samplesperbuffer=1102 wave=saw \
    ! audio/x-raw,format=S16LE,rate=11025,channels=1 ! wavenc ! filesink location="$work/b.wav" \
    || fail "drawing the second sound"
for v in f g h i; do
    "$zarn" encode "$work/in.y4m" -o "$work/$v.zrn" --version $v --keyint 4 --wav "$work/a.wav" \
        --wav "$work/b.wav" >/dev/null || fail "encoding version $v"
done
"$zarn" encode "$work/in.y4m" -o "$work/alpha.zrn" --keyint 4 --alpha "$work/alpha.y4m" >/dev/null \
    || fail "encoding with alpha"
"$zarn" encode "$work/in.y4m" -o "$work/grey.zrn" --version g --keyint 4 --grey >/dev/null \
    || fail "encoding grey-scale"

# -- Pictures and samples against zarn decode, pull mode (filesrc) and push mode (a pipe).
for file in "$demo" "$work"/[fghi].zrn "$work/grey.zrn"; do
    name=$(basename "$file")
    "$zarn" decode "$file" --y4m "$work/z.y4m" >/dev/null || fail "zarn decode $name"
    launch filesrc location="$file" ! zarndemux ! zarnvideodec ! y4menc ! filesink location="$work/g.y4m" \
        || fail "$name: the video pipeline"
    cmp -s <(frames "$work/z.y4m") <(frames "$work/g.y4m") || fail "$name: pictures differ from zarn decode"
    cat "$file" | launch fdsrc ! zarndemux ! zarnvideodec ! y4menc ! filesink location="$work/p.y4m" \
        || fail "$name: the video pipeline from a pipe"
    cmp -s <(frames "$work/z.y4m") <(frames "$work/p.y4m") || fail "$name: pictures from a pipe differ"
done
for file in "$demo" "$work"/[fghi].zrn; do
    name=$(basename "$file")
    tracks=1
    [ "$file" != "$demo" ] && tracks=2
    for ((t = 0; t < tracks; ++t)); do
        "$zarn" decode "$file" --wav "$work/z.wav" --track $t >/dev/null || fail "zarn decode --wav $name"
        launch filesrc location="$file" ! zarndemux name=d d.audio_$t ! zarnaudiodec ! wavenc \
            ! filesink location="$work/g.wav" || fail "$name: the audio pipeline, track $t"
        [ -s "$work/z.wav" ] && cmp -s <(samples "$work/z.wav") <(samples "$work/g.wav") \
            || fail "$name: track $t samples differ from zarn decode"
    done
done

# Alpha: A420 pictures, each Y, U, V and alpha planes, without padding at 96x64.
"$zarn" decode "$work/alpha.zrn" --y4m "$work/z.y4m" --alpha "$work/z.alpha" >/dev/null || fail "zarn decode alpha"
launch filesrc location="$work/alpha.zrn" ! zarndemux ! zarnvideodec ! video/x-raw,format=A420 \
    ! filesink location="$work/g.a420" || fail "the alpha pipeline"
frames "$work/z.y4m" >"$work/z.frames"
: >"$work/want.a420"
for ((f = 0; f < 14; ++f)); do
    dd if="$work/z.frames" bs=1 skip=$((f * (6 + 9216) + 6)) count=9216 status=none >>"$work/want.a420"
    dd if="$work/z.alpha" bs=6144 skip=$f count=1 status=none >>"$work/want.a420"
done
[ "$(stat -c %s "$work/want.a420")" = $((14 * 15360)) ] && cmp -s "$work/want.a420" "$work/g.a420" \
    || fail "alpha pictures differ from zarn decode"

# -- gst-discoverer: duration, size, rate and every track.
disc=$(gst timeout 30 gst-discoverer-1.0 -v "$work/h.zrn" 2>&1)
for want in "Duration: 0:00:01.166666666" "Width: 96" "Height: 64" "Frame rate: 12/1" "Sample rate: 22050" \
    "Sample rate: 11025" "Seekable: yes"; do
    grep -q "$want" <<<"$disc" || fail "gst-discoverer-1.0 does not report \"$want\""
done
[ "$(grep -c 'audio #' <<<"$disc")" = 2 ] || fail "gst-discoverer-1.0 does not list both audio tracks"

# -- playbin picks the elements by rank and plays to the end without a display.
out=$(gst timeout 30 gst-launch-1.0 playbin uri="file://$(realpath "$work/i.zrn")" video-sink=fakesink \
    audio-sink=fakesink 2>&1)
grep -q "Got EOS" <<<"$out" || fail "playbin does not play to the end: $out"

# -- Damaged files through decodebin: an error message or the end, never a crash or a hang.
size=$(stat -c %s "$work/i.zrn")
head -c 30 "$work/i.zrn" >"$work/cut-header.zrn"
head -c 200 "$work/i.zrn" >"$work/cut-index.zrn"
head -c $((size / 2)) "$work/i.zrn" >"$work/cut-half.zrn"
head -c $((size - 7)) "$work/i.zrn" >"$work/cut-end.zrn"
for k in 1 2 3; do  # bytes overwritten through the packets
    cp "$work/i.zrn" "$work/spoilt-$k.zrn"
    for ((o = 400 + k * 37; o < size; o += 97 * k)); do
        printf '\xff' | dd of="$work/spoilt-$k.zrn" bs=1 seek=$o conv=notrunc status=none
    done
done
# A separate program watches the bus: gst-launch itself may wait on after
# some errors of a bin.
if [ -n "$seek_test" ]; then
    timeout 100 "$seek_test" --damaged "$work"/cut-*.zrn "$work"/spoilt-*.zrn \
        || fail "damaged files"
fi

# -- Seeks.
if [ -n "$seek_test" ]; then
    "$seek_test" "$work/i.zrn" || fail "seeks"
fi

[ $failures = 0 ] && echo "gst plugin: all checks passed"
[ $failures = 0 ]
