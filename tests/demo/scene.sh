#!/usr/bin/env bash
# zarn-tool scene draws the demo issue's ball, whose scene, texture and the
# engine's own pictures are all members of zarn.dat: the same picture as from
# those files lying loose, and a loose file comes before the member.
set -euo pipefail
tool="$ZARN_BINARY_DIR/tools/zarn-tool"
demo="$ZARN_BINARY_DIR/demo"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
files="ball.v3d ball.bmp standard.bmp lens.bmp zs_mask.bmp"
scene() { "$tool" scene -C "$1" "$2" --camera 0,0,150,0,0,0 -o "$3"; }

for f in $files; do
    if [ -e "$demo/$f" ]; then echo "$f lies loose in the demo issue"; exit 1; fi
done
scene "$demo" ball.v3d "$dir/archive.png"

# The same files loose give the same picture.
mkdir "$dir/loose"
"$tool" extract "$demo/zarn.dat" -C "$dir/loose" $files
scene "$dir/loose" ball.v3d "$dir/loose.png"
cmp "$dir/archive.png" "$dir/loose.png"
# A scene path from where the tool started still works beside the issue.
scene "$demo" "$dir/loose/ball.v3d" "$dir/path.png"
cmp "$dir/archive.png" "$dir/path.png"
# Without ball.bmp the ball wears the default texture, so the pictures above
# did use the member.
mv "$dir/loose/ball.bmp" "$dir/ball.bmp"
scene "$dir/loose" ball.v3d "$dir/default.png"
if cmp -s "$dir/archive.png" "$dir/default.png"; then echo "ball.bmp made no difference"; exit 1; fi

# A loose ball.bmp in tex/ beside the archive wins over the member.
mkdir -p "$dir/issue/tex"
cp "$demo/zarn.dat" "$dir/issue/"
cp "$dir/loose/lens.bmp" "$dir/issue/tex/ball.bmp"
scene "$dir/issue" ball.v3d "$dir/override.png"
cp "$dir/loose/lens.bmp" "$dir/loose/ball.bmp"
scene "$dir/loose" ball.v3d "$dir/override-loose.png"
cmp "$dir/override.png" "$dir/override-loose.png"
if cmp -s "$dir/override.png" "$dir/archive.png"; then echo "the loose ball.bmp was not used"; exit 1; fi
echo ok
