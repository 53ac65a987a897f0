#!/usr/bin/env python3
"""Writes the committed seeds of the tarnwick-brand fuzz targets:

  fuzz/corpus/fuzz_brand/      small handmade executables (PE32+ and PE32,
                               laid out as MinGW lays out the launcher, with
                               a named resource too) and the reproducers of
                               the faults found by review (issue 16, items
                               1-5), each refused now;
  fuzz/corpus/fuzz_icon_file/  small icon files (bitmaps of each kind, a
                               PNG, the project's icon) and the reproducers
                               of item 6.

The real launchers are not kept here: scripts/fuzz.sh copies them from the
Windows builds at each run.  Run once after changing a layout below:
  fuzz/make_brand_seeds.py
"""
import os
import struct
import sys
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BRAND_SEEDS = os.path.join(ROOT, "fuzz", "corpus", "fuzz_brand")
ICON_SEEDS = os.path.join(ROOT, "fuzz", "corpus", "fuzz_icon_file")

FILE_ALIGNMENT, SECTION_ALIGNMENT = 0x200, 0x1000
HEADERS_SIZE = 0x200
IMAGE_BASE_64, IMAGE_BASE_32 = 0x140000000, 0x400000
CODE, DATA, READ_ONLY_DATA = 0x60000020, 0xC0000040, 0x42000040
RT_ICON, RT_GROUP_ICON, RT_VERSION = 3, 14, 16
DIRECTORY_RESOURCE, DIRECTORY_BASE_RELOCATION = 2, 5
HIGH_BIT = 0x80000000
LONGEST_NAME = 0xFFFF


def align(value, alignment):
    return (value + alignment - 1) // alignment * alignment


def pe_image(is64, sections, directories, entry_point=0x1000):
    """A PE image: sections [(name, address, virtual size, data, characteristics)]
    laid out one after the other from HEADERS_SIZE; directories {index: (address, size)}."""
    optional_size = 0xF0 if is64 else 0xE0
    pe = 0x40
    headers = bytearray(HEADERS_SIZE)
    headers[0:2] = b"MZ"
    struct.pack_into("<I", headers, 0x3C, pe)
    headers[pe:pe + 4] = b"PE\0\0"
    struct.pack_into("<HHIIIHH", headers, pe + 4, 0x8664 if is64 else 0x014C, len(sections), 0, 0, 0,
                     optional_size, 0x22 if is64 else 0x102)
    optional = pe + 24
    last = sections[-1]
    size_of_image = align(last[1] + last[2], SECTION_ALIGNMENT)
    struct.pack_into("<HBB", headers, optional, 0x20B if is64 else 0x10B, 2, 40)
    struct.pack_into("<I", headers, optional + 16, entry_point)
    if is64:
        struct.pack_into("<Q", headers, optional + 24, IMAGE_BASE_64)
    else:
        struct.pack_into("<I", headers, optional + 28, IMAGE_BASE_32)
    struct.pack_into("<IIHHHHHHIII", headers, optional + 32, SECTION_ALIGNMENT, FILE_ALIGNMENT, 4, 0, 0, 0, 5, 2,
                     0, size_of_image, HEADERS_SIZE)
    struct.pack_into("<H", headers, optional + 68, 2)   # GUI subsystem
    count_field = optional + (108 if is64 else 92)
    struct.pack_into("<I", headers, count_field, 16)
    for index, (address, size) in directories.items():
        struct.pack_into("<II", headers, count_field + 4 + 8 * index, address, size)
    table = optional + optional_size
    body = b""
    for i, (name, address, virtual_size, data, characteristics) in enumerate(sections):
        raw = align(len(data), FILE_ALIGNMENT)
        offset = HEADERS_SIZE + len(body) if raw else 0
        struct.pack_into("<8sIIIIIIHHI", headers, table + 40 * i, name, virtual_size, address, raw, offset,
                         0, 0, 0, 0, characteristics)
        body += data + b"\0" * (raw - len(data))
    return bytes(headers) + body


def resource_name(text):
    return struct.pack("<H", len(text)) + text.encode("utf-16-le")


def resource_section(leaves, address):
    """A resource directory of leaves [(type, name, language, data)], ids
    numbers or texts, written in search order (texts first)."""
    def key(id_):
        return (0, id_, 0) if isinstance(id_, str) else (1, "", id_)
    tree = {}
    for type_, name, language, data in leaves:
        tree.setdefault(type_, {}).setdefault(name, {})[language] = data
    types = sorted(tree, key=key)
    tables, order = [], []   # (level, ids); children follow in table order

    def plan(ids, level):
        tables.append((level, ids))
    plan(types, 0)
    for t in types:
        plan(sorted(tree[t], key=key), 1)
    for t in types:
        for n in sorted(tree[t], key=key):
            plan(sorted(tree[t][n]), 2)
            order.extend(tree[t][n][language] for language in sorted(tree[t][n]))
    offsets, at = [], 0
    for _, ids in tables:
        offsets.append(at)
        at += 16 + 8 * len(ids)
    data_entries = at
    names_at = data_entries + 16 * len(order)
    names, name_offsets = b"", {}
    for _, ids in tables:
        for id_ in ids:
            if isinstance(id_, str) and id_ not in name_offsets:
                name_offsets[id_] = names_at + len(names)
                names += resource_name(id_)
    out = bytearray(names_at) + names
    next_table, next_leaf = 1, 0
    for (level, ids), offset in zip(tables, offsets):
        texts = sum(isinstance(id_, str) for id_ in ids)
        struct.pack_into("<HH", out, offset + 12, texts, len(ids) - texts)
        for i, id_ in enumerate(ids):
            field = name_offsets[id_] | HIGH_BIT if isinstance(id_, str) else id_
            if level < 2:
                child = offsets[next_table] | HIGH_BIT
                next_table += 1
            else:
                child = data_entries + 16 * next_leaf
                next_leaf += 1
            struct.pack_into("<II", out, offset + 16 + 8 * i, field, child)
    for i, data in enumerate(order):
        out += b"\0" * (align(len(out), 8) - len(out))
        struct.pack_into("<III", out, data_entries + 16 * i, address + len(out), len(data), 0)
        out += data
    return bytes(out)


def bitmap(side, bits):
    """A bitmap image of an icon: header, palette, pixels, mask."""
    colors = 1 << bits if bits <= 8 else 0
    header = struct.pack("<IiiHHIIiiII", 40, side, 2 * side, 1, bits, 0, 0, 0, 0, 0, 0)
    pixel_row, mask_row = (side * bits + 31) // 32 * 4, (side + 31) // 32 * 4
    palette = b"".join(struct.pack("<I", 0x00FFFFFF * (i & 1)) for i in range(colors))
    pixels = bytes((x * 37 + y * 11) & 0xFF for y in range(side) for x in range(pixel_row))
    return header + palette + pixels + b"\0" * (mask_row * side)


def png(side):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    rows = (b"\0" + bytes([200, 120, 40, 255]) * side) * side
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", side, side, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def icon_file(images):
    """An icon file of images [(side, bits, data)] (side 256 written as 0)."""
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    body = b""
    for side, bits, data in images:
        out += struct.pack("<BBBBHHII", side & 0xFF, side & 0xFF, 0, 0, 1, bits, len(data), offset + len(body))
        body += data
    return out + body


def group_record(images):
    out = struct.pack("<HHH", 0, 1, len(images))
    for i, (side, bits, data) in enumerate(images):
        out += struct.pack("<BBBBHHIH", side & 0xFF, side & 0xFF, 0, 0, 1, bits, len(data), i + 1)
    return out


def launcher_like(is64, extra_leaves=()):
    """A small executable laid out as the launcher: code with one absolute
    address (relocated), the resources (icon, group, a named resource),
    then the base relocations."""
    base = IMAGE_BASE_64 if is64 else IMAGE_BASE_32
    code = b"\xc3" + b"\x90" * 15 + (struct.pack("<Q", base + 0x1000) if is64 else struct.pack("<I", base + 0x1000))
    icon = [(16, 4, bitmap(16, 4))]
    leaves = [(RT_ICON, 1, 0x409, icon[0][2]), (RT_GROUP_ICON, 1, 0x409, group_record(icon)),
              ("SPLASH", "LOGO", 0, b"picture")] + list(extra_leaves)
    resources = resource_section(leaves, 0x2000)
    relocations = struct.pack("<IIHH", 0x1000, 12, (10 if is64 else 3) << 12 | 0x10, 0)
    return pe_image(is64, [(b".text", 0x1000, len(code), code, CODE),
                           (b".rsrc", 0x2000, len(resources), resources, DATA),
                           (b".reloc", 0x3000, len(relocations), relocations, READ_ONLY_DATA)],
                    {DIRECTORY_RESOURCE: (0x2000, len(resources)),
                     DIRECTORY_BASE_RELOCATION: (0x3000, len(relocations))})


def with_resources(section):
    """A small executable whose resource section is the given bytes, loaded at 0x2000."""
    code = b"\xc3" * 16
    sections = [(b".text", 0x1000, len(code), code, CODE), (b".rsrc", 0x2000, len(section), section, DATA)]
    directories = {DIRECTORY_RESOURCE: (0x2000, len(section))}
    return pe_image(True, sections, directories)


def resources_in_the_dos_header():
    """Item 1: the resource section's file data start at offset 0, inside the
    headers, and hold a valid directory in the free fields of the MZ header
    and stub; the PE header stands far behind.  The old rewrite kept no byte
    of the headers and wrote their fields past the end of its buffer."""
    size, pe = 0x600, 0x400
    f = bytearray(size)
    f[0:2] = b"MZ"
    struct.pack_into("<HH", f, 12, 0, 1)                                  # root: one type
    struct.pack_into("<II", f, 16, RT_ICON, 0x20 | HIGH_BIT)
    struct.pack_into("<HH", f, 0x2C, 0, 1)                                # names
    struct.pack_into("<II", f, 0x30, 1, 0x40 | HIGH_BIT)
    struct.pack_into("<I", f, 0x3C, pe)                                   # e_lfanew, outside the tables
    struct.pack_into("<HH", f, 0x4C, 0, 1)                                # languages
    struct.pack_into("<II", f, 0x50, 0x409, 0x58)
    struct.pack_into("<III", f, 0x58, 0x1000 + 0x80, 0x20, 0)             # data entry
    f[pe:pe + 4] = b"PE\0\0"
    struct.pack_into("<HHIIIHH", f, pe + 4, 0x8664, 1, 0, 0, 0, 0xF0, 0x22)
    optional = pe + 24
    struct.pack_into("<H", f, optional, 0x20B)
    struct.pack_into("<Q", f, optional + 24, IMAGE_BASE_64)
    struct.pack_into("<II", f, optional + 32, SECTION_ALIGNMENT, FILE_ALIGNMENT)
    struct.pack_into("<II", f, optional + 56, 0x2000, size)               # image size, headers size
    struct.pack_into("<I", f, optional + 108, 16)
    struct.pack_into("<II", f, optional + 112 + 8 * DIRECTORY_RESOURCE, 0x1000, size)
    struct.pack_into("<8sIIII", f, optional + 0xF0, b".rsrc", size, 0x1000, size, 0)
    struct.pack_into("<I", f, optional + 0xF0 + 36, DATA)
    return bytes(f)


def shared_name_leaves(count):
    """Item 2: one name of 65,535 characters named as type and as name by
    count leaves.  Each leaf's tables start where the last one's free header
    bytes are, and each data entry shares its language table's header; the
    old reader copied both texts into every leaf (about 256 KiB each)."""
    name = 16 + 8 * count
    tables = name + 2 + 2 * LONGEST_NAME
    stride = 36
    out = bytearray(tables + stride * count + 32)
    struct.pack_into("<HH", out, 12, count, 0)
    struct.pack_into("<H", out, name, LONGEST_NAME)
    out[name + 2:name + 2 + 2 * LONGEST_NAME] = "N".encode("utf-16-le") * LONGEST_NAME
    for i in range(count):
        names = tables + stride * i - 12              # its first 12 header bytes are free
        languages = names + 24
        struct.pack_into("<II", out, 16 + 8 * i, name | HIGH_BIT, names | HIGH_BIT)
        struct.pack_into("<HHII", out, names + 12, 1, 0, name | HIGH_BIT, languages | HIGH_BIT)
        struct.pack_into("<II", out, languages + 4, 0x2000, 0)       # data entry: empty data
        struct.pack_into("<HH", out, languages + 12, 0, 1)
        struct.pack_into("<II", out, languages + 16, 0, languages + 4)
    return with_resources(bytes(out))


def shared_name_entries(count):
    """Item 3: count root entries naming one name of 65,535 characters, over
    empty tables that overlap one another; the old reader decoded the name at
    every entry."""
    name = 16 + 8 * count
    tables = name + 2 + 2 * LONGEST_NAME
    out = bytearray(tables + count + 16)
    struct.pack_into("<HH", out, 12, count, 0)
    struct.pack_into("<H", out, name, LONGEST_NAME)
    out[name + 2:name + 2 + 2 * LONGEST_NAME] = "M".encode("utf-16-le") * LONGEST_NAME
    for i in range(count):
        struct.pack_into("<II", out, 16 + 8 * i, name | HIGH_BIT, (tables + i) | HIGH_BIT)
    return with_resources(bytes(out))


def two_root_entries(first, second):
    """Item 4: a root table whose two entries are given as they are, each
    over its own small subtree: a type twice, or types out of order."""
    section = bytearray(resource_section([(first, 1, 0, b"one"), (second + 1, 1, 0, b"two")], 0x2000))
    struct.pack_into("<I", section, 16 + 8, second)
    return with_resources(bytes(section))


def section_past_4_gib():
    """Item 5: the base relocation section's address plus size passes 4 GiB;
    the old tool accepted it and wrote a wrapped image size."""
    image = bytearray(launcher_like(True))
    optional = struct.unpack_from("<I", image, 0x3C)[0] + 24
    reloc_entry = optional + 0xF0 + 2 * 40
    struct.pack_into("<I", image, reloc_entry + 8, 0xFFFFE000)
    struct.pack_into("<I", image, optional + 56, 0xFFFFF000)
    return bytes(image)


def write(folder, name, data):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def main():
    write(BRAND_SEEDS, "pe32plus_like_the_launcher", launcher_like(True))
    write(BRAND_SEEDS, "pe32_like_the_launcher", launcher_like(False))
    write(BRAND_SEEDS, "pe32plus_with_version_and_manifest",
          launcher_like(True, [(RT_VERSION, 1, 0x409, b"\0" * 92), (24, 1, 0x409, b"<assembly/>")]))
    write(BRAND_SEEDS, "item1_resources_in_the_dos_header", resources_in_the_dos_header())
    write(BRAND_SEEDS, "item2_one_long_name_in_4096_leaves", shared_name_leaves(4096))
    write(BRAND_SEEDS, "item3_one_long_name_at_10000_entries", shared_name_entries(10000))
    write(BRAND_SEEDS, "item4_type_300_twice", two_root_entries(300, 300))
    write(BRAND_SEEDS, "item4_types_out_of_order", two_root_entries(300, 14))
    write(BRAND_SEEDS, "item5_section_past_4_gib", section_past_4_gib())

    with open(os.path.join(ROOT, "res", "tarnwick.ico"), "rb") as f:
        write(ICON_SEEDS, "project_icon", f.read())
    write(ICON_SEEDS, "bitmaps_of_every_depth",
          icon_file([(16, bits, bitmap(16, bits)) for bits in (1, 4, 8, 24, 32)]))
    write(ICON_SEEDS, "bitmap_and_png", icon_file([(1, 1, bitmap(1, 1)), (32, 32, png(32))]))
    write(ICON_SEEDS, "png_256", icon_file([(256, 32, png(256))]))
    header_only = struct.pack("<IiiHHIIiiII", 40, 256, 512, 1, 32, 0, 0, 0, 0, 0, 0)
    write(ICON_SEEDS, "item6_bitmap_header_without_pixels", icon_file([(256, 32, header_only)]))
    write(ICON_SEEDS, "item6_png_signature_alone", icon_file([(32, 32, b"\x89PNG\r\n\x1a\n")]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
