/*
** The headers of a Windows executable (PE32 or PE32+): where each field the
** brand tool reads or changes stands in the file, and the checksum Windows
** keeps in them.  Reading checks only what every well-formed image has;
** whether an image can be rewritten is pe_rewrite's question.
*/
#ifndef TARNWICK_BRAND_PE_IMAGE_H
#define TARNWICK_BRAND_PE_IMAGE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

/* Data directories the tool looks at, by their index in the table. */
constexpr unsigned DIRECTORY_RESOURCE = 2;
constexpr unsigned DIRECTORY_SECURITY = 4;
constexpr unsigned DIRECTORY_BASE_RELOCATION = 5;
constexpr unsigned DIRECTORY_SLOTS = 16;

/* Addresses in an image are 32-bit offsets from its base; a rewritten
** image must end below this. */
constexpr std::uint64_t ADDRESS_SPACE_END = std::uint64_t{1} << 32;

/* A section holds initialized data (its raw size counts in
** SizeOfInitializedData). */
constexpr std::uint32_t SECTION_INITIALIZED_DATA = 0x00000040;

/* Offsets of a section entry's fields. */
constexpr std::size_t SECTION_VIRTUAL_SIZE = 8;
constexpr std::size_t SECTION_VIRTUAL_ADDRESS = 12;
constexpr std::size_t SECTION_RAW_SIZE = 16;
constexpr std::size_t SECTION_RAW_OFFSET = 20;

struct PeSection {
    std::string name;         /* up to eight characters */
    std::size_t headerOffset; /* where its 40-byte entry stands in the file */
    std::uint32_t virtualSize;
    std::uint32_t virtualAddress;
    std::uint32_t rawSize;
    std::uint32_t rawOffset;
    std::uint32_t characteristics;
};

/* Offsets of the optional header's fields that the tool changes. */
constexpr std::size_t OPTIONAL_SIZE_OF_INITIALIZED_DATA = 8;
constexpr std::size_t OPTIONAL_SIZE_OF_IMAGE = 56;
constexpr std::size_t OPTIONAL_CHECKSUM = 64;

struct PeImage {
    bool is64; /* PE32+ (x86-64); otherwise PE32 (i386) */
    std::size_t optionalHeaderOffset;
    std::size_t directoriesOffset; /* the first data directory */
    std::uint32_t directoryCount;  /* NumberOfRvaAndSizes */
    std::uint64_t imageBase;
    std::uint32_t entryPoint;
    std::uint32_t sectionAlignment;
    std::uint32_t fileAlignment;
    std::uint32_t sizeOfImage;
    std::uint32_t sizeOfHeaders;     /* the headers' bytes; section data start after them */
    std::uint32_t symbolTableOffset; /* PointerToSymbolTable of the COFF header */
    std::vector<PeSection> sections; /* in table order, which is address order */
};

/* Reads the headers and the section table of file.  False, with the reason
** in *error, when file is no PE image, is cut short, or has headers no
** linker writes: sections out of address order or overlapping in memory or
** in the file, section data inside the headers, a section reaching past
** 4 GiB or past the image size, alignments that are not powers of two. */
bool readPeImage(const std::string &file, PeImage *image, std::string *error);

struct PeDirectory {
    std::uint32_t address; /* an address in the image; a file offset for the security directory */
    std::uint32_t size;
};

/* The data directory at index; empty when the table is shorter. */
PeDirectory peDirectory(const std::string &file, const PeImage &image, unsigned index);

/* Where the data directory at index stands in the file (index must be below
** image.directoryCount). */
std::size_t peDirectoryOffset(const PeImage &image, unsigned index);

/* The checksum of the optional header as Windows computes it
** (CheckSumMappedFile): the file summed as 16-bit words with the carries
** folded back, the checksum field itself read as zero, plus the length. */
std::uint32_t peChecksum(const std::string &file, const PeImage &image);

#endif
