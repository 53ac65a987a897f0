#include "tools/brand/pe_rewrite.h"

#include "tools/brand/little_endian.h"

#include <algorithm>
#include <cstdint>

/* Base relocation blocks: the page's address and the block's size, then
** 16-bit entries of a 4-bit kind and a 12-bit offset in the page. */
static const std::size_t RELOCATION_BLOCK_HEADER = 8;
static const unsigned RELOCATION_PADDING = 0;
static const unsigned RELOCATION_HIGHLOW = 3; /* a 32-bit address, PE32 */
static const unsigned RELOCATION_DIR64 = 10;  /* a 64-bit address, PE32+ */

/* How messages name the data directories, by index. */
static const char *const DIRECTORY_NAMES[DIRECTORY_SLOTS] = {"export",
                                                             "import",
                                                             "resource",
                                                             "exception",
                                                             "security",
                                                             "base relocation",
                                                             "debug",
                                                             "architecture",
                                                             "global pointer",
                                                             "thread-local storage",
                                                             "load configuration",
                                                             "bound import",
                                                             "import address table",
                                                             "delay import",
                                                             "CLR runtime header",
                                                             "reserved"};

/* The extent of a section in memory: its virtual size, or its raw size
** when a linker left the virtual size at 0. */
static std::uint32_t memorySize(const PeSection &section) {
    return section.virtualSize != 0 ? section.virtualSize : section.rawSize;
}

/* Reads the width-byte value at address in the image as loaded: from the
** file when the section holds it there, 0 in a section's zero-filled tail.
** False when no section covers the address.  The sections are in ascending
** address order without overlapping (readPeImage checked), so the only
** candidate is the last one starting at or before address: a table of
** millions of relocations is checked in a moment. */
static bool imageValue(const std::string &file, const PeImage &image, std::uint64_t address,
                       std::uint64_t width, std::uint64_t *value) {
    auto after =
        std::upper_bound(image.sections.begin(), image.sections.end(), address,
                         [](std::uint64_t a, const PeSection &s) { return a < s.virtualAddress; });
    if (after == image.sections.begin()) return false;
    const PeSection &section = *(after - 1);
    std::uint64_t start = section.virtualAddress;
    if (address + width > start + std::max(memorySize(section), section.rawSize)) return false;
    if (address + width > start + section.rawSize) {
        *value = 0;
    } else {
        std::size_t at = section.rawOffset + static_cast<std::size_t>(address - start);
        *value = width == 8 ? readU64(file, at) : readU32(file, at);
    }
    return true;
}

/* The section whose file data hold [address, address + size), or -1. */
static long sectionHolding(const PeImage &image, std::uint64_t address, std::uint64_t size) {
    for (std::size_t i = 0; i < image.sections.size(); ++i) {
        const PeSection &section = image.sections[i];
        if (address >= section.virtualAddress &&
            address + size <=
                static_cast<std::uint64_t>(section.virtualAddress) + section.rawSize) {
            return static_cast<long>(i);
        }
    }
    return -1;
}

/* Every base relocation must patch a place before the resource section
** (limit) and hold an address before it: those places and addresses stay
** where they are when the resource section changes and the relocations
** move. */
static bool checkRelocations(const std::string &file, const PeImage &image, std::uint32_t limit,
                             std::string *error) {
    PeDirectory table = peDirectory(file, image, DIRECTORY_BASE_RELOCATION);
    if (table.size == 0) return true;
    long holder = sectionHolding(image, table.address, table.size);
    if (holder < 0) {
        *error = "its base relocation table lies outside the data of its sections";
        return false;
    }
    const PeSection &section = image.sections[static_cast<std::size_t>(holder)];
    std::size_t base = section.rawOffset + (table.address - section.virtualAddress);
    unsigned kind = image.is64 ? RELOCATION_DIR64 : RELOCATION_HIGHLOW;
    std::uint64_t width = image.is64 ? 8 : 4;
    for (std::size_t block = 0; block < table.size;) {
        if (table.size - block < RELOCATION_BLOCK_HEADER) {
            *error = "its base relocation table is malformed";
            return false;
        }
        std::uint32_t page = readU32(file, base + block);
        std::uint32_t blockSize = readU32(file, base + block + 4);
        if (blockSize < RELOCATION_BLOCK_HEADER || blockSize % 2 != 0 ||
            blockSize > table.size - block) {
            *error = "its base relocation table is malformed";
            return false;
        }
        for (std::size_t at = RELOCATION_BLOCK_HEADER; at < blockSize; at += 2) {
            std::uint16_t entry = readU16(file, base + block + at);
            unsigned type = entry >> 12;
            if (type == RELOCATION_PADDING) continue;
            if (type != kind) {
                *error = "it holds base relocations of a kind the tool does not know (type " +
                         std::to_string(type) + ")";
                return false;
            }
            std::uint64_t place = static_cast<std::uint64_t>(page) + (entry & 0x0FFF);
            std::uint64_t value = 0;
            if (place + width > limit || !imageValue(file, image, place, width, &value)) {
                *error = "a base relocation patches the resource section, what follows it, or no "
                         "section";
                return false;
            }
            std::uint64_t target = value - image.imageBase;
            if (value >= image.imageBase && target >= limit && target < image.sizeOfImage) {
                *error =
                    "the program holds the address of something in its resource section or after "
                    "it, which the tool would move";
                return false;
            }
        }
        block += blockSize;
    }
    return true;
}

/* The resource section must be the last section, or be followed only by
** the base relocation section, and their data must end the file. */
static bool checkLayout(const std::string &file, const PeImage &image, ResourcePlan *plan,
                        std::string *error) {
    PeDirectory resources = peDirectory(file, image, DIRECTORY_RESOURCE);
    if (resources.size == 0) {
        *error = "it has no resources, so no resource section to rewrite";
        return false;
    }
    std::size_t count = image.sections.size();
    std::size_t index = count;
    for (std::size_t i = 0; i < count; ++i) {
        if (image.sections[i].virtualAddress == resources.address) index = i;
    }
    if (index == count) {
        *error = "its resources do not start a section of their own";
        return false;
    }
    const PeSection &section = image.sections[index];
    if (section.rawSize == 0 || resources.size > memorySize(section)) {
        *error = "its resource directory is larger than its resource section";
        return false;
    }
    plan->resourceSection = index;
    plan->movesRelocations = false;
    if (index + 2 < count) {
        *error = "its resource section is followed by more sections than the base relocations";
        return false;
    }
    std::uint64_t end = static_cast<std::uint64_t>(section.rawOffset) + section.rawSize;
    if (index + 1 < count) {
        const PeSection &next = image.sections[index + 1];
        PeDirectory relocations = peDirectory(file, image, DIRECTORY_BASE_RELOCATION);
        if (relocations.size == 0 || relocations.address < next.virtualAddress ||
            static_cast<std::uint64_t>(relocations.address) + relocations.size >
                static_cast<std::uint64_t>(next.virtualAddress) + memorySize(next)) {
            *error = "its resource section is followed by section " + next.name +
                     ", which is not the base relocation table";
            return false;
        }
        if (next.rawSize != 0 && next.rawOffset != end) {
            *error = "its base relocation section's data do not follow the resource section's in "
                     "the file";
            return false;
        }
        plan->movesRelocations = true;
        end += next.rawSize;
    }
    for (std::size_t i = 0; i < index; ++i) {
        const PeSection &other = image.sections[i];
        if (other.rawSize != 0 &&
            static_cast<std::uint64_t>(other.rawOffset) + other.rawSize > section.rawOffset) {
            *error = "the data of section " + other.name +
                     " lie after the resource section's in the file";
            return false;
        }
    }
    if (file.size() != end) {
        *error = "it carries " + std::to_string(file.size() - end) +
                 " bytes after its last section (appended data), which the tool would have to move";
        return false;
    }
    return true;
}

bool planResourceRewrite(const std::string &file, const PeImage &image, ResourcePlan *plan,
                         std::string *error) {
    PeDirectory signature = peDirectory(file, image, DIRECTORY_SECURITY);
    if (signature.address != 0 || signature.size != 0) {
        *error = "it is signed, and a new icon or version record would break the signature: "
                 "brand the unsigned executable, then sign the result";
        return false;
    }
    if (image.symbolTableOffset != 0) {
        *error = "it still carries a COFF symbol table: strip it first (strip, or link with -s)";
        return false;
    }
    if (!checkLayout(file, image, plan, error)) return false;
    const PeSection &section = image.sections[plan->resourceSection];
    std::uint32_t limit = section.virtualAddress;
    for (unsigned i = 0; i < image.directoryCount; ++i) {
        if (i == DIRECTORY_RESOURCE || i == DIRECTORY_SECURITY) continue;
        if (i == DIRECTORY_BASE_RELOCATION && plan->movesRelocations) continue;
        PeDirectory directory = peDirectory(file, image, i);
        if (directory.address == 0 && directory.size == 0) continue;
        if (static_cast<std::uint64_t>(directory.address) + directory.size > limit) {
            *error = std::string("its ") + DIRECTORY_NAMES[i] +
                     " directory lies in its resource section or after it";
            return false;
        }
    }
    if (image.entryPoint >= limit) {
        *error = "its entry point lies in its resource section or after it";
        return false;
    }
    if (!checkRelocations(file, image, limit, error)) return false;
    plan->oldResources =
        file.substr(section.rawOffset, std::min(section.rawSize, memorySize(section)));
    return true;
}

bool rewriteResources(const std::string &file, const PeImage &image, const ResourcePlan &plan,
                      const std::string &newResources, std::string *out, std::string *error) {
    const PeSection &section = image.sections[plan.resourceSection];
    std::uint64_t end = static_cast<std::uint64_t>(section.virtualAddress) + newResources.size();
    std::uint64_t relocationAddress = alignUp(end, image.sectionAlignment);
    if (plan.movesRelocations)
        end = relocationAddress + memorySize(image.sections[plan.resourceSection + 1]);
    if (alignUp(end, image.sectionAlignment) >= ADDRESS_SPACE_END) {
        *error = "its new resources would make the image reach past 4 GiB";
        return false;
    }
    /* The section starts after the headers (readPeImage checked), so every
    ** header field written below lies inside the bytes kept. */
    std::uint32_t newSize = static_cast<std::uint32_t>(newResources.size());
    std::uint32_t newRawSize = static_cast<std::uint32_t>(alignUp(newSize, image.fileAlignment));
    *out = file.substr(0, section.rawOffset);
    *out += newResources;
    out->resize(section.rawOffset + static_cast<std::size_t>(newRawSize), '\0');
    writeU32(out, section.headerOffset + SECTION_VIRTUAL_SIZE, newSize);
    writeU32(out, section.headerOffset + SECTION_RAW_SIZE, newRawSize);
    writeU32(out, peDirectoryOffset(image, DIRECTORY_RESOURCE) + 4, newSize);

    if (plan.movesRelocations) {
        const PeSection &relocations = image.sections[plan.resourceSection + 1];
        std::uint32_t newAddress = static_cast<std::uint32_t>(relocationAddress);
        std::uint32_t newOffset = relocations.rawSize != 0 ? section.rawOffset + newRawSize
                                                           : relocations.rawOffset;
        out->append(file, relocations.rawOffset, relocations.rawSize);
        writeU32(out, relocations.headerOffset + SECTION_VIRTUAL_ADDRESS, newAddress);
        writeU32(out, relocations.headerOffset + SECTION_RAW_OFFSET, newOffset);
        std::size_t directory = peDirectoryOffset(image, DIRECTORY_BASE_RELOCATION);
        std::uint32_t oldDirectory = readU32(*out, directory);
        writeU32(out, directory, oldDirectory - relocations.virtualAddress + newAddress);
    }
    std::size_t optional = image.optionalHeaderOffset;
    writeU32(out, optional + OPTIONAL_SIZE_OF_IMAGE,
             static_cast<std::uint32_t>(alignUp(end, image.sectionAlignment)));
    if (section.characteristics & SECTION_INITIALIZED_DATA) {
        std::uint32_t initialized = readU32(*out, optional + OPTIONAL_SIZE_OF_INITIALIZED_DATA);
        writeU32(out, optional + OPTIONAL_SIZE_OF_INITIALIZED_DATA,
                 initialized - section.rawSize + newRawSize);
    }
    writeU32(out, optional + OPTIONAL_CHECKSUM, peChecksum(*out, image));
    return true;
}
