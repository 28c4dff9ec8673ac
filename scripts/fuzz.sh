#!/usr/bin/env bash
# Builds a libFuzzer target with AddressSanitizer and UndefinedBehaviorSanitizer
# (clang 14, build tree build/fuzz) and runs it for the given number of seconds
# over a scratch copy of its seed corpus, so the repository's corpus stays as
# committed. Findings are written to build/fuzz/findings/TARGET/.
#   scripts/fuzz.sh fuzz_jpeg_read 600 [more libFuzzer options, e.g. -max_len=512]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
target="${1:?usage: scripts/fuzz.sh TARGET SECONDS}"
seconds="${2:?usage: scripts/fuzz.sh TARGET SECONDS}"
shift 2
build="$here/build/fuzz"

# The whole tree is instrumented for coverage and checked by the
# sanitizers; only the target's own link adds the libFuzzer driver.
# FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION scales the decode limits down
# to a megapixel (src/imaging/decode_budget.h).
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
flags+=" -DFUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION"
# The picture libraries built the same way by scripts/fuzz_libs.sh, when
# they are there (FUZZ_LIBS=none: the system's, uninstrumented). The
# targets carry the prefix as RPATH (not RUNPATH), so the libraries Qt
# loads for itself (libpng, libjpeg) resolve to the same instrumented copies.
libs="${FUZZ_LIBS:-$here/build/fuzz-libs/prefix}"
link=""
extra=()
if [ "$libs" != none ] && [ -f "$libs/lib/libpng16.so" ]; then
  export PKG_CONFIG_PATH="$libs/lib/pkgconfig"  # libwmf-config asks pkg-config
  link="-Wl,--disable-new-dtags -Wl,-rpath,$libs/lib"
  extra+=(-DCMAKE_PREFIX_PATH="$libs")
else
  libs=none
fi
# Runs of several targets at once (one per core) share the build tree: one
# configures and builds at a time.
mkdir -p "$build"
exec 9>"$build/.build-lock"
flock 9
# A cache made against other libraries keeps their paths: start afresh.
if [ -f "$build/CMakeCache.txt" ] && ! grep -qx "DAREDAZI_FUZZ_LIBS:STRING=$libs" "$build/CMakeCache.txt"; then
  rm -rf "$build/CMakeCache.txt" "$build/CMakeFiles"
fi
CC=clang-14 CXX=clang++-14 cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DDAREDAZI_FUZZ=ON -DDAREDAZI_BENCH=OFF -DDAREDAZI_FUZZ_LIBS:STRING="$libs" "${extra[@]}" \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$link" >/dev/null
cmake --build "$build" --parallel 2 --target "$target"
flock -u 9
exec 9>&-

work="$build/corpus/$target"
findings="$build/findings/$target"
mkdir -p "$work" "$findings"
# The committed inputs, and for the picture decoders the seeds made from
# the sample pictures beside the repository.
seeds="$build/fuzz-seeds"
if [[ "$target" == *_decode ]] && [ ! -d "$seeds/$target" ] && [ -d "$here/../shared/testdata" ]; then
  python3 "$here/fuzz/make_decoder_seeds.py" "$seeds" "$here/../shared/testdata"
fi
for from in "$here/fuzz/corpus/$target" "$seeds/$target"; do
  if [ -d "$from" ]; then
    cp -n "$from"/* "$work"/ 2>/dev/null || true
  fi
done
# The picture libraries and Qt write their complaints about every broken
# input to stderr (gigabytes a run): the decoders' targets drop them, while
# libFuzzer's and the sanitizers' reports still come through.
case "$target" in *_decode) set -- -close_fd_mask=3 "$@" ;; esac
# With tens of thousands of features per input (libjpeg and libwmf fully
# instrumented), libFuzzer's entropic schedule spent 40% of the time on its
# own bookkeeping: the plain schedule runs 40% more inputs for the same
# coverage.
# The same held for the HEIF target (libheif, libde265 and dav1d): 47%;
# for the raw target (LibRaw), 15%.
case "$target" in fuzz_jpeg_decode|fuzz_wmf_decode|fuzz_heif_decode|fuzz_raw_decode) set -- -entropic=0 "$@" ;; esac
cd "$findings"
export LSAN_OPTIONS="suppressions=$here/fuzz/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
# An input that runs for over 2 s (a freeze in the plain build) is written
# out as a slow unit to look at; over 10 s it stops the run.
"$build/bin/$target" -max_total_time="$seconds" -print_final_stats=1 -timeout=10 -report_slow_units=2 -rss_limit_mb=2048 \
  -artifact_prefix="$findings/" "$@" "$work"
