#!/usr/bin/env bash
# zarn-tool export html: the demo issue as a web site that tidy finds valid,
# that headless Chromium reads (export_browser.py), with its music as an Ogg
# file as long as the module; links only to what the reader would open, with
# documents of the issue copied along; pictures as JPEG or (transparent) PNG;
# an earlier export replaced, anything else left alone; and nothing written
# for an issue the reader would stop on.
set -euo pipefail
tool="$ZARN_BINARY_DIR/tools/zarn-tool"
demo="$ZARN_BINARY_DIR/demo"
work=$(mktemp -d /tmp/zarn-export-XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

site="$work/site"
"$tool" export html -C "$demo" -o "$site" >"$work/export.out" || fail "export: $(cat "$work/export.out")"
cat "$work/export.out"
pages=$(ls "$site"/*.html | wc -l)
grep -q "^index.html and $((pages - 1)) article pages" "$work/export.out" || fail "page count: $pages files"
[ "$pages" -ge 10 ] || fail "only $pages pages"
for f in "$site"/*.html; do
  tidy -q -e -utf8 "$f" 2>"$work/tidy.txt" >/dev/null || fail "tidy on $(basename "$f"): $(cat "$work/tidy.txt")"
done

# The music decodes to the module's length within a second.
module=$(sed -n 's/^music\.ogg: .* (module \(.*\) s)$/\1/p' "$work/export.out")
[ -n "$module" ] || fail "no music line"
oggdec -Q -o "$work/music.wav" "$site/music.ogg" || fail "music.ogg does not decode"
python3 - "$work/music.wav" "$module" <<'PY' || fail "music length"
import sys, wave
with wave.open(sys.argv[1]) as w:
    seconds = w.getnframes() / w.getframerate()
    assert w.getnchannels() == 2, w.getnchannels()
module = float(sys.argv[2])
print("music.ogg decodes to %.2f s, the module lasts %.2f s" % (seconds, module))
assert module > 30 and abs(seconds - module) < 1
PY

python3 "$ZARN_SOURCE_DIR/tests/workshop/export_browser.py" "$site" || fail "browser"

# Links, documents and pictures in a new issue.
issue="$work/issue"
"$tool" new "$issue" >/dev/null
echo "notes of the editor" >"$issue/notes.txt"
echo "not ours" >"$work/outside.txt"
printf '<font verdana><link notes.txt>notes</link> <link javascript:alert(1)>script</link>\r\n<link file:///etc/passwd>file</link> <link %s>outside</link> <link mailto:ed@example.org>mail</link>\r\n' \
  "$work/outside.txt" >"$issue/links.txt"
printf 'writing links.txt Links\r\n' >>"$issue/zarn.cfg"
"$tool" export html -C "$issue" -o "$work/new-site" >"$work/new.out" || fail "export of a new issue: $(cat "$work/new.out")"
page="$work/new-site/links.html"
grep -q '<a href="files/notes.txt">' "$page" || fail "no link to the document"
cmp -s "$issue/notes.txt" "$work/new-site/files/notes.txt" || fail "the document was not copied"
grep -q '<a href="mailto:ed@example.org">' "$page" || fail "no mail link"
grep -q '<a href="https://example.org/">' "$work/new-site/welcome.html" || fail "no web link"
for target in javascript: file: outside.txt; do
  if grep -q "href=\"[^\"]*$target" "$page"; then fail "a link to $target"; fi
done
grep -q 'script' "$page" || fail "the words of a refused link are gone"
grep -qF "link target not exported (the reader would not open it): javascript:alert(1)" "$work/new.out" ||
  fail "refused link not reported"
# (The reader may refuse it itself, or the export because it lies outside the issue.)
grep -q "^link target not exported (.*): $work/outside.txt\$" "$work/new.out" ||
  fail "a document outside the issue not reported"
cmp -s "$issue/hills.jpg" "$work/new-site/pictures/hills.jpg" || fail "the JPEG was not copied as it is"
grep -q '<img class="inline" src="pictures/hills.jpg" alt="hills.jpg" width="180" height="110">' \
  "$work/new-site/welcome.html" || fail "picture element"
python3 - "$work/new-site/pictures/badge.png" <<'PY' || fail "the transparent picture has no alpha channel"
import struct, sys
data = open(sys.argv[1], "rb").read()
width, height, depth, colour = struct.unpack(">IIBB", data[16:26])
assert (width, height, depth, colour) == (72, 72, 8, 6), (width, height, depth, colour)
PY
grep -q '<title>issue</title>' "$work/new-site/index.html" || fail "the title from zarn.cfg"
if grep -q '<audio' "$work/new-site/index.html" || [ -e "$work/new-site/music.ogg" ]; then fail "music without a module"; fi

# A second export replaces the first; a directory that is not an export is not touched.
echo stale >"$site/stale.txt"
"$tool" export html -C "$issue" -o "$site" >/dev/null || fail "second export"
[ ! -e "$site/stale.txt" ] || fail "the earlier export was not replaced"
mkdir "$work/mine" && echo keep >"$work/mine/a.txt"
if "$tool" export html -C "$issue" -o "$work/mine" 2>/dev/null; then fail "a foreign directory was taken"; fi
[ "$(ls -A "$work/mine")" = a.txt ] || fail "the foreign directory was changed"

# The reader would stop on an unknown tag: nothing is written.
sed -i 's/<br><br><b>Bold<\/b>/<br><br><blink><b>Bold<\/b>/' "$issue/welcome.txt"
if "$tool" export html -C "$issue" -o "$work/broken" >/dev/null 2>"$work/broken.err"; then
  fail "a broken issue was exported"
fi
grep -qF "welcome.txt: page 1: Error: *** AUA Exception: 'unknown tag 'blink'!'" "$work/broken.err" ||
  fail "no message: $(cat "$work/broken.err")"
[ ! -e "$work/broken" ] || fail "a failed export left its directory"
if ls -A "$work" | grep -q '\.part'; then fail "a staging directory was left behind"; fi
echo "export: ok"
