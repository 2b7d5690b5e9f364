#!/bin/bash
# zarn-tool v3d import / info and zarn-tool scene on the 3D files of an issue.
set -euo pipefail
tool="$ZARN_BINARY_DIR/tools/zarn-tool"
base=$(mktemp -d)
trap 'rm -rf "$base"' EXIT
# A new issue carries the outro's 3D files, made by the same code as the demo's.
dir=$base/issue
"$tool" new "$dir" >/dev/null
for f in ball.v3d ball.bmp standard.bmp lens.bmp hell2.bmp zs_mask.bmp; do
    [ -s "$dir/$f" ] || { echo "missing $f"; exit 1; }
done
info=$("$tool" v3d info "$dir/ball.v3d")
echo "$info" | grep -q '^version 0x200, 1 objects' || { echo "bad info: $info"; exit 1; }
echo "$info" | grep -q 'MODEL, 0 keys, 425 vertices, 720 faces, first face mode 0x0, textures: ball' || { echo "bad info: $info"; exit 1; }
# An OBJ quad with a polygon of four corners is triangulated.
cat >"$dir/quad.obj" <<OBJ
v -1 -1 0
v 1 -1 0
v 1 1 0
v -1 1 0
vt 0 0
vt 1 0
vt 1 1
vt 0 1
f 1/1 2/2 3/3 4/4
OBJ
"$tool" v3d import "$dir/quad.obj" -o "$dir/quad.v3d" --texture standard --mode 1000 --scale 40 >/dev/null
"$tool" v3d info "$dir/quad.v3d" | grep -q '4 vertices, 2 faces, first face mode 0x1000, textures: standard'
# Renders: the ball in front of the camera covers pixels; the quad faces it.
"$tool" scene -C "$dir" ball.v3d --camera 0,0,150,0,0,0 --frames 2 -o "$dir/ball.png"
"$tool" scene -C "$dir" quad.v3d --camera 0,0,100,0,0,0 -o "$dir/quad.png"
python3 - "$dir/ball.png" "$dir/quad.png" <<'PY'
import sys, zlib, struct
def pixels(path):
    data = open(path, 'rb').read()
    w, h = struct.unpack('>II', data[16:24])
    idat = b''; i = 8
    while i < len(data):
        n, = struct.unpack('>I', data[i:i+4]); t = data[i+4:i+8]
        if t == b'IDAT': idat += data[i+8:i+8+n]
        i += 12 + n
    raw = zlib.decompress(idat)
    return w, h, raw
for path in sys.argv[1:]:
    w, h, raw = pixels(path)
    # The centre row's bytes (filter byte + RGB): something must be drawn there.
    row = raw[(h // 2) * (w * 3 + 1) + 1:(h // 2 + 1) * (w * 3 + 1)]
    assert any(row), path + ': nothing drawn on the centre row'
PY
# Missing lens.bmp: the engine does not start and the tool says so.
mkdir "$dir/empty"
if "$tool" scene -C "$dir/empty" "$dir/ball.v3d" -o "$dir/x.png" 2>/dev/null; then echo "expected failure"; exit 1; fi
echo ok
