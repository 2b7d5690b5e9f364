# Shell functions shared by the window tests: a private Xvfb, the tools they
# need, finding a window by name and reading pixels of a capture. Sourced,
# never run: tests/CMakeLists.txt makes every tests/*/*.sh a test, hence the
# other extension. The sourcing script defines fail MESSAGE (prints, exits 1)
# and kills XPID in its exit trap.

# ImageMagick by its full path: another convert may come first on the PATH.
CONVERT=/usr/bin/convert
COMPARE=/usr/bin/compare
XPID=

# require_x11_tools [TOOL...] — Xvfb, xwd, xdotool, xdpyinfo, xwininfo and
# ImageMagick, and any extra tools named.
require_x11_tools() {
    local tool
    for tool in Xvfb xwd xdotool xdpyinfo xwininfo "$@"; do
        command -v "$tool" >/dev/null || fail "$tool is missing (scripts/install-deps installs it)"
    done
    [ -x "$CONVERT" ] || fail "$CONVERT is missing (scripts/install-deps installs imagemagick)"
    [ -x "$COMPARE" ] || fail "$COMPARE is missing (scripts/install-deps installs imagemagick)"
}

# start_x SCREEN — a fresh Xvfb (SCREEN as WxHxD) on a display it picks
# itself; sets XPID and exports DISPLAY. The server chooses its number
# (-displayfd), so tests running side by side never share a server: probing
# for a free number ourselves raced, a second script could find the first
# one's server answering on the number it had just tried.
start_x() {
    local numberFile n=
    numberFile=$(mktemp /tmp/zarn-xnum-XXXXXX)
    Xvfb -displayfd 3 -screen 0 "$1" -nolisten tcp 3>"$numberFile" >/dev/null 2>&1 &
    XPID=$!
    for _ in $(seq 1 100); do
        n=$(tr -dc 0-9 <"$numberFile")
        [ -n "$n" ] && break
        kill -0 $XPID 2>/dev/null || break
        sleep 0.05
    done
    rm -f "$numberFile"
    if [ -n "$n" ]; then
        for _ in $(seq 1 50); do
            if xdpyinfo -display :$n >/dev/null 2>&1; then
                export DISPLAY=:$n
                return 0
            fi
            kill -0 $XPID 2>/dev/null || break
            sleep 0.1
        done
    fi
    kill $XPID 2>/dev/null; wait $XPID 2>/dev/null; XPID=
    fail "no X server could be started"
}

stop_x() {
    [ -n "$XPID" ] || return 0
    kill "$XPID" 2>/dev/null; wait "$XPID" 2>/dev/null; XPID=
}

# find_window NAME SECONDS — prints the id of the first window whose name
# matches the regular expression NAME, or nothing after SECONDS.
find_window() {
    timeout "$2" xdotool search --sync --name "$1" 2>/dev/null | head -1
}

# window_names — every named window on the display, for failure reports
# (xdotool search does not see SDL's message boxes; xwininfo does).
window_names() {
    xwininfo -root -tree 2>/dev/null | grep '"' | sed 's/^ */  /'
}

# pixel FILE X Y -> "R G B" in decimal ("? ? ?" when unreadable)
pixel() {
    local hex
    hex=$("$CONVERT" "xwd:$1" -crop "1x1+$2+$3" -depth 8 txt:- 2>/dev/null | grep -o '#[0-9A-Fa-f]\{6\}' | head -1)
    [ -n "$hex" ] || { echo "? ? ?"; return; }
    echo "$((16#${hex:1:2})) $((16#${hex:3:2})) $((16#${hex:5:2}))"
}

# near "R G B" R G B TOLERANCE — every channel within TOLERANCE
near() {
    local a=($1) i
    for i in 0 1 2; do
        local want=${@:$((i + 2)):1}
        [ "${a[$i]}" = "?" ] && return 1
        local d=$((a[i] - want)); d=${d#-}
        [ $d -le $5 ] || return 1
    done
    return 0
}
