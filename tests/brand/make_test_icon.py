#!/usr/bin/env python3
"""Writes the icon file the brand tests put into executables: three images
of the kinds icon files hold, so that each is carried over as it is.

  1. 16x16, 32 bits per pixel (BGRA bitmap with alpha, plus the 1-bit mask);
  2. 32x32, 8 bits per pixel: the project's own image (scripts/make_icon.py);
  3. 48x48, a PNG image (RGBA), as icons store their larger sizes.

Usage: make_test_icon.py OUTPUT
"""
import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(HERE)), "scripts"))
import make_icon  # noqa: E402  (the project's icon: its image is the 32x32 entry)

ICON_DIRECTORY_ENTRY = "<BBBBHHII"


def bitmap_32bpp(size):
    """A BITMAPINFOHEADER image: a diagonal gradient with alpha, no palette."""
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(struct.pack("<BBBB", (x * 16) & 255, (y * 16) & 255, 128, 255 if x >= y else 96)
                      for y in range(size) for x in range(size))
    mask_row = (size + 31) // 32 * 4
    return header + pixels + b"\0" * (mask_row * size)


def png(size):
    """A real PNG: RGBA rings."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    rows = b"".join(b"\0" + b"".join(struct.pack("BBBB", 200, (x * y) & 255, ((x - 24) ** 2 + (y - 24) ** 2) & 255, 255)
                                     for x in range(size)) for y in range(size))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def project_image():
    """The 32x32 8 bpp image of the project's icon, without its directory."""
    data = make_icon.build_icon()
    _, _, _, _, _, _, size, offset = struct.unpack_from(ICON_DIRECTORY_ENTRY, data, 6)
    return data[offset:offset + size]


def build():
    # (width, height, colour count, planes, bits, image)
    images = [(16, 16, 0, 1, 32, bitmap_32bpp(16)),
              (32, 32, 0, 1, 8, project_image()),
              (48, 48, 0, 1, 32, png(48))]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = len(out) + 16 * len(images)
    body = b""
    for width, height, colours, planes, bits, image in images:
        out += struct.pack(ICON_DIRECTORY_ENTRY, width, height, colours, 0, planes, bits, len(image), offset)
        offset += len(image)
        body += image
    return out + body


def main(argv):
    with open(argv[1], "wb") as f:
        f.write(build())
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
