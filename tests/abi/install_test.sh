#!/usr/bin/env bash
# Installs the built library into a temporary prefix and builds a small C program against it,
# once through the CMake package and once through pkg-config, and runs both.
set -euo pipefail
build_dir=$1
source_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A staged install: the CUPS filter and PPD go to CUPS's own folders, outside the prefix.
stage=$work/stage
DESTDIR=$stage cmake --install "$build_dir" >/dev/null
prefix=$stage$(cmake -N -L "$build_dir" 2>/dev/null | sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p')
test -f "$prefix/include/tavrfndl.h"
so=$(find "$prefix" -name 'libtavrfndl.so.*' -type f | head -n 1)
test -n "$so"
libdir=$(dirname "$so")
# grep reads to the end (no -q): under pipefail, a grep that quits at the first match can make the
# writer die of SIGPIPE, and the pipeline then fails though the line was there.
readelf -d "$so" | grep 'SONAME.*libtavrfndl.so.0' >/dev/null

# A library built with AddressSanitizer needs its runtime loaded first in a program built
# without it.
if ldd "$so" | grep libasan >/dev/null; then
  export LD_PRELOAD=$(cc -print-file-name=libasan.so)
  export ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0"
fi

cmake -S "$source_dir/tests/abi/consumer" -B "$work/consumer" -G Ninja \
  -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/consumer" >/dev/null
LD_LIBRARY_PATH="$libdir" "$work/consumer/consumer"

pc_dir=$(dirname "$(find "$prefix" -name tavrfndl.pc | head -n 1)")
flags=$(PKG_CONFIG_PATH="$pc_dir" pkg-config --cflags --libs tavrfndl)
cc -std=c99 -Wall -Werror "$source_dir/tests/abi/consumer/main.c" $flags -o "$work/pc-consumer"
LD_LIBRARY_PATH="$libdir" "$work/pc-consumer"

# The header compiles without a word in every language version a driver may use.
strict="-pedantic -Wall -Wextra -Werror"
for std in c89 c99 c11; do
  cc -std=$std $strict $flags -c "$source_dir/tests/abi/consumer/main.c" -o "$work/$std.o"
done
for std in c++11 c++14 c++17 c++20; do
  c++ -std=$std $strict $flags -x c++ -c "$source_dir/tests/abi/consumer/main.c" -o "$work/$std.o"
done

# The installed programs find the library from where they are, with no LD_LIBRARY_PATH.
if [ -x "$prefix/bin/fndl" ]; then
  env -u LD_LIBRARY_PATH "$prefix/bin/fndl" --version | grep '^fndl [0-9]' >/dev/null
  env -u LD_LIBRARY_PATH "$prefix/bin/fndl" print -o "$work/sample.pxl" 2>/dev/null
  test -s "$work/sample.pxl"
  # Its manual page formats without a warning, and its bash completion completes.
  page=$(find "$stage" -path '*/man1/fndl.1' | head -n 1)
  # groff is no program of ours: the sanitizer preloaded for the sanitize build stays out of it.
  test -z "$(env -u LD_PRELOAD groff -man -Tutf8 -ww -z "$page" 2>&1)"
  completion=$(find "$stage" -path '*/completions/fndl' | head -n 1)
  test "$(env -u LD_PRELOAD bash -c 'source "$1"; COMP_WORDS=(fndl re); COMP_CWORD=1; _fndl; echo "${COMPREPLY[*]}"' \
    _ "$completion")" = render
fi
filter=$(find "$stage" -path '*/filter/texttopclxl-tavrfndl' | head -n 1)
if [ -n "$filter" ]; then
  test -n "$(find "$stage" -name tavrfndl-pclxl.ppd)"
  echo "Filter text" | env -u LD_LIBRARY_PATH "$filter" 1 user title 1 '' >"$work/filter.pxl" 2>/dev/null
  test -s "$work/filter.pxl"
fi
echo "install test passed"
