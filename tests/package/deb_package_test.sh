#!/usr/bin/env bash
# Builds the Debian package from the build tree and checks it as a user's
# machine would see it: the control fields, the file list, the menu entry
# and the AppStream file, and the installed program started the way the menu
# starts it, with a picture to open. Exit 77 (skipped) without dpkg-deb.
set -euo pipefail
build_dir="$1"
command -v dpkg-deb >/dev/null && command -v cpack >/dev/null || { echo "dpkg-deb or cpack missing"; exit 77; }

work="$(mktemp -d)"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

cpack -G DEB -B "$work/out" --config "$build_dir/CPackConfig.cmake" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack"; }
deb=("$work"/out/daredazi_*.deb)
[ -f "${deb[0]}" ] || fail "no package built"
echo "package: $(basename "${deb[0]}"), $(stat -c %s "${deb[0]}") bytes"

# Control fields.
field() { dpkg-deb -f "${deb[0]}" "$1"; }
[ "$(field Package)" = daredazi ] || fail "Package: $(field Package)"
[ "$(field Version)" = 1.50 ] || fail "Version: $(field Version)"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture"
[ "$(field Section)" = graphics ] || fail "Section"
depends="$(field Depends)"
echo "Depends: $depends"
# Computed from the binaries by dpkg-shlibdeps, plus what is loaded at run time.
for lib in libqt6widgets6 libqt6multimedia6 libqt6printsupport6 libjpeg62-turbo libpng16-16 libgif7 \
           libwmf-0.2-7 libemf2svg1 libuemf0 libstdc++6 libc6 qt6-qpa-plugins fonts-ipafont-gothic \
           libheif1 libwebp7 libjxl0.7 libraw20; do
  [[ "$depends" == *"$lib"* ]] || fail "Depends lacks $lib"
done
[[ "$depends" != *"-dev"* ]] || fail "Depends names a development package"
# Started or loaded at run time: the opener for the map, movies and help
# (with a way to tell a file's type), Qt's Japanese texts, the media back
# end's elements. The help viewer is only recommended: the program shows
# the help itself without one.
for pkg in xdg-utils "file | libfile-mimeinfo-perl" qt6-translations-l10n gstreamer1.0-plugins-base; do
  [[ ", $depends," == *", $pkg,"* ]] || fail "Depends lacks $pkg"
done
recommends="$(field Recommends)"
echo "Recommends: $recommends"
[[ "$recommends" == *xchm* && "$depends" != *xchm* ]] || fail "xchm should be recommended"

# Debian's own checks: no error and no warning; what else lintian says is
# shown.
if command -v lintian >/dev/null; then
  lintian --info --display-info --pedantic --fail-on error,warning "${deb[0]}" >"$work/lintian.log" 2>&1 ||
    { cat "$work/lintian.log"; fail "lintian"; }
  tags="$(grep -v 'running with root privileges' "$work/lintian.log" || true)"
  echo "lintian: ${tags:-no tags}"
  # Informational, but what the build promises: hardened, no version notes.
  ! grep -qE '^I: .*(hardening-|binary-has-unneeded-section)' "$work/lintian.log" || fail "lintian: hardening"
else
  echo "lintian missing: Debian's checks are not run"
fi

# The file list, exactly.
expected="/usr/bin/daredazi
/usr/bin/daredazi-info
/usr/lib/daredazi/modules/daredazi-formats.so
/usr/lib/daredazi/modules/daredazi-media.so
/usr/libexec/daredazi/daredazi-emf2svg
/usr/share/applications/org.daredazi.Daredazi.desktop
/usr/share/daredazi/Daredazi.chm
/usr/share/doc/daredazi/changelog.gz
/usr/share/doc/daredazi/copyright
/usr/share/icons/hicolor/128x128/apps/daredazi.png
/usr/share/icons/hicolor/256x256/apps/daredazi.png
/usr/share/icons/hicolor/48x48/apps/daredazi.png
/usr/share/icons/hicolor/scalable/apps/daredazi.svg
/usr/share/lintian/overrides/daredazi
/usr/share/man/ja/man1/daredazi-info.1.gz
/usr/share/man/ja/man1/daredazi.1.gz
/usr/share/man/man1/daredazi-info.1.gz
/usr/share/man/man1/daredazi.1.gz
/usr/share/metainfo/org.daredazi.Daredazi.metainfo.xml"
actual="$(dpkg-deb -c "${deb[0]}" | awk '$1 !~ /^d/ {sub(/^\./, "", $6); print $6}' | sort)"
[ "$actual" = "$expected" ] || fail "file list:"$'\n'"$actual"

root="$work/root"
dpkg-deb -x "${deb[0]}" "$root"

# The copyright file names the licence of every library the programs link
# (a library added to the build needs its entry, and its licence weighed
# against the GPL-2-only libraries already linked).
copyright="$root/usr/share/doc/daredazi/copyright"
grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' "$copyright" || fail "copyright: not machine-readable"
grep -q '^License: GPL-2+$' "$copyright" || fail "copyright: the program's licence"
grep -q '<project_license>GPL-2.0-or-later</project_license>' "$root/usr/share/metainfo/org.daredazi.Daredazi.metainfo.xml" ||
  fail "metainfo: project_license"
for program in "$root"/usr/bin/* "$root"/usr/lib/daredazi/modules/* "$root"/usr/libexec/daredazi/*; do
  for soname in $(objdump -p "$program" | awk '$1 == "NEEDED" {print $2}'); do
    path="$(ldconfig -p | awk -v l="$soname" '$1 == l && !seen++ {print $NF}')"
    [ -n "$path" ] || fail "$soname: not found"
    # Usr-merged: the package may own the library under either name.
    owner="$({ dpkg -S "$path" || dpkg -S "$(readlink -f "$path")"; } 2>/dev/null | head -1 | cut -d: -f1)" || true
    [ -n "$owner" ] || fail "$soname: no package owns $path"
    grep -qF -e "($owner," -e "($owner)" -e " $owner," -e " $owner)" "$copyright" || fail "copyright: $(basename "$program") links $soname of $owner, which it does not name"
  done
done

# The program's modules (the picture formats of the larger libraries, the
# media back end) are where it looks for them (its folder's
# ../lib/daredazi/modules), and load with every library they need.
for name in formats:daredazi_library_formats media:daredazi_media_module; do
  module="$root/usr/bin/../lib/daredazi/modules/daredazi-${name%%:*}.so"
  [ -f "$module" ] || fail "no module $(basename "$module") beside the program"
  python3 -c 'import ctypes, sys; getattr(ctypes.CDLL(sys.argv[1], mode=ctypes.RTLD_LOCAL), sys.argv[2])' \
    "$module" "${name#*:}" || fail "$(basename "$module") does not load"
done

# The GPL-2-only EMF converter stays out of the viewer, which links LGPL-3
# libraries.
for program in "$root"/usr/bin/* "$root"/usr/lib/daredazi/modules/*; do
  if objdump -p "$program" | awk '$1 == "NEEDED" {print $2}' | grep -qE '^lib(emf2svg|uemf)\.'; then
    fail "$(basename "$program") links libemf2svg or libUEMF"
  fi
done
objdump -p "$root/usr/libexec/daredazi/daredazi-emf2svg" | awk '$1 == "NEEDED" {print $2}' | grep -qE '^lib(heif|de265)\.' &&
  fail "daredazi-emf2svg links LGPL-3 libraries"

# The changelog and the manual pages are compressed reproducibly: no name,
# no time in the gzip header.
for gz in "$root"/usr/share/doc/daredazi/changelog.gz "$root"/usr/share/man/*/daredazi*.1.gz "$root"/usr/share/man/ja/man1/*.gz; do
  [ "$(od -An -tx1 -j3 -N5 "$gz" | tr -d ' ')" = 0000000000 ] || fail "$gz: gzip header keeps a name or time"
done
zcat "$root/usr/share/doc/daredazi/changelog.gz" | head -1 | grep -q '^daredazi (1\.50) ' || fail "changelog: first entry"
# Every page formats without a warning, and the Japanese ones are Japanese.
for page in "$root"/usr/share/man/man1/*.gz "$root"/usr/share/man/ja/man1/*.gz; do
  out="$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)" ||
    fail "$page: man"
  [ -z "$out" ] || fail "$page: $out"
done
zcat "$root/usr/share/man/ja/man1/daredazi.1.gz" | grep -q '^\.SH 名前' || fail "Japanese manual page"

# The icons are the sizes their folders say.
for size in 48 128 256; do
  png="$root/usr/share/icons/hicolor/${size}x${size}/apps/daredazi.png"
  dims="$(od -An -tu1 -j16 -N8 "$png" | awk '{print $3*256+$4 "x" $7*256+$8}')"
  [ "$dims" = "${size}x${size}" ] || fail "icon $size is $dims"
done

# The menu entry.
entry="$root/usr/share/applications/org.daredazi.Daredazi.desktop"
key() { sed -n "s/^$1=//p" "$entry"; }
[ "$(key Exec)" = "daredazi %f" ] || fail "Exec=$(key Exec)"
[ "$(key Path)" = /usr/share/daredazi ] || fail "Path=$(key Path)"
[ "$(key MimeType)" = "image/jpeg;image/bmp;image/wmf;image/emf;image/png;image/gif;image/vnd.microsoft.icon;image/heif;image/heic;image/avif;image/webp;image/jxl;image/x-canon-cr2;image/x-canon-cr3;image/x-nikon-nef;image/x-panasonic-rw2;image/x-adobe-dng;" ] ||
  fail "MimeType=$(key MimeType)"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$entry" || fail "desktop-file-validate"
fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$root/usr/share/metainfo/org.daredazi.Daredazi.metainfo.xml" >"$work/as.log" 2>&1 ||
    { cat "$work/as.log"; fail "appstreamcli validate"; }
fi
# The program looks for its help in the folder it starts in: the entry's Path.
[ -s "$root$(key Path)/Daredazi.chm" ] || fail "no help file in the entry's Path"

# cmake --install into a staging folder with another prefix: the entry
# follows the prefix, and the help is where it points.
DESTDIR="$work/stage" cmake --install "$build_dir" --prefix /opt/daredazi >"$work/install.log" 2>&1 ||
  { cat "$work/install.log"; fail "cmake --install"; }
staged="$work/stage/opt/daredazi/share/applications/org.daredazi.Daredazi.desktop"
[ "$(sed -n 's/^Path=//p' "$staged")" = /opt/daredazi/share/daredazi ] || fail "installed Path= $(sed -n 's/^Path=//p' "$staged")"
[ -s "$work/stage/opt/daredazi/share/daredazi/Daredazi.chm" ] || fail "no help file in the installed data folder"

# Start the installed program as the menu does (Exec in Path) with a picture,
# on a virtual display, and find the viewer showing that picture.
if ! command -v Xvfb >/dev/null || ! command -v xdotool >/dev/null; then
  echo "Xvfb or xdotool missing: the installed program is not started"
  exit 0
fi
mkdir -p "$work/pictures" "$work/run" "$work/home"
chmod 700 "$work/run"
# The package's own icon is a picture the viewer opens, under a Japanese
# name (the window search below stays ASCII: xdotool's patterns follow the
# locale, which may be C).
picture="$work/pictures/写真.png"
cp "$root/usr/share/icons/hicolor/256x256/apps/daredazi.png" "$picture"
exec 5>"$work/display"
Xvfb -displayfd 5 -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
display=":$(head -1 "$work/display")"
exec_line="$(key Exec)"
(
  cd "$root$(key Path)"
  export DISPLAY="$display" HOME="$work/home" XDG_RUNTIME_DIR="$work/run" QT_QPA_PLATFORM=xcb
  exec "$root/usr/bin/${exec_line%% *}" "$picture"
) >"$work/program.log" 2>&1 &
pids+=($!)
found=""
for _ in $(seq 100); do
  if found="$(DISPLAY="$display" xdotool search --onlyvisible --name 'pictures/.*\.png' 2>/dev/null)" && [ -n "$found" ]; then
    break
  fi
  kill -0 "${pids[1]}" 2>/dev/null || { cat "$work/program.log"; fail "the installed program ended"; }
  sleep 0.1
done
[ -n "$found" ] || { cat "$work/program.log"; DISPLAY="$display" xdotool search --name . getwindowname %@ 2>&1 | head; fail "no viewer window shows the picture"; }
echo "viewer: $(DISPLAY="$display" xdotool getwindowname "$(echo "$found" | head -1)")"
echo "PASS"
