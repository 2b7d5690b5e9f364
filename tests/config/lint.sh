#!/usr/bin/env bash
# zarn-tool lint on issues made here, each with one fault: every problem is
# printed once, as FILE:LINE:COLUMN (or FILE:) with its severity, in a stable
# order, followed by the summary; the exit status is 1 for an error (and for a
# warning with --strict); nothing reaches standard error.
set -euo pipefail
tool="$ZARN_BINARY_DIR/tools/zarn-tool"
demo="$ZARN_BINARY_DIR/demo"
convert=/usr/bin/convert
work=$(mktemp -d /tmp/zarn-lint-XXXXXX)
trap 'rm -rf "$work"' EXIT

fail() { echo "FAIL: $*"; exit 1; }
crlf() { printf '%s\r\n' "$@"; }

# The base issue: the demo's pictures, effects, 3D files, fonts and music, all
# loose, with a zarn.cfg and two short articles of our own.
base="$work/base"
"$tool" extract "$demo/zarn.dat" -C "$base" _full.jpg _help1.jpg _help2.jpg _topbar.jpg _clkfont.bmp \
  article.wav page.wav back.wav ball.v3d ball.bmp standard.bmp lens.bmp zs_mask.bmp hell2.bmp >/dev/null
cp "$demo"/*.TTF "$demo"/*.xm "$base/"
write_config() {
  crlf "topic one First" "one keys.txt Keys~sub" "one setup.txt Setup" "!music main finalman-quickie.xm" \
       "!sound article article.wav" "!sound page page.wav" "!sound back back.wav" >"$1/zarn.cfg"
}
write_config "$base"
printf '<font verdana>Hello world.' >"$base/keys.txt"
printf '<font georgia>A second article.' >"$base/setup.txt"

# fresh: a copy of the base to spoil.
issue="$work/issue"
fresh() { rm -rf "$issue"; cp -a "$base" "$issue"; }

# lint_is NAME STATUS EXPECTED [ARGS...]: the report's problem lines must be
# EXPECTED exactly (one line each), its last line the summary of their counts.
lint_is() {
  local name=$1 status=$2 expected=$3
  shift 3
  local out got
  set +e
  out=$(cd "$issue" && "$tool" lint "$@" 2>"$work/stderr")
  got=$?
  set -e
  [ ! -s "$work/stderr" ] || fail "$name: standard error: $(cat "$work/stderr")"
  [ "$got" = "$status" ] || fail "$name: exit $got, not $status, with:"$'\n'"$out"
  local problems summary errors warnings
  problems=$(sed '$d' <<<"$out")
  summary=$(tail -n 1 <<<"$out")
  [ "$problems" = "$expected" ] || fail "$name: the report is"$'\n'"$out"$'\n'"and not"$'\n'"$expected"
  errors=$(grep -c ': error: ' <<<"$problems" || true)
  warnings=$(grep -c ': warning: ' <<<"$problems" || true)
  [[ "$summary" =~ ^$errors\ errors?,\ $warnings\ warnings?\ in\ [0-9]+\ files?$ ]] ||
    fail "$name: summary '$summary' for $errors errors and $warnings warnings"
  echo "ok: $name"
}

fresh
lint_is "clean issue" 0 ""

# [Articles] errors are the layout engine's messages, at the tag or word.
fresh
crlf '<font verdana>First line' 'Second <blink>line' >"$issue/keys.txt"
lint_is "unknown tag" 1 "keys.txt:2:8: error: unknown tag 'blink'!"

fresh
printf '<font verdana>Text <b and more' >"$issue/keys.txt"
lint_is "tag not closed" 1 "keys.txt:1:20: error: tag not closed!"

fresh
printf '<font verdana>A <image none.jpg> B' >"$issue/keys.txt"
lint_is "missing picture" 1 "keys.txt:1:17: error: Image: file 'none.jpg' not found!"

# A missing font is asked for again at every style change and line: each
# font file is one problem, at the first tag that asks for it.
fresh
crlf '<font verdana>A <font nofont>B <b>C</b> D' 'E <b>F</b>' >"$issue/keys.txt"
lint_is "missing font" 1 "keys.txt:1:17: error: can't load font 'nofont' (bold=0, italic=0, file='nofont.TTF')!
keys.txt:1:32: error: can't load font 'nofont' (bold=1, italic=0, file='nofontB.TTF')!"

fresh
printf '<font verdana>Hi\r\n%s end' "$(printf 'W%.0s' $(seq 100))" >"$issue/keys.txt"
lint_is "word too long" 1 "keys.txt:2:1: error: Word too long!"

fresh
printf '<font verdana><link https://a.org/>open\r\n' >"$issue/keys.txt"
lint_is "link still open" 1 "keys.txt:1:40: error: a <link> is still open at the end of the article: the next <link> the reader meets, in any article, stops it with \"Unfinished link!\""

fresh
printf '<font verdana>See <link run.sh>this</link> and <link notes.txt>that</link>.' >"$issue/keys.txt"
printf 'notes\n' >"$issue/notes.txt"
lint_is "refused link" 0 "keys.txt:1:19: warning: link target 'run.sh' is refused by the reader: it opens web and mail addresses and documents of the issue only"

fresh
printf '<font verdana><b>bold <i>italic <ul>under\r\n\r\n' >"$issue/keys.txt"
# Each at the tag that turned it on.
lint_is "styles still on" 0 "keys.txt:1:15: warning: bold is still on at the end of the article: <b> without </b>
keys.txt:1:23: warning: italic is still on at the end of the article: <i> without </i>
keys.txt:1:33: warning: underline is still on at the end of the article: <ul> without </ul>"
# Closed and turned on again: the tag that turned it on last; a tag that
# finds it on already, on a later page, does not move it.
printf '<font verdana><b>One</b> two <bold on>three<newpage>four <b>five' >"$issue/keys.txt"
lint_is "bold turned on again" 0 "keys.txt:1:30: warning: bold is still on at the end of the article: <b> without </b>"

# [Articles] text no page shows.
fresh
{
  printf '<font verdana>'
  for i in $(seq 52); do printf 'Page %d<newpage>' "$i"; done
  printf '\r\n'
} >"$issue/keys.txt"
lint_is "beyond the 50th page" 0 "keys.txt:1:806: warning: text after the 50th page start is never shown: an article has at most 50 pages"

fresh
printf '<font verdana>A<newpage >B<newpage>C' >"$issue/keys.txt"
lint_is "inexact page break" 0 "keys.txt:1:26: warning: text after the end of page 1 is never shown: only a tag of exactly <newpage> starts a page"

fresh
{ printf '<font verdana>'; for i in $(seq 600); do printf 'word '; done; printf '<newpage>Next.'; } >"$issue/keys.txt"
lint_is "page full" 0 "keys.txt:1:2180: warning: page 1 is full: the text from here to the next page is never shown"

fresh
"$convert" -size 700x10 xc:red -type truecolor "BMP3:$issue/big.bmp"
printf '<font verdana>A <image big.bmp> B' >"$issue/keys.txt"
lint_is "large picture" 0 "keys.txt:1:17: warning: picture 'big.bmp' is 700x10, larger than the text area (600x350)"
# The missing font is asked for again where the picture flushes the line.
printf '<font verdana>A <font nofont>B <image big.bmp> C' >"$issue/keys.txt"
lint_is "large picture after a missing font" 1 "keys.txt:1:17: error: can't load font 'nofont' (bold=0, italic=0, file='nofont.TTF')!
keys.txt:1:32: warning: picture 'big.bmp' is 700x10, larger than the text area (600x350)"

# [zarn.cfg] positions are the entry's words.
fresh
rm "$issue/zarn.cfg"
lint_is "no zarn.cfg" 1 "zarn.cfg: error: not found: the reader stops with \"- config not loaded!\""

fresh
crlf "topic one First" "topic two Second" "one keys.txt Keys" "one  absent.txt Gone" "!music main finalman-quickie.xm" \
     "!sound article article.wav" "!sound page page.wav" "!sound back back.wav" >"$issue/zarn.cfg"
lint_is "topics and articles" 1 "zarn.cfg:2:7: error: topic 'two' has no articles: opening it stops the reader with \"Topic index not found!\"
zarn.cfg:4:6: error: article 'absent.txt' not found: showing it stops the reader with \"Can't load AUA!\""

fresh
write_config "$issue"
# Other "!" entries are for the authors' tools ("!issue title").
crlf "onee setup.txt Typo" "!sound click click.wav" "one $(printf 'k%.0s' $(seq 70)) Long" "!issue title Tools read this" \
  >>"$issue/zarn.cfg"
lint_is "entries the reader ignores" 1 "zarn.cfg:8:1: warning: entry ignored: there is no topic 'onee'
zarn.cfg:9:8: warning: entry ignored: the reader asks for \"!sound\" article, page and back only
zarn.cfg:10:5: warning: word over 63 characters, cut
zarn.cfg:10:5: error: article '$(printf 'k%.0s' $(seq 63))' not found: showing it stops the reader with \"Can't load AUA!\""

# [Start-up files]
fresh
rm "$issue/_help2.jpg"
lint_is "missing start-up picture" 1 "_help2.jpg: error: not found: the reader stops with \"- bitmaps not loaded!\""

fresh
printf 'BM junk' >"$issue/_clkfont.bmp"
lint_is "broken clock font" 1 "_clkfont.bmp: error: the clock font does not load: the reader stops with \"- error loading clock-font!\""

fresh
rm "$issue/lens.bmp"
lint_is "no lens picture" 1 "zarn.dat: error: the 3D engine does not start (the reader stops with \"- can't init vx3d!\"); not found: lens.bmp"

fresh
printf 'not a scene' >"$issue/ball.v3d"
lint_is "broken 3D file" 1 "ball.v3d: error: the 3D file does not load (\"- no V3D-File!\"): the reader ends at start-up without a message"

fresh
rm "$issue/ball.bmp"
lint_is "missing texture" 0 "ball.v3d: warning: texture 'ball.bmp' not found: the default texture is drawn instead"

# [Effects and music] a missing file is the entry's fault, a bad one its own.
fresh
rm "$issue/page.wav"
lint_is "missing effect" 1 "zarn.cfg:6:13: error: effect 'page.wav' not found: the reader stops with \"- error loading sfx! (samples have to be 8-bit mono wav)\""

fresh
printf 'RIFF\050\000\000\000WAVEfmt \020\000\000\000\001\000\002\000\021\053\000\000\021\053\000\000\001\000\010\000data\004\000\000\000\200\200\200\200' >"$issue/back.wav"
lint_is "stereo effect" 1 "back.wav: error: the effect is not 8-bit mono: the reader stops with \"- error loading sfx! (samples have to be 8-bit mono wav)\""

fresh
rm "$issue/finalman-quickie.xm"
lint_is "missing music" 1 "zarn.cfg:4:13: error: music 'finalman-quickie.xm' not found in the issue directory: the reader ends at start-up without a message"

# Music is optional.
fresh
grep -v '^!music' "$base/zarn.cfg" >"$issue/zarn.cfg"
lint_is "no music" 0 ""

fresh
printf 'Extended Module: not really' >"$issue/finalman-quickie.xm"
lint_is "broken music" 1 "finalman-quickie.xm: error: not a module the player can load: the reader ends at start-up without a message"

# Several faults: zarn.cfg first, then the articles in the order it lists
# them, then the other files by name; within a file by line and column.
fresh
crlf "topic empty Nothing yet" >>"$issue/zarn.cfg"
rm "$issue/page.wav" "$issue/_help2.jpg" "$issue/ball.bmp"
crlf '<font verdana>Welcome <b>aboard.' 'Press <blink>Esc</blink>.' >"$issue/keys.txt"
printf '<font verdana>See <link setup.exe>the setup</link>.' >"$issue/setup.txt"
lint_is "several faults" 1 "zarn.cfg:6:13: error: effect 'page.wav' not found: the reader stops with \"- error loading sfx! (samples have to be 8-bit mono wav)\"
zarn.cfg:8:7: error: topic 'empty' has no articles: opening it stops the reader with \"Topic index not found!\"
keys.txt:1:23: warning: bold is still on at the end of the article: <b> without </b>
keys.txt:2:7: error: unknown tag 'blink'!
keys.txt:2:17: error: unknown tag '/blink'!
setup.txt:1:19: warning: link target 'setup.exe' is refused by the reader: it opens web and mail addresses and documents of the issue only
_help2.jpg: error: not found: the reader stops with \"- bitmaps not loaded!\"
ball.v3d: warning: texture 'ball.bmp' not found: the default texture is drawn instead"
echo "its report:"
(cd "$issue" && "$tool" lint) || true

# [Archive] problems inside a member name it; members nothing uses and loose
# files in a member's place are warnings.
packed="$work/packed"
rm -rf "$packed" && mkdir "$packed"
(cd "$base" && cp *.TTF *.xm "$packed/" && "$tool" pack -o "$packed/zarn.dat" $(ls | grep -v -e '\.TTF$' -e '\.xm$')) >/dev/null
issue="$packed"
lint_is "packed issue" 0 ""

fresh() { rm -rf "$work/issue"; cp -a "$packed" "$work/issue"; issue="$work/issue"; }
fresh
mkdir "$work/members"
printf '<font verdana>In <blink>the member' >"$work/members/keys.txt"
printf 'An article nobody lists.' >"$work/members/notes.txt"
printf 'junk' >"$work/members/junk.bin"
(cd "$base" && "$tool" pack -o "$issue/zarn.dat" $(ls | grep -v -e '\.TTF$' -e '\.xm$' -e '^keys.txt$') "$work/members/keys.txt" "$work/members/notes.txt" "$work/members/junk.bin") >/dev/null
lint_is "faults in members" 1 "zarn.dat(keys.txt):1:18: error: unknown tag 'blink'!
zarn.dat(junk.bin): warning: nothing in the issue uses this member
zarn.dat(notes.txt): warning: an article no zarn.cfg entry lists"

fresh
mkdir "$issue/tex"
printf '<font verdana>Loose.' >"$issue/keys.txt"
cp "$base/ball.bmp" "$issue/tex/ball.bmp"
lint_is "loose files in a member's place" 0 "keys.txt: warning: takes the place of member 'keys.txt' of zarn.dat: the reader uses this loose file
tex/ball.bmp: warning: takes the place of member 'ball.bmp' of zarn.dat: the reader uses this loose file"
# Warnings fail the check only when asked to.
lint_is "strict" 1 "keys.txt: warning: takes the place of member 'keys.txt' of zarn.dat: the reader uses this loose file
tex/ball.bmp: warning: takes the place of member 'ball.bmp' of zarn.dat: the reader uses this loose file" --strict

# With -C the paths lead from the directory lint was started in.
out=$("$tool" lint -C "$issue" 2>&1 | head -n 1)
[ "$out" = "$issue/keys.txt: warning: takes the place of member 'keys.txt' of zarn.dat: the reader uses this loose file" ] ||
  fail "-C: $out"

# A directory that does not exist is the tool's own failure: one line on
# standard error, no report.
set +e
out=$("$tool" lint -C "$work/nowhere" 2>"$work/stderr")
status=$?
set -e
[ $status -eq 1 ] && [ -z "$out" ] && grep -q "cannot enter" "$work/stderr" || fail "missing directory: $status, $out"
echo "lint ok"
