#!/usr/bin/env bash
# Start-up of the fndl tool: a one-line `fndl print` by family name beside `fc-match` for the same
# family, which loads fontconfig's configuration and caches once and asks one question. Each
# repetition runs every program once, in turn, so that all of them meet the same machine state;
# the medians are printed with each program's ratio to fc-match.
#
# Usage: bench/startup.sh FNDL [FNDL...]   (e.g. build/release/tools/fndl and an older build)
# Environment: FAMILY (default "DejaVu Sans"), RUNS (default 41).
set -euo pipefail
if [ $# -eq 0 ]; then
  echo "usage: $0 FNDL [FNDL...]" >&2
  exit 2
fi
family=${FAMILY:-DejaVu Sans}
runs=${RUNS:-41}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo "Hello, world." >"$work/line.txt"

# Milliseconds (three decimals) that one run of the command takes; its output is discarded.
elapsed() {
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null 2>&1 || {
    echo "failed: $*" >&2
    exit 1
  }
  end=$(date +%s%N)
  echo $(((end - start) / 1000))
}

median() {
  sort -n "$1" | awk '{ v[NR] = $1 } END { printf "%.2f", v[int((NR + 1) / 2)] / 1000 }'
}

# One warm-up round: the first run of each reads the files from disk.
fc-match "$family" >/dev/null
for fndl in "$@"; do "$fndl" print --face "$family" -o "$work/job.pxl" "$work/line.txt"; done

for ((r = 0; r < runs; r++)); do
  elapsed fc-match "$family" >>"$work/fc-match"
  for i in $(seq $#); do
    elapsed "${!i}" print --face "$family" -o "$work/job.pxl" "$work/line.txt" >>"$work/fndl$i"
  done
done

reference=$(median "$work/fc-match")
printf '%-50s %8s ms\n' "fc-match \"$family\"" "$reference"
for i in $(seq $#); do
  m=$(median "$work/fndl$i")
  printf '%-50s %8s ms  %.2fx\n' "${!i} print" "$m" "$(awk -v a="$m" -v b="$reference" 'BEGIN { print a / b }')"
done
echo "medians of $runs interleaved runs, family \"$family\", $(fc-list | wc -l) fonts installed"
