/*
** Icon files (.ico): the images they hold, and the icon group record that
** names those images once they are resources of their own.
*/
#ifndef TARNWICK_BRAND_ICON_FILE_H
#define TARNWICK_BRAND_ICON_FILE_H

#include <cstdint>
#include <string>
#include <vector>

/* More images than any icon needs; ids of the icon resources stay small. */
constexpr std::size_t MAX_ICON_IMAGES = 256;

/* One image with the description its directory entry gives. */
struct IconImage {
    std::uint8_t width; /* 0 stands for 256 */
    std::uint8_t height;
    std::uint8_t colorCount; /* 0 for 256 colours and more */
    std::uint8_t reserved;
    std::uint16_t planes;
    std::uint16_t bitCount;
    std::string data; /* a BITMAPINFOHEADER bitmap with its mask, or a PNG file */
};

/* Reads an icon file.  False, with the reason in *error, unless bytes hold
** an icon directory of 1 to MAX_ICON_IMAGES images, each lying inside the
** file apart from the others and being whole: a bitmap (BITMAPINFOHEADER) of 1 to 256 pixels a
** side and a depth icons have, long enough for its colour table, pixels
** and mask, or a PNG image whose IHDR chunk is sound and gives the size of
** its directory entry.  An entry that leaves planes and bit count at 0 gets
** them from its bitmap's header. */
bool readIconFile(const std::string &bytes, std::vector<IconImage> *images, std::string *error);

/* The RT_GROUP_ICON record for images stored as the icon resources
** firstId, firstId + 1, ... in the same order. */
std::string iconGroupRecord(const std::vector<IconImage> &images, std::uint16_t firstId);

#endif
