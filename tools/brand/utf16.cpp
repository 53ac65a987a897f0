#include "tools/brand/utf16.h"

#include <cstdint>

static const std::uint32_t LAST_CODE_POINT = 0x10FFFF;
static const std::uint32_t SURROGATES_FIRST = 0xD800;
static const std::uint32_t SURROGATES_LAST = 0xDFFF;
static const std::uint32_t FIRST_SUPPLEMENTARY = 0x10000;

/* Each sequence is decoded with the smallest code point its length may
** carry, so that an overlong form is refused rather than read. */
bool utf8ToUtf16(const std::string &text, std::u16string *utf16) {
    static const std::uint32_t SMALLEST[] = {0, 0, 0x80, 0x800, 0x10000};
    utf16->clear();
    for (std::size_t i = 0; i < text.size();) {
        unsigned char lead = static_cast<unsigned char>(text[i]);
        std::size_t length = lead < 0x80             ? 1
                             : (lead & 0xE0) == 0xC0 ? 2
                             : (lead & 0xF0) == 0xE0 ? 3
                             : (lead & 0xF8) == 0xF0 ? 4
                                                     : 0;
        if (length == 0 || i + length > text.size()) return false;
        std::uint32_t point = length == 1 ? lead : lead & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) {
            unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            point = point << 6 | (next & 0x3F);
        }
        if (point < SMALLEST[length] || point > LAST_CODE_POINT ||
            (point >= SURROGATES_FIRST && point <= SURROGATES_LAST)) {
            return false;
        }
        if (point >= FIRST_SUPPLEMENTARY) {
            point -= FIRST_SUPPLEMENTARY;
            *utf16 += static_cast<char16_t>(SURROGATES_FIRST + (point >> 10));
            *utf16 += static_cast<char16_t>(0xDC00 + (point & 0x3FF));
        } else {
            *utf16 += static_cast<char16_t>(point);
        }
        i += length;
    }
    return true;
}
