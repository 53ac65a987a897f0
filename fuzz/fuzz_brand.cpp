/*
** Fuzz target: tarnwick-brand's rewrite of an executable.
**
** Input: the executable's bytes, branded with a fixed two-image icon and a
** version record, as the tool does, without an execution level and with
** each of the three (which edits the manifest).  Besides ending without a
** sanitizer report, every input is refused with a reason or branded into a
** file that
**  - the tool's own reader takes again as an executable it can rewrite,
**    with a resource directory it can read;
**  - carries the checksum Windows computes for it;
**  - holds the icon's images as its icon resources, byte for byte;
**  - comes out unchanged when branded again the same way.
*/
#include "tools/brand/brand.h"
#include "tools/brand/command_line.h"
#include "tools/brand/little_endian.h"
#include "tools/brand/pe_image.h"
#include "tools/brand/pe_rewrite.h"
#include "tools/brand/resource_tree.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

[[noreturn]] void fail(const char *what, const std::string &detail) {
    std::fprintf(stderr, "fuzz_brand: %s: %s\n", what, detail.c_str());
    std::abort();
}

/* A 1x1 one-bit bitmap (header, two colours, one pixel row, one mask row)
** and a 1x1 PNG image (signature and IHDR chunk, all the tool reads). */
std::string tinyIcon() {
    std::string bitmap;
    for (std::uint32_t field : {40u, 1u, 2u}) appendU32(&bitmap, field);
    appendU16(&bitmap, 1);
    appendU16(&bitmap, 1);
    bitmap.resize(40 + 8 + 4 + 4, '\0');
    const std::string png(
        "\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\0\x01\0\0\0\x01\x08\x06\0\0\0\x1f\x15\xc4\x89", 33);
    const std::string images[] = {bitmap, png};
    const std::uint16_t depths[] = {1, 32};
    std::string icon;
    for (std::uint32_t field : {0u, 1u, 2u}) appendU16(&icon, field);
    std::size_t offset = 6 + 2 * 16;
    for (std::size_t i = 0; i < 2; ++i) {
        icon += std::string("\x01\x01\0\0", 4);
        appendU16(&icon, 1);
        appendU16(&icon, depths[i]);
        appendU32(&icon, static_cast<std::uint32_t>(images[i].size()));
        appendU32(&icon, static_cast<std::uint32_t>(offset));
        offset += images[i].size();
    }
    return icon + bitmap + png;
}

Branding fixedBranding() {
    Branding branding;
    BrandOptions options = BrandOptions();
    std::string error;
    options.name = {true, "Fuzzed App"};
    options.version = {true, "1.2.3.4"};
    if (!readIconFile(tinyIcon(), &branding.icon, &error) ||
        !versionFromOptions(options, &branding, &error)) {
        fail("the fixed branding is refused", error);
    }
    return branding;
}

/* Brands exe one way and checks the result (see the top of the file). */
void checkBranding(const std::string &exe, const Branding &branding) {
    std::string branded, error;
    if (!brandExecutable(exe, branding, &branded, &error)) {
        if (error.empty()) fail("refused without a reason", "");
        return;
    }

    PeImage image;
    ResourcePlan plan;
    std::vector<ResourceLeaf> leaves;
    if (!readPeImage(branded, &image, &error) ||
        !planResourceRewrite(branded, image, &plan, &error) ||
        !readResourceTree(plan.oldResources, image.sections[plan.resourceSection].virtualAddress,
                          &leaves, &error)) {
        fail("the tool's reader refuses its own output", error);
    }
    if (readU32(branded, image.optionalHeaderOffset + OPTIONAL_CHECKSUM) !=
        peChecksum(branded, image)) {
        fail("wrong checksum", "");
    }
    std::size_t icons = 0;
    for (const ResourceLeaf &leaf : leaves) {
        if (leaf.type.isText || leaf.type.number != RESOURCE_ICON) continue;
        if (icons >= branding.icon.size() || leaf.data != branding.icon[icons].data)
            fail("icon images changed", "");
        ++icons;
    }
    if (icons != branding.icon.size()) fail("icon images lost", std::to_string(icons));
    std::string again;
    if (!brandExecutable(branded, branding, &again, &error))
        fail("branding the output again is refused", error);
    if (again != branded) fail("branding the output again changed it", "");
}

} // namespace

/* Without an execution level, and with each of the three. */
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static const Branding branding = fixedBranding();
    static const char *const LEVELS[] = {"", "asInvoker", "highestAvailable",
                                         "requireAdministrator"};
    const std::string exe(reinterpret_cast<const char *>(data), size);
    for (const char *level : LEVELS) {
        Branding withLevel = branding;
        withLevel.executionLevel = level;
        checkBranding(exe, withLevel);
    }
    return 0;
}
