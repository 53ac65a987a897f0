#include "tools/brand/icon_file.h"

#include "tools/brand/little_endian.h"

#include <algorithm>
#include <utility>

/* The icon directory: reserved 0, type 1 (2 is a cursor), the image count,
** then 16-byte entries (width, height, colours, reserved, planes, bit count,
** the image's size and its offset in the file).  The group record has the
** same header and 14-byte entries ending in the image's resource id instead
** of the offset. */
static const std::size_t DIRECTORY_HEADER_SIZE = 6;
static const std::size_t DIRECTORY_ENTRY_SIZE = 16;
static const std::uint16_t TYPE_ICON = 1;
static const std::uint16_t TYPE_CURSOR = 2;

/* An entry's width or height byte of 0 stands for 256, the largest icon
** Windows draws.  A bitmap may be no larger either: its directory entry
** could not describe it, and the bound keeps its size arithmetic (at most
** 256 x 256 x 32 bits) far from any overflow. */
static const std::uint32_t MAX_ICON_SIDE = 256;

/* A bitmap image: a BITMAPINFOHEADER (its size, width, height of the colour
** image and the mask together, planes, bits per pixel, compression, ... and
** the colours used), the colour table, the colour pixels, then the 1-bit
** mask; rows of both are padded to 32 bits. */
static const std::uint32_t BITMAP_INFO_HEADER_SIZE = 40;
static const std::size_t BITMAP_WIDTH = 4;
static const std::size_t BITMAP_HEIGHT = 8;
static const std::size_t BITMAP_PLANES = 12;
static const std::size_t BITMAP_BIT_COUNT = 14;
static const std::size_t BITMAP_COMPRESSION = 16;
static const std::size_t BITMAP_COLORS_USED = 32;
static const std::uint32_t BITMAP_RGB = 0;       /* uncompressed */
static const std::uint32_t BITMAP_BITFIELDS = 3; /* uncompressed, with three colour masks */
static const std::uint64_t BITMAP_MASKS_SIZE = 12;
static const std::uint64_t COLOR_ENTRY_SIZE = 4;
static const unsigned MAX_PALETTE_BITS = 8; /* deeper images have no palette of their own */

/* A PNG image: the signature, then the IHDR chunk (its length 13, its type,
** width and height big-endian, bit depth, colour type, compression, filter,
** interlace, then the CRC of type and data). */
static const char PNG_SIGNATURE[] = "\x89PNG\r\n\x1a\n";
static const std::size_t PNG_SIGNATURE_SIZE = 8;
static const std::size_t PNG_IHDR_LENGTH = 13;
static const std::size_t PNG_CHUNK_TYPE = PNG_SIGNATURE_SIZE + 4;
static const std::size_t PNG_IHDR_DATA = PNG_CHUNK_TYPE + 4;
static const std::size_t PNG_IHDR_END = PNG_IHDR_DATA + PNG_IHDR_LENGTH + 4;
static const unsigned PNG_INTERLACE_ADAM7 = 1;

/* An image stored as a whole PNG file. */
static bool isPng(const std::string &data) {
    return data.size() >= PNG_SIGNATURE_SIZE &&
           data.compare(0, PNG_SIGNATURE_SIZE, PNG_SIGNATURE) == 0;
}

/* An image stored as a BITMAPINFOHEADER, its colours and its mask. */
static bool isBitmap(const std::string &data) {
    return data.size() >= BITMAP_INFO_HEADER_SIZE && readU32(data, 0) == BITMAP_INFO_HEADER_SIZE;
}

static std::uint32_t readBigU32(const std::string &bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

/* The CRC-32 of PNG chunks (polynomial 0xEDB88320), bit by bit: the tool
** checks one chunk per image. */
static std::uint32_t crc32(const std::string &bytes, std::size_t at, std::size_t length) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = at; i < at + length; ++i) {
        crc ^= static_cast<unsigned char>(bytes[i]);
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

/* A side as the directory states it (0 for 256). */
static std::uint32_t entrySide(std::uint8_t side) { return side == 0 ? MAX_ICON_SIDE : side; }

/* The bit depths PNG allows for each colour type (grey, -, RGB, palette,
** grey and alpha, -, RGBA), one bit per depth. */
static bool pngDepthAllowed(unsigned colorType, unsigned depth) {
    static const unsigned ALLOWED[] = {
        1 | 2 | 4 | 8 | 16, 0, 8 | 16, 1 | 2 | 4 | 8, 8 | 16, 0, 8 | 16};
    return colorType < sizeof ALLOWED / sizeof ALLOWED[0] && depth <= 16 &&
           (ALLOWED[colorType] & depth) != 0 && (depth & (depth - 1)) == 0;
}

/* A PNG image must start with a sound IHDR chunk describing the size its
** directory entry gives. */
static bool checkPng(const IconImage &image, std::string *reason) {
    const std::string &data = image.data;
    if (data.size() < PNG_IHDR_END || readBigU32(data, PNG_SIGNATURE_SIZE) != PNG_IHDR_LENGTH ||
        data.compare(PNG_CHUNK_TYPE, 4, "IHDR") != 0 ||
        readBigU32(data, PNG_IHDR_DATA + PNG_IHDR_LENGTH) !=
            crc32(data, PNG_CHUNK_TYPE, 4 + PNG_IHDR_LENGTH)) {
        *reason = "a PNG image without a sound IHDR chunk";
        return false;
    }
    unsigned depth = static_cast<unsigned char>(data[PNG_IHDR_DATA + 8]);
    unsigned colorType = static_cast<unsigned char>(data[PNG_IHDR_DATA + 9]);
    if (!pngDepthAllowed(colorType, depth) || data[PNG_IHDR_DATA + 10] != 0 ||
        data[PNG_IHDR_DATA + 11] != 0 ||
        static_cast<unsigned char>(data[PNG_IHDR_DATA + 12]) > PNG_INTERLACE_ADAM7) {
        *reason = "a PNG image of a kind PNG does not define";
        return false;
    }
    if (readBigU32(data, PNG_IHDR_DATA) != entrySide(image.width) ||
        readBigU32(data, PNG_IHDR_DATA + 4) != entrySide(image.height)) {
        *reason = "a PNG image of another size than its directory entry says";
        return false;
    }
    return true;
}

/* A bitmap image must hold its header, colour table, pixels and mask for
** the dimensions and depth its header states. */
static bool checkBitmap(const IconImage &image, std::string *reason) {
    const std::string &data = image.data;
    std::int32_t width = static_cast<std::int32_t>(readU32(data, BITMAP_WIDTH));
    std::int32_t doubleHeight = static_cast<std::int32_t>(readU32(data, BITMAP_HEIGHT));
    unsigned bits = readU16(data, BITMAP_BIT_COUNT);
    std::uint32_t compression = readU32(data, BITMAP_COMPRESSION);
    std::uint64_t colorsUsed = readU32(data, BITMAP_COLORS_USED);
    if (width <= 0 || static_cast<std::uint32_t>(width) > MAX_ICON_SIDE || doubleHeight <= 0 ||
        doubleHeight % 2 != 0 || static_cast<std::uint32_t>(doubleHeight / 2) > MAX_ICON_SIDE) {
        *reason =
            "a bitmap whose width or height is not 1 to 256 (its height counting the mask twice)";
        return false;
    }
    bool knownDepth = bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
    if (readU16(data, BITMAP_PLANES) != 1 || !knownDepth ||
        !(compression == BITMAP_RGB ||
          (compression == BITMAP_BITFIELDS && (bits == 16 || bits == 32))) ||
        (bits <= MAX_PALETTE_BITS && colorsUsed > (1u << bits))) {
        *reason = "a bitmap of a depth, compression or palette icons do not have";
        return false;
    }
    std::uint64_t height = static_cast<std::uint64_t>(doubleHeight / 2);
    std::uint64_t colors = colorsUsed != 0 || bits > MAX_PALETTE_BITS ? colorsUsed
                                                                      : std::uint64_t{1} << bits;
    std::uint64_t colorRow = (static_cast<std::uint64_t>(width) * bits + 31) / 32 * 4;
    std::uint64_t maskRow = (static_cast<std::uint64_t>(width) + 31) / 32 * 4;
    std::uint64_t needed = BITMAP_INFO_HEADER_SIZE +
                           (compression == BITMAP_BITFIELDS ? BITMAP_MASKS_SIZE : 0) +
                           colors * COLOR_ENTRY_SIZE + (colorRow + maskRow) * height;
    if (data.size() < needed) {
        *reason = "a bitmap cut short: " + std::to_string(data.size()) +
                  " bytes where its header asks for " + std::to_string(needed);
        return false;
    }
    return true;
}

/* Each image has bytes of its own: one shared by many entries would be
** copied for each (256 entries naming one 16 MiB image would take 4 GiB). */
static bool imagesApart(const std::string &bytes, std::size_t count, std::string *error) {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> ranges;
    for (std::size_t i = 0; i < count; ++i) {
        std::size_t entry = DIRECTORY_HEADER_SIZE + i * DIRECTORY_ENTRY_SIZE;
        std::uint64_t offset = readU32(bytes, entry + 12);
        ranges.emplace_back(offset, offset + readU32(bytes, entry + 8));
    }
    std::sort(ranges.begin(), ranges.end());
    for (std::size_t i = 1; i < ranges.size(); ++i) {
        if (ranges[i].first < ranges[i - 1].second) {
            *error = "two of its images overlap in the icon file";
            return false;
        }
    }
    return true;
}

bool readIconFile(const std::string &bytes, std::vector<IconImage> *images, std::string *error) {
    images->clear();
    if (bytes.size() < DIRECTORY_HEADER_SIZE || readU16(bytes, 0) != 0 ||
        (readU16(bytes, 2) != TYPE_ICON && readU16(bytes, 2) != TYPE_CURSOR)) {
        *error = "it is not an icon file (no icon directory at its start)";
        return false;
    }
    if (readU16(bytes, 2) == TYPE_CURSOR) {
        *error = "it is a cursor file, not an icon file";
        return false;
    }
    std::size_t count = readU16(bytes, 4);
    if (count == 0 || count > MAX_ICON_IMAGES) {
        *error = "its icon directory lists no image, or more than 256";
        return false;
    }
    if (DIRECTORY_HEADER_SIZE + count * DIRECTORY_ENTRY_SIZE > bytes.size()) {
        *error = "the icon file is truncated: its directory runs past its end";
        return false;
    }
    for (std::size_t i = 0; i < count; ++i) {
        std::size_t entry = DIRECTORY_HEADER_SIZE + i * DIRECTORY_ENTRY_SIZE;
        std::uint32_t size = readU32(bytes, entry + 8);
        std::uint32_t offset = readU32(bytes, entry + 12);
        if (offset > bytes.size() || size > bytes.size() - offset) {
            *error =
                "the icon file is truncated: image " + std::to_string(i + 1) + " lies past its end";
            return false;
        }
    }
    if (!imagesApart(bytes, count, error)) return false;
    for (std::size_t i = 0; i < count; ++i) {
        std::size_t entry = DIRECTORY_HEADER_SIZE + i * DIRECTORY_ENTRY_SIZE;
        IconImage image;
        image.width = static_cast<std::uint8_t>(bytes[entry]);
        image.height = static_cast<std::uint8_t>(bytes[entry + 1]);
        image.colorCount = static_cast<std::uint8_t>(bytes[entry + 2]);
        image.reserved = static_cast<std::uint8_t>(bytes[entry + 3]);
        image.planes = readU16(bytes, entry + 4);
        image.bitCount = readU16(bytes, entry + 6);
        image.data = bytes.substr(readU32(bytes, entry + 12), readU32(bytes, entry + 8));
        std::string reason;
        if (!isPng(image.data) && !isBitmap(image.data)) {
            *error = "image " + std::to_string(i + 1) +
                     " of the icon file is neither a bitmap nor a PNG image";
            return false;
        }
        if (isPng(image.data) ? !checkPng(image, &reason) : !checkBitmap(image, &reason)) {
            *error = "image " + std::to_string(i + 1) + " of the icon file is " + reason;
            return false;
        }
        if (isBitmap(image.data) && image.planes == 0 && image.bitCount == 0) {
            image.planes = readU16(image.data, BITMAP_PLANES);
            image.bitCount = readU16(image.data, BITMAP_BIT_COUNT);
        }
        images->push_back(std::move(image));
    }
    return true;
}

std::string iconGroupRecord(const std::vector<IconImage> &images, std::uint16_t firstId) {
    std::string record;
    appendU16(&record, 0);
    appendU16(&record, TYPE_ICON);
    appendU16(&record, static_cast<std::uint32_t>(images.size()));
    for (std::size_t i = 0; i < images.size(); ++i) {
        const IconImage &image = images[i];
        record.push_back(static_cast<char>(image.width));
        record.push_back(static_cast<char>(image.height));
        record.push_back(static_cast<char>(image.colorCount));
        record.push_back(static_cast<char>(image.reserved));
        appendU16(&record, image.planes);
        appendU16(&record, image.bitCount);
        appendU32(&record, static_cast<std::uint32_t>(image.data.size()));
        appendU16(&record, static_cast<std::uint32_t>(firstId + i));
    }
    return record;
}
