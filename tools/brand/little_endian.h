/*
** Little-endian fields in byte strings: every structure of an executable, an
** icon file and a version record stores its numbers this way.  Readers
** assume the caller has checked that the field lies inside the bytes.
*/
#ifndef TARNWICK_BRAND_LITTLE_ENDIAN_H
#define TARNWICK_BRAND_LITTLE_ENDIAN_H

#include <cstddef>
#include <cstdint>
#include <string>

inline std::uint16_t readU16(const std::string &bytes, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                      static_cast<unsigned char>(bytes[at + 1]) << 8);
}

inline std::uint32_t readU32(const std::string &bytes, std::size_t at) {
    return static_cast<std::uint32_t>(readU16(bytes, at)) |
           static_cast<std::uint32_t>(readU16(bytes, at + 2)) << 16;
}

inline std::uint64_t readU64(const std::string &bytes, std::size_t at) {
    return static_cast<std::uint64_t>(readU32(bytes, at)) |
           static_cast<std::uint64_t>(readU32(bytes, at + 4)) << 32;
}

/* Overwrites a field that already exists in bytes. */
inline void writeU16(std::string *bytes, std::size_t at, std::uint32_t value) {
    (*bytes)[at] = static_cast<char>(value & 0xFF);
    (*bytes)[at + 1] = static_cast<char>((value >> 8) & 0xFF);
}

inline void writeU32(std::string *bytes, std::size_t at, std::uint32_t value) {
    writeU16(bytes, at, value & 0xFFFF);
    writeU16(bytes, at + 2, value >> 16);
}

/* Appends a field at the end of bytes. */
inline void appendU16(std::string *bytes, std::uint32_t value) {
    bytes->push_back(static_cast<char>(value & 0xFF));
    bytes->push_back(static_cast<char>((value >> 8) & 0xFF));
}

inline void appendU32(std::string *bytes, std::uint32_t value) {
    appendU16(bytes, value & 0xFFFF);
    appendU16(bytes, value >> 16);
}

/* Zero bytes up to the next multiple of alignment (a power of two). */
inline void padTo(std::string *bytes, std::size_t alignment) {
    while (bytes->size() % alignment != 0) bytes->push_back('\0');
}

/* value rounded up to a multiple of alignment (a power of two); 64 bits, so
** that no 32-bit field plus an alignment can wrap. */
inline std::uint64_t alignUp(std::uint64_t value, std::uint64_t alignment) {
    return (value + alignment - 1) & ~(alignment - 1);
}

#endif
