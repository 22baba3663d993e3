#!/usr/bin/env python3
"""Converts an uncompressed 24- or 32-bit BMP, as the window's test saves its
screenshots, into a PNG, with nothing beyond Python's standard library.

usage: bmp2png.py IN.bmp OUT.png
"""
import struct
import sys
import zlib


def convert(source, target):
    data = open(source, "rb").read()
    offset, = struct.unpack_from("<I", data, 10)
    width, height, _, bits, compression = struct.unpack_from("<iiHHI", data, 18)
    if data[:2] != b"BM" or bits not in (24, 32) or compression not in (0, 3):
        raise SystemExit("bmp2png: %s is not an uncompressed 24- or 32-bit BMP" % source)
    step = bits // 8
    stride = (width * step + 3) & ~3
    rows = []
    for y in range(abs(height)):
        # Rows are stored bottom-up unless the height is negative.
        line = height - 1 - y if height > 0 else y
        start = offset + line * stride
        pixels = data[start:start + width * step]
        row = bytearray(b"\0")
        for x in range(width):
            b, g, r = pixels[x * step:x * step + 3]
            row += bytes((r, g, b))
        rows.append(bytes(row))

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    png = (b"\x89PNG\r\n\x1a\n" +
           chunk(b"IHDR", struct.pack(">IIBBBBB", width, abs(height), 8, 2, 0, 0, 0)) +
           chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b""))
    with open(target, "wb") as out:
        out.write(png)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        raise SystemExit(__doc__)
    convert(sys.argv[1], sys.argv[2])
