#!/usr/bin/env bash
# The Windows build's checks, under wine and a private Xvfb:
#   - both players are statically linked GUI programs (PE32+ and PE32);
#   - the core's file-layer and clock suites pass under wine64;
#   - zarnplay.exe plays a video to the end: the summary's figures, the sound
#     that reached the device through DirectSound and waveOut;
#   - each blit style: the picture on the screen, or the reason it is refused;
#     /W /H scaling with the styles that scale;
#   - a still picture in the window against `zarn decode --png`, and keys
#     (/U4 keeps Escape from quitting, "." ends the video);
#   - the primary surface with a looped one-frame video, before and after a
#     repaint; seeking, pausing (DirectSound starved meanwhile), "f" and "q";
#   - display options (/A) and display modes (/D);
#   - the help and error boxes, the quick-play value from the profile (/!), and
#     videos inside a file ("|N") and inside a copy made by `zarn bundle`
#     (its string resource names ":N" of its own file).
# Message boxes are modal, so ZARN_MESSAGE_LOG makes the player write them to
# a file. The 32-bit player runs only where 32-bit code runs here.
# usage: run_wine_checks.sh HOST_BUILD WIN64_BUILD WIN32_BUILD
set -uo pipefail
cd "$(dirname "$0")/../.."
host=$(realpath "$1") w64=$(realpath "$2") w32=$(realpath "$3")
wine=/usr/lib/wine/wine64
zarn=$host/tools/zarn
passed=0 failed=0

work=$(mktemp -d /tmp/zarn-wine.XXXXXX)
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export HOME=$work/home
mkdir -p "$HOME"
# Whatever wine's waveOut plays goes to this file.
printf 'pcm.!default { type file slave.pcm "null" file "%s/sound.raw" format "raw" }\npcm.null { type null }\n' \
    "$work" > "$HOME/.asoundrc"
xvfb_pid=
cleanup() {
    WINEPREFIX=$work/prefix /usr/lib/wine/wineserver -k 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

check() {  # check NAME COMMAND...: one counted check
    local name=$1
    shift
    if "$@"; then
        echo "PASS $name"
        passed=$((passed + 1))
    else
        echo "FAIL $name"
        failed=$((failed + 1))
    fi
}

# xdotool gives up on an X error (a window that went away while it looked, as
# wine's hidden windows do), so the search is repeated until a shown player
# window answers.
wait_for_window() {  # wait_for_window SECONDS: prints the player window's id
    local id
    for _ in $(seq $(($1 * 5))); do
        id=$(xdotool search --onlyvisible --name "Zarn Video Player" 2>/dev/null | head -1)
        [ -n "$id" ] && echo "$id" && return 0
        sleep 0.2
    done
    return 1
}

is_gui() {  # is_gui OBJDUMP EXE MAGIC
    local info
    info=$("$1" -p "$2") || return 1
    grep -q "Magic.*($3)" <<<"$info" && grep -q 'Subsystem.*(Windows GUI)' <<<"$info" &&
        ! grep -i 'DLL Name' <<<"$info" | grep -qiE 'libstdc|libgcc|winpthread|SDL'
}
check "x86-64 player is a static PE32+ GUI program" \
    is_gui x86_64-w64-mingw32-objdump "$w64/player/zarnplay.exe" PE32+
check "i686 player is a static PE32 GUI program" \
    is_gui i686-w64-mingw32-objdump "$w32/player/zarnplay.exe" PE32

display=:$((90 + RANDOM % 400))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=$display
"$wine" wineboot -i >/dev/null 2>&1
# One wine server for the whole run: by default it quits a few seconds after
# its last program, and a program started just then can fail to reach it.
/usr/lib/wine/wineserver -p
# The quick-play value /! appends, in the prefix's profile.
printf '[Qel Video Tools]\r\nZarnQuickPlay=/S\r\n' >>"$WINEPREFIX/drive_c/windows/win.ini"

for suite in engine_reader_tests engine_clock_tests; do
    check "$suite under wine64" "$wine" "$w64/tests/windows/$suite.exe" --gtest_brief=1
done

# The player with the message log; sets $code and $boxes.
play() {
    local exe=$1
    shift
    rm -f "$work/boxes.txt" "$work/sound.raw"
    (cd "$work" && ZARN_MESSAGE_LOG="$work/boxes.txt" timeout 120 "$wine" "$exe" "$@" >/dev/null 2>&1)
    code=$?
    boxes=$(cat "$work/boxes.txt" 2>/dev/null)
}
has() { grep -qF -- "$1" <<<"$boxes"; }

cp samples/demo.zrn "$work/demo.zrn"
"$zarn" decode "$work/demo.zrn" --wav "$work/demo.wav" >/dev/null
# The default: the automatic style (the primary surface comes first) and
# DirectSound. Wine's DirectSound mixes in 32-bit float at the device's own
# rate, so its sound cannot be compared sample for sample: it must arrive,
# at the decoded sound's level. waveOut (/Z) passes it on unchanged.
play "$w64/player/zarnplay.exe" /S demo.zrn
check "demo plays to the end" test "$code" -eq 0
check "summary figures" eval 'has "[Zarn Playback Summary]" && has "Video: 640 x 360 at 25.0 frames/sec" &&
    has "Total frames: 200" && has "Total frames played: 200" &&
    has "Blitting style: DirectDraw primary surface" && has "Video mode: 1024 x 768 at 32 bits"'
grep -E 'Frame rate obtained|Skipped|Sound skips' <<<"$boxes"
# The null sink behind the capture file has no clock: wine's mixer drains the
# DirectSound buffer about three times faster than real time, so the feed,
# paced by the video, falls behind. Each under-run must count as a sound skip
# (at most one per 750 ms) while every frame still plays on time.
check "DirectSound starved by a sink without a clock: under-runs are sound skips" eval '
    grep -qE "^Sound skips: ([3-9]|1[0-9])$" <<<"$boxes" && has "Skipped frames: 0"'
check "DirectSound: the decoded sound's level reaches the device" python3 - "$work/sound.raw" "$work/demo.wav" <<'PY'
import array, sys, wave
data = open(sys.argv[1], 'rb').read()
captured = array.array('f', data[:len(data) // 4 * 4])
with wave.open(sys.argv[2]) as w:
    decoded = array.array('h', w.readframes(w.getnframes()))
peak = max(abs(x) for x in captured) * 32768 if captured else 0
want = max(abs(x) for x in decoded)
audible = sum(1 for x in captured if abs(x) > 1e-4)
print(f"DirectSound capture: {len(captured)} float samples, {audible} audible, peak {peak:.0f} (decoded {want})")
sys.exit(0 if audible > len(decoded) and abs(peak - want) <= 0.03 * want else 1)
PY
play "$w64/player/zarnplay.exe" /Z /S demo.zrn
check "waveOut: the sound reaching the device is the decoded sound" \
    python3 tests/windows/captured_sound.py "$work/sound.raw" "$work/demo.wav"

# A one-frame video played endlessly without a frame (/I2): the window is the
# picture, centred on the 1024 x 768 screen.
"$host/encoder/zarn_make_media" video gradients 320 240 1 25 "$work/still.y4m"
"$zarn" encode "$work/still.y4m" -o "$work/still.zrn" >/dev/null
mkdir "$work/png"
"$zarn" decode "$work/still.zrn" --png "$work/png" >/dev/null
(cd "$work" && ZARN_MESSAGE_LOG="$work/boxes.txt" timeout 60 "$wine" "$w64/player/zarnplay.exe" \
    /S /L /I2 /U4 /B2 still.zrn >/dev/null 2>&1; echo $? >"$work/still.code") &
still_pid=$!
window=$(wait_for_window 30)
sleep 1
import -window root "$work/screen.png"
convert "$work/screen.png" -crop 320x240+352+264 +repage "$work/window.png"
rmse=$(compare -metric RMSE "$work/window.png" "$work/png/frame-00001.png" null: 2>&1 | sed 's/.*(\(.*\))/\1/')
echo "window against the decoded picture: normalised RMSE $rmse"
check "window shows the decoded picture" awk -v e="$rmse" 'BEGIN { exit !(e != "" && e < 0.02) }'
xdotool windowfocus --sync "$window" key Escape
sleep 1.5
check "/U4: Escape does not quit" test ! -e "$work/still.code"
xdotool windowfocus --sync "$window" key period
for _ in $(seq 100); do [ -e "$work/still.code" ] && break; sleep 0.1; done
check "\".\" ends the video, the closing screen ends the program" \
    eval 'test "$(cat "$work/still.code" 2>/dev/null)" = 0'
wait "$still_pid"

# Every blit style on its own (/B), with a picture that stays the same for
# three seconds: it plays, the summary names it and the screen shows the
# decoded picture (the YUV styles within their rounding), or the player
# refuses with its reason. Wine creates overlays but shows none, so their
# picture is not looked at. Then /W /H: twice the size with a style that
# scales, against the decoded picture sampled up.
python3 - "$work/still.y4m" "$work/long.y4m" <<'PY'
import sys
data = open(sys.argv[1], 'rb').read()
start = data.index(b'\n') + 1
open(sys.argv[2], 'wb').write(data[:start] + data[start:] * 75)
PY
"$zarn" encode "$work/long.y4m" -o "$work/long.zrn" >/dev/null
mkdir "$work/long"
"$zarn" decode "$work/long.zrn" --png "$work/long" >/dev/null
convert "$work/long/frame-00040.png" -sample 640x480 "$work/double.png"
shot() {  # shot WIDTHxHEIGHT REFERENCE SWITCHES...: plays long.zrn, sets $rmse
    local size=$1 reference=$2
    shift 2
    rm -f "$work/boxes.txt"
    (cd "$work" && ZARN_MESSAGE_LOG="$work/boxes.txt" timeout 60 "$wine" "$w64/player/zarnplay.exe" \
        /S /I2 "$@" long.zrn >/dev/null 2>"$work/shot.err"; echo $? >"$work/shot.code") &
    local player=$!
    wait_for_window 20 >/dev/null
    sleep 1
    import -window root "$work/screen.png"
    wait "$player"
    code=$(cat "$work/shot.code") boxes=$(cat "$work/boxes.txt" 2>/dev/null)
    local w=${size%x*} h=${size#*x}
    convert "$work/screen.png" -crop "${size}+$(((1024 - w) / 2))+$(((768 - h) / 2))" +repage "$work/window.png"
    rmse=$(compare -metric RMSE "$work/window.png" "$reference" null: 2>&1 | sed 's/.*(\(.*\))/\1/')
}
names=("" "DirectDraw primary surface" "DIB Section" "DirectDraw YV12 overlay" "DirectDraw YUY2 overlay"
    "DirectDraw UYVY overlay" "DirectDraw YV12 off-screen surface" "DirectDraw YUY2 off-screen surface"
    "DirectDraw UYVY off-screen surface" "DirectDraw RGB off-screen video surface"
    "DirectDraw RGB off-screen system surface")
refusals='DirectDraw is not available|256 color mode not supported.|Unable to create DIBSection.|Video mode not supported.|No capable blitting style available.'
styles_ok=1
for style in $(seq 10); do
    shot 320x240 "$work/long/frame-00040.png" "/B$style"
    tolerance=0.02
    [ "$style" -ge 6 ] && [ "$style" -le 8 ] && tolerance=0.05
    if [ "$code" -eq 0 ] && has "Blitting style: ${names[$style]}" && has "Total frames played: 75"; then
        if [ "$style" -ge 3 ] && [ "$style" -le 5 ]; then
            echo "  /B$style played (${names[$style]}); overlays are not shown by wine, picture not checked"
        elif awk -v e="$rmse" -v t="$tolerance" 'BEGIN { exit !(e != "" && e < t) }'; then
            echo "  /B$style played (${names[$style]}), picture RMSE $rmse"
        else
            echo "  /B$style played (${names[$style]}) but the picture is wrong: RMSE $rmse"
            styles_ok=0
        fi
    elif [ "$code" -eq 1 ] && has "[Zarn Error]" && grep -qxE "$refusals" <<<"$boxes"; then
        echo "  /B$style refused: $(grep -xE "$refusals" <<<"$boxes")"
    else
        echo "  /B$style: exit code $code, neither played nor refused: $boxes"
        sed 's/^/    stderr: /' "$work/shot.err"
        styles_ok=0
    fi
done
check "every blit style plays and shows the picture, or refuses with its reason" test "$styles_ok" -eq 1
scaled_ok=1
for style in 2 7 10; do
    shot 640x480 "$work/double.png" "/B$style" /W640 /H480
    tolerance=0.02
    [ "$style" -eq 7 ] && tolerance=0.05
    echo "  /B$style /W640 /H480: exit code $code, picture RMSE $rmse"
    awk -v e="$rmse" -v t="$tolerance" 'BEGIN { exit !(e != "" && e < t) }' || scaled_ok=0
done
check "/W /H twice the size with the DIB, YUY2 and system-memory RGB styles" test "$scaled_ok" -eq 1
# The /Q line: yellow text on a black band above the picture, drawn by GDI
# into the window. With the primary surface wine shows its emulated screen
# over the window, so there the count of yellow pixels is only reported.
yellow_pixels() {
    convert "$work/screen.png" -fuzz 8% -fill white -opaque "rgb(255,255,0)" -fill black +opaque white \
        -format "%[fx:round(mean*w*h)]" info:
}
shot 1024x768 "$work/screen.png" /Q /B2
dib_yellow=$(yellow_pixels) dib_code=$code
shot 1024x768 "$work/screen.png" /Q /B1
echo "/Q line: $dib_yellow yellow pixels with the DIB section, $(yellow_pixels) with the primary surface"
check "/Q draws the statistics line above the picture" eval 'test "$dib_code" -eq 0 && test "$dib_yellow" -ge 300'

# The primary surface (/B1) with a one-frame video looped: the picture lives
# only on the screen and no block of it ever changes, so it must be shown
# whole at the start and again after the window was painted over (full
# screen and back).
(cd "$work" && ZARN_MESSAGE_LOG="$work/boxes.txt" timeout 60 "$wine" "$w64/player/zarnplay.exe" \
    /L /I2 /B1 still.zrn >/dev/null 2>&1; echo $? >"$work/primary.code") &
primary_pid=$!
window_rmse() {  # the 320 x 240 window in the screen's centre against the decoded picture
    import -window root "$work/screen.png"
    convert "$work/screen.png" -crop 320x240+352+264 +repage "$work/window.png"
    compare -metric RMSE "$work/window.png" "$work/png/frame-00001.png" null: 2>&1 | sed 's/.*(\(.*\))/\1/'
}
window=$(wait_for_window 30)
sleep 1
first=$(window_rmse)
xdotool windowfocus --sync "$window" key f
sleep 1
xdotool windowfocus --sync "$window" key f
sleep 1
again=$(window_rmse)
xdotool windowfocus --sync "$window" key q
wait "$primary_pid"
echo "/B1 looped still: RMSE $first at the start, $again after full screen and back"
check "/B1 looped one-frame video: the window shows the picture, also after a repaint, \"q\" quits" \
    awk -v a="$first" -v b="$again" -v c="$(cat "$work/primary.code")" \
    'BEGIN { exit !(a != "" && a < 0.02 && b != "" && b < 0.02 && c == 0) }'

# Keys on the demo (8 s, 25 frames/sec). Frames passed over by a seek count
# nowhere, so Right (5 s on) leaves 75 of the 200 frames shown whenever it
# is pressed, and Right then Left all 200 again. Space pauses for 3 s with the
# DirectSound device starved meanwhile, "p" resumes, and the video still plays
# to its end (8 s, the pause and the 2.25 s closing picture: without the
# pause about 10 s).
keys() {  # keys GAP SWITCHES ACTION...: xdotool ACTIONs GAP s apart; sets $code, $boxes, $seconds
    local gap=$1 switches=$2 player start
    shift 2
    rm -f "$work/boxes.txt" "$work/sound.raw"
    # shellcheck disable=SC2086 # the switches are words
    (cd "$work" && ZARN_MESSAGE_LOG="$work/boxes.txt" timeout 60 "$wine" "$w64/player/zarnplay.exe" \
        /S /I2 $switches demo.zrn >/dev/null 2>&1; echo $? >"$work/keys.code") &
    player=$!
    window=$(wait_for_window 30)
    start=$SECONDS
    for action in "$@"; do
        # shellcheck disable=SC2086 # an action is words
        xdotool windowfocus --sync "$window" $action
        sleep "$gap"
    done
    wait "$player"
    seconds=$((SECONDS - start)) code=$(cat "$work/keys.code") boxes=$(cat "$work/boxes.txt" 2>/dev/null)
}
keys 0 "" "key Right"
grep -F 'Total frames played' <<<"$boxes"
right=$boxes
keys 1 "" "key Right" "key Left"
grep -F 'Total frames played' <<<"$boxes"
check "Right 5 s on, Left 5 s back" eval 'test "$code" -eq 0 && has "Total frames: 200" &&
    grep -qE "^Total frames played: (19[89]|20[0-4])$" <<<"$boxes" &&
    grep -qE "^Total frames played: 7[4-6]$" <<<"$right"'
keys 3 "" "key space" "key p"
echo "paused 3 s: $seconds s from the window to the end"; grep -E 'Total frames played|Sound skips' <<<"$boxes"
check "DirectSound through a 3 s pause: plays on to the end, every frame" eval 'test "$code" -eq 0 &&
    has "Total frames played: 200" && test "$seconds" -ge 12'
# Up (60 s on) at the start lands on the last frame; Down (60 s back) and
# Home go to the first, so the frames shown before them are shown again;
# "s" pauses and shows one frame at a time, and "p" plays on.
keys 0 "" "key Up"
up=$boxes up_code=$code
keys 1 "" "key Right" "key Home"
home=$boxes home_code=$code
keys 1 "" "key Down"
down=$boxes down_code=$code
keys 1 "" "key s" "key s" "key s" "key p"
grep -hE 'Total frames played' <<<"$up$home$down$boxes"
check "Up to the end, Right then Home and Down back to the start, \"s\" steps" eval '
    test "$up_code$home_code$down_code$code" = 0000 &&
    grep -qE "^Total frames played: [1-9]$" <<<"$up" &&
    grep -qE "^Total frames played: 2(1[5-9]|2[0-9]|3[0-5])$" <<<"$home" &&
    grep -qE "^Total frames played: 20[0-9]$" <<<"$down" &&
    has "Total frames played: 200" && test "$seconds" -ge 12'
# The volume through waveOut, whose sound arrives unchanged but for wine's
# own volume curve (the cube of the level): "m" mutes for 1.5 s, "m" again
# unmutes, then "9" three times, "0" and a wheel notch down leave 70 %.
keys 1.5 /Z "key m" "key m" "key 9 9 9 0" "click 5"
check "\"m\" mutes and unmutes, \"9\", \"0\" and the wheel set the volume" \
    python3 - "$work/sound.raw" "$work/demo.wav" <<'PY'
import array, sys, wave
captured = array.array('h', open(sys.argv[1], 'rb').read())
with wave.open(sys.argv[2]) as w:
    decoded = array.array('h', w.readframes(w.getnframes()))
audible = [x for x in captured if x != 0]
tail = max((abs(x) for x in audible[-88200:]), default=0) / max(abs(x) for x in decoded)
print(f"volume: {len(audible)} of {len(decoded)} samples audible, the last second at {tail:.3f} of the peak")
sys.exit(0 if len(audible) < len(decoded) - 88200 and 0.28 <= tail <= 0.42 else 1)
PY

# Display options (/A) double the picture's height or width; /D changes the
# display mode through DirectDraw's exclusive mode, or ChangeDisplaySettings
# for the DIB section. Xvfb has 1024 x 768 alone, at any depth wine offers:
# 640 x 480 is not there and the mode stays.
modes_ok=1
for case in "/A1 /B1|Video: 320 x 480|Blitting style: DirectDraw primary surface" \
    "/A2 /B2|Video: 320 x 480|Blitting style: DIB Section" \
    "/A3 /B1|Video: 640 x 240|Video mode: 1024 x 768 at 32 bits" \
    "/A5 /B2|Video: 640 x 480|Video mode: 1024 x 768 at 32 bits" \
    "/D11 /B1|Video mode: 1024 x 768 at 16 bits|Blitting style: DirectDraw primary surface" \
    "/D11 /B2|Video mode: 1024 x 768 at 16 bits|Blitting style: DIB Section" \
    "/D211 /B1|Video mode: 1024 x 768 at 32 bits|Video: 320 x 240" \
    "/D8 /B1|Video mode: 1024 x 768 at 32 bits|Total frames played: 1"; do
    IFS='|' read -r switches first second <<<"$case"
    # shellcheck disable=SC2086 # the switches are words
    play "$w64/player/zarnplay.exe" /S /I2 $switches still.zrn
    if [ "$code" -eq 0 ] && has "$first" && has "$second"; then
        echo "  $switches: $first, $second"
    else
        echo "  $switches: exit code $code, not \"$first\" and \"$second\": $boxes"
        modes_ok=0
    fi
done
check "/A doubles the picture, /D sets the display mode or keeps it" test "$modes_ok" -eq 1

play "$w64/player/zarnplay.exe"
check "no video: the help box, exit code 1" eval 'test "$code" -eq 1 && has "[Zarn Video Player Help]" &&
    has "  SYNTAX: ZarnPlay <Zarn1 Zarn2 ...> [/Switches]:"'
play "$w64/player/zarnplay.exe" missing.zrn
check "missing video: an error box, exit code 1" eval 'test "$code" -eq 1 && has "[Zarn Error]"'

head -c 4096 /dev/urandom >"$work/host.dat"
cat "$work/still.zrn" >>"$work/host.dat"
play "$w64/player/zarnplay.exe" /! "host.dat|4096"
check "a video at byte 4096 of a file, /S from the profile's quick-play value" eval 'test "$code" -eq 0 && has "Video: 320 x 240" && has "Total frames played: 1"'
# A self-playing copy: its string resource 1 names ":offset" of its own file.
"$zarn" bundle "$work/still.zrn" -o "$work/selfplay.exe" --switches "/S" \
    --player "$w64/player/zarnplay.exe" >/dev/null
play "$work/selfplay.exe"
check "zarn bundle: a copy that plays the video inside its own file" \
    eval 'test "$code" -eq 0 && has "Video: 320 x 240"'

if [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1; then
    play "$w32/player/zarnplay.exe" /S demo.zrn
    check "32-bit player plays the demo" eval 'test "$code" -eq 0 && has "Total frames played: 200"'
else
    echo "SKIP 32-bit player: 32-bit code does not run on this machine"
fi

echo "windows: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
