#!/usr/bin/env bash
# How the package fares on a fresh Debian 12. On demand only: it downloads a
# few hundred megabytes, so ./test does not run it.
#
# For "with Recommends" and "without", it makes a minbase root with
# mmdebstrap from the mirror this machine's apt uses, installs the built
# package there with apt, registers a stand-in browser that only logs the
# addresses it is given, and starts the program from its menu entry (its
# Exec= in its Path=) on a virtual display with a picture that has a GPS
# position. It presses the map button in the viewer, goes back to the folder
# window and presses the help button, and reports what opened.
#
#   scripts/check-clean-install.sh [PACKAGE.deb]
#
# Without an argument the package is built with cpack from build/release
# (else build/test). Needs root (mmdebstrap's root mode, chroot), mmdebstrap,
# and on this machine Xvfb, xdotool, ImageMagick and exiftool; it says what
# is missing. Screenshots go to build/clean-install/. KEEP=1 keeps the roots.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
self="$here/scripts/check-clean-install.sh"

# What the run finds: printed, and kept in a report file while one is set
# (mmdebstrap keeps its hooks' output to itself).
report=""
say() {
  printf '%s\n' "$*"
  if [ -n "$report" ]; then printf '%s\n' "$*" >>"$report"; fi
}

# The root's size in MB as installed: its own file system only (not the
# /proc, /sys and /dev mounted in it), without apt's downloads and lists.
rootsize() {
  { du -smx --exclude=var/cache/apt --exclude=var/lib/apt/lists "$1" 2>/dev/null || true; } | cut -f1
}

# The names of the visible windows on a display, "|" between them.
windownames() {
  DISPLAY="$1" xdotool search --onlyvisible --name . 2>/dev/null |
    while read -r w; do DISPLAY="$1" xdotool getwindowname "$w" 2>/dev/null || true; done |
    sort -u | paste -sd '|' - || true
}

# The first visible window on a display whose name is the text (or, with a
# leading "*", ends with it). Compared here, not by xdotool's pattern,
# which does not match Japanese in every locale.
findwindow() {
  local w name
  for w in $(DISPLAY="$1" xdotool search --onlyvisible --name . 2>/dev/null || true); do
    name="$(DISPLAY="$1" xdotool getwindowname "$w" 2>/dev/null || true)"
    if [[ "$2" == \** && "$name" == *"${2#\*}" ]] || [ "$name" = "$2" ]; then
      echo "$w"
      return
    fi
  done
}

# ---------------------------------------------------------------------------
# Run inside mmdebstrap's customize hook: $1 the root, $2 the variant, $3 the
# package, $4 the folder for screenshots. The hook runs on this machine, with
# /proc, /sys and /dev mounted in the root.
inside() {
  local root="$1" variant="$2" deb="$3" shots="$4"
  report="$shots/report-$variant.txt"
  local name; name="$(basename "$deb")"
  local opts=(-o APT::Install-Recommends=true)
  [ "$variant" = without-recommends ] && opts=(--no-install-recommends)

  rootsize "$root" >"$shots/minbase-size-$variant"
  cp "$deb" "$root/tmp/$name"
  local before after
  before="$(chroot "$root" dpkg-query -f '${binary:Package}\n' -W | wc -l)"
  say "[$variant] apt-get install ${opts[*]} ./$name"
  if ! chroot "$root" env DEBIAN_FRONTEND=noninteractive apt-get install -y "${opts[@]}" "/tmp/$name" \
      >"$shots/apt-$variant.log" 2>&1; then
    tail -20 "$shots/apt-$variant.log"
    say "[$variant] FAIL: the package does not install"
    return 1
  fi
  after="$(chroot "$root" dpkg-query -f '${binary:Package}\n' -W | wc -l)"
  say "[$variant] $(grep -E '^[0-9]+ upgraded, [0-9]+ newly installed' "$shots/apt-$variant.log" || true)"
  say "[$variant] $(grep -E '^Need to get|^After this operation' "$shots/apt-$variant.log" | paste -sd ' ' - || true)"
  say "[$variant] largest: $(chroot "$root" dpkg-query -f '${Installed-Size} ${binary:Package}\n' -W |
    sort -rn | head -8 | awk '{ printf "%s%s %d MB", (NR > 1 ? ", " : ""), $2, $1 / 1024 }' || true)"
  # The root's size as installed: without apt's downloaded packages and lists.
  say "[$variant] packages: $before before, $after after; root: $(rootsize "$root") MB, minbase alone: $(cat "$shots/minbase-size-$variant" 2>/dev/null || echo '?') MB"
  local p state
  for p in xdg-utils file libfile-mimeinfo-perl qt6-translations-l10n gstreamer1.0-plugins-base xchm locales; do
    state="$(chroot "$root" dpkg-query -f '${Status}' -W "$p" 2>/dev/null || true)"
    [[ "$state" == *" installed" ]] && state=installed || state=absent
    say "[$variant]   $p: $state"
  done

  # The stand-in browser: logs what it is given, as the desktop's handler
  # for web addresses.
  mkdir -p "$root/usr/local/bin" "$root/usr/local/share/applications" "$root/root/Pictures" "$root/tmp/run"
  chmod 700 "$root/tmp/run"
  cat >"$root/usr/local/bin/logging-browser" <<'EOF'
#!/bin/sh
printf '%s\n' "$*" >> /tmp/browser.log
EOF
  chmod 755 "$root/usr/local/bin/logging-browser"
  cat >"$root/usr/local/share/applications/logging-browser.desktop" <<'EOF'
[Desktop Entry]
Type=Application
Name=Logging browser
Exec=logging-browser %u
MimeType=x-scheme-handler/http;x-scheme-handler/https;text/html;
EOF
  rm -f "$root/tmp/browser.log"
  if chroot "$root" env HOME=/root xdg-mime default logging-browser.desktop x-scheme-handler/http x-scheme-handler/https \
      2>/dev/null; then
    say "[$variant] stand-in browser: $(chroot "$root" env HOME=/root xdg-mime query default x-scheme-handler/https)"
  else
    say "[$variant] stand-in browser: not registered (no xdg-mime)"
  fi
  say "[$variant] help file type: $(chroot "$root" env HOME=/root xdg-mime query filetype /usr/share/daredazi/Daredazi.chm 2>&1 || true)"
  say "[$variant] handler for it: $(chroot "$root" env HOME=/root sh -c 'xdg-mime query default "$(xdg-mime query filetype /usr/share/daredazi/Daredazi.chm)"' 2>&1 || true)"

  # A picture with a position, so the viewer shows its map button.
  convert -size 640x480 xc:seagreen "$root/root/Pictures/photo.jpg"
  exiftool -q -overwrite_original -GPSLatitude=35.658 -GPSLatitudeRef=N -GPSLongitude=139.745 -GPSLongitudeRef=E \
    "$root/root/Pictures/photo.jpg"

  # The display, on this machine: the program in the root reaches it by its
  # abstract socket.
  local fifo="$root/tmp/displayfd"
  rm -f "$fifo"
  exec 7>"$fifo.txt"
  Xvfb -displayfd 7 -screen 0 1920x1080x24 -dpi 96 -nolisten tcp >/dev/null 2>&1 &
  local xvfb=$!
  local i display=""
  for i in $(seq 50); do [ -s "$fifo.txt" ] && break; sleep 0.1; done
  display=":$(head -1 "$fifo.txt")"
  exec 7>&-

  # Start it as the menu does.
  local entry="$root/usr/share/applications/org.daredazi.Daredazi.desktop"
  local exec_line path program
  exec_line="$(sed -n 's/^Exec=//p' "$entry")"
  path="$(sed -n 's/^Path=//p' "$entry")"
  program="${exec_line%% *}"
  say "[$variant] menu entry: Exec=$exec_line Path=$path"
  chroot "$root" env -i HOME=/root PATH=/usr/local/bin:/usr/bin:/bin DISPLAY="$display" XDG_RUNTIME_DIR=/tmp/run \
    QT_FONT_DPI=96 env -C "$path" "$program" /root/Pictures/photo.jpg >"$shots/program-$variant.log" 2>&1 &
  local pid=$!

  local viewer=""
  for i in $(seq 100); do
    viewer="$(findwindow "$display" '*/photo.jpg')"
    [ -n "$viewer" ] && break
    sleep 0.2
  done
  if [ -z "$viewer" ]; then
    say "[$variant] FAIL: no viewer window showing the picture"
  else
    say "[$variant] viewer: $(DISPLAY="$display" xdotool getwindowname "$viewer")"
    sleep 2
    DISPLAY="$display" import -window root "$shots/$variant-viewer.png"
    # The map button: left of the condition list, at the top right.
    local f=0.8
    px() { awk -v v="$1" -v f="$f" 'BEGIN { printf "%d", v * f + 0.5 }'; }
    DISPLAY="$display" xdotool mousemove $((1920 - $(px 280) - $(px 22) + $(px 11))) $(($(px 1) + $(px 11))) click 1
    sleep 3
    if [ -s "$root/tmp/browser.log" ]; then
      say "[$variant] map: the browser stand-in got $(cat "$root/tmp/browser.log")"
    else
      say "[$variant] map: nothing reached the browser stand-in"
    fi
    # Back to the folder window (a right click on the picture), then its
    # help button.
    DISPLAY="$display" xdotool mousemove 960 540 click 3
    local folder=""
    for i in $(seq 50); do
      folder="$(findwindow "$display" 'フォルダの選択')"
      [ -n "$folder" ] && break
      sleep 0.2
    done
    if [ -z "$folder" ]; then
      say "[$variant] FAIL: the folder window did not come back; windows: $(windownames "$display")"
      DISPLAY="$display" import -window root "$shots/$variant-no-folder.png"
    else
      local X Y WIDTH HEIGHT SCREEN WINDOW
      eval "$(DISPLAY="$display" xdotool getwindowgeometry --shell "$folder")"
      DISPLAY="$display" xdotool mousemove $((X + $(px 461))) $((Y + $(px 400))) click 1
      sleep 4
      DISPLAY="$display" import -window root "$shots/$variant-help.png"
      local windows
      windows="$(windownames "$display")"
      say "[$variant] windows after the help button: $windows"
      local started=""
      for p in /proc/[0-9]*; do
        [ "$(readlink "$p/root" 2>/dev/null)" = "$root" ] || continue
        started+="$(tr '\0' ' ' <"$p/cmdline" 2>/dev/null | cut -c1-80); "
      done
      say "[$variant] running in the root: $started"
      case "$windows" in
        *xCHM*|*xchm*) say "[$variant] help: opened in xchm (the desktop's handler)" ;;
        *「Daredazi」のヘルプ*) say "[$variant] help: opened in the program's own help window" ;;
        *) say "[$variant] help: FAIL, no help window" ;;
      esac
    fi
  fi

  # End what this run started in the root, by process id, then the display.
  for p in /proc/[0-9]*; do
    [ "$(readlink "$p/root" 2>/dev/null)" = "$root" ] && kill "${p#/proc/}" 2>/dev/null || true
  done
  sleep 1
  for p in /proc/[0-9]*; do
    [ "$(readlink "$p/root" 2>/dev/null)" = "$root" ] && kill -9 "${p#/proc/}" 2>/dev/null || true
  done
  wait "$pid" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  wait "$xvfb" 2>/dev/null || true
  rm -f "$fifo.txt"
  return 0
}

if [ "${1:-}" = --inside ]; then
  shift
  inside "$@"
  exit
fi

# ---------------------------------------------------------------------------
missing=()
[ "$(id -u)" = 0 ] || { say "needs root (mmdebstrap's root mode and chroot)"; exit 2; }
for tool in mmdebstrap:mmdebstrap Xvfb:xvfb xdotool:xdotool convert:imagemagick import:imagemagick \
            exiftool:libimage-exiftool-perl cpack:cmake; do
  command -v "${tool%%:*}" >/dev/null || missing+=("${tool#*:}")
done
if [ ${#missing[@]} -gt 0 ]; then
  say "missing: ${missing[*]} (apt-get install ${missing[*]})"
  exit 2
fi

work="$(mktemp -d /tmp/daredazi-clean.XXXXXX)"
cleanup() { [ "${KEEP:-0}" = 1 ] || rm -rf "$work"; }
trap cleanup EXIT
shots="$here/build/clean-install"
mkdir -p "$shots"

deb="${1:-}"
if [ -z "$deb" ]; then
  for tree in "$here/build/release" "$here/build/test"; do
    if [ -f "$tree/CPackConfig.cmake" ]; then
      cpack -G DEB -B "$work/deb" --config "$tree/CPackConfig.cmake" >"$work/cpack.log" 2>&1 ||
        { cat "$work/cpack.log"; exit 1; }
      deb="$(ls "$work"/deb/daredazi_*.deb)"
      break
    fi
  done
  [ -n "$deb" ] || { say "no build tree: run ./run or ./test first, or give the package"; exit 2; }
fi
deb="$(realpath "$deb")"
say "package: $(basename "$deb") ($(dpkg-deb -f "$deb" Version))"

# The mirror this machine's apt uses, for Debian 12's suites: one-line
# sources and deb822 ones.
mirrors=()
while read -r type uri suite components; do
  [ "$type" = deb ] || continue
  case "$suite" in bookworm|bookworm-updates|bookworm-security) mirrors+=("deb $uri $suite main") ;; esac
done < <(
  { cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null || true; } |
    sed -e 's/#.*//' -e 's/\[[^]]*\]//' | awk 'NF >= 3'
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk 'BEGIN { RS = ""; FS = "\n" }
      { types = uris = suites = ""; enabled = 1
        for (i = 1; i <= NF; i++) {
          line = $i; sub(/#.*/, "", line)
          if (line ~ /^Types:/) { sub(/^Types:[ \t]*/, "", line); types = line }
          else if (line ~ /^URIs:/) { sub(/^URIs:[ \t]*/, "", line); uris = line }
          else if (line ~ /^Suites:/) { sub(/^Suites:[ \t]*/, "", line); suites = line }
          else if (line ~ /^Enabled:[ \t]*no/) enabled = 0 }
        if (!enabled || types !~ /(^| )deb( |$)/) next
        n = split(uris, u, " "); m = split(suites, s, " ")
        for (a = 1; a <= n; a++) for (b = 1; b <= m; b++) print "deb", u[a], s[b], "main" }' "$f"
  done
)
if [ ${#mirrors[@]} -eq 0 ]; then
  say "no Debian 12 mirror in /etc/apt/sources.list*"
  exit 2
fi
printf 'mirror: %s\n' "${mirrors[@]}"

status=0
for variant in with-recommends without-recommends; do
  root="$work/root-$variant"
  rm -f "$shots/report-$variant.txt"
  say "[$variant] making a minbase root (mmdebstrap)"
  if ! mmdebstrap --mode=root --variant=minbase --quiet \
      --customize-hook="\"$self\" --inside \"\$1\" $variant \"$deb\" \"$shots\"" \
      bookworm "$root" "${mirrors[@]}" 2>"$work/mmdebstrap-$variant.log"; then
    if grep -qiE 'Could not resolve|Failed to fetch|Temporary failure|Connection failed|unable to connect' \
        "$work/mmdebstrap-$variant.log"; then
      say "[$variant] the mirror is unreachable:"
    else
      say "[$variant] mmdebstrap failed:"
    fi
    tail -15 "$work/mmdebstrap-$variant.log"
    status=1
  fi
  if [ -f "$shots/report-$variant.txt" ]; then
    cat "$shots/report-$variant.txt"
    grep -q 'FAIL' "$shots/report-$variant.txt" && status=1
  fi
done
say "screenshots and logs: $shots"
exit $status
