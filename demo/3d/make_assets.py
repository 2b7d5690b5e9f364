#!/usr/bin/env python3
"""Makes the demo issue's 3D assets into OUTDIR:

  ball.v3d      a textured sphere (an OBJ made here, imported with zarn-tool)
  ball.bmp      its texture
  standard.bmp  the engine's default texture
  lens.bmp      the main lens-flare image
  hell2.bmp     an 8-bit index map (the cloth's second layer)
  zs_mask.bmp   the 8-bit z-shadow mask

usage: make_assets.py OUTDIR [--tool PATH-TO-zarn-tool]
Everything is drawn from formulas: no outside art.
"""
import math
import os
import struct
import subprocess
import sys


def bmp24(path, w, h, pixel):
    pad = (4 - (w * 3) % 4) % 4
    rows = []
    for y in range(h - 1, -1, -1):
        row = bytearray()
        for x in range(w):
            r, g, b = pixel(x, y)
            row += bytes((b, g, r))
        row += b"\0" * pad
        rows.append(bytes(row))
    data = b"".join(rows)
    header = b"BM" + struct.pack("<IHHI", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + data)


def bmp8(path, w, h, index):
    assert w % 4 == 0
    palette = b"".join(bytes((i, i, i, 0)) for i in range(256))
    data = b"".join(bytes(index(x, y) for x in range(w)) for y in range(h - 1, -1, -1))
    header = b"BM" + struct.pack("<IHHI", 1078 + len(data), 0, 0, 1078)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 8, 0, len(data), 2835, 2835, 256, 0)
    with open(path, "wb") as f:
        f.write(header + info + palette + data)


def clamp(v):
    return max(0, min(255, int(v)))


def sphere_obj(path, radius=40.0, rings=16, segments=24):
    lines = ["# sphere made by make_assets.py"]
    for i in range(rings + 1):
        th = math.pi * i / rings
        for j in range(segments + 1):
            ph = 2 * math.pi * j / segments
            lines.append("v %.5f %.5f %.5f" % (radius * math.sin(th) * math.cos(ph), radius * math.cos(th),
                                               radius * math.sin(th) * math.sin(ph)))
            lines.append("vt %.5f %.5f" % (j / segments, 1 - i / rings))
    stride = segments + 1
    for i in range(rings):
        for j in range(segments):
            a = i * stride + j + 1
            b, c, d = a + 1, a + stride, a + stride + 1
            # Anticlockwise seen from outside, as OBJ expects.
            if i > 0:
                lines.append("f %d/%d %d/%d %d/%d" % (a, a, b, b, c, c))
            if i < rings - 1:
                lines.append("f %d/%d %d/%d %d/%d" % (b, b, d, d, c, c))
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    out = sys.argv[1]
    tool = "zarn-tool"
    if "--tool" in sys.argv:
        tool = sys.argv[sys.argv.index("--tool") + 1]
    os.makedirs(out, exist_ok=True)

    bmp24(os.path.join(out, "standard.bmp"), 128, 128,
          lambda x, y: (60, 60 + (x ^ y) % 64, 120 + ((x // 16 + y // 16) % 2) * 80))
    bmp24(os.path.join(out, "ball.bmp"), 256, 128,
          lambda x, y: (clamp(200 + 55 * math.sin(x / 8.0)), clamp(90 + 60 * math.sin(y / 6.0)),
                        40 if (x // 32 + y // 32) % 2 else 160))

    def lens(x, y):
        d = math.hypot(x - 63.5, y - 63.5) / 64.0
        glow = max(0.0, 1.0 - d) ** 2
        ring = max(0.0, 1.0 - abs(d - 0.7) * 20)
        return clamp(255 * glow + 60 * ring), clamp(220 * glow + 40 * ring), clamp(160 * glow + 90 * ring)

    bmp24(os.path.join(out, "lens.bmp"), 128, 128, lens)
    bmp8(os.path.join(out, "hell2.bmp"), 256, 256,
         lambda x, y: clamp(40 + 40 * math.sin(x / 11.0) * math.cos(y / 13.0) + 30 * math.sin((x + y) / 7.0)))
    bmp8(os.path.join(out, "zs_mask.bmp"), 256, 256,
         lambda x, y: clamp(math.hypot(x - 127.5, y - 127.5) / 1.8))

    obj = os.path.join(out, "ball.obj")
    sphere_obj(obj)
    subprocess.run([tool, "v3d", "import", obj, "-o", os.path.join(out, "ball.v3d"), "--texture", "ball"],
                   check=True, cwd=out)
    os.remove(obj)


if __name__ == "__main__":
    main()
