#!/usr/bin/env bash
# Starts the real program on a fresh X server with a window manager (openbox)
# and a Japanese desktop, and meets its message boxes as a person does: a
# folder whose first picture cannot be read is chosen in the tree with the
# mouse and OK is clicked, once at the start and once from the folder window
# opened again by a right click. Each time the box "エラーがありました！" must be
# the topmost window, active and seen on the screen; Return closes it and the
# next Return moves the show on. An empty folder gives no box. Screenshots
# stay in the working folder. Exit code 77: a tool is missing (skipped).
set -u
program=${1:?program}
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
for t in xvfb-run Xvfb xdotool xwininfo xprop import compare openbox; do
  command -v "$t" >/dev/null || { echo "skipped: $t missing"; exit 77; }
done
shots=$(pwd)
# First in /tmp, so no other program's folder comes or goes above the home
# row while the walk clicks in the tree.
work=$(mktemp -d /tmp/0dzboxes.XXXXXX)
trap 'rm -rf "$work"' EXIT
home="$work/h"
mkdir -p "$home/broken" "$home/empty" "$work/run"
chmod 700 "$work/run"
# x.jpg comes first and is no picture at all.
head -c 300 /dev/urandom > "$home/broken/x.jpg"
convert -size 640x480 xc:seagreen "$home/broken/y.png"

inner="$work/inner.sh"
cat > "$inner" <<'IN'
set -u
fail() { echo "FAIL: $*"; import -window root "$SHOTS/boxes-failure.png"; kill "$pid" 2>/dev/null; exit 1; }
# Window geometry as the X server has it (a window manager's frame aside).
geom() { xwininfo -id "$1" 2>/dev/null | awk '/Absolute upper-left X/ {x = $4} /Absolute upper-left Y/ {y = $4}
  /Width:/ {w = $2} /Height:/ {h = $2} END {print "X=" x " Y=" y " WIDTH=" w " HEIGHT=" h}'; }
visible() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1; }
waitfor() {  # pattern, tenths of a second
  local w=""
  for i in $(seq 1 "$2"); do w=$(visible "$1"); [ -n "$w" ] && break; sleep 0.1; done
  echo "$w"
}
px() { awk -v v="$1" 'BEGIN { printf "%d", v * 0.8 + 0.5 }'; }   # design units at 96 dpi
# The viewer covers the screen; while a box is up it is captioned "Daredazi"
# as the box is.
fullScreen() { for w in $(xdotool search --onlyvisible --name "$1" 2>/dev/null); do
  eval "$(geom "$w")"; [ "$WIDTH" = 1920 ] && { echo "$w"; return; }; done; }
box() { for w in $(xdotool search --onlyvisible --name '^Daredazi$' 2>/dev/null); do
  [ "$w" != "$viewer" ] && { echo "$w"; return; }; done; }
clickOK() { eval "$(geom "$folderwin")"; xdotool mousemove $((X + $(px 327) + $(px 73) / 2)) $((Y + $(px 458) + $(px 33) / 2)) click 1; }

# A box on top: active, last in the window manager's stacking, and on the
# screen (its place changes when it closes). Return closes it; the next
# Return shows y.png.
checkBoxOnTop() {  # step name
  local b="" top
  for i in $(seq 1 30); do b=$(box); [ -n "$b" ] && break; sleep 0.1; done
  [ -n "$b" ] || fail "$1: no message box after OK"
  sleep 0.5
  top=$(xprop -root _NET_CLIENT_LIST_STACKING | sed 's/.*# //; s/.*, //')
  [ "$((top))" -eq "$b" ] || fail "$1: the box is not the topmost window (stacking: $(xprop -root _NET_CLIENT_LIST_STACKING))"
  [ "$(xdotool getactivewindow)" = "$b" ] || fail "$1: the box is not the active window"
  eval "$(geom "$b")"
  local crop="${WIDTH}x${HEIGHT}+${X}+${Y}"
  import -window root "$SHOTS/boxes-$1.png"
  import -window root -crop "$crop" "$SHOTS/boxes-$1-box.png"
  xdotool key Return
  sleep 0.7
  kill -0 "$pid" 2>/dev/null || fail "$1: the program ended after Return"
  [ -z "$(box)" ] || fail "$1: the box is still there after Return"
  import -window root -crop "$crop" "$SHOTS/boxes-$1-closed.png"
  local changed
  changed=$(compare -metric AE "$SHOTS/boxes-$1-box.png" "$SHOTS/boxes-$1-closed.png" null: 2>&1 | cut -d' ' -f1)
  [ "${changed%%.*}" -gt $((WIDTH * HEIGHT / 10)) ] 2>/dev/null || fail "$1: the box was not seen on the screen ($changed pixels changed)"
  [ "$(xdotool getwindowname "$viewer")" = "$HOMEDIR/broken/x.jpg" ] || fail "$1: the viewer moved on before Return"
  xdotool key Return
  sleep 1
  [ "$(xdotool getwindowname "$viewer")" = "$HOMEDIR/broken/y.png" ] || fail "$1: Return did not move the show on"
  [ -z "$(box)" ] || fail "$1: a box came up again"
}

HOME="$HOMEDIR" XDG_RUNTIME_DIR="$RUNDIR" LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 "$PROGRAM" 2>"$ERRFILE" &
pid=$!
folderwin=$(waitfor '^フォルダの選択$' 100)
[ -n "$folderwin" ] || fail "no folder window"
viewer=""
sleep 2.5   # the splash goes; the tree reads home, which is its top row
eval "$(geom "$folderwin")"
import -window root "$SHOTS/boxes-folder.png"
# broken, right below home.
xdotool mousemove $((X + $(px 249) + 130)) $((Y + $(px 24) + 24)) click 1
sleep 1
clickOK
for i in $(seq 1 50); do viewer=$(fullScreen '^Daredazi$'); [ -n "$viewer" ] && break; sleep 0.1; done
[ -n "$viewer" ] || fail "no viewer after OK"
# Full screen: the whole screen, no frame of the window manager.
eval "$(geom "$viewer")"
[ "$X,$Y,$WIDTH,$HEIGHT" = "0,0,1920,1080" ] || fail "the viewer is at $X,$Y ${WIDTH}x$HEIGHT, not over the whole screen"
frame=$(xprop -id "$viewer" _NET_FRAME_EXTENTS 2>/dev/null | sed 's/.*= //')
case "$frame" in 0,\ 0,\ 0,\ 0|*"not found"*) ;; *) fail "the viewer has a frame ($frame)";; esac
checkBoxOnTop first-ok

# Back to the folder window by a right click on the picture; the first line
# of the file list (x.jpg) starts the show again.
xdotool mousemove 960 540 click 3
folderwin=$(waitfor '^フォルダの選択$' 50)
[ -n "$folderwin" ] || fail "no folder window after a right click"
sleep 0.5
eval "$(geom "$folderwin")"
xdotool mousemove $((X + $(px 11) + 30)) $((Y + $(px 24) + 8)) click 1
sleep 0.5
clickOK
checkBoxOnTop second-ok

# An empty folder: the viewer shows nothing, without a box.
xdotool mousemove 960 540 click 3
folderwin=$(waitfor '^フォルダの選択$' 50)
[ -n "$folderwin" ] || fail "no folder window after the second right click"
sleep 0.5
eval "$(geom "$folderwin")"
xdotool mousemove $((X + $(px 249) + 130)) $((Y + $(px 24) + 24 + 18)) click 1
sleep 1
clickOK
sleep 1.5
[ "$(xdotool getwindowname "$viewer")" = "Daredazi" ] || fail "empty folder: the viewer's caption is '$(xdotool getwindowname "$viewer")'"
[ -z "$(box)" ] || fail "empty folder: a box came up"
xdotool key Return
sleep 0.7
[ -z "$(box)" ] || fail "empty folder: a box came up after Return"
kill -0 "$pid" 2>/dev/null || fail "empty folder: the program ended"
import -window root "$SHOTS/boxes-empty.png"

xdotool key Escape
for i in $(seq 1 100); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.01
done
kill -0 "$pid" 2>/dev/null && fail "still running 1 s after Escape"
wait "$pid"; rc=$?
[ "$rc" -eq 0 ] || fail "exit code $rc"
exit 0
IN
err="$work/stderr.txt"
QT_QPA_PLATFORM=xcb PROGRAM="$program" HOMEDIR="$home" RUNDIR="$work/run" SHOTS="$shots" ERRFILE="$err" \
  xvfb-run -a -s "-screen 0 1920x1080x24 -dpi 96 -noreset" bash "$here/../support/with_window_manager.sh" bash "$inner"
rc=$?
if [ -s "$err" ]; then
  echo "FAIL: the program wrote to stderr:"; head -20 "$err"; exit 1
fi
[ $rc -eq 0 ] && echo "message boxes on top under a window manager"
exit $rc
