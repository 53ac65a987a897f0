#include "launcher/digest.h"

#include "core/text.h"

#include <cstring>

static constexpr unsigned long long FNV_PRIME = 1099511628211ULL;

unsigned long long mixBytes(unsigned long long hash, const char *bytes, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i)
        hash = (hash ^ static_cast<unsigned char>(bytes[i])) * FNV_PRIME;
    return hash;
}

unsigned long long mixText(unsigned long long hash, const char *text) {
    return mixBytes(mixBytes(hash, text, std::strlen(text)), "\n", 1);
}

unsigned long long mixNumber(unsigned long long hash, unsigned long long number) {
    char bytes[8];
    for (int byte = 0; byte < 8; ++byte) bytes[byte] = static_cast<char>(number >> (8 * byte));
    return mixBytes(hash, bytes, sizeof bytes);
}

/* In two halves: the system C runtime of Windows knows no "ll". */
std::string hexDigits(unsigned long long value) {
    return formatText("%08lx%08lx", static_cast<unsigned long>(value >> 32),
                      static_cast<unsigned long>(value & 0xFFFFFFFFu));
}
