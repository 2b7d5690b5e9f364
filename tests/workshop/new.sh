#!/usr/bin/env bash
# zarn-tool new: the issue it makes lints clean, renders its menu, is shown by
# the reader at once (a headless run, every screen as zarn-tool render draws
# it) and packs into an issue that lints clean too. A directory that is not
# empty is refused and left alone; --music takes only an XM module.
set -euo pipefail
tool="$ZARN_BINARY_DIR/tools/zarn-tool"
zarn="$ZARN_BINARY_DIR/zarn"
compare=/usr/bin/compare
convert=/usr/bin/convert
work=$(mktemp -d /tmp/zarn-new-XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

# runs_reader DIR SCRIPT — zarn on the headless backend inside DIR, a first
# run (the setup dialog comes up); standard output in $work/run.out. (Once
# the reader takes the issue directory as its argument, "cd DIR && zarn"
# becomes "zarn DIR".)
runs_reader() {
  printf '%b' "$2" >"$work/run.script"
  (cd "$1" && env ZARN_PLATFORM=headless SDL_AUDIODRIVER=dummy XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state" \
     ZARN_HEADLESS_SCRIPT="$work/run.script" ZARN_HEADLESS_LOG="$work/run.log" \
     timeout 60 "$zarn" >"$work/run.out" 2>&1)
}

# same_screen A B — equal pixels left of the clock (the run's clock shows the time of day).
same_screen() {
  local differing
  "$convert" "$1" -crop 600x480+0+0 +repage "$work/a.png"
  "$convert" "$2" -crop 600x480+0+0 +repage "$work/b.png"
  differing=$("$compare" -metric AE "$work/a.png" "$work/b.png" null: 2>&1) || true
  [ "$differing" = 0 ] || fail "$1 and $2: $differing pixels differ"
}

# A clean report is the summary line alone, with nothing to warn about.
clean() { [[ "$1" =~ ^"0 errors, 0 warnings in "[0-9]+" files"$ ]]; }

issue="$work/issue"
"$tool" new "$issue" --title "Spring Ärger" >"$work/new.out" || fail "new: $(cat "$work/new.out")"
out=$("$tool" lint --strict -C "$issue") || fail "lint of the new issue: $out"
clean "$out" || fail "lint of the new issue printed: $out"
# The title is kept as the reader's 8-bit text.
grep -qa $'^!issue title Spring \xc4rger\r$' "$issue/zarn.cfg" || fail "no title line in zarn.cfg"
if grep -q '^!music' "$issue/zarn.cfg"; then fail "music without --music"; fi
for f in _full.jpg _help1.jpg _help2.jpg _topbar.jpg _clkfont.bmp article.wav page.wav back.wav \
         ball.v3d ball.bmp standard.bmp lens.bmp hell2.bmp zs_mask.bmp verdana.TTF verdanaB.TTF \
         verdanaI.TTF verdanaZ.TTF welcome.txt writing.txt; do
  [ -s "$issue/$f" ] || fail "new issue has no $f"
done
if ls -A "$work" | grep -q "\.part"; then fail "a staging directory was left beside the issue"; fi

"$tool" render -C "$issue" --time 08:00 --menu -o "$work/menu.png" >/dev/null || fail "render --menu"
"$tool" render -C "$issue" --time 08:00 --topic 0 -o "$work/page0.png" >/dev/null || fail "render page 0"
"$tool" render -C "$issue" --time 08:00 --topic 0 --page 1 -o "$work/page1.png" >/dev/null || fail "render page 1"

# The reader, started inside the issue.
runs_reader "$issue" "press 1\nwait idle\nsave $work/run-menu.png\nkey Return\nsleep 800\nsave $work/run-page0.png\nkey Right\nsleep 800\nsave $work/run-page1.png\nkey Escape\nsleep 300\nwait idle\nkey Escape\nsleep 500\nkey Space\nsleep 300\nkey Space\n" ||
  fail "zarn in the new issue: exit $? $(cat "$work/run.out")"
if grep -q '^messagebox' "$work/run.log"; then fail "the reader showed a box: $(grep '^messagebox' "$work/run.log")"; fi
grep -q '^+ loading 3d' "$work/run.out" || fail "no 3D start-up: $(cat "$work/run.out")"
same_screen "$work/run-menu.png" "$work/menu.png"
same_screen "$work/run-page0.png" "$work/page0.png"
same_screen "$work/run-page1.png" "$work/page1.png"

# Packed for release: the archive with the fonts beside it.
release="$work/release"
mkdir "$release"
(cd "$issue" && "$tool" pack -o "$release/zarn.dat" zarn.cfg *.txt *.jpg *.bmp *.wav *.v3d) || fail "pack"
cp "$issue"/*.TTF "$release/"
"$tool" list "$release/zarn.dat" | grep -q '^welcome.txt 3 ' || fail "welcome.txt not packed"
out=$("$tool" lint --strict -C "$release") || fail "lint of the packed issue: $out"
clean "$out" || fail "lint of the packed issue printed: $out"

# Refusals leave things as they were.
mkdir "$work/busy" && echo keep >"$work/busy/notes.txt"
if "$tool" new "$work/busy" 2>"$work/err"; then fail "a non-empty directory was accepted"; fi
grep -q 'not empty' "$work/err" || fail "no reason given: $(cat "$work/err")"
[ "$(ls "$work/busy")" = notes.txt ] || fail "the busy directory was changed"
printf 'not a module' >"$work/song.xm"
if "$tool" new "$work/other" --music "$work/song.xm" 2>/dev/null; then fail "a non-module was taken as music"; fi
[ ! -e "$work/other" ] || fail "a refused issue left a directory"
if ls -A "$work" | grep -q "\.part"; then fail "a refusal left a staging directory"; fi

# An existing empty directory is fine, and --music brings the module along.
module=/usr/share/games/ballz/finalman-quickie.xm
mkdir "$work/music"
"$tool" new "$work/music" --music "$module" >/dev/null || fail "new with music"
grep -q $'^!music main finalman-quickie.xm\r$' "$work/music/zarn.cfg" || fail "no music line"
cmp -s "$module" "$work/music/finalman-quickie.xm" || fail "module not copied"
out=$("$tool" lint --strict -C "$work/music") || fail "lint with music: $out"
clean "$out" || fail "lint with music printed: $out"
echo "new: ok"
