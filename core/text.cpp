#include "core/text.h"

#include "core/settings.h"
#include "platform/platform.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

static std::string formatList(const char *format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length <= 0) return std::string();
    std::vector<char> buffer(static_cast<std::size_t>(length) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    return std::string(buffer.data(), static_cast<std::size_t>(length));
}

std::string formatText(const char *format, ...) {
    va_list args;
    va_start(args, format);
    std::string result = formatList(format, args);
    va_end(args);
    return result;
}

void printLauncherText(const std::string &text) {
    if (settings.toolMode && !settings._debug) return;
    platform::writeLauncherOutput(text);
}

void printText(const char *format, ...) {
    va_list args;
    va_start(args, format);
    printLauncherText(formatList(format, args));
    va_end(args);
}

/* A UTF-8 sequence has at most this many continuation bytes. */
static constexpr std::size_t MAX_CONTINUATION_BYTES = 3;

static bool isContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

std::string formatBounded(std::size_t bufferSize, const char *format, ...) {
    va_list args;
    va_start(args, format);
    std::string result = formatList(format, args);
    va_end(args);
    if (bufferSize == 0) return std::string();
    if (result.size() <= bufferSize - 1) return result;
    /* Cut before the letter that does not fit whole.  Bytes that are not
    ** UTF-8 (more continuation bytes than a letter has) are cut as bytes. */
    std::size_t length = bufferSize - 1;
    for (std::size_t step = 0; step < MAX_CONTINUATION_BYTES && length > 0; ++step) {
        if (!isContinuationByte(result[length])) break;
        --length;
    }
    if (isContinuationByte(result[length])) length = bufferSize - 1;
    result.resize(length);
    return result;
}

bool startsWith(const char *text, const char *prefix) {
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

bool startsWithIgnoringCase(const char *text, const char *prefix) {
    for (; *prefix != '\0'; ++text, ++prefix)
        if (std::tolower(static_cast<unsigned char>(*text)) !=
            std::tolower(static_cast<unsigned char>(*prefix)))
            return false;
    return true;
}

void debugBox(const char *text, const char *caption, unsigned type) {
    if (settings._debug) platform::messageBox(orEmpty(text), caption, type);
}

void debugPrint(const std::string &line) {
    if (settings._debug) platform::writeLauncherOutput(line);
}

/* Where a box is itself a line on standard error, the box alone says it. */
void reportError(const std::string &text, const char *caption, unsigned type) {
    bool boxShown = !settings._quietMode;
    bool endsLine = !text.empty() && text.back() == '\n';
    if (!boxShown || !platform::BOXES_ARE_LINES_ON_STANDARD_ERROR)
        platform::writeStandardError(endsLine ? text : text + "\n");
    if (boxShown) platform::messageBox(text.c_str(), caption, type);
}
