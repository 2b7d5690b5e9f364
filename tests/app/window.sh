#!/bin/bash
# The reader as a person uses it: the real zarn on the SDL backend, in a
# window on a private Xvfb, in a copy of the demo issue, driven with xdotool.
# Every screen is captured from the window (xwd -id) and compared whole, pixel
# for pixel, with what zarn-tool render draws for the same state: the first
# menu frame, a topic's first page once its fade is over, page turns both
# ways, the link highlight under the pointer and its removal, the menu again
# after Esc with the topic still selected, another topic; X then ends the
# program, through the outro, with exit status 0. A second run leaves by Esc
# in the menu and lets the outro play to its end; a third opens the setup
# dialog with a command-line word and works it with a click and Enter.
#
# The clock shows local time and is drawn when a screen is composed, so its
# minute lies between a reading taken before the key that composes it and one
# taken after the capture. Each capture is compared with the render for both
# readings (one when they agree), which checks the clock's digits too instead
# of masking them and cannot be fooled by a minute changing in between.
# ZARN_KEEP_SHOTS=1 keeps the captures and renders (they are kept on failure).
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../lib/x11.bash"
ZARN=${ZARN_BINARY_DIR:?}/zarn
TOOL=${ZARN_BINARY_DIR}/tools/zarn-tool
DEMO=${ZARN_BINARY_DIR}/demo
WORK=$(mktemp -d /tmp/zarn-window-XXXXXX)
APID=
KEEP=${ZARN_KEEP_SHOTS:-0}
cleanup() {
    [ -n "$APID" ] && kill "$APID" 2>/dev/null
    stop_x
    wait 2>/dev/null
    if [ $KEEP = 1 ]; then echo "window: captures and renders kept in $WORK" >&2; else rm -rf "$WORK"; fi
}
trap cleanup EXIT
fail() {
    echo "window: $*" >&2
    if [ -n "${DISPLAY:-}" ]; then
        echo "window: windows on the screen:" >&2
        window_names >&2
    fi
    [ -s "$WORK/out" ] && { echo "window: zarn printed:" >&2; sed 's/^/  /' "$WORK/out" >&2; }
    KEEP=1
    exit 1
}

require_x11_tools
[ -x "$ZARN" ] || fail "$ZARN not built"
[ -x "$TOOL" ] || fail "$TOOL not built"
[ -f "$DEMO/zarn.dat" ] || fail "no demo issue in $DEMO (the demo target builds it)"

# A private copy of the issue, and settings that skip the setup dialog: a
# window at 32 bits with sound (into SDL's dummy driver, so the effects and
# the tick counter that times the fades run as on a desktop).
issue=$WORK/issue
cp -r "$DEMO" "$issue"
mkdir -p "$WORK/config/zarn"
printf 'Show setup=0\nbpp=32\nwindowed=1\nsound=1\n' >"$WORK/config/zarn/settings"

start_x 1024x768x24

# render NAME TIME ARGS... -> the PNG zarn-tool draws (cached by name and
# time); its standard output (page count, links) goes to NAME@TIME.out.
render() {
    local name=$1 time=$2
    shift 2
    local png=$WORK/render-$name@${time/:/}.png
    if [ ! -f "$png" ]; then
        "$TOOL" render -C "$issue" --time "$time" "$@" -o "$png" >"${png%.png}.out" 2>"$WORK/render.err" ||
            fail "zarn-tool render $* failed: $(cat "$WORK/render.err")"
    fi
    echo "$png"
}

capture() { # FILE.png
    xwd -silent -id "$WINDOW" 2>/dev/null | "$CONVERT" xwd:- "$1" 2>/dev/null
}

# differing A.png B.png -> how many pixels differ (the whole frame)
differing() {
    "$COMPARE" -metric AE "$1" "$2" null: 2>&1
}

# capture_full FILE.png — the whole screen in full screen: the 1024 x 768
# screen is the 640 x 480 frame scaled by 1.6 (the same shape: no bars), so
# sampling it back to 640 x 480 must give the frame.
capture_full() {
    xwd -silent -root 2>/dev/null | "$CONVERT" xwd:- -sample 640x480! "$1" 2>/dev/null
}

# expect_by CAPTURE NAME BEFORE RENDER-ARGS... — waits (up to 20 s; a loaded
# machine can be slow, and a passing run never waits that long) until
# what CAPTURE takes is what render draws for RENDER-ARGS at BEFORE or at the
# time read after the capture; sets SHOWN_TIME to the one that matched.
expect_by() {
    local take=$1 name=$2 before=$3
    shift 3
    local shot=$WORK/shot-$name.png last="" now time png count deadline=$((SECONDS + 20))
    while [ $SECONDS -lt $deadline ]; do
        "$take" "$shot"
        now=$(date +%H:%M)
        for time in $before $([ "$now" = "$before" ] || echo "$now"); do
            png=$(render "$name" "$time" "$@")
            count=$(differing "$shot" "$png")
            if [ "$count" = 0 ]; then
                SHOWN_TIME=$time
                echo "window: $name ok"
                return 0
            fi
            last="$count pixels differ from $(basename "$png")"
        done
        sleep 0.1
    done
    fail "$name: the screen never showed what zarn-tool render $* draws ($last; capture $shot)"
}

# expect NAME BEFORE RENDER-ARGS... — the window shows the render.
expect() { expect_by capture "$@"; }
# expect_full NAME BEFORE RENDER-ARGS... — the full screen shows it, scaled.
expect_full() { expect_by capture_full "$@"; }

# press KEY — sends a key to the focused reader and notes the time first.
press() {
    BEFORE=$(date +%H:%M)
    xdotool key "$1" 2>/dev/null || fail "xdotool could not send $1"
}

# start_zarn [WORD...] — the reader in the issue copy, output in $WORK/out.
start_zarn() {
    (cd "$issue" && exec env XDG_CONFIG_HOME="$WORK/config" XDG_STATE_HOME="$WORK/state" \
        XDG_PICTURES_DIR="$WORK/pictures" ZARN_PLATFORM=sdl SDL_VIDEODRIVER=x11 \
        SDL_AUDIODRIVER=dummy "$ZARN" "$@" >"$WORK/out" 2>&1) &
    APID=$!
}

# hurry_outro — a key starts the outro's fade, a second ends it.
hurry_outro() {
    sleep 0.5
    xdotool key space 2>/dev/null
    sleep 0.3
    xdotool key space 2>/dev/null
}

# wait_end SECONDS LABEL — zarn must end within SECONDS, with status 0 and
# the shutdown line last on its standard output.
wait_end() {
    local status=0 last
    for _ in $(seq 1 $(($1 * 10))); do
        kill -0 $APID 2>/dev/null || break
        sleep 0.1
    done
    kill -0 $APID 2>/dev/null && fail "$2: zarn did not end within $1 s"
    wait $APID || status=$?
    APID=
    [ $status = 0 ] || fail "$2: zarn ended with status $status"
    last=$(tail -n 1 "$WORK/out")
    [ "$last" = "+ stackheap closed. (emulated)" ] || fail "$2: the last line was '$last'"
}

# --- start: the first frame of the menu ---------------------------------------
BEFORE=$(date +%H:%M)
start_zarn
WINDOW=$(find_window '^Zarn$' 10)
[ -n "$WINDOW" ] || fail "no window named Zarn"
geometry=$(xwininfo -id "$WINDOW" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
    /Width:/ {w=$NF} /Height:/ {h=$NF} END {print w "x" h "+" x "+" y}')
# Centred on the 1024 x 768 screen, client area 640 x 480.
[ "$geometry" = "640x480+192+144" ] || fail "window geometry $geometry, wanted 640x480+192+144"
xdotool windowfocus --sync "$WINDOW" 2>/dev/null
# The pointer starts in the middle of the screen, over the window: park it
# outside, so only the hover step below moves it over a link.
xdotool mousemove 5 5 2>/dev/null
expect menu "$BEFORE" --menu --select 0

# --- full screen and back -----------------------------------------------------
press F11
expect_full menu-full "$BEFORE" --menu --select 0
press alt+Return
back=""
for _ in $(seq 1 150); do
    back=$(xwininfo -id "$WINDOW" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
        /Width:/ {w=$NF} /Height:/ {h=$NF} END {print w "x" h "+" x "+" y}')
    [ "$back" = "640x480+192+144" ] && break
    sleep 0.1
done
[ "$back" = "640x480+192+144" ] || fail "Alt+Enter: the window came back as $back, wanted 640x480+192+144"
xdotool windowfocus --sync "$WINDOW" 2>/dev/null
expect menu-window-again "$BEFORE" --menu --select 0

# --- the help, and a screenshot ------------------------------------------------
# H darkens the screen under the list of keys; any key takes it away again.
menu_now=$(render menu-window-again "$SHOWN_TIME" --menu --select 0)
press h
dark=0
for _ in $(seq 1 150); do
    capture "$WORK/shot-help.png"
    mean=$("$CONVERT" "$WORK/shot-help.png" -colorspace gray -format '%[fx:int(mean*255)]' info: 2>/dev/null)
    menu_mean=$("$CONVERT" "$menu_now" -colorspace gray -format '%[fx:int(mean*255)]' info: 2>/dev/null)
    if [ -n "$mean" ] && [ "$mean" -lt $((menu_mean / 2)) ]; then dark=1; break; fi
    sleep 0.1
done
[ $dark = 1 ] || fail "H did not show the help over the darkened menu (mean $mean, the menu's $menu_mean)"
press Escape
expect menu-after-help "$BEFORE" --menu --select 0
# F12 saves the frame on the screen into the pictures folder.
mkdir -p "$WORK/pictures"
press F12
picture=""
for _ in $(seq 1 150); do
    picture=$(sed -n 's/^+ screenshot //p' "$WORK/out" | head -1)
    [ -n "$picture" ] && break
    sleep 0.1
done
case "$picture" in "$WORK"/pictures/zarn-*.png) ;; *) fail "F12: no screenshot line (printed: $(cat "$WORK/out"))" ;; esac
# The screenshot must be the menu's frame; compared with the render (at the
# minute before the key or after) rather than with a second capture, which a
# clock turning over in between would make differ.
saved_picture() { cp "$picture" "$1"; }
expect_by saved_picture f12 "$BEFORE" --menu --select 0
echo "window: help and screenshot ok"

# --- a topic, its pages -------------------------------------------------------
press Return
expect topic0-page0 "$BEFORE" --topic 0 --page 0
press Right
expect topic0-page1 "$BEFORE" --topic 0 --page 1
press Right
expect topic0-page2 "$BEFORE" --topic 0 --page 2
page_time=$SHOWN_TIME
plain=$(render topic0-page2 "$page_time" --topic 0 --page 2)

# --- the pointer over a link --------------------------------------------------
# The page's links as the tool reports them: "link LEFT TOP RIGHT BOTTOM TARGET".
links=${plain%.png}.out
read -r _ left top right bottom target < <(grep '^link ' "$links" | head -1)
[ -n "${target:-}" ] || fail "topic 0 page 2 of the demo has no link any more (zarn-tool printed: $(cat "$links"))"
# Every rectangle of that target lights up (the rectangles are half-open).
rects=()
while read -r _ l t r b tg; do
    [ "${tg,,}" = "${target,,}" ] && rects+=("$l $t $r $b")
done < <(grep '^link ' "$links")
[ ${#rects[@]} -ge 2 ] || fail "the Debian link should run over two words (rectangles: ${rects[*]})"

# Both frames with the lit rectangles blacked out must agree; inside them each
# channel of the window must be the rendered one plus 40, 50, 70, at most 255.
blackout() { # IN OUT
    local in=$1 out=$2 args=() r
    for r in "${rects[@]}"; do
        set -- $r
        args+=(-draw "rectangle $1,$2 $(($3 - 1)),$(($4 - 1))")
    done
    "$CONVERT" "$in" -alpha off -fill black "${args[@]}" "$out"
}
rgb_rows() { # FILE BOX -> "r g b" per pixel, row by row
    "$CONVERT" "$1" -alpha off -crop "$2" -depth 8 txt:- |
        sed -n 's/^[0-9]*,[0-9]*: *(\([0-9]*\),\([0-9]*\),\([0-9]*\)).*/\1 \2 \3/p'
}
highlight_wrong() { # SHOT -> the number of wrong pixels inside the rectangles
    local shot=$1 r wrong=0 n
    for r in "${rects[@]}"; do
        set -- $r
        local box=$(($3 - $1))x$(($4 - $2))+$1+$2 size=$((($3 - $1) * ($4 - $2)))
        n=$(paste -d' ' <(rgb_rows "$shot" "$box") <(rgb_rows "$plain" "$box") | awk -v size=$size '
            function lit(c, a) { c += a; return c > 255 ? 255 : c }
            NF != 6 || $1 != lit($4, 40) || $2 != lit($5, 50) || $3 != lit($6, 70) { bad++ }
            END { print NR == size ? bad + 0 : size }')
        wrong=$((wrong + n))
    done
    echo "$wrong"
}

x=$(((left + right) / 2)) y=$(((top + bottom) / 2))
xdotool mousemove --window "$WINDOW" $x $y 2>/dev/null
blackout "$plain" "$WORK/plain-blacked.png"
ok=0 deadline=$((SECONDS + 20))
while [ $SECONDS -lt $deadline ]; do
    capture "$WORK/shot-hover.png"
    blackout "$WORK/shot-hover.png" "$WORK/shot-hover-blacked.png"
    rest=$(differing "$WORK/shot-hover-blacked.png" "$WORK/plain-blacked.png")
    lit=$(highlight_wrong "$WORK/shot-hover.png")
    if [ "$rest" = 0 ] && [ "$lit" = 0 ]; then ok=1; break; fi
    sleep 0.1
done
[ $ok = 1 ] || fail "hover at $x,$y over $target: $rest pixels differ outside the link, $lit inside are not lit by 40,50,70"
echo "window: hover ok (${#rects[@]} rectangles of $target lit)"

# Off the link again: the clean page comes back.
xdotool mousemove --window "$WINDOW" 600 300 2>/dev/null
expect topic0-page2-unlit "$page_time" --topic 0 --page 2

press Left
expect topic0-page1-back "$BEFORE" --topic 0 --page 1

# --- search: the typed word found on the next page, lit there -------------------
# Below the search line the page is the render but for its lit match, which
# lies inside the rectangle of the link's first word.
xdotool type --delay 50 '/debian' 2>/dev/null
press Return
rects=("${rects[0]}")
# The search composes the screen anew, so its clock shows the minute of the
# key or a later one: the capture is held to the page rendered at either.
ok=0 deadline=$((SECONDS + 20))
while [ $ok = 0 ] && [ $SECONDS -lt $deadline ]; do
    capture "$WORK/shot-search.png"
    now=$(date +%H:%M)
    "$CONVERT" "$WORK/shot-search.png" -fill black -draw "rectangle 0,0 639,19" "$WORK/shot-search-body.png"
    blackout "$WORK/shot-search-body.png" "$WORK/shot-search-blacked.png"
    for time in $BEFORE $([ "$now" = "$BEFORE" ] || echo "$now"); do
        "$CONVERT" "$(render topic0-page2 "$time" --topic 0 --page 2)" -fill black \
            -draw "rectangle 0,0 639,19" "$WORK/plain-body.png"
        blackout "$WORK/plain-body.png" "$WORK/plain-body-blacked.png"
        rest=$(differing "$WORK/shot-search-blacked.png" "$WORK/plain-body-blacked.png")
        lit=$(differing "$WORK/shot-search-body.png" "$WORK/plain-body.png")
        if [ "$rest" = 0 ] && [ "$lit" -gt 200 ] 2>/dev/null; then ok=1; break; fi
    done
    [ $ok = 1 ] || sleep 0.1
done
[ $ok = 1 ] || fail "search for debian: $rest pixels differ outside the match and the line, $lit below the line"
press Escape
expect topic0-page2-searched "$page_time" --topic 0 --page 2
echo "window: search ok"
press Left
expect topic0-page1-again "$BEFORE" --topic 0 --page 1

# --- back to the menu, another topic, then X ----------------------------------
press Escape
expect menu-back "$BEFORE" --menu --select 0
press Down
expect menu-second "$BEFORE" --menu --select 1
press Return
expect topic1-page0 "$BEFORE" --topic 1 --page 0
press Right
expect topic1-page1 "$BEFORE" --topic 1 --page 1

# X leaves from the viewer; the outro follows, a key hurries its fade and a
# second skips it.
press x
hurry_outro
wait_end 15 "X and two keys in the outro"
echo "window: X ended zarn with status 0"

# --- a second run: R, the live preview, then Esc in the menu, the outro -------
# The menu starts at the first topic; R opens the page the first run left.
# The run watches the issue (--watch): that article saved as a loose file with
# a word changed shows on the same page, and deleting the file again brings the
# archive's text back. Esc comes back to the menu with that topic selected. No
# key during the outro: it fades after its 200 frames and the program ends by
# itself, shutting down in order.
BEFORE=$(date +%H:%M)
start_zarn --watch
WINDOW=$(find_window '^Zarn$' 10)
[ -n "$WINDOW" ] || fail "second run: no window named Zarn"
xdotool windowfocus --sync "$WINDOW" 2>/dev/null
xdotool mousemove 5 5 2>/dev/null
expect menu-again "$BEFORE" --menu --select 0
press r
expect resumed "$BEFORE" --topic 1 --page 1
grep -q '^+ watching ' "$WORK/out" || fail "--watch: no '+ watching' line (printed: $(cat "$WORK/out"))"
article=$("$TOOL" cat -C "$issue" zarn.cfg | tr -d '\r' |
    awk '$1 == "topic" { if (++n == 2) id = $2; next } id != "" && $1 == id { print $2; exit }')
[ -n "$article" ] || fail "--watch: no first article of the second topic in zarn.cfg"
original=$(render resumed "$SHOWN_TIME" --topic 1 --page 1)
"$TOOL" cat -C "$issue" "$article" | LC_ALL=C sed 's/ the / THE /g' >"$WORK/$article"
cp "$WORK/$article" "$issue/$article"
edited=$(render resumed-edited "$SHOWN_TIME" --topic 1 --page 1)
[ "$(differing "$original" "$edited")" != 0 ] || fail "--watch: page 1 of $article has no ' the ' to change"
expect resumed-edited "$BEFORE" --topic 1 --page 1
grep -qx "+ reloaded $article" "$WORK/out" || fail "--watch: no '+ reloaded $article' line"
rm "$issue/$article"
expect resumed-restored "$BEFORE" --topic 1 --page 1
echo "window: the live preview showed a saved article and the archive's again once it was deleted"
press Escape
expect menu-resumed "$BEFORE" --menu --select 1
menu_png=$(render menu-resumed "$SHOWN_TIME" --menu --select 1)
press Escape
# The outro draws over the captured menu: within a few seconds the window
# shows something else than the menu.
moved=0
for _ in $(seq 1 150); do
    capture "$WORK/shot-outro.png"
    count=$(differing "$WORK/shot-outro.png" "$menu_png")
    if [ "$count" != 0 ] && [ "$count" -gt 10000 ] 2>/dev/null; then moved=1; break; fi
    sleep 0.1
done
[ $moved = 1 ] || fail "the outro never showed after Esc in the menu"
echo "window: the outro plays"
wait_end 30 "the outro without keys"
echo "window: Esc and the outro ended zarn with status 0"

# --- a third run: a command-line word brings up the setup dialog --------------
# The stored settings say not to show it; the word "setup" shows it anyway.
# A click on the Sound check box turns sound off, Enter presses START: the
# choices are stored and the reader starts in its window.
printf 'Show setup=0\nbpp=32\nwindowed=1\nsound=1\n' >"$WORK/config/zarn/settings"
BEFORE=$(date +%H:%M)
start_zarn setup
DIALOG=$(find_window '^Zarn Config$' 10)
[ -n "$DIALOG" ] || fail "the command-line word did not bring up the setup dialog"
xdotool windowfocus --sync "$DIALOG" 2>/dev/null
sleep 0.3
# The Sound check box: dialog units (173, 22, 37 x 10) at 1.5 x 1.625 pixels.
box=14x14+259+37
xwd -silent -id "$DIALOG" | "$CONVERT" xwd:- "$WORK/dialog-before.png" 2>/dev/null
xdotool mousemove --window "$DIALOG" 286 44 click 1 2>/dev/null
changed=0
for _ in $(seq 1 30); do
    sleep 0.1
    xwd -silent -id "$DIALOG" | "$CONVERT" xwd:- "$WORK/dialog-after.png" 2>/dev/null
    count=$("$COMPARE" -metric AE "$WORK/dialog-before.png" "$WORK/dialog-after.png" null: 2>&1)
    if [ "$count" != 0 ]; then changed=1; break; fi
done
[ $changed = 1 ] || fail "the click on Sound did not change the dialog"
xdotool key Return 2>/dev/null
WINDOW=$(find_window '^Zarn$' 10)
[ -n "$WINDOW" ] || fail "START did not start the reader"
xdotool windowfocus --sync "$WINDOW" 2>/dev/null
xdotool mousemove 5 5 2>/dev/null
expect menu-after-setup "$BEFORE" --menu --select 0
grep -qx 'sound=0' "$WORK/config/zarn/settings" || fail "sound=0 was not stored: $(cat "$WORK/config/zarn/settings")"
grep -qx 'windowed=1' "$WORK/config/zarn/settings" || fail "windowed=1 was not stored"
echo "window: the setup dialog took a click and Enter, and stored its choices"
press Escape
hurry_outro
wait_end 15 "after the setup dialog"
exit 0
