/*
** Fuzz target: tarnwick-brand's icon file reader.
**
** Input: an icon file's bytes.  Besides ending without a sanitizer report,
** every input is refused with a reason or read into 1 to 256 images; laid
** out anew (directory, then the images one after the other, as an icon
** editor writes them) they are read again as the same images, and their
** group record has one 14-byte entry per image.
*/
#include "tools/brand/icon_file.h"
#include "tools/brand/little_endian.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

[[noreturn]] void fail(const char *what, const std::string &detail) {
    std::fprintf(stderr, "fuzz_icon_file: %s: %s\n", what, detail.c_str());
    std::abort();
}

std::string laidOutAnew(const std::vector<IconImage> &images) {
    std::string file, body;
    for (std::uint32_t field : {0u, 1u, static_cast<std::uint32_t>(images.size())})
        appendU16(&file, field);
    for (const IconImage &image : images) {
        for (std::uint8_t byte : {image.width, image.height, image.colorCount, image.reserved}) {
            file.push_back(static_cast<char>(byte));
        }
        appendU16(&file, image.planes);
        appendU16(&file, image.bitCount);
        appendU32(&file, static_cast<std::uint32_t>(image.data.size()));
        appendU32(&file, static_cast<std::uint32_t>(6 + 16 * images.size() + body.size()));
        body += image.data;
    }
    return file + body;
}

bool sameImages(const std::vector<IconImage> &a, const std::vector<IconImage> &b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].width != b[i].width || a[i].height != b[i].height ||
            a[i].colorCount != b[i].colorCount || a[i].reserved != b[i].reserved ||
            a[i].planes != b[i].planes || a[i].bitCount != b[i].bitCount ||
            a[i].data != b[i].data) {
            return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char *>(data), size);
    std::vector<IconImage> images, again;
    std::string error;
    if (!readIconFile(bytes, &images, &error)) {
        if (error.empty()) fail("refused without a reason", "");
        return 0;
    }
    if (images.empty() || images.size() > MAX_ICON_IMAGES)
        fail("image count", std::to_string(images.size()));
    if (!readIconFile(laidOutAnew(images), &again, &error))
        fail("the images laid out anew are refused", error);
    if (!sameImages(images, again)) fail("the images laid out anew read differently", "");
    if (iconGroupRecord(images, 1).size() != 6 + 14 * images.size()) fail("group record size", "");
    return 0;
}
