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
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
CC=clang-14 CXX=clang++-14 cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DDAREDAZI_FUZZ=ON -DDAREDAZI_BENCH=OFF \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" >/dev/null
cmake --build "$build" --parallel 2 --target "$target"

work="$build/corpus/$target"
findings="$build/findings/$target"
mkdir -p "$work" "$findings"
if [ -d "$here/fuzz/corpus/$target" ]; then
  cp -n "$here/fuzz/corpus/$target"/* "$work"/ 2>/dev/null || true
fi
cd "$findings"
"$build/bin/$target" -max_total_time="$seconds" -print_final_stats=1 -timeout=10 -rss_limit_mb=2048 \
  -artifact_prefix="$findings/" "$@" "$work"
