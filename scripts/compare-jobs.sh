#!/usr/bin/env bash
# Prints the same jobs with two builds of fndl and compares them byte for byte: a change meant to
# leave the output alone is checked against the build before it. Usage:
#   scripts/compare-jobs.sh OLD_FNDL NEW_FNDL
# Needs the fonts of the tests (.ci/packages-tests.txt) and Nimbus Sans (fonts-urw-base35).
# Exits 1 when any job differs or one build fails where the other does not.
set -u
old=$1
new=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf '日本語のテキスト、漢字とかな。\n中文文本测试，全角标点。\nMixed 日本 text ＡＢＣ\n' > "$work/cjk.txt"
printf 'The quick brown fox jumps over the lazy dog. Ærø Ünïcødé €100 «quotes» — dash.\nfi fl 0123456789.\n' > "$work/latin.txt"
gpl=/usr/share/common-licenses/GPL-3
status=0

compare() {
  local name=$1
  shift
  "$old" print "$@" -o "$work/$name.old.pxl" > /dev/null 2>&1
  local a=$?
  "$new" print "$@" -o "$work/$name.new.pxl" > /dev/null 2>&1
  local b=$?
  if [ "$a" != "$b" ]; then
    echo "differ: $name (exit $a against $b)"
    status=1
  elif [ "$a" != 0 ] || ! cmp -s "$work/$name.old.pxl" "$work/$name.new.pxl"; then
    echo "differ: $name"
    status=1
  else
    echo "same: $name ($(stat -c %s "$work/$name.new.pxl") bytes)"
  fi
}

compare sample
compare sample-file-mode --face /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf --file-mode
compare sample-letter-italic --page letter --italic
compare sample-legal-underlined --page legal --underline --size 9
compare gpl3 "$gpl"
compare gpl3-serif-bold-underlined "$gpl" --face "Liberation Serif" --bold --underline
compare cjk-ipagothic "$work/cjk.txt" --face IPAGothic
compare cjk-wenquanyi "$work/cjk.txt" --face "WenQuanYi Micro Hei"
compare nimbus-sans "$work/latin.txt" --face "Nimbus Sans"
compare nimbus-sans-italic "$work/latin.txt" --face "Nimbus Sans" --italic --size 20
exit $status
