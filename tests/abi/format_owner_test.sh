#!/usr/bin/env bash
# The PCL XL numbers stand in src/pclxl/format.h and font data are read big-endian only through
# src/sfnt/bytes.h's ByteView and Cursor. Usage: format_owner_test.sh SOURCE_DIR [DIR...].
# Prints every line of tools/, tests/, bench/ and fuzz/ (or the DIRs given) that defines a PCL XL
# table of its own or assembles a big-endian value by hand.
set -u
cd "$1" || exit 2
shift
dirs=("$@")
[ ${#dirs[@]} -eq 0 ] && dirs=(tools tests bench fuzz)
# The protocol's names, as format.h's tables give them.
names=$(sed -nE 's/^ *X\(([A-Za-z0-9_]+), 0x[0-9A-F]+\).*/\1/p' src/pclxl/format.h | paste -sd'|')
[ -n "$names" ] || { echo "no names found in src/pclxl/format.h"; exit 2; }
byte='(0x[0-9A-Fa-f]{1,2}|[0-9]{1,3})'
patterns=(
  # {0x41, "BeginSession"}: a table of codes and names.
  "\\{ *$byte *, *\"($names)\""
  # kBeginSession = 0x41, TextData = 0xAB: a name given its number.
  "\\bk?($names) *= *$byte\\b"
  # A constant for a tag of the binding: data types, attribute ids, embedded data lengths.
  "\\bk[A-Za-z0-9_]* *= *0x(C[0-9A-Da-d]|D[0-5]|E[0-5]|F[89ABab])\\b"
  # (p[0] << 8) | p[1], b.at(i) << 8 | b.at(i + 1): the high byte first, assembled by hand.
  "<< *8 *\\)? *\\| *(static_cast<[^>]*>\\(|uint(8|16|32)_t\\{|size_t\\{|uint(16|32)_t\\()?[A-Za-z_][A-Za-z0-9_.>-]*(\\[|\\.at\\()"
)
status=0
for pattern in "${patterns[@]}"; do
  if grep -rnE --include='*.cpp' --include='*.h' --include='*.cc' "$pattern" "${dirs[@]}"; then
    status=1
  fi
done
# Big-endian helpers of their own (ReadU16, Be32, ReadBigEndian...) that shift bytes together
# themselves rather than read through the library's ByteView or Cursor.
helper='^[[:space:]]*(static[[:space:]]+|inline[[:space:]]+|constexpr[[:space:]]+)*[A-Za-z_][A-Za-z0-9_:<>]*[[:space:]]+((Read)?(Be|BE|BigEndian)[0-9]*(At)?|(Read)?[US](16|32)(At)?)[[:space:]]*\([[:space:]]*const\b'
while IFS= read -r hit; do
  file=${hit%%:*}
  rest=${hit#*:}
  line=${rest%%:*}
  body=$(sed -n "${line},$((line + 4))p" "$file")
  if grep -q '<<' <<<"$body" && ! grep -qE '\b(ByteView|Cursor)\b' <<<"$body"; then
    echo "$hit"
    status=1
  fi
done < <(grep -rnE --include='*.cpp' --include='*.h' --include='*.cc' "$helper" "${dirs[@]}")
if [ $status -eq 0 ]; then
  echo "no PCL XL table or big-endian reader outside src/ in: ${dirs[*]}"
else
  echo "take PCL XL numbers and names from src/pclxl/format.h, read streams with" \
    "src/pclxl/xlstream_reader.h and font data with src/sfnt/bytes.h"
fi
exit $status
