#!/usr/bin/env bash
# Installs the built library into a temporary prefix and builds a small C program against it,
# once through the CMake package and once through pkg-config, and runs both.
set -euo pipefail
build_dir=$1
source_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build_dir" --prefix "$work/prefix" >/dev/null
test -f "$work/prefix/include/tavrfndl.h"
so=$(find "$work/prefix" -name 'libtavrfndl.so.*' -type f | head -n 1)
test -n "$so"
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
  -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/consumer" >/dev/null
LD_LIBRARY_PATH="$work/prefix/lib" "$work/consumer/consumer"

pc_dir=$(dirname "$(find "$work/prefix" -name tavrfndl.pc | head -n 1)")
flags=$(PKG_CONFIG_PATH="$pc_dir" pkg-config --cflags --libs tavrfndl)
cc -std=c99 -Wall -Werror "$source_dir/tests/abi/consumer/main.c" $flags -o "$work/pc-consumer"
LD_LIBRARY_PATH="$work/prefix/lib" "$work/pc-consumer"

# The header compiles without a word in every language version a driver may use.
strict="-pedantic -Wall -Wextra -Werror"
for std in c89 c99 c11; do
  cc -std=$std $strict $flags -c "$source_dir/tests/abi/consumer/main.c" -o "$work/$std.o"
done
for std in c++11 c++14 c++17 c++20; do
  c++ -std=$std $strict $flags -x c++ -c "$source_dir/tests/abi/consumer/main.c" -o "$work/$std.o"
done
echo "install test passed"
