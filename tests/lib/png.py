"""Reading PNG files for tests, Python 3 standard library only: 8-bit RGB or
RGBA (what our tools and a browser canvas write), not interlaced.

    from png import read_png
    width, height, pixels = read_png("screen.png")  # pixels[y * width + x] = 0xRRGGBB
"""

import struct
import zlib


def _unfilter(kind, row, previous, step):
    out = bytearray(row)
    for i in range(len(out)):
        left = out[i - step] if i >= step else 0
        up = previous[i]
        corner = previous[i - step] if i >= step else 0
        if kind == 1:
            out[i] = (out[i] + left) & 255
        elif kind == 2:
            out[i] = (out[i] + up) & 255
        elif kind == 3:
            out[i] = (out[i] + (left + up) // 2) & 255
        elif kind == 4:
            guess = left + up - corner
            a, b, c = abs(guess - left), abs(guess - up), abs(guess - corner)
            out[i] = (out[i] + (left if a <= b and a <= c else up if b <= c else corner)) & 255
        elif kind != 0:
            raise ValueError("unknown PNG filter %d" % kind)
    return out


def decode_png(data):
    """(width, height, pixels) of PNG bytes; pixels as 0xRRGGBB ints, row by row."""
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG file")
    at, header, packed = 8, None, b""
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        at += 12 + length
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            packed += body
        elif kind == b"IEND":
            break
    width, height, depth, colour, _, _, interlace = header
    if depth != 8 or colour not in (2, 6) or interlace:
        raise ValueError("only 8-bit RGB or RGBA PNG without interlace is read here")
    step = 3 if colour == 2 else 4
    raw = zlib.decompress(packed)
    stride = width * step
    pixels, previous = [], bytearray(stride)
    for y in range(height):
        start = y * (stride + 1)
        row = _unfilter(raw[start], raw[start + 1:start + 1 + stride], previous, step)
        pixels.extend(row[x] << 16 | row[x + 1] << 8 | row[x + 2] for x in range(0, stride, step))
        previous = row
    return width, height, pixels


def read_png(path):
    with open(path, "rb") as f:
        return decode_png(f.read())
