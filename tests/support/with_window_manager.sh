#!/usr/bin/env bash
# Runs a command on the X display of $DISPLAY with a window manager (openbox)
# in charge of it, and returns the command's exit code. Exit code 77: no
# openbox or xprop (skipped). openbox keeps its files in a temporary folder.
set -u
for t in openbox xprop; do
  command -v "$t" >/dev/null || { echo "skipped: $t missing"; exit 77; }
done
dir=$(mktemp -d /tmp/dzwm.XXXXXX)
XDG_CONFIG_HOME="$dir" XDG_CACHE_HOME="$dir" XDG_DATA_HOME="$dir" openbox --sm-disable >/dev/null 2>&1 &
wm=$!
trap 'kill "$wm" 2>/dev/null; wait "$wm" 2>/dev/null; rm -rf "$dir"' EXIT
# Up to 20 s: on a loaded machine openbox has taken more than 5.
for i in $(seq 1 400); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
  kill -0 "$wm" 2>/dev/null || break
  sleep 0.05
done
xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' || { echo "FAIL: the window manager did not start"; exit 1; }
"$@"
