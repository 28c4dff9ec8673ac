#!/usr/bin/env bash
# Runs fuzz targets in turn, one process at a time and at low priority, each
# until it has RUNS executions in total (default 10 million) or until the
# deadline (a `date` time, e.g. 15:55 or "tomorrow 02:30"). Executions add up
# over runs: build/fuzz/logs/TARGET.total keeps the sum, and each run starts
# from the corpus the earlier ones grew (build/fuzz/corpus/TARGET), so an
# interrupted campaign resumes where it stopped. Targets go in the order
# given (default: every fuzz/fuzz_*.cpp). A run that finds something stops
# there; the campaign goes on with the next target. Logs go to
# build/fuzz/logs/TARGET.log (appended); findings as with scripts/fuzz.sh.
# FUZZ_OPTIONS adds libFuzzer options to every run (e.g. -max_len=16384:
# mutations of a short head run the decoders' glue several times faster
# than whole photographs).
#   scripts/fuzz_all.sh DEADLINE [RUNS [TARGET...]]
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
deadline=$(date -d "${1:?usage: scripts/fuzz_all.sh DEADLINE [RUNS [TARGET...]]}" +%s)
runs="${2:-10000000}"
shift $(( $# >= 2 ? 2 : 1 ))
logs="$here/build/fuzz/logs"
mkdir -p "$logs"
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for src in "$here"/fuzz/fuzz_*.cpp; do
    targets+=("$(basename "$src" .cpp)")
  done
fi
for target in "${targets[@]}"; do
  total=$(cat "$logs/$target.total" 2>/dev/null || echo 0)
  left=$((runs - total))
  seconds=$((deadline - $(date +%s)))
  if [ "$left" -le 0 ]; then
    echo "$target: $total executions, done"
    continue
  fi
  [ "$seconds" -lt 30 ] && break
  echo "$target: $total executions so far, up to $left more in at most $seconds s"
  log="$logs/$target.log"
  echo "=== $(date -u '+%F %T') run of up to $left executions" >> "$log"
  start=$(wc -l < "$log")
  nice -n 10 "$here/scripts/fuzz.sh" "$target" "$seconds" -runs="$left" ${FUZZ_OPTIONS:-} >> "$log" 2>&1
  # The final statistics, or for a run that was killed (the machine went
  # down, the session ended) the count of its last status line.
  done_now=$(tail -n +"$start" "$log" | awk '
    /^stat::number_of_executed_units:/ {n = $2}
    /^#[0-9]+\t/ {m = substr($1, 2)}
    END {print (n != "" ? n : m) + 0}')
  echo $((total + done_now)) > "$logs/$target.total"
  echo "$target: +$done_now, $((total + done_now)) in total"
  # The libraries are built to report undefined behaviour and go on (a
  # fault of theirs, not ours, should not end the run): say what they
  # reported, each place once.
  tail -n +"$start" "$log" | grep -a ': runtime error: ' | awk -v t="$target" '
    { place = $1; n[place]++; if (!(place in first)) first[place] = $0 }
    END { for (p in n) printf "%s: %d report(s) at %s\n", t, n[p], first[p] }' | sort
done
