#!/usr/bin/env bash
# Installs the Debian packages this project needs that are not installed yet, from the lists in
# .ci/ (one package a line), and says which:
#   library  the library and the fndl tool: .ci/packages-library.txt (the default)
#   tests    also the test suite, the CUPS filter and its test: + .ci/packages-tests.txt
#   ci       everything .ci/run needs: every .ci/packages-*.txt
# apt-get runs as root, or through sudo for another user.
set -euo pipefail
cd "$(dirname "$0")/.."

mode=${1:-library}
case $mode in
  library) lists=(.ci/packages-library.txt) ;;
  tests) lists=(.ci/packages-library.txt .ci/packages-tests.txt) ;;
  ci) lists=(.ci/packages-*.txt) ;;
  *)
    echo "usage: $0 [library|tests|ci]" >&2
    exit 2
    ;;
esac

if ! command -v dpkg-query >/dev/null || ! command -v apt-get >/dev/null; then
  echo "setup-deps: not a Debian system; install the equivalents of ${lists[*]} by hand" >&2
  exit 1
fi

wanted=$(sed 's/#.*//' "${lists[@]}" | tr -s ' \t' '\n' | sed '/^$/d' | sort -u)
missing=()
for pkg in $wanted; do
  # grep reads to the end (no -q), so pipefail cannot see dpkg-query die of SIGPIPE.
  dpkg-query -W -f='${Status}\n' "$pkg" 2>/dev/null | grep 'install ok installed' >/dev/null ||
    missing+=("$pkg")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "setup-deps ($mode): the $(wc -w <<<"$wanted") packages needed are installed"
  exit 0
fi

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null; then
    echo "setup-deps: installing ${missing[*]} needs root or sudo" >&2
    exit 1
  fi
  as_root=(sudo)
fi
echo "setup-deps ($mode): installing ${missing[*]}"
# Another apt-get may hold the lock for a while: wait for it rather than fail.
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 update -qq
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 \
  install -y -qq --no-install-recommends "${missing[@]}"
