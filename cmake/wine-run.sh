#!/usr/bin/env bash
# Runs a cross-built Windows program under Wine: CMAKE_CROSSCOMPILING_EMULATOR of the Windows
# build, so ctest (and test discovery) start test programs through it.
#
# WINEPREFIX is used when set (.ci/windows.sh sets a throwaway one); otherwise one prefix per user
# in the temporary folder is shared by the test programs, because making a prefix takes seconds
# and every test runs in its own process. The first program to find it missing makes it while
# holding a lock, so that parallel tests do not make it twice. TAVRFNDL_WINE names the Wine
# loader when it is not Debian's.
set -euo pipefail

wine=${TAVRFNDL_WINE:-}
if [ -z "$wine" ]; then
  for candidate in /usr/lib/wine/wine64 "$(command -v wine64 || true)" "$(command -v wine || true)"; do
    if [ -n "$candidate" ] && [ -x "$candidate" ]; then
      wine=$candidate
      break
    fi
  done
fi
if [ -z "$wine" ]; then
  echo "wine-run.sh: no Wine found (Debian package wine64)" >&2
  exit 127
fi

export WINEDEBUG=${WINEDEBUG:--all}
export WINEPREFIX=${WINEPREFIX:-${TMPDIR:-/tmp}/tavrfndl-wine-$(id -u)}
# No desktop integration or Mono/Gecko installers in a prefix that only runs console tests.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml,winemenubuilder.exe=}

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      "$wine" wineboot --init >/dev/null 2>&1 || true
    fi
  ) 9>"$WINEPREFIX/.init.lock"
fi

exec "$wine" "$@"
