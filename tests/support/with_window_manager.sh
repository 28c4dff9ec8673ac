#!/usr/bin/env bash
# Runs a command on the X display of $DISPLAY with a window manager (openbox)
# in charge of it, and returns the command's exit code. Exit code 77: no
# openbox or xprop (skipped). openbox keeps its files in a temporary folder.
set -u
for t in openbox xprop; do
  command -v "$t" >/dev/null || { echo "skipped: $t missing"; exit 77; }
done
dir=$(mktemp -d /tmp/dzwm.XXXXXX)
wm=""
trap '[ -n "$wm" ] && kill "$wm" 2>/dev/null; [ -n "$wm" ] && wait "$wm" 2>/dev/null; rm -rf "$dir"' EXIT
managed() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
# openbox has once ended at once on a fresh server (under load, with nothing
# said on the terminal): it is started again, up to three times, and what it
# printed is shown when it never takes over.
for attempt in 1 2 3; do
  XDG_CONFIG_HOME="$dir" XDG_CACHE_HOME="$dir" XDG_DATA_HOME="$dir" \
    openbox --sm-disable >"$dir/openbox.log" 2>&1 &
  wm=$!
  # Up to 20 s: on a loaded machine openbox has taken more than 5.
  for i in $(seq 1 400); do
    managed && break
    kill -0 "$wm" 2>/dev/null || break
    sleep 0.05
  done
  managed && break
  wait "$wm" 2>/dev/null
  echo "openbox ended before taking over the display (attempt $attempt, exit $?):"
  sed 's/^/  /' "$dir/openbox.log"
  wm=""
  sleep 0.5
done
managed || { echo "FAIL: the window manager did not start"; exit 1; }
"$@"
