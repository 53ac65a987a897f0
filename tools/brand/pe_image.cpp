#include "tools/brand/pe_image.h"

#include "tools/brand/little_endian.h"

#include <algorithm>
#include <utility>

/* The DOS header: "MZ", and at 0x3C the offset of the PE signature. */
static const std::size_t DOS_HEADER_SIZE = 64;
static const std::size_t DOS_PE_OFFSET = 0x3C;
static const std::size_t PE_SIGNATURE_SIZE = 4;
/* Windows loads only images whose PE header is so aligned; it also keeps the
** checksum field on a word boundary, which peChecksum relies on. */
static const std::size_t PE_HEADER_ALIGNMENT = 4;

/* The COFF file header that follows the signature. */
static const std::size_t COFF_HEADER_SIZE = 20;
static const std::size_t COFF_MACHINE = 0;
static const std::size_t COFF_SECTION_COUNT = 2;
static const std::size_t COFF_SYMBOL_TABLE = 8;
static const std::size_t COFF_OPTIONAL_SIZE = 16;
static const std::uint16_t MACHINE_I386 = 0x014C;
static const std::uint16_t MACHINE_AMD64 = 0x8664;

/* The optional header of each format. */
static const std::uint16_t MAGIC_PE32 = 0x010B;
static const std::uint16_t MAGIC_PE32_PLUS = 0x020B;
static const std::size_t OPTIONAL_ENTRY_POINT = 16;
static const std::size_t OPTIONAL_IMAGE_BASE_PE32 = 28;
static const std::size_t OPTIONAL_IMAGE_BASE_PE32_PLUS = 24;
static const std::size_t OPTIONAL_SECTION_ALIGNMENT = 32;
static const std::size_t OPTIONAL_FILE_ALIGNMENT = 36;
static const std::size_t OPTIONAL_SIZE_OF_HEADERS = 60;
static const std::size_t OPTIONAL_DIRECTORY_COUNT_PE32 = 92;
static const std::size_t OPTIONAL_DIRECTORY_COUNT_PE32_PLUS = 108;
static const std::size_t DIRECTORY_ENTRY_SIZE = 8;

static const std::size_t SECTION_ENTRY_SIZE = 40;
static const std::size_t SECTION_NAME_SIZE = 8;
static const std::size_t SECTION_CHARACTERISTICS = 36;

/* The loader takes at most 96 sections. */
static const std::size_t MAX_SECTIONS = 96;

/* Alignments are powers of two; 0 is not one. */
static bool isPowerOfTwo(std::uint32_t value) { return value != 0 && (value & (value - 1)) == 0; }

/* The bytes of a section's name, up to its first NUL. */
static std::string sectionName(const std::string &file, std::size_t at) {
    std::string name = file.substr(at, SECTION_NAME_SIZE);
    std::size_t end = name.find('\0');
    return end == std::string::npos ? name : name.substr(0, end);
}

/* No two sections' data share a byte of the file: a rewrite of one would
** change the other.  Sections without file data take no room. */
static bool sectionDataApart(const std::vector<PeSection> &sections, std::string *error) {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> ranges;
    for (const PeSection &section : sections) {
        if (section.rawSize != 0)
            ranges.emplace_back(section.rawOffset,
                                std::uint64_t{section.rawOffset} + section.rawSize);
    }
    std::sort(ranges.begin(), ranges.end());
    for (std::size_t i = 1; i < ranges.size(); ++i) {
        if (ranges[i].first < ranges[i - 1].second) {
            *error = "the data of two of its sections overlap in the file";
            return false;
        }
    }
    return true;
}

/* The DOS header and the PE signature it points to: on success *coff is
** where the COFF file header starts, which the check has found inside the
** file. */
static bool findCoffHeader(const std::string &file, std::size_t *coff, std::string *error) {
    if (file.size() < 2 || file.compare(0, 2, "MZ") != 0) {
        *error = "it is not a Windows executable (no MZ header)";
        return false;
    }
    if (file.size() < DOS_HEADER_SIZE) {
        *error = "the file is truncated: it ends inside the MZ header";
        return false;
    }
    std::uint64_t pe = readU32(file, DOS_PE_OFFSET);
    if (pe % PE_HEADER_ALIGNMENT != 0) {
        *error = "its PE header is not aligned to four bytes";
        return false;
    }
    if (pe + PE_SIGNATURE_SIZE + COFF_HEADER_SIZE > file.size()) {
        *error =
            "the file is truncated (or no Windows executable): the PE header lies past its end";
        return false;
    }
    if (file.compare(pe, PE_SIGNATURE_SIZE, std::string("PE\0\0", 4)) != 0) {
        *error = "it is not a Windows executable (an MZ file without a PE signature)";
        return false;
    }
    *coff = pe + PE_SIGNATURE_SIZE;
    return true;
}

/* The optional header after the COFF header at coff (which lies inside the
** file): its format and the machine, its data directory table, the fields
** kept in *image, and the alignments. */
static bool readOptionalHeader(const std::string &file, std::size_t coff, PeImage *image,
                               std::string *error) {
    std::uint16_t machine = readU16(file, coff + COFF_MACHINE);
    std::size_t optionalSize = readU16(file, coff + COFF_OPTIONAL_SIZE);
    std::size_t optional = coff + COFF_HEADER_SIZE;
    if (optional + optionalSize > file.size() || optionalSize < 2) {
        *error = "the file is truncated: the optional header lies past its end";
        return false;
    }
    std::uint16_t magic = readU16(file, optional);
    if (magic != MAGIC_PE32 && magic != MAGIC_PE32_PLUS) {
        *error = "its optional header is of an unknown kind (neither PE32 nor PE32+)";
        return false;
    }
    image->is64 = magic == MAGIC_PE32_PLUS;
    if (machine != (image->is64 ? MACHINE_AMD64 : MACHINE_I386)) {
        *error = "it is made for a processor other than x86 (32-bit i386 or 64-bit x86-64)";
        return false;
    }
    std::size_t countField = image->is64 ? OPTIONAL_DIRECTORY_COUNT_PE32_PLUS
                                         : OPTIONAL_DIRECTORY_COUNT_PE32;
    if (optionalSize < countField + 4) {
        *error = "its optional header is too short for its kind";
        return false;
    }
    image->optionalHeaderOffset = optional;
    image->directoriesOffset = optional + countField + 4;
    image->directoryCount = readU32(file, optional + countField);
    if (image->directoryCount > DIRECTORY_SLOTS ||
        countField + 4 + image->directoryCount * DIRECTORY_ENTRY_SIZE > optionalSize) {
        *error = "its data directory table does not fit its optional header";
        return false;
    }
    image->imageBase = image->is64 ? readU64(file, optional + OPTIONAL_IMAGE_BASE_PE32_PLUS)
                                   : readU32(file, optional + OPTIONAL_IMAGE_BASE_PE32);
    image->entryPoint = readU32(file, optional + OPTIONAL_ENTRY_POINT);
    image->sectionAlignment = readU32(file, optional + OPTIONAL_SECTION_ALIGNMENT);
    image->fileAlignment = readU32(file, optional + OPTIONAL_FILE_ALIGNMENT);
    image->sizeOfImage = readU32(file, optional + OPTIONAL_SIZE_OF_IMAGE);
    image->sizeOfHeaders = readU32(file, optional + OPTIONAL_SIZE_OF_HEADERS);
    image->symbolTableOffset = readU32(file, coff + COFF_SYMBOL_TABLE);
    if (!isPowerOfTwo(image->sectionAlignment) || !isPowerOfTwo(image->fileAlignment) ||
        image->fileAlignment > image->sectionAlignment) {
        *error = "its section or file alignment is not a power of two, or the file alignment is "
                 "the larger";
        return false;
    }
    return true;
}

/* The section entry at offset at (inside the headers, which lie inside the
** file) into *section: its data inside the file and after the headers, its
** address at or after *nextFreeAddress, its end within the image size.  On
** success *nextFreeAddress is the first address the next section may take. */
static bool readSectionEntry(const std::string &file, std::size_t at, const PeImage &image,
                             std::uint64_t *nextFreeAddress, PeSection *section,
                             std::string *error) {
    section->name = sectionName(file, at);
    section->headerOffset = at;
    section->virtualSize = readU32(file, at + SECTION_VIRTUAL_SIZE);
    section->virtualAddress = readU32(file, at + SECTION_VIRTUAL_ADDRESS);
    section->rawSize = readU32(file, at + SECTION_RAW_SIZE);
    section->rawOffset = readU32(file, at + SECTION_RAW_OFFSET);
    section->characteristics = readU32(file, at + SECTION_CHARACTERISTICS);
    if (section->rawSize != 0 &&
        static_cast<std::uint64_t>(section->rawOffset) + section->rawSize > file.size()) {
        *error =
            "the file is truncated: the data of section " + section->name + " lies past its end";
        return false;
    }
    if (section->virtualAddress < *nextFreeAddress) {
        *error = "its sections are not in ascending address order, or they overlap";
        return false;
    }
    if (section->rawSize != 0 && section->rawOffset < image.sizeOfHeaders) {
        *error = "the data of section " + section->name + " start inside the headers";
        return false;
    }
    std::uint32_t extent = section->virtualSize != 0 ? section->virtualSize : section->rawSize;
    std::uint64_t end = static_cast<std::uint64_t>(section->virtualAddress) + extent;
    /* The image size is a 32-bit field, so this refuses a wrap past 4 GiB too. */
    if (end > image.sizeOfImage) {
        *error = "section " + section->name +
                 " reaches past the image size its headers declare (or past 4 GiB)";
        return false;
    }
    *nextFreeAddress = alignUp(end, image.sectionAlignment);
    return true;
}

/* The section table after the optional header, whose fields *image holds
** already: its count within what Windows loads, the table inside the file
** and the declared headers, then each entry in turn into image->sections. */
static bool readSectionTable(const std::string &file, std::size_t coff, PeImage *image,
                             std::string *error) {
    std::size_t sectionCount = readU16(file, coff + COFF_SECTION_COUNT);
    std::size_t table = image->optionalHeaderOffset + readU16(file, coff + COFF_OPTIONAL_SIZE);
    if (sectionCount == 0 || sectionCount > MAX_SECTIONS) {
        *error = "it has no sections, or more than Windows loads";
        return false;
    }
    if (table + sectionCount * SECTION_ENTRY_SIZE > file.size()) {
        *error = "the file is truncated: the section table lies past its end";
        return false;
    }
    if (table + sectionCount * SECTION_ENTRY_SIZE > image->sizeOfHeaders) {
        *error = "its section table lies outside the headers it declares";
        return false;
    }
    image->sections.clear();
    std::uint64_t nextFreeAddress = 0;
    for (std::size_t i = 0; i < sectionCount; ++i) {
        PeSection section;
        std::size_t at = table + i * SECTION_ENTRY_SIZE;
        if (!readSectionEntry(file, at, *image, &nextFreeAddress, &section, error)) return false;
        image->sections.push_back(section);
    }
    return true;
}

/* Checks, in this order, the signatures, that each header lies inside the
** file, the format and machine, the alignments, and that the sections lie
** inside the file after the headers, in ascending address order without
** overlapping, within 4 GiB and the image size. */
bool readPeImage(const std::string &file, PeImage *image, std::string *error) {
    std::size_t coff = 0;
    return findCoffHeader(file, &coff, error) && readOptionalHeader(file, coff, image, error) &&
           readSectionTable(file, coff, image, error) && sectionDataApart(image->sections, error);
}

PeDirectory peDirectory(const std::string &file, const PeImage &image, unsigned index) {
    if (index >= image.directoryCount) return PeDirectory{0, 0};
    std::size_t at = peDirectoryOffset(image, index);
    return PeDirectory{readU32(file, at), readU32(file, at + 4)};
}

std::size_t peDirectoryOffset(const PeImage &image, unsigned index) {
    return image.directoriesOffset + index * DIRECTORY_ENTRY_SIZE;
}

/* Words are summed into 32 bits and the carry folded back after each, so
** the sum never overflows; an odd last byte counts as a word of its own. */
std::uint32_t peChecksum(const std::string &file, const PeImage &image) {
    std::size_t checksumAt = image.optionalHeaderOffset + OPTIONAL_CHECKSUM;
    std::uint32_t sum = 0;
    for (std::size_t at = 0; at < file.size(); at += 2) {
        if (at >= checksumAt && at < checksumAt + 4) continue;
        std::uint32_t word = static_cast<unsigned char>(file[at]);
        if (at + 1 < file.size())
            word |= static_cast<std::uint32_t>(static_cast<unsigned char>(file[at + 1])) << 8;
        sum += word;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return sum + static_cast<std::uint32_t>(file.size());
}
