#!/usr/bin/env python3
"""bmp_to_png.py IN.bmp OUT.png [X Y W H]: converts an uncompressed 24-bit BMP (as the
demo's screen capture writes it) to PNG with the standard library alone, optionally
cropped to a rectangle."""
import struct
import sys
import zlib


def convert(source, target, crop=None):
    data = open(source, "rb").read()
    if data[:2] != b"BM":
        raise SystemExit(f"{source}: not a BMP file")
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height, _, bits = struct.unpack_from("<iiHH", data, 18)
    if bits != 24:
        raise SystemExit(f"{source}: {bits} bits per pixel, expected 24")
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in range(abs(height)):
        # Bottom-up when the height is positive.
        row_index = abs(height) - 1 - y if height > 0 else y
        row = data[offset + row_index * stride: offset + row_index * stride + width * 3]
        rgb = bytearray(row)
        rgb[0::3], rgb[2::3] = row[2::3], row[0::3]  # BGR to RGB
        rows.append(b"\x00" + bytes(rgb))

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    if crop:
        x, y, w, h = crop
        rows = [b"\x00" + row[1 + 3 * x: 1 + 3 * (x + w)] for row in rows[y:y + h]]
        width, height = w, h
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, abs(height), 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(b"".join(rows), 9))
    png += chunk(b"IEND", b"")
    open(target, "wb").write(png)


if __name__ == "__main__":
    if len(sys.argv) not in (3, 7):
        raise SystemExit("usage: bmp_to_png.py IN.bmp OUT.png [X Y W H]")
    convert(sys.argv[1], sys.argv[2], [int(v) for v in sys.argv[3:]] or None)
