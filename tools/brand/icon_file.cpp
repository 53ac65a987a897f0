#include "tools/brand/icon_file.h"

#include "tools/brand/little_endian.h"

/* The icon directory: reserved 0, type 1 (2 is a cursor), the image count,
** then 16-byte entries (width, height, colours, reserved, planes, bit count,
** the image's size and its offset in the file).  The group record has the
** same header and 14-byte entries ending in the image's resource id instead
** of the offset. */
static const std::size_t DIRECTORY_HEADER_SIZE = 6;
static const std::size_t DIRECTORY_ENTRY_SIZE = 16;
static const std::uint16_t TYPE_ICON = 1;
static const std::uint16_t TYPE_CURSOR = 2;

/* What an image may start with. */
static const std::uint32_t BITMAP_INFO_HEADER_SIZE = 40;
static const std::size_t BITMAP_PLANES = 12;
static const std::size_t BITMAP_BIT_COUNT = 14;
static const char PNG_SIGNATURE[] = "\x89PNG\r\n\x1a\n";
static const std::size_t PNG_SIGNATURE_SIZE = 8;

/* An image stored as a whole PNG file. */
static bool isPng(const std::string &data) {
    return data.size() >= PNG_SIGNATURE_SIZE && data.compare(0, PNG_SIGNATURE_SIZE, PNG_SIGNATURE) == 0;
}

/* An image stored as a BITMAPINFOHEADER, its colours and its mask. */
static bool isBitmap(const std::string &data) {
    return data.size() >= BITMAP_INFO_HEADER_SIZE && readU32(data, 0) == BITMAP_INFO_HEADER_SIZE;
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
    for (std::size_t i = 0; i < count; i++) {
        std::size_t entry = DIRECTORY_HEADER_SIZE + i * DIRECTORY_ENTRY_SIZE;
        std::uint32_t size = readU32(bytes, entry + 8);
        std::uint32_t offset = readU32(bytes, entry + 12);
        if (offset > bytes.size() || size > bytes.size() - offset) {
            *error = "the icon file is truncated: image " + std::to_string(i + 1) + " lies past its end";
            return false;
        }
        IconImage image;
        image.width = static_cast<std::uint8_t>(bytes[entry]);
        image.height = static_cast<std::uint8_t>(bytes[entry + 1]);
        image.colorCount = static_cast<std::uint8_t>(bytes[entry + 2]);
        image.reserved = static_cast<std::uint8_t>(bytes[entry + 3]);
        image.planes = readU16(bytes, entry + 4);
        image.bitCount = readU16(bytes, entry + 6);
        image.data = bytes.substr(offset, size);
        if (!isPng(image.data) && !isBitmap(image.data)) {
            *error = "image " + std::to_string(i + 1) + " of the icon file is neither a bitmap nor a PNG image";
            return false;
        }
        if (isBitmap(image.data) && image.planes == 0 && image.bitCount == 0) {
            image.planes = readU16(image.data, BITMAP_PLANES);
            image.bitCount = readU16(image.data, BITMAP_BIT_COUNT);
        }
        images->push_back(image);
    }
    return true;
}

std::string iconGroupRecord(const std::vector<IconImage> &images, std::uint16_t firstId) {
    std::string record;
    appendU16(&record, 0);
    appendU16(&record, TYPE_ICON);
    appendU16(&record, static_cast<std::uint32_t>(images.size()));
    for (std::size_t i = 0; i < images.size(); i++) {
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
