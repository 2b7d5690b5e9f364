#!/bin/bash
# The SDL backend on a real X server: for each screen depth and display mode
# a fresh Xvfb is started, the program half (SdlWindow test in test_platform)
# opens the display and presents four coloured quadrants, the screenshot is
# checked pixel by pixel, keys are sent with xdotool and must reach the window
# procedure. A 16-bit screen must show the 5-6-5 rounding of the dark grey.
# The screenshot is of the window itself (xwd -id): on a 16-bit Xvfb the root
# capture comes back as a 24-bit image holding raw 16-bit values.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../lib/x11.bash"
BIN=${ZARN_BINARY_DIR:-build}/tests/test_platform
WORK=$(mktemp -d /tmp/zarn-sdlwin-XXXXXX)
XPID=
APID=
cleanup() {
    [ -n "$APID" ] && kill "$APID" 2>/dev/null
    [ -n "$XPID" ] && kill "$XPID" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT
fail() { echo "sdl_window: $*" >&2; exit 1; }

require_x11_tools
[ -x "$BIN" ] || fail "$BIN not built"

# wait_program LABEL [WHAT] — the program half must end within 10 s (else
# "LABEL: WHAT"), with status 0.
wait_program() {
    local status=0
    for _ in $(seq 1 100); do
        kill -0 $APID 2>/dev/null || break
        sleep 0.1
    done
    kill -0 $APID 2>/dev/null && { kill $APID; fail "$1: ${2:-program did not end on Esc}"; }
    wait $APID || status=$?
    APID=
    [ $status = 0 ] || { cat "$WORK/out"; fail "$1: program half failed"; }
}

# run SCREEN MODE BPP WX WY OX OY SCALE_NUM SCALE_DEN GREY_R GREY_G GREY_B TOLERANCE
# WX, WY: where the window must sit on the screen; OX, OY: where page (0,0)
# lands in the window; page point p lands at O + p * NUM / DEN.
run() {
    local screen=$1 mode=$2 bpp=$3 wx=$4 wy=$5
    shift 2
    local ox=$4 oy=$5 num=$6 den=$7
    local label="$screen $mode $bpp"
    start_x "$screen"
    ZARN_SDL_WINDOW_TEST=1 ZARN_SDL_MODE=$mode ZARN_SDL_BPP=$bpp ZARN_SDL_KEYS=$WORK/keys SDL_AUDIODRIVER=dummy \
        "$BIN" --gtest_filter=SdlWindow.PresentsAKnownFrameAndPassesKeys >"$WORK/out" 2>&1 &
    APID=$!
    local id
    id=$(find_window '^Zarn$' 10)
    [ -n "$id" ] || { cat "$WORK/out"; fail "$label: no window named Zarn"; }
    xdotool windowfocus --sync "$id" 2>/dev/null
    local geometry
    geometry=$(xwininfo -id "$id" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF} END {print x, y}')
    [ "$geometry" = "$wx $wy" ] || fail "$label: window at $geometry, wanted $wx $wy"
    at() { echo $(( $1 + $3 * num / den )) $(( $2 + $4 * num / den )); }
    local ok=0 shot=$WORK/shot.xwd
    for _ in $(seq 1 50); do
        xwd -silent -id "$id" >"$shot" 2>/dev/null
        if near "$(pixel "$shot" $(at $ox $oy 100 100))" 255 0 0 6; then ok=1; break; fi
        sleep 0.1
    done
    [ $ok = 1 ] || fail "$label: the red quadrant never appeared (got $(pixel "$shot" $(at $ox $oy 100 100)))"
    near "$(pixel "$shot" $(at $ox $oy 540 100))" 0 255 0 6 || fail "$label: green quadrant: $(pixel "$shot" $(at $ox $oy 540 100))"
    near "$(pixel "$shot" $(at $ox $oy 100 380))" 0 0 255 6 || fail "$label: blue quadrant: $(pixel "$shot" $(at $ox $oy 100 380))"
    local grey
    grey=$(pixel "$shot" $(at $ox $oy 540 380))
    near "$grey" $8 $9 ${10} ${11} || fail "$label: grey quadrant is $grey, wanted $8 $9 ${10}"
    # The frame's own corners, and (when there is room) black beside it.
    near "$(pixel "$shot" $(at $ox $oy 0 0))" 255 0 0 4 || fail "$label: top-left corner"
    near "$(pixel "$shot" $(at $ox $oy 639 479))" $8 $9 ${10} ${11} || fail "$label: bottom-right corner"
    if [ "$ox" -gt 0 ]; then
        near "$(pixel "$shot" $((ox - 1)) $((oy + 10)))" 0 0 0 0 || fail "$label: left of the frame is not black"
    fi
    xdotool key Down 2>/dev/null
    sleep 0.2
    xdotool key F12 2>/dev/null
    sleep 0.2
    xdotool key Escape 2>/dev/null
    wait_program "$label"
    [ "$(tr '\n' ' ' <"$WORK/keys")" = "40 123 27 " ] || fail "$label: keys seen: $(tr '\n' ' ' <"$WORK/keys")"
    stop_x
    echo "sdl_window: $label ok"
}

# The dialog manager in its own window: Tab, Space and a click on START.
run_dialog() {
    local label="dialog"
    start_x 1024x768x24
    ZARN_SDL_WINDOW_TEST=1 ZARN_SDL_KEYS=$WORK/keys SDL_AUDIODRIVER=dummy \
        "$BIN" --gtest_filter=SdlWindow.DialogTakesKeysAndClicks >"$WORK/out" 2>&1 &
    APID=$!
    local id
    id=$(find_window '^Zarn Config$' 10)
    [ -n "$id" ] || { cat "$WORK/out"; fail "$label: no window named Zarn Config"; }
    xdotool windowfocus --sync "$id" 2>/dev/null
    local shot=$WORK/dialog.xwd box=11x11+259+37 before after
    sleep 0.3
    xwd -silent -id "$id" >"$shot"
    near "$(pixel "$shot" 3 3)" 212 208 200 0 || fail "$label: dialog face is $(pixel "$shot" 3 3)"
    before=$("$CONVERT" "xwd:$shot" -crop $box -depth 8 txt:- | md5sum)
    xdotool key Tab 2>/dev/null
    sleep 0.1
    xdotool key Tab 2>/dev/null
    sleep 0.1
    xdotool key space 2>/dev/null
    sleep 0.3
    xwd -silent -id "$id" >"$shot"
    after=$("$CONVERT" "xwd:$shot" -crop $box -depth 8 txt:- | md5sum)
    [ "$before" != "$after" ] || fail "$label: the check box did not change on screen"
    xdotool mousemove --window "$id" 361 126 click 1 2>/dev/null
    wait_program "$label" "the click on START did not end the dialog"
    [ "$(tr '\n' ' ' <"$WORK/keys")" = "1012 1 " ] || fail "$label: commands seen: $(tr '\n' ' ' <"$WORK/keys")"
    stop_x
    echo "sdl_window: $label ok"
}

# A window switched to full screen and back while it runs (F11 in the
# program half): on a wider screen the frame fills the height with black bars
# beside it, clicks map to page positions in both, typed text arrives as
# characters, and the window comes back centred at the frame's size.
run_toggle() {
    local label="toggle" shot=$WORK/root.xwd
    start_x 1280x768x24
    ZARN_SDL_WINDOW_TEST=1 ZARN_SDL_MODE=window ZARN_SDL_TOGGLE=1 ZARN_SDL_KEYS=$WORK/keys ZARN_SDL_SEEN=$WORK/seen \
        SDL_AUDIODRIVER=dummy "$BIN" --gtest_filter=SdlWindow.PresentsAKnownFrameAndPassesKeys >"$WORK/out" 2>&1 &
    APID=$!
    local id
    id=$(find_window '^Zarn$' 10)
    [ -n "$id" ] || { cat "$WORK/out"; fail "$label: no window named Zarn"; }
    xdotool windowfocus --sync "$id" 2>/dev/null
    geometry() { xwininfo -id "$id" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
        /Width:/ {w=$NF} /Height:/ {h=$NF} END {print w "x" h "+" x "+" y}'; }
    [ "$(geometry)" = "640x480+320+144" ] || fail "$label: window at $(geometry) before the switch"
    xdotool key F11 2>/dev/null
    # Full screen: page point p at (128, 0) + p * 8 / 5; black bars of 128 on both sides.
    local ok=0
    for _ in $(seq 1 50); do
        sleep 0.1
        xwd -silent -root >"$shot" 2>/dev/null
        near "$(pixel "$shot" 1151 767)" 12 12 12 0 && near "$(pixel "$shot" 128 0)" 255 0 0 0 && ok=1 && break
    done
    [ $ok = 1 ] || fail "$label: full screen never showed the frame scaled to 1024x768 at 128,0"
    near "$(pixel "$shot" 127 300)" 0 0 0 0 || fail "$label: left bar is $(pixel "$shot" 127 300)"
    near "$(pixel "$shot" 1152 300)" 0 0 0 0 || fail "$label: right bar is $(pixel "$shot" 1152 300)"
    near "$(pixel "$shot" 991 607)" 12 12 12 0 || fail "$label: grey quadrant is $(pixel "$shot" 991 607)"
    near "$(pixel "$shot" 1000 100)" 0 255 0 0 || fail "$label: green quadrant is $(pixel "$shot" 1000 100)"
    xdotool mousemove 992 608 click 1 2>/dev/null
    sleep 0.3
    xdotool key F11 2>/dev/null
    ok=0
    for _ in $(seq 1 50); do
        sleep 0.1
        [ "$(geometry)" = "640x480+320+144" ] && ok=1 && break
    done
    [ $ok = 1 ] || fail "$label: back from full screen the window is at $(geometry)"
    xdotool windowfocus --sync "$id" 2>/dev/null
    xdotool mousemove --window "$id" 100 50 click 1 2>/dev/null
    sleep 0.3
    xdotool type 'a/' 2>/dev/null
    sleep 0.3
    xdotool key Escape 2>/dev/null
    wait_program "$label"
    [ "$(tr '\n' ' ' <"$WORK/keys")" = "122 122 65 27 " ] || fail "$label: keys seen: $(tr '\n' ' ' <"$WORK/keys")"
    [ "$(tr '\n' ' ' <"$WORK/seen")" = "click 540 380 click 100 50 char 97 char 47 " ] ||
        fail "$label: clicks and characters seen: $(tr '\n' ' ' <"$WORK/seen")"
    stop_x
    echo "sdl_window: $label ok"
}

run_dialog
run_toggle
# Window on a 24-bit screen: client area centred, exact colours.
run 1024x768x24 window 32 192 144 0 0 1 1 12 12 12 0
# Window on a 16-bit screen: the desktop's 5-6-5 layout (green's low bit
# cleared), 12 12 12 -> 8 8 8.
run 1024x768x16 window 32 192 144 0 0 1 1 8 8 8 1
# Full screen on a wider screen: scaled by 1.6 to 1024x768, black bars of 128.
run 1280x768x24 full 32 0 0 128 0 8 5 12 12 12 0
# Full screen asked for 16 bits: the frame goes through 5-6-5.
run 1024x768x24 full 16 0 0 0 0 8 5 8 8 8 2
exit 0
