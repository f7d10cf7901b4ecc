#!/usr/bin/env bash
# The library's modules form a stack: each includes only modules below it (and the public
# header). Usage: layering_test.sh SOURCE_DIR. Prints every include that points up or sideways.
set -u
cd "$1/src" || exit 2
stack=(unicode sfnt outline platform pclxl truetype fontlist softfont pagetext entry)
status=0
for ((i = 0; i < ${#stack[@]}; i++)); do
  module=${stack[i]}
  allowed="^(${module}$(for ((j = 0; j < i; j++)); do printf '|%s' "${stack[j]}"; done))/"
  while IFS= read -r line; do
    file=${line%%:*}
    target=$(sed -E 's/.*#include "([^"]+)".*/\1/' <<<"$line")
    [[ $target == tavrfndl.h ]] && continue
    if ! [[ $target =~ $allowed ]]; then
      echo "$file includes $target, which is not below $module"
      status=1
    fi
  done < <(grep -rn '#include "' "$module")
done
[ $status -eq 0 ] && echo "include graph: ${stack[*]} (each includes only those before it)"
exit $status
