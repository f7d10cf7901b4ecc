#!/usr/bin/env bash
# Runs the libFuzzer targets of the fuzz preset. See fuzz/README.md.
#
#   fuzz/run.sh TARGET SECONDS [LIBFUZZER_ARGS...]   fuzz one target (font, records, stream)
#   fuzz/run.sh all SECONDS [LIBFUZZER_ARGS...]      each target in turn, SECONDS each
#   fuzz/run.sh merge TARGET                         add what the working corpus covers beyond
#                                                    fuzz/corpus/TARGET to it, minimized, inputs
#                                                    cut to 4 KiB
#
# New inputs go to build/fuzz/work/TARGET (the committed corpus is only read), crashes to
# build/fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/fuzz
targets=(font records stream)

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp:print_suppressions=0}

binary() {
  local program="$build/fuzz/fuzz_$1"
  if [ ! -x "$program" ]; then
    echo "$program is missing: cmake --preset fuzz && cmake --build --preset fuzz" >&2
    exit 1
  fi
  echo "$program"
}

run() {
  local target=$1 seconds=$2
  shift 2
  local program
  program=$(binary "$target")
  local work="$build/work/$target"
  mkdir -p "$work" "$build/artifacts"
  local dict=()
  [ -f "fuzz/$target.dict" ] && dict=(-dict="fuzz/$target.dict")
  echo "== $target for ${seconds}s"
  "$program" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 -max_len=16384 \
    -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" "${dict[@]}" "$@" \
    "$work" "fuzz/corpus/$target"
}

case "${1:-}" in
  all)
    [ $# -ge 2 ] || { echo "usage: $0 all SECONDS [LIBFUZZER_ARGS...]" >&2; exit 2; }
    seconds=$2
    shift 2
    for target in "${targets[@]}"; do run "$target" "$seconds" "$@"; done
    ;;
  merge)
    [ $# -eq 2 ] || { echo "usage: $0 merge TARGET" >&2; exit 2; }
    program=$(binary "$2")
    mkdir -p "fuzz/corpus/$2"
    # Inputs are cut to 4 KiB on the way in: the committed corpora stay small, and what the long
    # inputs reach, shorter ones reach as well.
    "$program" -merge=1 -rss_limit_mb=4096 -max_len=4096 "fuzz/corpus/$2" "$build/work/$2"
    ;;
  font | records | stream)
    [ $# -ge 2 ] || { echo "usage: $0 TARGET SECONDS [LIBFUZZER_ARGS...]" >&2; exit 2; }
    run "$@"
    ;;
  *)
    sed -n '2,11p' "$0" >&2
    exit 2
    ;;
esac
