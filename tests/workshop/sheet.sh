#!/usr/bin/env bash
# zarn-tool sheet on the demo issue: one tile for the menu and one for every
# page of every article (counted here with zarn-tool render), the picture
# equal to its golden, and a page the reader cannot show drawn as a red tile
# with its message. ZARN_UPDATE_GOLDEN=1 rewrites the golden (look at it
# before committing).
set -euo pipefail
tool="$ZARN_BINARY_DIR/tools/zarn-tool"
demo="$ZARN_BINARY_DIR/demo"
golden="$ZARN_SOURCE_DIR/tests/workshop/golden/demo-sheet.png"
convert=/usr/bin/convert
work=$(mktemp -d /tmp/zarn-sheet-XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

"$tool" sheet -C "$demo" --time 12:00 -o "$work/sheet.png" >"$work/sheet.out" || fail "sheet: $(cat "$work/sheet.out")"

# The pages of every article, as render counts them.
expected=1
for ((t = 0; ; t++)); do
  "$tool" render -C "$demo" --topic $t -o "$work/x.png" >/dev/null 2>&1 || break
  for ((a = 0; ; a++)); do
    out=$("$tool" render -C "$demo" --topic $t --article $a -o "$work/x.png" 2>&1) || break
    expected=$((expected + $(sed -n 's/^pages //p' <<<"$out")))
  done
done
[ "$expected" -gt 10 ] || fail "only $expected screens counted"
grep -qx "tiles $expected, failed 0" "$work/sheet.out" || fail "expected $expected tiles: $(tail -1 "$work/sheet.out")"
[ "$(grep -c '^[0-9]* ' "$work/sheet.out")" = "$expected" ] || fail "tile lines do not match the count"

# Four columns of 170 pixels and rows of 160, a 10-pixel margin.
rows=$(( (expected + 3) / 4 ))
[ "$("$convert" "$work/sheet.png" -format '%wx%h' info:)" = "690x$((10 + rows * 160))" ] || fail "sheet size"

if [ "${ZARN_UPDATE_GOLDEN:-0}" = 1 ]; then
  cp "$work/sheet.png" "$golden"
else
  differing=$(/usr/bin/compare -metric AE "$work/sheet.png" "$golden" null: 2>&1) || true
  [ "$differing" = 0 ] || fail "$differing pixels differ from the golden"
fi

# A page with an unknown tag: the reader would stop there.
broken="$work/broken"
cp -r "$demo" "$broken"
"$tool" extract "$demo/zarn.dat" -C "$broken" tags.txt
sed -i '0,/<newpage>/s//<newpage><blink>/' "$broken/tags.txt"
if "$tool" sheet -C "$broken" --time 12:00 -o "$work/broken.png" >"$work/broken.out" 2>"$work/broken.err"; then
  fail "a broken page gave exit status 0"
fi
grep -qF "tags.txt: Error: *** AUA Exception: 'unknown tag 'blink'!'" "$work/broken.err" ||
  fail "no message: $(cat "$work/broken.err")"
grep -qx "tiles $expected, failed 1" "$work/broken.out" || fail "broken: $(tail -1 "$work/broken.out")"
line=$(grep 'tags.txt, page 2/3 (failed)$' "$work/broken.out") || fail "the failed tile is not page 2 of tags.txt"
# Its tile is red below the message; the page before it is not.
pixel() {
  local n=$1 x y
  x=$(( 10 + (n - 1) % 4 * 170 + 150 )) y=$(( 10 + (n - 1) / 4 * 160 + 110 ))
  "$convert" "$work/broken.png" -format "%[hex:p{$x,$y}]" info:
}
n=${line%% *}
[ "$(pixel "$n")" = B01818 ] || fail "tile $n is not red: $(pixel "$n")"
[ "$(pixel $((n - 1)))" != B01818 ] || fail "tile $((n - 1)) is red too"

if "$tool" sheet -C "$demo" 2>/dev/null; then fail "no -o accepted"; fi
echo "sheet: ok"
