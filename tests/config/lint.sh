#!/usr/bin/env bash
# zarn-tool lint on small issues made here: a clean one says "ok" and exits 0;
# one with a problem of every kind lists each as FILE: message and exits 1.
set -euo pipefail
tool="$ZARN_BINARY_DIR/tools/zarn-tool"
convert=/usr/bin/convert
fonts=/usr/share/fonts/truetype/dejavu
work=$(mktemp -d /tmp/zarn-lint-XXXXXX)
trap 'rm -rf "$work"' EXIT

fail() { echo "FAIL: $*"; exit 1; }

# An 8-bit mono WAV of four samples; wav CHANNELS BITS FILE.
wav() {
  local channels=$1 bits=$2 file=$3
  printf 'RIFF\050\000\000\000WAVEfmt \020\000\000\000\001\000' >"$file"
  printf "\\$(printf %03o "$channels")\\000\\021\\053\\000\\000\\021\\053\\000\\000\\001\\000" >>"$file"
  printf "\\$(printf %03o "$bits")\\000data\\004\\000\\000\\000\\200\\200\\200\\200" >>"$file"
}

# A real-world shape: an 18-byte "fmt " chunk and a "LIST" chunk before "data".
wav_with_list() {
  printf 'RIFF\066\000\000\000WAVEfmt \022\000\000\000\001\000\001\000\021\053\000\000' >"$1"
  printf '\021\053\000\000\001\000\010\000\000\000LIST\004\000\000\000INFOdata\003\000\000\000\200\201\202\000' >>"$1"
}

make_issue() {
  local dir=$1
  mkdir -p "$dir"
  cp "$fonts/DejaVuSans.ttf" "$dir/verdana.TTF"
  cp "$fonts/DejaVuSans-Bold.ttf" "$dir/verdanaB.TTF"
  "$convert" -size 640x400 xc:navy "$dir/_full.jpg"
  "$convert" -size 640x80 xc:gray "$dir/_help1.jpg"
  "$convert" -size 640x80 xc:gray "$dir/_help2.jpg"
  "$convert" -size 640x40 xc:teal "$dir/_topbar.jpg"
  "$convert" -size 100x16 xc:white -type truecolor "BMP3:$dir/_clkfont.bmp"
  "$convert" -size 20x20 xc:red -type truecolor "BMP3:$dir/pic.bmp"
  wav 1 8 "$dir/art.wav"; wav_with_list "$dir/page.wav"; wav 0 8 "$dir/back.wav"
  printf 'Extended Module: lint test' >"$dir/tune.xm"
  printf '<font verdana>Hello <b>bold</b> words.<image pic.bmp> More text.<newpage>Second page.' >"$dir/one.txt"
  printf '<font verdana>Another article.' >"$dir/two.txt"
  printf 'topic news News\r\nnews one.txt One~first\r\nnews two.txt Two\r\n!music main tune.xm\r\n!sound article art.wav\r\n!sound page page.wav\r\n!sound back back.wav\r\n' >"$dir/zarn.cfg"
}

# A clean issue.
make_issue "$work/good"
out=$("$tool" lint -C "$work/good") || fail "clean issue: exit $? with: $out"
[ "$out" = "ok" ] || fail "clean issue printed: $out"
# Music is optional: the reader plays none without a "!music main" entry.
grep -v '^!music' "$work/good/zarn.cfg" >"$work/good/cfg" && mv "$work/good/cfg" "$work/good/zarn.cfg"
out=$("$tool" lint -C "$work/good") || fail "issue without music: exit $? with: $out"
[ "$out" = "ok" ] || fail "issue without music printed: $out"

# The same issue with one problem of each kind.
bad="$work/bad"
make_issue "$bad"
rm "$bad/_help2.jpg"
wav 2 8 "$bad/page.wav"
wav 1 16 "$bad/back.wav"
head -c 44 "$bad/art.wav" >"$bad/cut.wav" && mv "$bad/cut.wav" "$bad/art.wav"  # data chunk with no bytes
rm "$bad/tune.xm"
printf '<font verdana>Text <image missing.jpg> and <font nosuchface>more.<newpage>Fine.' >"$bad/one.txt"
printf '<font verdana>Unclosed <b' >"$bad/three.txt"
printf '<font verdana><i>Italic is not there.' >"$bad/two.txt"
long=$(printf 'x%.0s' $(seq 70))
{
  printf 'topic news News\ntopic empty Nothing here\nnews one.txt One\nnews two.txt Two\nnews three.txt Three\nnews absent.txt Gone\n'
  printf 'news %s.txt long title\n' "$long"
  printf '!music main tune.xm\n!sound article art.wav\n!sound page page.wav\n!sound back back.wav\n'
  for i in $(seq 60); do printf 'filler f%d value\n' "$i"; done
} >"$bad/zarn.cfg"
set +e
out=$("$tool" lint -C "$bad")
status=$?
set -e
echo "$out"
[ $status -eq 1 ] || fail "problem issue: exit $status"
expect() { grep -qF -- "$1" <<<"$out" || fail "missing line: $1"; }
expect "_help2.jpg: picture does not load"
expect "page.wav: 2 channels (effects must be mono)"
expect "back.wav: 16 bits per sample (effects must be 8-bit)"
expect "art.wav: no sample data"
expect "tune.xm: music module is not a loose file in the issue directory"
expect "zarn.cfg: line 2: topic 'empty' has no articles"
expect "zarn.cfg: line 7: second word over 63 characters, cut"
expect "zarn.cfg: line 65: 7 entries beyond 64 ignored"
expect "absent.txt: article does not load"
expect "one.txt: page 1: "
expect "missing.jpg"
expect "nosuchface"
expect "three.txt: "
expect "tag not closed!"
expect "two.txt: page 1: "
if grep -qx ok <<<"$out"; then fail "problem issue also printed ok"; fi
# Every line names a file.
if grep -vq '^[^ ]*: ' <<<"$out"; then fail "a line without FILE: prefix"; fi

# A directory that does not exist is a usage failure, not a lint report.
if "$tool" lint -C "$work/nowhere" 2>/dev/null; then fail "missing directory accepted"; fi
echo "lint ok"
