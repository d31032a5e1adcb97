#!/usr/bin/env bash
# Runs the real-window display check on a private X server: starts Xvfb at the
# given depth on a display number the server picks itself (so that parallel
# runs never share a server), runs the check in it, stops the server.
# Exit 77 (skipped) when no server can be started.
set -u
binary=$1
depth=${2:-24}
command -v Xvfb >/dev/null || { echo "SKIP: Xvfb is not installed"; exit 77; }
command -v xwd >/dev/null || { echo "SKIP: xwd is not installed"; exit 77; }

number_file=$(mktemp)
trap 'rm -f "$number_file"' EXIT
Xvfb -displayfd 3 -screen 0 "1024x768x$depth" -nolisten tcp 3>"$number_file" >/dev/null 2>&1 &
server=$!

display=
for _ in $(seq 1 100); do
  kill -0 "$server" 2>/dev/null || break
  number=$(head -n 1 "$number_file" 2>/dev/null)
  # Ready once a client can read the screen.
  if [ -n "$number" ] && xwd -root -silent -display ":$number" >/dev/null 2>&1; then
    display=":$number"
    break
  fi
  sleep 0.1
done
if [ -z "$display" ]; then
  kill "$server" 2>/dev/null
  wait "$server" 2>/dev/null
  echo "SKIP: Xvfb could not be started"
  exit 77
fi

DISPLAY=$display SDL_VIDEODRIVER=x11 ZARN_XVFB_DEPTH=$depth "$binary"
status=$?
kill "$server" 2>/dev/null
wait "$server" 2>/dev/null
exit $status
