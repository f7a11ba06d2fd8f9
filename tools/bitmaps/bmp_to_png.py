#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Turns the generator's 32-bit BMP (straight alpha in the fourth byte) into
an RGBA PNG. Standard library only."""
import struct
import sys
import zlib


def read_bmp32(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:2] != b"BM":
        raise SystemExit(f"{path}: not a BMP file")
    off = struct.unpack_from("<I", data, 10)[0]
    width, height, _, bpp = struct.unpack_from("<iiHH", data, 18)
    if bpp != 32 or width <= 0 or height <= 0:
        raise SystemExit(f"{path}: expected a bottom-up 32-bit BMP")
    rows = []
    for y in range(height - 1, -1, -1):  # bottom-up in the file
        start = off + y * width * 4
        row = bytearray()
        for x in range(width):
            b, g, r, a = data[start + 4 * x:start + 4 * x + 4]
            row += bytes((r, g, b, a))
        rows.append(bytes(row))
    return width, height, rows


def write_png(path, width, height, rows):
    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    raw = b"".join(b"\x00" + row for row in rows)
    png = (b"\x89PNG\r\n\x1a\n" +
           chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)) +
           chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))
    with open(path, "wb") as f:
        f.write(png)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        raise SystemExit("usage: bmp_to_png.py IN.bmp OUT.png")
    write_png(sys.argv[2], *read_bmp32(sys.argv[1]))
