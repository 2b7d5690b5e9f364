#!/usr/bin/env bash
# zarn-tool pack, list, extract, cat and lzrw3 on a directory of mixed files:
# everything must come back byte for byte, and every error must exit 1 with one
# line naming the file, leaving no half-written output behind.
set -uo pipefail

tool="$ZARN_BINARY_DIR/tools/zarn-tool"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# expect_error WHAT PATTERN COMMAND... — exit status 1 and a single stderr line matching PATTERN.
expect_error() {
  local what=$1 pattern=$2; shift 2
  "$@" >"$work/out.txt" 2>"$work/err.txt"
  local status=$?
  [ "$status" -eq 1 ] || fail "$what: exit status $status, expected 1"
  [ "$(wc -l <"$work/err.txt")" -eq 1 ] || fail "$what: expected one line on stderr, got: $(cat "$work/err.txt")"
  grep -q -- "$pattern" "$work/err.txt" || fail "$what: stderr '$(cat "$work/err.txt")' lacks '$pattern'"
}

# --- a directory of mixed files -------------------------------------------
src="$work/src"
mkdir -p "$src/subdir-is-skipped"
for i in $(seq 1 400); do echo "Line $i: the quick brown fox jumps over the lazy dog."; done >"$src/article.aua"
printf 'topic 1 News\narticle 1 article.aua\n' >"$src/zarn.cfg"
head -c 70000 /dev/urandom >"$src/noise.bin"
{ printf '\xff\xd8\xff\xe0'; head -c 3000 /dev/zero; } >"$src/_full.jpg"
head -c 100000 /dev/zero >"$src/zeros.raw"
: >"$src/empty.txt"
printf 'abc' >"$src/tiny"
echo "not packed" >"$src/subdir-is-skipped/inner.txt"

"$tool" pack -o "$work/zarn.dat" "$src" || fail "pack exited $?"
"$tool" list "$work/zarn.dat" >"$work/list.txt" || fail "list exited $?"

[ "$(wc -l <"$work/list.txt")" -eq 7 ] || fail "list: expected 7 entries, got $(cat "$work/list.txt")"
while read -r name method packed unpacked offset; do
  size=$(stat -c %s "$src/$name")
  [ "$unpacked" -eq "$size" ] || fail "list: $name unpacked $unpacked, file has $size"
  case $name in
    _full.jpg|noise.bin|empty.txt|tiny) [ "$method" -eq 0 ] || fail "list: $name should be stored, got method $method" ;;
    article.aua|zeros.raw) [ "$method" -eq 3 ] || fail "list: $name should be LZRW3, got method $method"
                          [ "$packed" -lt "$unpacked" ] || fail "list: $name packed $packed not smaller" ;;
  esac
  [ "$offset" -ge 16 ] || fail "list: $name offset $offset inside the header"
done <"$work/list.txt"
# Fields are separated by single spaces.
grep -qvE '^[^ ]+ [0-9]+ [0-9]+ [0-9]+ [0-9]+$' "$work/list.txt" && fail "list: malformed line"

"$tool" extract "$work/zarn.dat" -C "$work/out" || fail "extract exited $?"
for f in "$src"/*; do
  [ -f "$f" ] || continue
  cmp -s "$f" "$work/out/$(basename "$f")" || fail "extract: $(basename "$f") differs"
done
[ ! -e "$work/out/inner.txt" ] || fail "extract: a file of a subdirectory was packed"

# Named extraction ignores case.
"$tool" extract "$work/zarn.dat" -C "$work/named" ZARN.CFG || fail "extract by name exited $?"
cmp -s "$src/zarn.cfg" "$work/named/zarn.cfg" || fail "extract by name: zarn.cfg differs"
[ "$(ls "$work/named" | wc -l)" -eq 1 ] || fail "extract by name wrote more than one file"

# cat finds members as the reader does, and loose files first.
issue="$work/issue"
mkdir -p "$issue/tex"
cp "$work/zarn.dat" "$issue/zarn.dat"
for f in "$src"/*; do
  [ -f "$f" ] || continue
  "$tool" cat -C "$issue" "$(basename "$f")" | cmp -s - "$f" || fail "cat: $(basename "$f") differs"
done
"$tool" cat -C "$issue" ARTICLE.AUA | cmp -s - "$src/article.aua" || fail "cat: case-insensitive lookup"
echo "loose in tex" >"$issue/tex/zarn.cfg"
[ "$("$tool" cat -C "$issue" zarn.cfg)" = "loose in tex" ] || fail "cat: loose file in tex/ not preferred"
echo "loose here" >"$issue/zarn.cfg"
[ "$("$tool" cat -C "$issue" zarn.cfg)" = "loose here" ] || fail "cat: loose file in DIR not preferred"

# --store keeps every member as it is.
"$tool" pack -o "$work/stored.dat" --store "$src/article.aua" "$src/zeros.raw" || fail "pack --store exited $?"
[ "$("$tool" list "$work/stored.dat" | awk '$2 == 0' | wc -l)" -eq 2 ] || fail "pack --store: a member was compressed"

# lzrw3 compress and decompress round trip, and a copy block for noise.
"$tool" lzrw3 compress "$src/article.aua" "$work/a.lz" || fail "lzrw3 compress exited $?"
"$tool" lzrw3 decompress "$work/a.lz" "$work/a.out" "$(stat -c %s "$src/article.aua")" || fail "lzrw3 decompress exited $?"
cmp -s "$src/article.aua" "$work/a.out" || fail "lzrw3: round trip differs"
"$tool" lzrw3 compress "$src/noise.bin" "$work/n.lz" || fail "lzrw3 compress noise exited $?"
[ "$(stat -c %s "$work/n.lz")" -eq 70004 ] || fail "lzrw3: noise should become a 70004-byte copy block"
[ "$(head -c 1 "$work/n.lz" | od -An -tu1 | tr -d ' ')" -eq 1 ] || fail "lzrw3: noise block flag is not 1"

# --- errors ---------------------------------------------------------------
expect_error "list of a missing file" "nothing.dat" "$tool" list "$work/nothing.dat"
head -c 10 "$work/zarn.dat" >"$work/short.dat"
expect_error "list of a short file" "short.dat" "$tool" list "$work/short.dat"
expect_error "extract of a short file" "short.dat" "$tool" extract "$work/short.dat" -C "$work/x1"
expect_error "extract of a missing member" "no member named 'missing'" "$tool" extract "$work/zarn.dat" -C "$work/x2" missing
expect_error "cat of a missing name" "missing" "$tool" cat -C "$issue" missing
expect_error "pack of a missing path" "does-not-exist" "$tool" pack -o "$work/bad.dat" "$work/does-not-exist"
[ ! -e "$work/bad.dat" ] || fail "pack left an archive behind after an error"

mkdir -p "$work/clash/a" "$work/clash/b"
echo one >"$work/clash/a/Name.txt"; echo two >"$work/clash/b/NAME.TXT"
expect_error "pack of clashing names" "clashes" "$tool" pack -o "$work/clash.dat" "$work/clash/a" "$work/clash/b"
long=$(printf 'n%.0s' $(seq 1 64))
echo x >"$work/clash/$long"
expect_error "pack of a long name" "longer than 63" "$tool" pack -o "$work/clash.dat" "$work/clash/$long"
[ -z "$(ls "$work" | grep -E '^clash\.dat')" ] || fail "pack left a file behind: $(ls "$work" | grep clash.dat)"

# An existing archive survives a failed pack untouched.
cp "$work/zarn.dat" "$work/keep.dat"
expect_error "pack over an archive" "does-not-exist" "$tool" pack -o "$work/keep.dat" "$work/does-not-exist"
cmp -s "$work/zarn.dat" "$work/keep.dat" || fail "a failed pack changed the existing archive"

# A write that cannot be done says why and leaves nothing beside its target.
mkdir -p "$work/taken.dat/inside"
expect_error "pack onto a directory" "taken.dat: cannot replace it: Is a directory" \
  "$tool" pack -o "$work/taken.dat" "$src/article.aua"
[ -z "$(ls "$work" | grep -E '^taken\.dat.')" ] || fail "a failed pack left its temporary file"
expect_error "pack below a file" "keep.dat/new.dat: cannot make the directories on the way: Not a directory" \
  "$tool" pack -o "$work/keep.dat/new.dat" "$src/article.aua"
# A new archive gets the mode any new file gets.
(umask 002 && "$tool" pack -o "$work/mode.dat" "$src/article.aua" >/dev/null) || fail "pack under umask 002 failed"
[ "$(stat -c %a "$work/mode.dat")" = 664 ] || fail "pack under umask 002 made mode $(stat -c %a "$work/mode.dat")"

# Damaged compressed member: extract fails and writes nothing for it.
python3 - "$work/zarn.dat" "$work/damaged.dat" <<'EOF'
import struct, sys
data = bytearray(open(sys.argv[1], 'rb').read())
directory, count = struct.unpack_from('<II', data, 8)
for i in range(count):
    offset, method, packed, unpacked = struct.unpack_from('<IIII', data, directory + 80 * i)
    name = data[directory + 80 * i + 16:directory + 80 * i + 80].split(b'\0')[0]
    if name == b'article.aua':
        struct.pack_into('<I', data, directory + 80 * i + 12, unpacked + 1)
open(sys.argv[2], 'wb').write(data)
EOF
expect_error "extract of a damaged member" "article.aua" "$tool" extract "$work/damaged.dat" -C "$work/dmg" article.aua
[ ! -e "$work/dmg/article.aua" ] || fail "extract left a damaged member's file behind"
[ -z "$(ls -A "$work/dmg" 2>/dev/null)" ] || fail "extract left temporary files: $(ls -A "$work/dmg")"

# Hostile member names are refused.
python3 - "$work/zarn.dat" "$work/hostile.dat" <<'EOF'
import struct, sys
data = bytearray(open(sys.argv[1], 'rb').read())
directory, count = struct.unpack_from('<II', data, 8)
at = directory + 16
data[at:at + 64] = b'../escape'.ljust(64, b'\0')
open(sys.argv[2], 'wb').write(data)
EOF
expect_error "extract of '../escape'" "refusing member name" "$tool" extract "$work/hostile.dat" -C "$work/h"
[ ! -e "$work/escape" ] || fail "extract wrote outside its directory"

expect_error "lzrw3 decompress with a wrong size" "a.lz" "$tool" lzrw3 decompress "$work/a.lz" "$work/wrong.out" 5
[ ! -e "$work/wrong.out" ] || fail "lzrw3 decompress left output after an error"
head -c 101 "$work/a.lz" >"$work/cut.lz"
expect_error "lzrw3 decompress of a cut block" "cut.lz" "$tool" lzrw3 decompress "$work/cut.lz" "$work/cut.out" "$(stat -c %s "$src/article.aua")"
[ ! -e "$work/cut.out" ] || fail "lzrw3 decompress left output for a cut block"
expect_error "lzrw3 decompress with a bad size" "SIZE" "$tool" lzrw3 decompress "$work/a.lz" "$work/x.out" 12x
expect_error "unknown lzrw3 action" "expected" "$tool" lzrw3 squash "$work/a.lz" "$work/x.out"

# Every command has its help.
for command in pack list extract cat lzrw3; do
  "$tool" "$command" --help | grep -q "usage: zarn-tool $command" || fail "$command --help"
done
"$tool" --help | grep -q "extract" || fail "zarn-tool --help"

if [ "$failures" -ne 0 ]; then
  echo "$failures failure(s)"
  exit 1
fi
echo "tool round trip: all checks passed"
