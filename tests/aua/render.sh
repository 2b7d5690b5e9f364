#!/bin/bash
# zarn-tool render on the test issue: every screen compared pixel for pixel
# with its golden PNG, the printed page count and links checked, and the
# messages of a broken article reported with exit status 1.
# ZARN_UPDATE_GOLDEN=1 rewrites the goldens (look at them before committing).
set -u
source_dir=${ZARN_SOURCE_DIR:?}
tool=${ZARN_BINARY_DIR:?}/tools/zarn-tool
golden=$source_dir/tests/aua/golden
work=$(mktemp -d /tmp/zarn-render.XXXXXX)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

issue=$work/issue
cp -r "$source_dir/tests/aua/data/issue" "$issue"
dejavu=/usr/share/fonts/truetype/dejavu
cp $dejavu/DejaVuSans.ttf "$issue/verdana.TTF"
cp $dejavu/DejaVuSans-Bold.ttf "$issue/verdanaB.TTF"
cp $dejavu/DejaVuSans-Oblique.ttf "$issue/verdanaI.TTF"
cp $dejavu/DejaVuSans-BoldOblique.ttf "$issue/verdanaZ.TTF"

# name, then the render arguments
screens=(
  "menu|--time 09:05 --menu --select 1"
  "welcome-page0|--time 09:05 --topic 0"
  "welcome-page1|--time 09:05 --topic 0 --page 1"
  "second-page0|--time 23:59 --topic 0 --article 1"
  "layout-page0|--time 12:34 --topic 1"
)
for screen in "${screens[@]}"; do
  name=${screen%%|*}
  args=${screen#*|}
  # shellcheck disable=SC2086
  if ! "$tool" render -C "$issue" $args -o "$work/$name.png" > "$work/$name.out" 2> "$work/$name.err"; then
    fail "$name: render failed: $(cat "$work/$name.err")"
    continue
  fi
  if [ "${ZARN_UPDATE_GOLDEN:-0}" = 1 ]; then
    cp "$work/$name.png" "$golden/$name.png"
    continue
  fi
  differing=$(/usr/bin/compare -metric AE "$work/$name.png" "$golden/$name.png" null: 2>&1)
  [ "$differing" = 0 ] || fail "$name: $differing pixels differ from the golden"
done

# a relative output path names a file where the tool was started
(cd "$work" && "$tool" render -C issue --time 09:05 --menu -o relative.png > /dev/null) || fail "relative -o"
[ -f "$work/relative.png" ] || fail "relative -o wrote no file"

expected="pages 2
link 62 205 100 220 http://example.org/zarn
link 215 205 240 220 mailto:editor@example.org
link 100 205 144 220 http://example.org/zarn
link 144 205 183 220 http://example.org/zarn
link 240 205 278 220 mailto:editor@example.org"
[ "$(cat "$work/welcome-page0.out")" = "$expected" ] || fail "welcome links: $(cat "$work/welcome-page0.out")"
[ "$(cat "$work/welcome-page1.out")" = "pages 2" ] || fail "page 1 has no links"

# messages the reader would show in a box
printf '<font verdana>\r\n<br>Broken <blink> tag and <font nosuch>face.\r\n' > "$issue/colophon.txt"
if "$tool" render -C "$issue" --time 09:05 --topic 2 -o "$work/broken.png" > /dev/null 2> "$work/broken.err"; then
  fail "broken article gave exit status 0"
fi
grep -qF "*** AUA Exception: 'unknown tag 'blink'!'" "$work/broken.err" || fail "no unknown-tag message"
grep -qF "can't load font 'nosuch' (bold=0, italic=0, file='nosuch.TTF')!" "$work/broken.err" ||
  fail "no font message: $(cat "$work/broken.err")"
[ "$(grep -c 'unknown tag' "$work/broken.err")" = 1 ] || fail "a message printed more than once: $(cat "$work/broken.err")"

"$tool" render -C "$issue" --topic 0 --page 5 -o "$work/x.png" > /dev/null 2>&1 && fail "page out of range accepted"
"$tool" render -C "$issue" --menu --topic 0 -o "$work/x.png" > /dev/null 2>&1 && fail "--menu with --topic accepted"
"$tool" render -C "$issue" --menu > /dev/null 2>&1 && fail "missing -o accepted"
rm "$issue/_help2.jpg"
"$tool" render -C "$issue" --menu -o "$work/x.png" > /dev/null 2> "$work/pictures.err" && fail "missing picture accepted"
grep -qF -- "- bitmaps not loaded!" "$work/pictures.err" || fail "no bitmaps message"

if [ "$failures" -ne 0 ]; then
  echo "$failures failure(s)"
  exit 1
fi
echo "render: all screens match"
