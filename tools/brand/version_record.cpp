#include "tools/brand/version_record.h"

#include "tools/brand/little_endian.h"

#include <cstddef>

static const std::size_t MAX_VERSION_PARTS = 4;
static const std::uint32_t MAX_PART_VALUE = 0xFFFF;

/* VS_FIXEDFILEINFO fields. */
static const std::uint32_t FIXED_SIGNATURE = 0xFEEF04BD;
static const std::uint32_t FIXED_STRUCTURE_VERSION = 0x00010000;
static const std::uint32_t FIXED_FLAGS_MASK = 0x3F; /* VS_FFI_FILEFLAGSMASK */
static const std::uint32_t FIXED_OS_NT_WINDOWS32 = 0x00040004;
static const std::uint32_t FIXED_TYPE_APPLICATION = 1;
static const std::size_t FIXED_INFO_SIZE = 52;

/* Block types: binary or text value. */
static const std::uint16_t VALUE_BINARY = 0;
static const std::uint16_t VALUE_TEXT = 1;

static const char16_t STRING_TABLE_KEY[] = u"000004b0";
static const std::uint16_t TRANSLATION_LANGUAGE = 0x0000;
static const std::uint16_t TRANSLATION_CODE_PAGE = 0x04B0;

static const std::size_t BLOCK_ALIGNMENT = 4;

/* A part is refused as soon as it passes 65535, so no value can overflow
** however many digits follow. */
bool parseVersionNumber(const std::string &text, VersionNumber *version) {
    for (std::uint16_t &part : version->parts) part = 0;
    std::size_t part = 0, digits = 0;
    std::uint32_t value = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '.') {
            if (digits == 0 || part == MAX_VERSION_PARTS) return false;
            version->parts[part++] = static_cast<std::uint16_t>(value);
            digits = 0;
            value = 0;
        } else if (text[i] >= '0' && text[i] <= '9') {
            value = value * 10 + static_cast<std::uint32_t>(text[i] - '0');
            ++digits;
            if (value > MAX_PART_VALUE) return false;
        } else {
            return false;
        }
    }
    return true;
}

/* A UTF-16 text with its terminator, as every key and string value is
** stored. */
static void appendText(std::string *out, const std::u16string &text) {
    for (char16_t unit : text) appendU16(out, unit);
    appendU16(out, 0);
}

/* Starts a block: its length (filled in by endBlock), the value's length,
** the type and the key, padded to the block alignment.  Returns where the
** block starts. */
static std::size_t beginBlock(std::string *out, const std::u16string &key,
                              std::uint32_t valueLength, std::uint16_t type) {
    padTo(out, BLOCK_ALIGNMENT);
    std::size_t start = out->size();
    appendU16(out, 0);
    appendU16(out, valueLength);
    appendU16(out, type);
    appendText(out, key);
    padTo(out, BLOCK_ALIGNMENT);
    return start;
}

/* The length covers the block and its children, not the padding after. */
static void endBlock(std::string *out, std::size_t start) {
    writeU16(out, start, static_cast<std::uint32_t>(out->size() - start));
}

/* VS_FIXEDFILEINFO: the same version as file and product version, no
** flags, an application for Windows NT, no date. */
static void appendFixedInfo(std::string *out, const VersionNumber &version) {
    std::uint32_t high = static_cast<std::uint32_t>(version.parts[0]) << 16 | version.parts[1];
    std::uint32_t low = static_cast<std::uint32_t>(version.parts[2]) << 16 | version.parts[3];
    for (std::uint32_t field :
         {FIXED_SIGNATURE, FIXED_STRUCTURE_VERSION, high, low, high, low, FIXED_FLAGS_MASK, 0u,
          FIXED_OS_NT_WINDOWS32, FIXED_TYPE_APPLICATION, 0u, 0u, 0u}) {
        appendU32(out, field);
    }
}

std::string versionRecord(const VersionNumber &version, const std::vector<VersionString> &strings) {
    std::string out;
    std::size_t root = beginBlock(&out, u"VS_VERSION_INFO", FIXED_INFO_SIZE, VALUE_BINARY);
    appendFixedInfo(&out, version);

    std::size_t fileInfo = beginBlock(&out, u"StringFileInfo", 0, VALUE_TEXT);
    std::size_t table = beginBlock(&out, STRING_TABLE_KEY, 0, VALUE_TEXT);
    for (const VersionString &entry : strings) {
        /* A string's value length counts its UTF-16 units and terminator. */
        std::size_t string = beginBlock(
            &out, entry.first, static_cast<std::uint32_t>(entry.second.size() + 1), VALUE_TEXT);
        appendText(&out, entry.second);
        endBlock(&out, string);
    }
    endBlock(&out, table);
    endBlock(&out, fileInfo);

    std::size_t varInfo = beginBlock(&out, u"VarFileInfo", 0, VALUE_TEXT);
    std::size_t translation = beginBlock(&out, u"Translation", 4, VALUE_BINARY);
    appendU16(&out, TRANSLATION_LANGUAGE);
    appendU16(&out, TRANSLATION_CODE_PAGE);
    endBlock(&out, translation);
    endBlock(&out, varInfo);
    endBlock(&out, root);
    return out;
}
