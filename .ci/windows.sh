#!/usr/bin/env bash
# The Windows DLL: cross-build it with MinGW-w64 (preset "windows"), check that it exports
# exactly the six entry points and needs no DLL beyond Windows' own, then run the Windows tests
# under Wine. Packages: .ci/packages-windows.txt. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."

objdump=x86_64-w64-mingw32-objdump
dll=build/windows/src/Tavrfndl.dll

# A Wine prefix of its own, made on first use by cmake/wine-run.sh and removed at the end with
# the Wine server that ran it.
WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/tavrfndl-wine.XXXXXX")
export WINEPREFIX
export WINEDEBUG=-all
cleanup() {
  if [ -x /usr/lib/wine/wineserver ]; then
    /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
  elif command -v wineserver >/dev/null; then
    wineserver -k >/dev/null 2>&1 || true
  fi
  # The server's socket folder is named after the prefix's device and inode, in a folder of its
  # own under the temporary folder.
  local server
  server=$(printf 'server-%x-%x' "$(stat -c %d "$WINEPREFIX")" "$(stat -c %i "$WINEPREFIX")")
  for dir in "${TMPDIR:-/tmp}"/wine-*/; do
    if [ -d "$dir$server" ]; then
      rm -rf "${dir:?}$server"
      rmdir "$dir" 2>/dev/null || true
    fi
  done
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT

cmake --preset windows
cmake --build --preset windows

dump=$("$objdump" -p "$dll")
indent() { while IFS= read -r line; do echo "  $line"; done; }

exports=$(awk '/\[Ordinal\/Name Pointer\] Table/ { table = 1; next }
               table && /^[[:space:]]*\[/ { print $NF; next }
               table { exit }' <<<"$dump" | sort)
expected=$(printf '%s\n' FNDLFontDownloadA FNDLFontDownloadW FNDLGetCursor FNDLRemoveFontA \
  FNDLRemoveFontW FNDLSetCursor | sort)
echo "exports of $dll:"
indent <<<"$exports"
if [ "$exports" != "$expected" ]; then
  echo "error: $dll must export exactly the six entry points" >&2
  diff <(echo "$expected") <(echo "$exports") >&2 || true
  exit 1
fi

imports=$(awk '/DLL Name:/ { print $3 }' <<<"$dump" | sort -u)
echo "imports of $dll:"
indent <<<"$imports"
bad=0
for name in $imports; do
  case ${name,,} in
    kernel32.dll | gdi32.dll | user32.dll | msvcrt.dll | ucrtbase.dll | api-ms-win-crt-*.dll) ;;
    *)
      echo "error: $dll imports $name, which is no Windows system DLL" >&2
      bad=1
      ;;
  esac
done
[ "$bad" -eq 0 ]

ctest --preset windows
