#!/usr/bin/env python3
"""Write the images the splash tests build into their executables as RCDATA 129.

  splash_test.png   101 x 61 RGBA, odd width, regions the pixel tests know:
                      x  0..32  opaque: rows 0..29 (200, 100, 50), rows 30..60 (40, 220, 120)
                      x 33..66  (240, 120, 60) at alpha 128
                      x 67..100 white at alpha 0 (shows as nothing when alpha is honoured)
                    plus two opaque single-pixel markers: (0, 0) white and (100, 60) green.
  splash_large.png  2001 x 1201 RGBA, larger than a 1920 x 1080 screen (the tests skip on a screen that is not
                    smaller in both directions): opaque (60, 90, 200) with two opaque single-pixel markers:
                      (40, 60) white, the pixel that lands on the top left corner of a 1920 x 1080 screen when
                      the image is centred (the signed halves of -81 and -121 are -40 and -60);
                      (1000, 600) green, the image's middle, which lands on the screen's middle pixel
                      (width / 2, height / 2) on any screen smaller than the image.
  not_an_image.bin  a few bytes of text that no image decoder accepts.
  empty.bin         zero bytes.

Standard library only (zlib + struct); the output is identical on every run:
    python3 tests/splash/images/generate_test_images.py
"""

import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def _chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def write_png(path, width, height, pixel_at):
    """pixel_at(x, y) -> (r, g, b, a); stored as 8-bit RGBA, filter 0 on every row."""
    raw = bytearray()
    for y in range(height):
        raw.append(0)
        for x in range(width):
            raw.extend(pixel_at(x, y))
    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    png = (b"\x89PNG\r\n\x1a\n" + _chunk(b"IHDR", header) + _chunk(b"IDAT", zlib.compress(bytes(raw), 9))
           + _chunk(b"IEND", b""))
    with open(path, "wb") as f:
        f.write(png)


def test_pixel(x, y):
    if (x, y) == (0, 0):
        return (255, 255, 255, 255)
    if (x, y) == (100, 60):
        return (0, 255, 0, 255)
    if x <= 32:
        return (200, 100, 50, 255) if y <= 29 else (40, 220, 120, 255)
    if x <= 66:
        return (240, 120, 60, 128)
    return (255, 255, 255, 0)


LARGE_MARKERS = ((40, 60), (1000, 600))


def large_pixel(x, y):
    if (x, y) == (40, 60):
        return (255, 255, 255, 255)
    if (x, y) == (1000, 600):
        return (0, 255, 0, 255)
    return (60, 90, 200, 255)


def write_large(path):
    # Same rows over and over: built once per kind of row instead of pixel by pixel.
    width, height = 2001, 1201
    plain = bytes([0]) + bytes(large_pixel(1, 1)) * width
    rows = {}
    for x, y in LARGE_MARKERS:
        marked = bytearray(plain)
        marked[1 + x * 4:1 + (x + 1) * 4] = bytes(large_pixel(x, y))
        rows[y] = bytes(marked)
    raw = b"".join(rows.get(y, plain) for y in range(height))
    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    png = (b"\x89PNG\r\n\x1a\n" + _chunk(b"IHDR", header) + _chunk(b"IDAT", zlib.compress(raw, 9))
           + _chunk(b"IEND", b""))
    with open(path, "wb") as f:
        f.write(png)


def main():
    write_png(os.path.join(HERE, "splash_test.png"), 101, 61, test_pixel)
    write_large(os.path.join(HERE, "splash_large.png"))
    with open(os.path.join(HERE, "not_an_image.bin"), "wb") as f:
        f.write(b"This is not a picture of anything.\n")
    with open(os.path.join(HERE, "empty.bin"), "wb") as f:
        pass


if __name__ == "__main__":
    main()
