#!/usr/bin/env python3
"""Converts the XWD screen file that `Xvfb -fbdir DIR` keeps (DIR/Xvfb_screen0)
into a PNG, with the standard library only: xwd2png.py IN OUT [WIDTH HEIGHT]
(an optional crop from the top-left corner). Handles 24/32-bit TrueColor screens."""
import struct
import sys
import zlib


def read_xwd(path):
    data = open(path, "rb").read()
    fields = struct.unpack(">25I", data[:100])
    header_size, _version, _fmt, depth, width, height = fields[:6]
    byte_order, bits_per_pixel, bytes_per_line = fields[7], fields[11], fields[12]
    red_mask, green_mask, blue_mask = fields[14], fields[15], fields[16]
    ncolors = fields[19]
    if bits_per_pixel != 32 or depth not in (24, 32):
        sys.exit("unsupported screen: depth %d, %d bits per pixel" % (depth, bits_per_pixel))
    offset = header_size + ncolors * 12
    order = "<" if byte_order == 0 else ">"

    def shift(mask):
        s = 0
        while mask and not (mask >> s) & 1:
            s += 1
        return s

    shifts = (shift(red_mask), shift(green_mask), shift(blue_mask))
    rows = []
    for y in range(height):
        line = data[offset + y * bytes_per_line: offset + y * bytes_per_line + width * 4]
        pixels = struct.unpack(order + "%dI" % width, line)
        row = bytearray()
        for p in pixels:
            row += bytes(((p >> shifts[0]) & 0xFF, (p >> shifts[1]) & 0xFF, (p >> shifts[2]) & 0xFF))
        rows.append(bytes(row))
    return width, height, rows


def write_png(path, width, height, rows):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)

    raw = b"".join(b"\x00" + r[: width * 3] for r in rows[:height])
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
    open(path, "wb").write(png)


def main():
    if len(sys.argv) not in (3, 5):
        sys.exit(__doc__)
    width, height, rows = read_xwd(sys.argv[1])
    if len(sys.argv) == 5:
        width = min(width, int(sys.argv[3]))
        height = min(height, int(sys.argv[4]))
    write_png(sys.argv[2], width, height, rows)


if __name__ == "__main__":
    main()
