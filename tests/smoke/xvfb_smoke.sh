#!/usr/bin/env bash
# Starts the real program on a fresh X server and uses it as a person does,
# with the mouse (xdotool): choose a folder in the tree, OK, click the
# picture, Escape. Checks the window names, the file list, that the program
# stays alive and that it ends cleanly. Screenshots stay in the working
# folder. Exit code 77: the X tools are missing (skipped).
set -u
program=${1:?program}
dpi=${2:-96}
for t in xvfb-run Xvfb xdotool import compare exiftool; do
  command -v "$t" >/dev/null || { echo "skipped: $t missing"; exit 77; }
done
shots=$(pwd)
# The tree keeps the pixel offset it scrolled to: a folder that comes or goes
# above the home row (other programs' folders in /tmp) would move the row
# under the pointer. A name that sorts first in /tmp has none above it.
work=$(mktemp -d /tmp/0dzsmoke.XXXXXX)
trap 'rm -rf "$work"' EXIT
home="$work/h"
folder="$home/pictures_for_the_smoke_walk"
mkdir -p "$folder" "$work/run"
chmod 700 "$work/run"
convert -size 640x480 xc:steelblue "$folder/a.png"
convert -size 480x640 xc:darkorange "$folder/b.png"
convert -size 640x480 xc:seagreen "$folder/c.jpg"
exiftool -q -overwrite_original -GPSLatitude=35.5 -GPSLatitudeRef=N -GPSLongitude=139.75 -GPSLongitudeRef=E \
  "$folder/c.jpg"

inner="$work/inner.sh"
cat > "$inner" <<'IN'
set -u
fail() { echo "FAIL: $*"; import -window root "$SHOTS/smoke-failure-$DPI.png"; kill "$pid" 2>/dev/null; exit 1; }
# The server answers before the program is started (a person's display is
# there before the program; a program that cannot reach it ends at once).
pid=""
for i in $(seq 1 50); do
  xdotool getdisplaygeometry >/dev/null 2>&1 && break
  sleep 0.1
done
xdotool getdisplaygeometry >/dev/null 2>&1 || fail "the X server on $DISPLAY does not answer"
QT_LOGGING_RULES='*.warning=true;*.critical=true' QT_FONT_DPI="$DPI" HOME="$HOMEDIR" XDG_RUNTIME_DIR="$RUNDIR" LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 "$PROGRAM" 2>"$ERRFILE" &
pid=$!
f=$(awk -v d="$DPI" 'BEGIN { print d / 120 }')
px() { awk -v v="$1" -v f="$f" 'BEGIN { printf "%d", v * f + 0.5 }'; }
win=""
for i in $(seq 1 100); do
  win=$(xdotool search --onlyvisible --name '^フォルダの選択' 2>/dev/null | head -1)
  [ -n "$win" ] && break
  sleep 0.1
done
[ -n "$win" ] || fail "no folder window"
name=$(xdotool getwindowname "$win")
[ "$name" = "フォルダの選択" ] || fail "folder window caption is '$name'"
# The splash lies over the folder window for about a second: a drag on it
# moves the splash and leaves the folder tree alone.
splash=$(xdotool search --onlyvisible --name '^Daredazi$' 2>/dev/null | head -1)
if [ -n "$splash" ]; then
  eval "$(xdotool getwindowgeometry --shell "$splash")"
  sx=$X; sy=$Y; cx=$((X + WIDTH / 2)); cy=$((Y + HEIGHT / 2))
  xdotool mousemove $cx $cy mousedown 1 mousemove $((cx + 30)) $((cy + 20)) sleep 0.2
  eval "$(xdotool getwindowgeometry --shell "$splash" 2>/dev/null)"
  xdotool mouseup 1
  moved="$((X - sx)),$((Y - sy))"
  # Unless its timer took it meanwhile.
  if xdotool search --onlyvisible --name '^Daredazi$' 2>/dev/null | grep -qx "$splash"; then
    [ "$moved" = "30,20" ] || fail "a drag on the splash moved it by $moved"
    echo "splash dragged by $moved"
  fi
fi
sleep 2.5   # the splash goes after about a second; the tree reads home
eval "$(xdotool getwindowgeometry --shell "$win")"
# Fusion's highlight: no row of the tree is selected yet.
selected=$(import -window root -crop "$(px 280)x$(px 296)+$((X + $(px 249)))+$((Y + $(px 24)))" -depth 8 txt:- 2>/dev/null | grep -ci '#308CC6')
[ "$selected" -eq 0 ] || fail "a folder is selected before any click on the tree ($selected highlighted pixels)"
listx=$((X + $(px 11) + 4)); listy=$((Y + $(px 24) + 4)); listw=$(( $(px 227) - 8 )); listh=$(( $(px 296) - 8 ))
import -window root "$SHOTS/smoke-start-$DPI.png"
import -window root -crop "${listw}x${listh}+${listx}+${listy}" "$SHOTS/smoke-list-before-$DPI.png"
# The home row is at the top of the tree, the picture folder right below.
xdotool mousemove $((X + $(px 249) + 130)) $((Y + $(px 24) + 24)) click 1
sleep 1
import -window root -crop "${listw}x${listh}+${listx}+${listy}" "$SHOTS/smoke-list-after-$DPI.png"
import -window root "$SHOTS/smoke-folder-$DPI.png"
changed=$(compare -metric AE "$SHOTS/smoke-list-before-$DPI.png" "$SHOTS/smoke-list-after-$DPI.png" null: 2>&1 | cut -d' ' -f1)
[ "${changed%%.*}" -gt 20 ] 2>/dev/null || fail "the file list shows nothing after the click ($changed pixels changed)"
# OK.
xdotool mousemove $((X + $(px 327) + $(px 73) / 2)) $((Y + $(px 458) + $(px 33) / 2)) click 1
viewer=""
for i in $(seq 1 50); do
  viewer=$(xdotool search --onlyvisible --name 'a\.png$' 2>/dev/null | head -1)
  [ -n "$viewer" ] && break
  sleep 0.1
done
[ -n "$viewer" ] || fail "no viewer showing a.png after OK"
name=$(xdotool getwindowname "$viewer")
[ "$name" = "$FOLDER/a.png" ] || fail "viewer caption is '$name'"
sleep 0.5
import -window root "$SHOTS/smoke-viewer-$DPI.png"
# A click on the picture moves on.
xdotool mousemove 960 540 click 1
sleep 1
name=$(xdotool getwindowname "$viewer")
[ "$name" = "$FOLDER/b.png" ] || fail "after a click the caption is '$name'"
import -window root "$SHOTS/smoke-next-$DPI.png"
# On to the picture with a position, and its map button (at the left of the
# condition list, at the top right of the screen).
xdotool mousemove 960 540 click 1
sleep 1
name=$(xdotool getwindowname "$viewer")
[ "$name" = "$FOLDER/c.jpg" ] || fail "after a second click the caption is '$name'"
xdotool mousemove $((1920 - $(px 280) - $(px 22) + $(px 11))) $(( $(px 1) + $(px 11) )) click 1
sleep 1
kill -0 "$pid" 2>/dev/null || fail "the program ended by itself"
start=$(date +%s%N)
xdotool key Escape
for i in $(seq 1 100); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.01
done
end=$(date +%s%N)
kill -0 "$pid" 2>/dev/null && fail "still running 1 s after Escape"
wait "$pid"; rc=$?
echo "quit: $(( (end - start) / 1000000 )) ms from Escape to exit"
[ "$rc" -eq 0 ] || fail "exit code $rc"
exit 0
IN
err="$work/stderr.txt"
# -noreset: the server starts over when its last client leaves, and the
# check that it answers is such a client; the program, connecting meanwhile,
# was now and then refused ("could not connect to display").
QT_QPA_PLATFORM=xcb PROGRAM="$program" HOMEDIR="$home" FOLDER="$folder" RUNDIR="$work/run" SHOTS="$shots" DPI="$dpi" ERRFILE="$err" \
  xvfb-run -a -s "-screen 0 1920x1080x24 -dpi $dpi -noreset" bash "$inner"
rc=$?
if [ -s "$err" ]; then
  echo "FAIL: the program wrote to stderr:"; head -20 "$err"; exit 1
fi
[ $rc -eq 0 ] && echo "smoke walk passed at $dpi dpi"
exit $rc
