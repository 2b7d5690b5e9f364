#!/usr/bin/env bash
# build-demo.sh TOOL MAKE_ART SOURCE_DIR OUT_DIR — assembles the demo issue.
set -euo pipefail
tool=$1 art=$2 src=$3 out=$4
fonts=/usr/share/fonts/truetype/dejavu
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

"$art" "$stage" "$fonts"
# Articles and zarn.cfg are kept in UTF-8 with plain line feeds in the
# repository; the reader reads bytes as Latin-1 and treats a bare line feed as
# nothing at all, so they get Latin-1 and CR LF here.
for f in "$src"/issue/*; do
  case "$f" in
    *.txt|*.cfg) iconv -f UTF-8 -t ISO-8859-1 "$f" | sed 's/\r$//; s/$/\r/' > "$stage/$(basename "$f")" ;;
    *) cp "$f" "$stage/" ;;
  esac
done
# The ball's mesh becomes ball.v3d; the import sizes its texture coordinates
# from ball.bmp, found in the working directory.
(cd "$stage" && "$tool" v3d import ball.obj -o ball.v3d --texture ball > /dev/null)
rm "$stage/ball.obj"

mkdir -p "$out"
"$tool" pack -o "$out/zarn.dat.new" "$stage"
mv "$out/zarn.dat.new" "$out/zarn.dat"

# Loose beside the archive: the fonts, under the face names the articles use,
# and the music module (demo/loose-files lists them).
while read -r name from _; do
  case "$name" in ''|'#'*) continue ;; esac
  cp "$from" "$out/$name"
done <"$src/loose-files"
