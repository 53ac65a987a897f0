#!/usr/bin/env python3
"""Writes res/tarnwick.ico: tarnwick's own icon, one 32x32 image in 256 colours.

The file is put together byte by byte so that its format is exactly what the
executable should carry: an icon directory with one entry (8 bits per pixel,
256-colour palette), a BITMAPINFOHEADER whose height counts the image and its
mask, a 256-entry palette, the 32x32 pixel indices (bottom row first) and the
1-bit transparency mask.

The picture is a coffee cup on a saucer with two wisps of steam.

Usage: make_icon.py [OUTPUT]   (default: res/tarnwick.ico beside this script's
parent directory)
"""
import os
import struct
import sys

SIZE = 32

# One character per pixel, top row first.  '.' is transparent.
PICTURE = [
    "................................",
    "..........s......s..............",
    ".........s......s...............",
    ".........s......s...............",
    "..........s......s..............",
    "...........s......s.............",
    "...........s......s.............",
    "..........s......s..............",
    ".........s......s...............",
    "................................",
    "....kkkkkkkkkkkkkkkkkkkkk.......",
    "....kccccccccccccccccccck.......",
    "....kwwwwwwwwwwwwwwwwwwwkkkkk...",
    "....kwwwwwwwwwwwwwwwwwwwk...kk..",
    "....kwwhwwwwwwwwwwwwwwwwk....k..",
    "....kwwhwwwwwwwwwwwwwwwwk....k..",
    "....kwwhwwwwwwwwwwwwwwwwk....k..",
    ".....kwhwwwwwwwwwwwwwwwk....kk..",
    ".....kwwwwwwwwwwwwwwwwwkkkkkk...",
    ".....kwwwwwwwwwwwwwwwwwk........",
    "......kwwwwwwwwwwwwwwwk.........",
    "......kwwwwwwwwwwwwwwwk.........",
    ".......kwwwwwwwwwwwwwk..........",
    "........kwwwwwwwwwwwk...........",
    "..kkkkkkkkkkkkkkkkkkkkkkkkkk....",
    ".kppppppppppppppppppppppppppk...",
    "..kddddddddddddddddddddddddk....",
    "....kkkkkkkkkkkkkkkkkkkkkk......",
    "................................",
    "................................",
    "................................",
    "................................",
]

# The colours the picture uses, as (red, green, blue), with their palette slots.
NAMED = {
    ".": (0, (255, 255, 255)),      # under the mask: never seen
    "k": (1, (40, 24, 16)),         # outline, dark brown
    "c": (2, (110, 62, 30)),        # coffee surface
    "w": (3, (214, 92, 48)),        # cup body, terracotta
    "h": (4, (250, 200, 170)),      # highlight on the cup
    "s": (5, (150, 150, 160)),      # steam
    "p": (6, (235, 235, 225)),      # saucer rim
    "d": (7, (170, 170, 160)),      # saucer shade
}


def palette():
    """256 entries: the named colours first, then a 6x6x6 colour cube and a
    grey ramp to fill the table."""
    colours = [None] * 256
    for slot, rgb in NAMED.values():
        colours[slot] = rgb
    rest = [(r * 51, g * 51, b * 51) for r in range(6) for g in range(6) for b in range(6)]
    rest += [(v, v, v) for v in range(8, 248, 6)]
    free = [i for i, c in enumerate(colours) if c is None]
    for i, rgb in zip(free, rest):
        colours[i] = rgb
    for i in free[len(rest):]:
        colours[i] = (0, 0, 0)
    return colours


def build_icon():
    if len(PICTURE) != SIZE or any(len(row) != SIZE for row in PICTURE):
        raise ValueError("the picture must be %dx%d" % (SIZE, SIZE))

    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette())

    pixels = bytearray()
    mask = bytearray()
    for row in reversed(PICTURE):  # bitmaps store the bottom row first
        pixels += bytes(NAMED[ch][0] for ch in row)
        bits = 0
        for ch in row:
            bits = (bits << 1) | (1 if ch == "." else 0)
        mask += struct.pack(">I", bits)  # 32 pixels = 4 bytes, already aligned

    header = struct.pack(
        "<IiiHHIIiiII",
        40,          # biSize
        SIZE,        # biWidth
        SIZE * 2,    # biHeight: colour image plus mask
        1,           # biPlanes
        8,           # biBitCount
        0,           # biCompression = BI_RGB
        len(pixels) + len(mask),  # biSizeImage
        0, 0,        # resolution
        0,           # biClrUsed (0 = all 256)
        0,           # biClrImportant
    )
    image = header + pal + bytes(pixels) + bytes(mask)
    assert len(pal) == 1024 and len(pixels) == 1024 and len(mask) == 128

    directory = struct.pack("<HHH", 0, 1, 1)  # reserved, type 1 = icon, one image
    entry = struct.pack(
        "<BBBBHHII",
        SIZE, SIZE,  # width, height
        0,           # colour count: 0 means 256
        0,           # reserved
        1,           # planes
        8,           # bits per pixel
        len(image),
        len(directory) + 16,  # offset of the image
    )
    return directory + entry + image


def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    out = argv[1] if len(argv) > 1 else os.path.join(here, "..", "res", "tarnwick.ico")
    data = build_icon()
    with open(out, "wb") as f:
        f.write(data)
    print("wrote %s (%d bytes)" % (os.path.normpath(out), len(data)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
