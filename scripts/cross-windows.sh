#!/usr/bin/env bash
# Cross-builds the Qt-free core for Windows with MinGW-w64 (the metadata
# reader, the text conversion, daredazi-info.exe and the metadata tests),
# runs the tests under Wine and checks that daredazi-info.exe prints, byte
# for byte, what the Linux build prints for every picture file with Exif of
# the sample pictures and for a picture in a folder with a Japanese name.
#
#   scripts/cross-windows.sh [BUILD_DIR [LINUX_DAREDAZI_INFO]]
#
# Without LINUX_DAREDAZI_INFO the Linux side is built from the same core.
# Exits 77 (skipped) when the cross compiler or Wine is not installed.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# Absolute, as the comparison runs the programs from the pictures' folder.
build="$(realpath -m "${1:-$here/build/windows}")"
linux_info="${2:+$(realpath -m "$2")}"
testdata=""
[ -d "$here/../shared/testdata" ] && testdata="$(cd "$here/../shared/testdata" && pwd)"

command -v x86_64-w64-mingw32-g++-posix >/dev/null || { echo "skipped: g++-mingw-w64-x86-64-posix is not installed"; exit 77; }
wine="$(command -v wine64 || command -v wine || true)"
[ -n "$wine" ] || { echo "skipped: wine64 is not installed"; exit 77; }

# Build logs, and a Wine prefix of our own, removed at the end.
work="$(mktemp -d)"
cleanup() {
  command -v wineserver >/dev/null && WINEPREFIX="$work/wine" wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
quiet() { "$@" >>"$work/build.log" 2>&1 || { cat "$work/build.log"; echo "FAIL: $*"; exit 1; }; }

launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=("-DCMAKE_CXX_COMPILER_LAUNCHER=ccache" "-DCMAKE_C_COMPILER_LAUNCHER=ccache")
fi
jobs="$(nproc)"

# Wine sees the root folder as drive Z:.
quiet cmake -S "$here" -B "$build/mingw" -DDAREDAZI_CORE_ONLY=ON -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" \
  -DDAREDAZI_TESTDATA_DIR="Z:${testdata:-/nonexistent}" "${launcher[@]}"
quiet cmake --build "$build/mingw" --parallel "$jobs"
if [ -z "$linux_info" ]; then
  quiet cmake -S "$here" -B "$build/linux" -DDAREDAZI_CORE_ONLY=ON -DDAREDAZI_TESTS=OFF -DCMAKE_BUILD_TYPE=Release \
    "${launcher[@]}"
  quiet cmake --build "$build/linux" --parallel "$jobs" --target daredazi-info
  linux_info="$build/linux/bin/daredazi-info"
fi

# UTF-8, so that Japanese arguments reach the program intact.
export WINEPREFIX="$work/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8
windows_info="$build/mingw/bin/daredazi-info.exe"

echo "== metadata tests under Wine"
"$wine" "$build/mingw/bin/test_metadata.exe" --gtest_brief=1 >"$work/tests.log" 2>&1 || { cat "$work/tests.log"; echo "FAIL: metadata tests under Wine"; exit 1; }
tail -n 3 "$work/tests.log"

# Runs both programs over the same relative names from the same folder and
# compares standard output, standard error and exit status.
compare() {
  local dir="$1"; shift
  local lrc=0 wrc=0
  (cd "$dir" && "$linux_info" "$@") >"$work/linux.out" 2>"$work/linux.err" || lrc=$?
  (cd "$dir" && "$wine" "$windows_info" "$@") >"$work/windows.out" 2>"$work/windows.err" || wrc=$?
  # Wine now and then fails to start a program at all (no output, exit 1,
  # seen under load); that says nothing of the program, so it gets one more go.
  if [ "$wrc" != 0 ] && [ ! -s "$work/windows.out" ] && [ "$lrc" = 0 ]; then
    sleep 1
    wrc=0
    (cd "$dir" && "$wine" "$windows_info" "$@") >"$work/windows.out" 2>"$work/windows.err" || wrc=$?
  fi
  if ! cmp -s "$work/linux.out" "$work/windows.out" || ! cmp -s "$work/linux.err" "$work/windows.err" || [ "$lrc" != "$wrc" ]; then
    diff "$work/linux.out" "$work/windows.out" | head -20 || true
    diff "$work/linux.err" "$work/windows.err" | head -5 || true
    echo "FAIL: daredazi-info differs in $dir (exit $lrc and $wrc)"
    exit 1
  fi
}

if [ -z "$testdata" ]; then
  echo "sample pictures not available: output not compared"
  exit 0
fi

echo "== daredazi-info.exe against the Linux build"
compared=0
while IFS= read -r -d '' folder; do
  mapfile -d '' found < <(cd "$testdata" && find "${folder#"$testdata"/}" -maxdepth 1 -type f \( \
    -iname '*.jpg' -o -iname '*.jpeg' -o -iname '*.heic' -o -iname '*.heif' -o -iname '*.avif' -o -iname '*.webp' \
    -o -iname '*.jxl' -o -iname '*.cr2' -o -iname '*.cr3' -o -iname '*.nef' -o -iname '*.rw2' -o -iname '*.dng' \) \
    -print0 | LC_ALL=C sort -z)
  # A JPEG XL file whose Exif box is Brotli-compressed ("brob" holding
  # "Exif") is left out: the Windows core has no Brotli decoder, so its
  # Exif is absent there.
  files=()
  for f in "${found[@]}"; do
    grep -q 'brobExif' "$testdata/$f" || files+=("$f")
  done
  [ "${#files[@]}" -gt 0 ] || continue
  compare "$testdata" "${files[@]}"
  compared=$((compared + ${#files[@]}))
done < <(find "$testdata" -type d -print0)
echo "identical output for $compared picture files"

# A picture in a folder with a Japanese name, named in UTF-16 on Windows.
sample="$(cd "$testdata" && find . -path ./broken -prune -o -type f -iname '*.jpg' -print | LC_ALL=C sort | head -1)"
mkdir -p "$work/pictures/写真"
cp "$testdata/$sample" "$work/pictures/写真/撮影.jpg"
compare "$work/pictures" "写真/撮影.jpg"
grep -q '^line: ' "$work/windows.out" || { echo "FAIL: no lines for 写真/撮影.jpg"; exit 1; }
echo "identical output for 写真/撮影.jpg"
echo "PASS"
