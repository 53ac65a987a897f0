#include "platform/text_decoding.h"

namespace platform {

static const char UTF8_BYTE_ORDER_MARK[] = "\xEF\xBB\xBF";
static const char UTF16_LE_BYTE_ORDER_MARK[] = "\xFF\xFE";
static const char UTF16_BE_BYTE_ORDER_MARK[] = "\xFE\xFF";
static constexpr char END_OF_TEXT = '\x1A';
static constexpr unsigned long REPLACEMENT_CHARACTER = 0xFFFD;

/* The length of the well-formed UTF-8 sequence at text[0] (shortest form,
** no surrogate halves, nothing above U+10FFFF), or 0 when there is none. */
static std::size_t sequenceLength(const unsigned char *text, std::size_t available) {
    unsigned char lead = text[0];
    if (lead < 0x80) return 1;
    std::size_t length;
    unsigned char low = 0x80, high = 0xBF; /* range of the second byte */
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (available < length || text[1] < low || text[1] > high) return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (text[i] < 0x80 || text[i] > 0xBF) return 0;
    return length;
}

std::size_t firstNonUtf8Byte(const std::string &bytes) {
    const unsigned char *text = reinterpret_cast<const unsigned char *>(bytes.data());
    std::size_t position = 0;
    while (position < bytes.size()) {
        std::size_t length = sequenceLength(text + position, bytes.size() - position);
        if (length == 0) return position;
        position += length;
    }
    return std::string::npos;
}

static bool startsWith(const std::string &bytes, const char *mark, std::size_t length) {
    return bytes.compare(0, length, mark) == 0;
}

FileEncoding configFileEncoding(const std::string &bytes) {
    if (startsWith(bytes, UTF16_LE_BYTE_ORDER_MARK, 2)) return FILE_ENCODING_UTF16_LE;
    if (startsWith(bytes, UTF16_BE_BYTE_ORDER_MARK, 2)) return FILE_ENCODING_UTF16_BE;
    if (startsWith(bytes, UTF8_BYTE_ORDER_MARK, 3)) return FILE_ENCODING_UTF8;
    return firstNonUtf8Byte(bytes) == std::string::npos ? FILE_ENCODING_UTF8 : FILE_ENCODING_ANSI;
}

const char *fileEncodingName(FileEncoding encoding) {
    switch (encoding) {
    case FILE_ENCODING_UTF8: return "UTF-8";
    case FILE_ENCODING_ANSI: return "the ANSI code page";
    case FILE_ENCODING_UTF16_LE: return "UTF-16 LE";
    case FILE_ENCODING_UTF16_BE: return "UTF-16 BE";
    }
    return "UTF-8";
}

/* Appends a character (at most U+10FFFF) in UTF-8. */
static void appendUtf8(std::string *text, unsigned long c) {
    static const unsigned char LEAD_BITS[] = {0x00, 0xC0, 0xE0, 0xF0};
    std::size_t length = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
    char bytes[4];
    for (std::size_t i = length - 1; i > 0; --i, c >>= 6)
        bytes[i] = static_cast<char>(0x80 | (c & 0x3F));
    bytes[0] = static_cast<char>(LEAD_BITS[length - 1] | c);
    text->append(bytes, length);
}

std::string utf16FileText(const std::string &bytes, FileEncoding encoding) {
    bool bigEndian = encoding == FILE_ENCODING_UTF16_BE;
    std::size_t units = bytes.size() / 2;
    auto unitAt = [&](std::size_t i) -> unsigned long {
        unsigned long first = static_cast<unsigned char>(bytes[2 * i]);
        unsigned long second = static_cast<unsigned char>(bytes[2 * i + 1]);
        return bigEndian ? first << 8 | second : second << 8 | first;
    };
    std::string text;
    text.reserve(bytes.size());
    std::size_t i = units > 0 && unitAt(0) == 0xFEFF ? 1 : 0;
    for (; i < units; ++i) {
        unsigned long unit = unitAt(i);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units && unitAt(i + 1) >= 0xDC00 &&
            unitAt(i + 1) <= 0xDFFF) {
            appendUtf8(&text, 0x10000 + ((unit - 0xD800) << 10) + (unitAt(i + 1) - 0xDC00));
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            appendUtf8(&text, REPLACEMENT_CHARACTER);
        } else if (unit == '\r' && i + 1 < units && unitAt(i + 1) == '\n') {
            continue; /* the line feed that follows is kept */
        } else {
            appendUtf8(&text, unit);
        }
    }
    return text;
}

std::string textModeContent(const std::string &bytes) {
    std::size_t end = bytes.find(END_OF_TEXT);
    if (end == std::string::npos) end = bytes.size();
    std::string text;
    text.reserve(end);
    for (std::size_t i = 0; i < end; ++i)
        if (bytes[i] != '\r' || i + 1 == end || bytes[i + 1] != '\n') text += bytes[i];
    return text;
}

bool nextTextLine(const std::string &text, std::size_t *next, std::string *line) {
    line->clear();
    if (*next >= text.size()) return false;
    std::size_t end = text.find('\n', *next);
    end = end == std::string::npos ? text.size() : end + 1;
    line->assign(text, *next, end - *next);
    *next = end;
    return true;
}

} // namespace platform
