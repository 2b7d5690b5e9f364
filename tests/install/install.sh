#!/bin/bash
# The installation as a desktop user gets it: `cmake --install` into a
# temporary prefix, then the installed programs run (zarn --version,
# zarn-tool --help, a headless zarn --demo from another directory), the
# manual pages render without a warning, desktop-file-validate accepts the
# desktop entry, the shared-MIME database built from the installed entry
# calls a zarn.dat an issue, the icons have their sizes, and the Debian
# package made by CPack holds exactly the installed files, under /usr, with
# dependencies found for it.
set -u
BUILD=${ZARN_BINARY_DIR:?}
WORK=$(mktemp -d /tmp/zarn-install-XXXXXX)
trap 'rm -rf "$WORK"' EXIT
fail() {
    echo "install: $*" >&2
    exit 1
}

prefix=$WORK/prefix
cmake --install "$BUILD" --prefix "$prefix" >"$WORK/install.out" 2>&1 ||
    fail "cmake --install failed: $(cat "$WORK/install.out")"

# What is there: every file and link below the prefix.
expected="bin/zarn
bin/zarn-tool
share/applications/zarn.desktop
share/icons/hicolor/128x128/apps/zarn.png
share/icons/hicolor/256x256/apps/zarn.png
share/icons/hicolor/48x48/apps/zarn.png
share/man/man1/zarn-tool.1.gz
share/man/man1/zarn.1.gz
share/mime/packages/zarn.xml
share/zarn/demo/zarn.dat
share/doc/zarn/copyright"
while read -r name from how; do
    case "$name" in '' | '#'*) continue ;; esac
    expected+=$'\n'"share/zarn/demo/$name"
    file=$prefix/share/zarn/demo/$name
    if [ "$how" = link ]; then
        [ "$(readlink "$file")" = "$from" ] || fail "demo/$name does not link to $from"
        [ -f "$file" ] || fail "demo/$name links to a missing file"
    else
        [ -f "$file" ] && [ ! -L "$file" ] && cmp -s "$file" "$from" || fail "demo/$name is not a copy of $from"
    fi
done <"${ZARN_SOURCE_DIR:?}/demo/loose-files"
# The web edition's reader, where the web build has made it: what `zarn-tool
# web` copies beside an issue.
web_build=$(sed -n 's/^ZARN_WEB_BUILD:PATH=//p' "$BUILD/CMakeCache.txt")
if [ -f "$web_build/web/zarn.wasm" ]; then
    for name in DejaVuSans.ttf index.html zarn.js zarn.wasm; do
        expected+=$'\n'"share/zarn/web/$name"
    done
fi
# The copied music's licence asks for its notice to travel with it.
grep -q 'Redistributions in binary form must reproduce' "$prefix/share/doc/zarn/copyright" ||
    fail "the copyright file lacks the music's licence"
installed=$(cd "$prefix" && find . \( -type f -o -type l \) | sed 's|^\./||' | LC_ALL=C sort)
expected=$(LC_ALL=C sort <<<"$expected")
[ "$installed" = "$expected" ] || fail "installed files differ:"$'\n'"$(diff <(echo "$expected") <(echo "$installed"))"

# The installed zarn-tool finds the installed web reader and writes a site.
if [ -f "$web_build/web/zarn.wasm" ]; then
    (cd "$WORK" && env -u ZARN_WEB_FILES "$prefix/bin/zarn-tool" web -C "$prefix/share/zarn/demo" -o site \
        >"$WORK/web.out" 2>&1) || fail "the installed zarn-tool web failed: $(cat "$WORK/web.out")"
    cmp -s "$WORK/site/zarn.wasm" "$web_build/web/zarn.wasm" && [ -s "$WORK/site/DejaVuSans.ttf" ] ||
        fail "the site lacks the installed reader"
fi

# The installed programs run, and tell the build's version.
version=$("$prefix/bin/zarn" --version) || fail "zarn --version failed"
[[ "$version" =~ ^zarn\ [0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "zarn --version printed '$version'"
number=${version#zarn }
[ "$("$prefix/bin/zarn-tool" --version)" = "zarn-tool $number" ] || fail "zarn-tool --version differs"
"$prefix/bin/zarn-tool" --help >"$WORK/help" || fail "zarn-tool --help failed"
grep -q '^usage: zarn-tool COMMAND' "$WORK/help" || fail "zarn-tool --help printed: $(cat "$WORK/help")"

# Manual pages: no warning from man or groff, and the version in the footer.
for page in zarn zarn-tool; do
    file=$prefix/share/man/man1/$page.1.gz
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$file" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$page.1: man warns: $warnings"
    warnings=$(zcat "$file" | groff -man -ww -z -t 2>&1)
    [ -z "$warnings" ] || fail "$page.1: groff warns: $warnings"
    MANWIDTH=80 man -l "$file" 2>/dev/null | tail -n 1 | grep -q "zarn $number" ||
        fail "$page.1 does not carry version $number"
done
# Every option the reader knows is in its manual page.
for option in --demo --setup --help --version; do
    MANWIDTH=80 man -l "$prefix/share/man/man1/zarn.1.gz" 2>/dev/null | grep -q -- "$option" ||
        fail "zarn.1 does not describe $option"
done

# The desktop entry and the file type.
result=$(desktop-file-validate "$prefix/share/applications/zarn.desktop" 2>&1) ||
    fail "desktop-file-validate: $result"
[ -z "$result" ] || fail "desktop-file-validate: $result"
grep -q '^MimeType=application/x-zarn-issue;$' "$prefix/share/applications/zarn.desktop" ||
    fail "the desktop entry does not open application/x-zarn-issue"

# What a Debian installation's triggers build from the installed entries (the
# file-type database and the desktop entries' type cache), then what a file
# manager does with a double-click: ask GIO for the file's type and its
# default application, and open it with that.
data=$WORK/data
mkdir -p "$data"
cp -r "$prefix/share/mime" "$prefix/share/applications" "$data/"
XDG_DATA_DIRS=$data update-mime-database "$data/mime" >"$WORK/mime.out" 2>&1 ||
    fail "update-mime-database: $(cat "$WORK/mime.out")"
[ ! -s "$WORK/mime.out" ] || fail "update-mime-database: $(cat "$WORK/mime.out")"
update-desktop-database "$data/applications" || fail "update-desktop-database failed"
desktop() {
    env PATH="$prefix/bin:$PATH" XDG_DATA_DIRS="$data:/usr/share" XDG_DATA_HOME="$WORK/nohome" \
        XDG_CONFIG_HOME="$WORK/config" XDG_STATE_HOME="$WORK/state" "$@"
}
mkdir -p "$WORK/files"
printf 'ZARNPAK1' >"$WORK/files/ZARN.DAT"
printf 'ZARNPAK1' >"$WORK/files/other.bin"
for file in "$WORK/files/ZARN.DAT" "$WORK/files/other.bin" "$prefix/share/zarn/demo/zarn.dat"; do
    type=$(desktop gio info -a standard::content-type "$file" | sed -n 's/^ *standard::content-type: //p')
    [ "$type" = application/x-zarn-issue ] || fail "$file is of type '$type'"
done
desktop gio mime application/x-zarn-issue | grep -q '^Default application for .*: zarn.desktop$' ||
    fail "zarn.desktop is not the default for issues: $(desktop gio mime application/x-zarn-issue)"
grep -q '^application/x-zarn-issue:zarn$' "$data/mime/icons" || fail "the file type has no icon"

# Icons: PNG files of their sizes (the IHDR width and height).
for size in 48 128 256; do
    header=$(od -An -tx1 -j16 -N8 "$prefix/share/icons/hicolor/${size}x$size/apps/zarn.png" | tr -d ' \n')
    [ "$header" = "$(printf '%08x%08x' "$size" "$size")" ] || fail "icon ${size}x$size is $header"
done

# The installed demo issue without a window: from another directory with
# --demo, and opened the way a file manager opens its zarn.dat. Each time
# the menu comes up without a message box and Esc ends the run in order.
mkdir -p "$WORK/config/zarn" "$WORK/elsewhere"
printf 'Show setup=0\nwindowed=1\n' >"$WORK/config/zarn/settings"
printf 'wait idle\nkey Escape\n' >"$WORK/script"
headless() {
    desktop env ZARN_PLATFORM=headless SDL_AUDIODRIVER=dummy ZARN_HEADLESS_SCRIPT="$WORK/script" \
        ZARN_HEADLESS_LOG="$WORK/$1.log" "${@:2}"
}
check_run() {
    grep -q '^frame 1 640x480' "$WORK/$1.log" || fail "$1: no menu: $(cat "$WORK/$1.log")"
    ! grep -q messagebox "$WORK/$1.log" || fail "$1: a message box: $(grep messagebox "$WORK/$1.log")"
    [ "$(tail -n 1 "$WORK/$1.out")" = "+ stackheap closed. (emulated)" ] || fail "$1 printed: $(cat "$WORK/$1.out")"
}
(cd "$WORK/elsewhere" && headless demo timeout 60 "$prefix/bin/zarn" --demo >"$WORK/demo.out" 2>&1) ||
    fail "zarn --demo failed: $(cat "$WORK/demo.out")"
check_run demo
# gio starts the program and returns; the run's last line says it ended.
(cd "$WORK/elsewhere" && headless open gio open "$prefix/share/zarn/demo/zarn.dat" >"$WORK/open.out" 2>&1) ||
    fail "gio open failed: $(cat "$WORK/open.out")"
for _ in $(seq 300); do
    [ "$(tail -n 1 "$WORK/open.out")" = "+ stackheap closed. (emulated)" ] && break
    sleep 0.1
done
check_run open

# The package: the same files under /usr, the version, and dependencies
# that name the libraries' packages and the owners of the demo's links.
cpack --config "$BUILD/CPackConfig.cmake" -B "$WORK/package" >"$WORK/cpack.out" 2>&1 ||
    fail "cpack failed: $(cat "$WORK/cpack.out")"
deb=$(ls "$WORK/package"/zarn_*.deb 2>/dev/null)
[ -f "$deb" ] || fail "cpack made no zarn_*.deb: $(ls "$WORK/package")"
packed=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sed 's|^\./usr/||' | LC_ALL=C sort)
[ "$packed" = "$expected" ] || fail "package contents differ:"$'\n'"$(diff <(echo "$expected") <(echo "$packed"))"
[ "$(dpkg-deb -f "$deb" Version)" = "$number" ] || fail "package version $(dpkg-deb -f "$deb" Version)"
depends=$(dpkg-deb -f "$deb" Depends)
for library in libsdl2-2.0-0 libfreetype6 libxmp4 libjpeg62-turbo; do
    grep -q "$library" <<<"$depends" || fail "Depends lacks $library: $depends"
done
while read -r name from how; do
    case "$name" in '' | '#'* ) continue ;; esac
    owner=$(dpkg-query -S "$from" | head -n 1 | cut -d: -f1)
    if [ "$how" = link ]; then
        grep -q "$owner" <<<"$depends" || fail "Depends lacks $owner (for $name): $depends"
    else
        ! grep -q "$owner" <<<"$depends" || fail "Depends names $owner, whose $name is copied: $depends"
    fi
done <"$ZARN_SOURCE_DIR/demo/loose-files"
echo "install: ok ($(stat -c %s "$deb") bytes packed)"
