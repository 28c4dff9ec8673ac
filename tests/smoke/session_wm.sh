#!/usr/bin/env bash
# The real program under a window manager (openbox) on a fresh X server with
# a Japanese desktop, as a person meets its windows there: the fixed dialogs
# (folder window, search, version, print) ask for neither minimise nor
# maximise, their close boxes act as Cancel (the folder window's ends the
# program before the first show) and a minimised folder window comes back;
# window mode fits the work area with its frame and shows the whole control
# panel. Screenshots stay in the working folder. Exit code 77: a tool is
# missing (skipped).
set -u
program=${1:?program}
dpi=${2:-96}
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
for t in xvfb-run Xvfb xdotool xwininfo xprop import convert openbox; do
  command -v "$t" >/dev/null || { echo "skipped: $t missing"; exit 77; }
done
shots=$(pwd)
# First in /tmp, so no other program's folder comes or goes above the home row.
work=$(mktemp -d /tmp/0dzsession.XXXXXX)
trap 'rm -rf "$work"' EXIT
home="$work/h"
mkdir -p "$home/pictures" "$work/run"
chmod 700 "$work/run"
convert -size 640x480 xc:steelblue "$home/pictures/a.png"
convert -size 640x480 xc:darkorange "$home/pictures/b.png"

inner="$work/inner.sh"
cat > "$inner" <<'IN'
set -u
fail() { echo "FAIL ($DPI dpi): $*"; import -window root "$SHOTS/session-failure-$DPI.png"; kill "$pid" 2>/dev/null; exit 1; }
f=$(awk -v d="$DPI" 'BEGIN { print d / 120 }')
px() { awk -v v="$1" -v f="$f" 'BEGIN { printf "%d", v * f + 0.5 }'; }
# The client area as the X server has it, and the frame's extents.
geom() { xwininfo -id "$1" 2>/dev/null | awk '/Absolute upper-left X/ {x = $4} /Absolute upper-left Y/ {y = $4}
  /Width:/ {w = $2} /Height:/ {h = $2} END {print "X=" x " Y=" y " W=" w " H=" h}'; }
extents() { xprop -id "$1" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.*= *\([0-9]*\), *\([0-9]*\), *\([0-9]*\), *\([0-9]*\).*/L=\1 R=\2 T=\3 B=\4/p'; }
visible() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1; }
waitfor() { local w=""; for i in $(seq 1 "$2"); do w=$(visible "$1"); [ -n "$w" ] && break; sleep 0.1; done; echo "$w"; }
gone() { for i in $(seq 1 30); do [ -z "$(visible "$1")" ] && return 0; sleep 0.1; done; return 1; }
viewable() { xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'; }
# Neither minimise nor maximise asked for, a dialog, and the window manager
# offers no maximise.
checkAsked() {  # window, name
  local hints type actions flags functions decorations
  hints=$(xprop -id "$1" _MOTIF_WM_HINTS | sed 's/.*= //')
  IFS=', ' read -r flags functions decorations _ <<< "$hints"
  [ $((flags & 1)) -ne 0 ] && [ $((flags & 2)) -ne 0 ] || fail "$2: the Motif hints name no functions and decorations ($hints)"
  [ $((functions & 0x18)) -eq 0 ] || fail "$2: minimise or maximise among its functions ($hints)"
  [ $((decorations & 0x60)) -eq 0 ] || fail "$2: minimise or maximise among its decorations ($hints)"
  [ $((functions & 0x20)) -ne 0 ] || fail "$2: no close among its functions ($hints)"
  type=$(xprop -id "$1" _NET_WM_WINDOW_TYPE | sed 's/.*= //')
  case "$type" in _NET_WM_WINDOW_TYPE_DIALOG*) ;; *) fail "$2: window type $type";; esac
  actions=$(xprop -id "$1" _NET_WM_ALLOWED_ACTIONS)
  case "$actions" in *MAXIMIZE*) fail "$2: the window manager offers to maximise it";; esac
}
# The close box at the right of the window manager's title bar.
clickClose() {
  eval "$(geom "$1")"; eval "$(extents "$1")"
  xdotool mousemove $((X + W + R - 10)) $((Y - T / 2)) click 1
}

QT_FONT_DPI="$DPI" HOME="$HOMEDIR" XDG_RUNTIME_DIR="$RUNDIR" LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 "$PROGRAM" 2>>"$ERRFILE" &
pid=$!
folder=$(waitfor '^フォルダの選択$' 100)
[ -n "$folder" ] || fail "no folder window"
sleep 2.5   # the splash goes; the tree reads home, its top row
checkAsked "$folder" "folder window"

# Minimised by the window manager, the only window comes back.
xdotool windowminimize "$folder"
sleep 1.5
viewable "$folder" || fail "the minimised folder window stays away"

eval "$(geom "$folder")"
FX=$X; FY=$Y
xdotool mousemove $((FX + $(px 391))) $((FY + $(px 392))) click 1
search=$(waitfor '^検索設定$' 30)
[ -n "$search" ] || fail "no search dialog"
checkAsked "$search" "search dialog"
clickClose "$search"
gone '^検索設定$' || fail "the search dialog's close box did not close it"
viewable "$folder" || fail "the folder window went with the search dialog"

xdotool mousemove $((FX + $(px 504))) $((FY + $(px 392))) click 1
version=$(waitfor '^バージョン情報$' 30)
[ -n "$version" ] || fail "no version window"
checkAsked "$version" "version window"
import -window root "$SHOTS/session-version-$DPI.png"
clickClose "$version"
gone '^バージョン情報$' || fail "the version window's close box did not close it"

# The pictures (right below home), window mode, OK.
xdotool mousemove $((FX + $(px 249) + 130)) $((FY + $(px 24) + $(px 30))) click 1
sleep 1
xdotool mousemove $((FX + $(px 218) + 7)) $((FY + $(px 417) + $(px 8))) click 1
sleep 0.3
xdotool mousemove $((FX + $(px 327) + $(px 36))) $((FY + $(px 458) + $(px 16))) click 1
viewer=$(waitfor 'a\.png$' 50)
[ -n "$viewer" ] || fail "no viewer after OK"
sleep 2   # the window manager frames it; the viewer fits again
eval "$(geom "$viewer")"; eval "$(extents "$viewer")"
read -r AX AY AW AH _ <<< "$(xprop -root _NET_WORKAREA | sed 's/.*= //; s/,//g')"
[ $((X - L)) -ge "$AX" ] && [ $((Y - T)) -ge "$AY" ] && [ $((X + W + R)) -le $((AX + AW)) ] && [ $((Y + H + B)) -le $((AY + AH)) ] \
  || fail "window mode: the frame $((X - L)),$((Y - T)) $((W + L + R))x$((H + T + B)) leaves the work area $AX,$AY ${AW}x$AH"
[ $((W + L + R)) -ge $((AW * 9 / 10)) ] || fail "window mode: the window is only $W wide"

# The control panel, shown by the pointer at the bottom left, fully on the
# screen: its colour runs its whole height above the window's bottom edge.
xdotool mousemove $((X + 300)) $((Y + H / 2)); sleep 0.2
xdotool mousemove $((X + $(px 30))) $((Y + H - $(px 30))); sleep 0.4
import -window root "$SHOTS/session-window-mode-$DPI.png"
column=$((X + $(px 16) + 2))
grey=$(convert "$SHOTS/session-window-mode-$DPI.png" -crop "1x$((H))+$column+$Y" -depth 8 txt:- | grep -c '#A0A0A0')
[ "$grey" -ge $(( $(px 60) - 2 )) ] || fail "window mode: only $grey rows of the control panel are on the screen"
panelBottom=$(convert "$SHOTS/session-window-mode-$DPI.png" -crop "1x$((H))+$column+$Y" -depth 8 txt:- \
  | awk -F'[,:]' '/#A0A0A0/ {last = $2} END {print last + 0}')
[ $((Y + panelBottom)) -lt $((AY + AH)) ] || fail "window mode: the control panel reaches the screen's edge"

# The print dialog from the panel.
xdotool mousemove $((X + $(px 16) + $(px 19))) $((Y + H - $(px 75) + $(px 7) + $(px 45))) click 1
printer=$(waitfor '^画像の印刷$' 50)
[ -n "$printer" ] || fail "no print dialog from the panel"
checkAsked "$printer" "print dialog"
clickClose "$printer"
gone '^画像の印刷$' || fail "the print dialog's close box did not close it"

# Back to the folder window; its close box is Cancel: the viewer stays.
xdotool mousemove $((X + W / 2)) $((Y + H / 2)) click 3
folder=$(waitfor '^フォルダの選択$' 50)
[ -n "$folder" ] || fail "no folder window after a right click"
sleep 0.5
clickClose "$folder"
gone '^フォルダの選択$' || fail "the folder window's close box did nothing"
viewable "$viewer" || fail "after the folder window's close box no window is left"
kill -0 "$pid" 2>/dev/null || fail "the program ended on the folder window's close box"

xdotool key Escape
for i in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.02; done
kill -0 "$pid" 2>/dev/null && fail "still running 2 s after Escape"

# A new run: before the first show, the folder window's close box ends it.
QT_FONT_DPI="$DPI" HOME="$HOMEDIR" XDG_RUNTIME_DIR="$RUNDIR" LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 "$PROGRAM" 2>>"$ERRFILE" &
pid=$!
folder=$(waitfor '^フォルダの選択$' 100)
[ -n "$folder" ] || fail "no folder window in the second run"
sleep 2
clickClose "$folder"
for i in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.02; done
kill -0 "$pid" 2>/dev/null && fail "the first folder window's close box left the program running"
wait "$pid"; rc=$?
[ "$rc" -eq 0 ] || fail "exit code $rc after the close box"
exit 0
IN
err="$work/stderr.txt"
: > "$err"
QT_QPA_PLATFORM=xcb PROGRAM="$program" HOMEDIR="$home" RUNDIR="$work/run" SHOTS="$shots" DPI="$dpi" ERRFILE="$err" \
  xvfb-run -a -s "-screen 0 1920x1080x24 -dpi $dpi -noreset" bash "$here/../support/with_window_manager.sh" bash "$inner"
rc=$?
if [ -s "$err" ]; then
  echo "FAIL: the program wrote to stderr:"; head -20 "$err"; exit 1
fi
[ $rc -eq 0 ] && echo "a session under a window manager at $dpi dpi"
exit $rc
