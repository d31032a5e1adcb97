#!/usr/bin/env bash
# Runs the real-window display check on a private X server: starts Xvfb at the
# given depth on a free display number, runs the check in it, stops the server.
# Exit 77 (skipped) when no server can be started.
set -u
binary=$1
depth=${2:-24}
command -v Xvfb >/dev/null || { echo "SKIP: Xvfb is not installed"; exit 77; }
command -v xwd >/dev/null || { echo "SKIP: xwd is not installed"; exit 77; }

server=
for n in $(seq 99 140); do
  [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
  Xvfb ":$n" -screen 0 "1024x768x$depth" -nolisten tcp >/dev/null 2>&1 &
  server=$!
  # Ready once a client can read the screen.
  ready=
  for _ in $(seq 1 100); do
    kill -0 "$server" 2>/dev/null || break
    if xwd -root -silent -display ":$n" >/dev/null 2>&1; then ready=1; break; fi
    sleep 0.1
  done
  if [ -n "$ready" ]; then
    display=":$n"
    break
  fi
  wait "$server" 2>/dev/null
  server=
done
[ -n "$server" ] || { echo "SKIP: Xvfb could not be started"; exit 77; }

DISPLAY=$display SDL_VIDEODRIVER=x11 ZARN_XVFB_DEPTH=$depth "$binary"
status=$?
kill "$server" 2>/dev/null
wait "$server" 2>/dev/null
exit $status
