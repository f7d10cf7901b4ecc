#!/usr/bin/env bash
# Replays every fuzz corpus (fuzz/corpus/<target>/) with the target's replay program, then runs
# the hostile-font tests, all under AddressSanitizer and UndefinedBehaviorSanitizer. .ci/run calls
# it after the sanitize tests, whose build it reuses (default build/sanitize). Nothing is fuzzed
# here: running libFuzzer for a time is fuzz/README.md's business, not CI's.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/sanitize}

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0

cmake --build "$build" --target tavrfndl_fuzz test_hostile

log=$(mktemp)
trap 'rm -f "$log"' EXIT
for corpus in fuzz/corpus/*/; do
  target=$(basename "$corpus")
  replay="$build/fuzz/replay_$target"
  if [ ! -x "$replay" ]; then
    echo "fuzz/corpus/$target has no replay program ($replay)" >&2
    exit 1
  fi
  # The program names each input before running it: on a failure the log ends with the culprit
  # and the sanitizer's report.
  if ! "$replay" "$corpus" 2> "$log"; then
    tail -n 80 "$log" >&2
    echo "replay of fuzz/corpus/$target failed" >&2
    exit 1
  fi
  echo "fuzz/corpus/$target: $(tail -n 1 "$log")"
done

ctest --test-dir "$build" -L hostile --output-on-failure -j 2
