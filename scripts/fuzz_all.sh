#!/usr/bin/env bash
# Runs every fuzz target in turn, one process at a time and at low priority,
# sharing the time until a deadline (a `date` time, e.g. 15:55) evenly among
# the targets still to run; each stops early at RUNS executions. Logs go to
# build/fuzz/logs/TARGET.log; findings as with scripts/fuzz.sh.
#   scripts/fuzz_all.sh 15:55 [RUNS]
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
deadline=$(date -d "${1:?usage: scripts/fuzz_all.sh DEADLINE [RUNS]}" +%s)
runs="${2:-10000000}"
mkdir -p "$here/build/fuzz/logs"
targets=()
for src in "$here"/fuzz/fuzz_*.cpp; do
  targets+=("$(basename "$src" .cpp)")
done
left=${#targets[@]}
for target in "${targets[@]}"; do
  now=$(date +%s)
  seconds=$(( (deadline - now) / left ))
  left=$((left - 1))
  [ "$seconds" -lt 30 ] && break
  extra=()
  # The metafile and icon paths keep fontconfig's caches for the whole run
  # (see metafile_decoder.cpp): not leaks of an input.
  case "$target" in fuzz_emf_decode|fuzz_wmf_decode|fuzz_ico_decode) extra+=(-detect_leaks=0) ;; esac
  nice -n 10 "$here/scripts/fuzz.sh" "$target" "$seconds" -runs="$runs" "${extra[@]}" \
    > "$here/build/fuzz/logs/$target.log" 2>&1
done
