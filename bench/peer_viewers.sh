#!/usr/bin/env bash
# Daredazi beside the picture viewers people use on Debian, on the same ten
# 24-megapixel camera JPEGs: start with a picture to its final paint, the
# next picture, a jump to a far one, and peak memory; warm (the files in the
# page cache) and cold (dropped before each start, as root). Each viewer runs
# full screen on a fresh Xvfb 1920x1080x24 with openbox and a session bus of
# its own, in Japanese where the locale exists. The middle of the screen is
# read every 2 ms by a small X client (bench/peer_poll.c) that also presses
# the keys, so a figure holds no tool's start-up. A row "floor" times a
# window that only swaps pictures it holds already fitted (bench/peer_floor.cpp):
# the least an advance or a jump can take through this X server.
#
#   bench/peer_viewers.sh              every viewer, 3 starts warm, 3 cold
#   PEER_VIEWERS="daredazi floor eog" PEER_RUNS=5 bench/peer_viewers.sh
#
# Pictures and tools are made once into build/peer-bench/. Exit code 1 only
# when the benchmark itself cannot run; a viewer that fails is reported.
set -u
began=$(date +%s)
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="$here/build/peer-bench"
runs=${PEER_RUNS:-3}
settle=${PEER_SETTLE_MS:-500}
peers=(qimgv geeqie eog gthumb gwenview)
viewers=(${PEER_VIEWERS:-daredazi floor ${peers[*]}})
screen_w=1920 screen_h=1080 dpi=96
# The poller reads 280 pixels left of the middle: the window manager centres
# Daredazi's splash, which lies over the middle for its first second while
# the picture already shows around it.
export PEER_SQUARE_DX=-280 PEER_SQUARE=64

die() { echo "peer_viewers: $*" >&2; exit 1; }
mkdir -p "$out" || die "cannot make $out"

# ---------------------------------------------------------------- packages
is_root=0; [ "$(id -u)" -eq 0 ] && is_root=1
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
updated=0
apt_install() {   # apt_install PACKAGE...: true when all are installed after
  local missing=() p
  for p in "$@"; do installed "$p" || missing+=("$p"); done
  [ ${#missing[@]} -eq 0 ] && return 0
  [ $is_root -eq 1 ] || return 1
  if [ $updated -eq 0 ]; then apt-get update -qq >/dev/null 2>&1; updated=1; fi
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null 2>&1
}
tools=(xvfb openbox x11-utils xdotool imagemagick libimage-exiftool-perl gcc libc6-dev libx11-dev libxtst-dev
       dbus procps locales)
if ! apt_install "${tools[@]}"; then
  missing=(); for p in "${tools[@]}"; do installed "$p" || missing+=("$p"); done
  die "missing packages; as root: apt-get install ${missing[*]}"
fi
found=() absent=()
for v in "${viewers[@]}"; do
  [ "$v" = daredazi ] || [ "$v" = floor ] && continue
  if apt_install "$v" && command -v "$v" >/dev/null; then found+=("$v"); else absent+=("$v"); fi
done
echo "peer viewers found: ${found[*]:-none}"
if [ ${#absent[@]} -gt 0 ]; then
  if [ $is_root -eq 1 ]; then echo "could not install: ${absent[*]}"
  else echo "not installed (as root: apt-get install ${absent[*]}): skipped"; fi
fi
lang=C.UTF-8
locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$' && lang=ja_JP.UTF-8

# ------------------------------------------------------------ the programs
daredazi_bin="$here/build/release/bin"
if [[ " ${viewers[*]} " == *" daredazi "* ]] || [[ " ${viewers[*]} " == *" floor "* ]]; then
  echo "building the Release viewer and the floor..."
  { "$here/scripts/setup.sh" "$here/build/release" Release >/dev/null &&
    cmake --build "$here/build/release" --parallel "$(nproc)" --target daredazi peer_floor >/dev/null; } ||
    die "the Release build failed"
fi
poll="$out/peer_poll"
if [ ! -x "$poll" ] || [ "$here/bench/peer_poll.c" -nt "$poll" ]; then
  cc -O2 -Wall -o "$poll" "$here/bench/peer_poll.c" -lXtst -lX11 -lm || die "cannot compile peer_poll"
fi

# ---------------------------------------------------------------- pictures
# Ten 6000x4000 photographs: a plasma texture with sensor-like noise, each
# tinted its own hue with a stronger patch of it over the middle 60%, so the
# middle of the screen says which picture is painted. Camera Exif and a
# 160x120 thumbnail as a camera writes them; file dates and shooting dates
# in name order, so every viewer's order is the same.
pics="$out/pictures"
count=10
make_pictures() {
  local tmp="$out/pictures.new" i hue name
  rm -rf "$tmp"; mkdir -p "$tmp" || return 1
  for i in $(seq 1 $count); do
    hue=$(( (i - 1) * 360 / count ))
    name=$(printf 'IMG_%04d.JPG' "$i")
    echo "  $name (hue $hue)"
    convert -size 6000x4000 -seed "$i" plasma:fractal \
      -fill "hsl($hue,100%,50%)" -colorize 30 \
      -region 3600x2400+1200+800 -fill "hsl($hue,100%,45%)" -colorize 55 +region \
      -attenuate 0.4 +noise Gaussian -sampling-factor 2x1 -quality 92 "$tmp/$name" || return 1
    convert "$tmp/$name" -thumbnail 160x120 -background black -gravity center -extent 160x120 \
      -quality 85 "$tmp/thumb.jpg" || return 1
    exiftool -q -overwrite_original -Make=Canon -Model='Canon EOS 80D' -Orientation#=1 \
      -DateTimeOriginal="2024:05:01 10:$(printf %02d "$i"):00" -CreateDate="2024:05:01 10:$(printf %02d "$i"):00" \
      -ExposureTime=1/250 -FNumber=8 -ISO=200 -FocalLength=35 -ExifImageWidth=6000 -ExifImageHeight=4000 \
      "-ThumbnailImage<=$tmp/thumb.jpg" "$tmp/$name" || return 1
    touch -d "2024-05-01 10:$(printf %02d "$i"):00" "$tmp/$name"
  done
  rm -f "$tmp/thumb.jpg"
  # The mean colour of each picture where the poller reads the screen, for
  # the poller: 64 screen pixels at the fitted scale (0.27), 280 screen
  # pixels left of the middle.
  for i in $(seq 1 $count); do
    convert "$tmp/$(printf 'IMG_%04d.JPG' "$i")" -crop 237x237+1845+1882 +repage -scale 1x1\! \
      -format '%[fx:int(255*r+.5)] %[fx:int(255*g+.5)] %[fx:int(255*b+.5)]\n' info: || return 1
  done > "$tmp/.refs" || return 1
  touch "$tmp/.v3"
  rm -rf "$pics" && mv "$tmp" "$pics"
}
if [ ! -s "$pics/.refs" ] || [ ! -e "$pics/.v3" ]; then
  echo "making $count 24-megapixel JPEGs into $pics (once; about half a minute each)..."
  make_pictures || die "cannot make the pictures"
fi
refs="$pics/.refs"
first_pic="$pics/IMG_0001.JPG"
echo "pictures: $count x 6000x4000 JPEG, $(du -sm "$pics" | cut -f1) MB in all"

# ---------------------------------------------------------------- sessions
work=$(mktemp -d /tmp/peerbench.XXXXXX) || die "no temporary folder"
xvfb_pid="" wm_pid="" bus_pid="" viewer_pid=""
stop_pid() {   # ends a process and its group, waiting up to 3 s
  local pid=$1 i
  [ -n "$pid" ] || return 0
  kill -TERM -- "-$pid" 2>/dev/null || kill -TERM "$pid" 2>/dev/null
  for i in $(seq 1 60); do
    [ -d "/proc/$pid" ] && [ "$(awk '{print $3}' "/proc/$pid/stat" 2>/dev/null)" != Z ] || return 0
    sleep 0.05
  done
  kill -KILL -- "-$pid" 2>/dev/null || kill -KILL "$pid" 2>/dev/null
}
session_down() {
  stop_pid "$viewer_pid"; stop_pid "$bus_pid"; stop_pid "$wm_pid"; stop_pid "$xvfb_pid"
  viewer_pid="" bus_pid="" wm_pid="" xvfb_pid=""
}
trap 'session_down; rm -rf "$work"' EXIT
trap 'exit 130' INT TERM

session_up() {   # a fresh X server, window manager and session bus
  local i
  rm -f "$work/display"
  Xvfb -displayfd 1 -nolisten tcp -screen 0 ${screen_w}x${screen_h}x24 -dpi $dpi >"$work/display" 2>/dev/null &
  xvfb_pid=$!
  for i in $(seq 1 200); do [ -s "$work/display" ] && break; sleep 0.025; done
  [ -s "$work/display" ] || return 1
  export DISPLAY=":$(head -1 "$work/display")"
  mkdir -p "$work/wm"
  XDG_CONFIG_HOME="$work/wm" XDG_CACHE_HOME="$work/wm" setsid openbox --sm-disable >/dev/null 2>&1 &
  wm_pid=$!
  for i in $(seq 1 200); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.025
  done
  local bus
  bus=$(setsid dbus-daemon --session --fork --print-address=1 --print-pid=1) || return 1
  export DBUS_SESSION_BUS_ADDRESS=$(sed -n 1p <<<"$bus")
  bus_pid=$(sed -n 2p <<<"$bus")
  # The pointer rests in a corner, away from any viewer's hover controls.
  # A key is pressed once before any viewer starts: the first key from the
  # XTest device makes the server send every client a new keyboard, which a
  # Qt client answers with thirty round trips for its key map (10-20 ms).
  # A person's keyboard never changes between two keys, so that cost would
  # be the poller's, not the viewer's, in the advance.
  xdotool mousemove $((screen_w - 1)) $((screen_h - 1)) key shift
}

# Each viewer: how it starts full screen on a picture, the key to the next
# picture, and the key (or click) to a far one.
viewer_home() { echo "$work/home-$1"; }
prepare_home() {
  local v=$1 h
  h=$(viewer_home "$v")
  [ -d "$h" ] && return 0
  mkdir -p "$h/run" && chmod 700 "$h/run"
  case $v in
    qimgv)   # no option for it: full screen through its settings file
      mkdir -p "$h/.config/qimgv"
      printf '[General]\nopenInFullscreen=true\n' > "$h/.config/qimgv/qimgv.conf" ;;
  esac
}
start_command() {
  case $1 in
    daredazi) echo "./daredazi" ;;
    floor)    echo "./peer_floor" ;;
    qimgv)    echo "qimgv" ;;
    *)        echo "$1 --fullscreen" ;;
  esac
}
next_key() { case $1 in geeqie) echo space ;; *) echo Right ;; esac; }
# Daredazi quits on End: its far jump is a click at the right end of the
# track bar, in the panel that shows while the pointer is in the strip at
# the bottom left (design bounds at 120 dpi, here at $dpi; the strip is
# 75 high at the bottom, the panel 7 below its top, the bar 20 into it).
design() { echo $(( ($1 * dpi + 60) / 120 )); }
far_action() {
  local panel_y
  case $1 in
    daredazi)
      panel_y=$(( screen_h - $(design 75) + $(design 7) ))
      echo "click $(( $(design 16) + $(design 51) + $(design 217) - 6 )) $(( panel_y + $(design 20) + $(design 25) / 2 ))" \
           "$(design 150) $(( screen_h - 8 ))" ;;
    *) echo "key End" ;;
  esac
}

vm_hwm_kb() {   # peak resident memory of a session's processes, summed
  local sid=$1 total=0 p kb
  for p in $(ps -eo pid=,sid= | awk -v s="$sid" '$2 == s {print $1}'); do
    kb=$(awk '/^VmHWM:/ {print $2}' "/proc/$p/status" 2>/dev/null)
    total=$((total + ${kb:-0}))
  done
  echo $total
}

results="$work/results"
: > "$results"
loads=()
# One start of viewer $1 in mode $2 (warm-up, warm, cold); appends its
# figures to the results.
session() {
  local v=$1 mode=$2 line h cmd
  session_up || { echo "  $v: the X server did not start"; session_down; return 1; }
  prepare_home "$v"
  h=$(viewer_home "$v")
  loads+=("$(cut -d' ' -f1 /proc/loadavg)")
  if [ "$mode" = cold ]; then sync; echo 3 > /proc/sys/vm/drop_caches; fi
  cmd=$(start_command "$v")
  local dir=$PWD
  [ "$v" = daredazi ] || [ "$v" = floor ] && dir=$daredazi_bin
  line=$(cd "$dir" && env -u LC_ALL -u LANGUAGE -u WAYLAND_DISPLAY HOME="$h" XDG_RUNTIME_DIR="$h/run" LANG="$lang" \
         QT_QPA_PLATFORM=xcb GDK_BACKEND=x11 PEER_SETTLE_MS="$settle" PEER_VIEWER_LOG="$work/$v.log" \
         "$poll" "$refs" 0 start $cmd "$first_pic")
  viewer_pid=$(sed -n 's/.*pid=\([0-9]*\).*/\1/p' <<<"$line")
  echo "$v $mode start $line" >> "$results"
  if [[ $line == ok* ]]; then
    sleep 0.3
    line=$(PEER_SETTLE_MS="$settle" "$poll" "$refs" 1 key "$(next_key "$v")")
    echo "$v $mode advance $line" >> "$results"
    sleep 0.3
    line=$(PEER_SETTLE_MS="$settle" "$poll" "$refs" $((count - 1)) $(far_action "$v"))
    echo "$v $mode jump $line" >> "$results"
  fi
  [ -n "$viewer_pid" ] && echo "$v $mode memory $(vm_hwm_kb "$viewer_pid")" >> "$results"
  session_down
  [ "$mode" = warm-up ] || printf '  %-9s %-5s %s\n' "$v" "$mode" "$(grep "^$v $mode " "$results" | tail -4 |
    awk '$3 == "memory" {printf "memory %.0f MB", $4 / 1024; next}
         $4 == "ok" {printf "%s %s/%s ms, ", $3, $5, $6; next} {printf "%s FAILED (%s), ", $3, $5}')"
}

list=()
[[ " ${viewers[*]} " == *" daredazi "* ]] && list+=(daredazi)
[[ " ${viewers[*]} " == *" floor "* ]] && list+=(floor)
list+=("${found[@]}")
[ ${#list[@]} -gt 0 ] || die "no viewer to measure"
cold_ok=0
if [ $is_root -eq 1 ] && sync && echo 3 > /proc/sys/vm/drop_caches 2>/dev/null; then cold_ok=1; fi
[ $cold_ok -eq 1 ] || echo "cold: not measured (dropping the page cache needs root)"

echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "warming up (one unmeasured start each)..."
for v in "${list[@]}"; do session "$v" warm-up; done
# Round by round across the viewers, so that other work on the machine
# falls on all of them alike.
for mode in warm cold; do
  [ $mode = cold ] && [ $cold_ok -eq 0 ] && continue
  echo "$mode: $runs starts each"
  for r in $(seq 1 "$runs"); do
    for v in "${list[@]}"; do session "$v" $mode; done
  done
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg); mean of the 1-minute load at each start: $(
  printf '%s\n' "${loads[@]}" | awk '{s += $1} END {printf "%.2f", s / NR}')"

# ------------------------------------------------------------------- table
median() { sort -n | awk '{v[NR] = $1} END {if (NR) printf "%.1f", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
figure() {   # figure VIEWER MODE WHAT FIELD: the median, or "-" / "failed"
  local vals
  # The floor loads every picture before its window shows.
  [ "$1" = floor ] && { [ "$3" = start ] || [ "$3" = memory ]; } && { echo -; return; }
  if [ "$3" = memory ]; then
    vals=$(awk -v v="$1" -v m="$2" '$1 == v && $2 == m && $3 == "memory" && $4 > 0 {print $4 / 1024}' "$results")
  else
    vals=$(awk -v v="$1" -v m="$2" -v w="$3" -v f="$4" '$1 == v && $2 == m && $3 == w && $4 == "ok" {print $(4 + f)}' "$results")
  fi
  if [ -n "$vals" ]; then median <<<"$vals"; return; fi
  grep -q "^$1 $2 $3 " "$results" && echo failed || echo -
}
columns=("start first" "start final" "advance first" "advance final" "jump first" "jump final" "peak MB")
keys=("start 1" "start 2" "advance 1" "advance 2" "jump 1" "jump 2" "memory 0")
for mode in warm cold; do
  grep -q "^[^ ]* $mode " "$results" || continue
  echo
  echo "$mode (medians of $runs starts; ms from the start, key or click; first = the picture first shown,"
  echo "final = its last repaint before ${settle} ms of stillness)"
  printf '| %-14s |' viewer; for c in "${columns[@]}"; do printf ' %13s |' "$c"; done; echo
  printf '|%s|' "----------------"; for c in "${columns[@]}"; do printf '%s|' "---------------"; done; echo
  for v in "${list[@]}"; do
    printf '| %-14s |' "$v"
    for k in "${keys[@]}"; do printf ' %13s |' "$(figure "$v" $mode $k)"; done; echo
  done
  if [[ " ${list[*]} " == *" daredazi "* ]] && [ ${#found[@]} -gt 0 ]; then
    printf '| %-14s |' "ratio to best"
    for k in "${keys[@]}"; do
      ours=$(figure daredazi $mode $k) best=""
      for v in "${list[@]}"; do
        [ "$v" = daredazi ] || [ "$v" = floor ] && continue
        f=$(figure "$v" $mode $k)
        [[ $f =~ ^[0-9.]+$ ]] || continue
        if [ -z "$best" ] || awk -v a="$f" -v b="$best" 'BEGIN {exit !(a < b)}'; then best=$f; fi
      done
      if [[ $ours =~ ^[0-9.]+$ ]] && [ -n "$best" ]; then
        printf ' %13s |' "$(awk -v a="$ours" -v b="$best" 'BEGIN {printf "%.2fx", a / b}')"
      else printf ' %13s |' -; fi
    done
    echo
  fi
done
fails=$(grep -v ' ok \| memory ' "$results" | grep -v ' warm-up ')
if [ -n "$fails" ]; then echo; echo "failures:"; sed 's/^/  /' <<<"$fails"; fi
echo
echo "took $(( $(date +%s) - began )) s"
