#include "platform/text_decoding.h"

namespace platform {

static const char UTF8_BYTE_ORDER_MARK[] = "\xEF\xBB\xBF";
static constexpr char END_OF_TEXT = '\x1A';

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

FileEncoding configFileEncoding(const std::string &bytes) {
    if (bytes.compare(0, sizeof UTF8_BYTE_ORDER_MARK - 1, UTF8_BYTE_ORDER_MARK) == 0)
        return FILE_ENCODING_UTF8;
    const unsigned char *text = reinterpret_cast<const unsigned char *>(bytes.data());
    std::size_t position = 0;
    while (position < bytes.size()) {
        std::size_t length = sequenceLength(text + position, bytes.size() - position);
        if (length == 0) return FILE_ENCODING_ANSI;
        position += length;
    }
    return FILE_ENCODING_UTF8;
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

} // namespace platform
