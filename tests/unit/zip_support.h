/*
** Small zip files for the unit tests, built as a jar tool lays one out:
** each entry's local header and bytes, then the central directory and its
** end record.
*/
#ifndef TARNWICK_ZIP_SUPPORT_H
#define TARNWICK_ZIP_SUPPORT_H

#include <string>
#include <vector>

struct ZipEntry {
    std::string name;
    std::string content;  /* as it unpacks */
    std::string deflated; /* when not empty: the bytes stored, packed (method 8) */
};

inline unsigned long crc32Of(const std::string &bytes) {
    unsigned long crc = 0xFFFFFFFFu;
    for (unsigned char c : bytes) {
        crc ^= c;
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return crc ^ 0xFFFFFFFFu;
}

inline void appendLittleEndian(std::string *out, unsigned long value, int width) {
    for (int i = 0; i < width; ++i) out->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

/* The zip of entries, after before (a start script, say): the zip's offsets
** count from its own start, as Java's reader allows. */
inline std::string zipOf(const std::vector<ZipEntry> &entries, const std::string &before = "") {
    std::string local, central;
    for (const ZipEntry &entry : entries) {
        const std::string &stored = entry.deflated.empty() ? entry.content : entry.deflated;
        std::string fields; /* method, time, CRC-32, sizes, name length, extra length */
        appendLittleEndian(&fields, entry.deflated.empty() ? 0 : 8, 2);
        appendLittleEndian(&fields, 0x21000000u, 4);
        appendLittleEndian(&fields, crc32Of(entry.content), 4);
        appendLittleEndian(&fields, static_cast<unsigned long>(stored.size()), 4);
        appendLittleEndian(&fields, static_cast<unsigned long>(entry.content.size()), 4);
        appendLittleEndian(&fields, static_cast<unsigned long>(entry.name.size()), 2);
        appendLittleEndian(&fields, 0, 2);
        unsigned long offset = static_cast<unsigned long>(local.size());
        appendLittleEndian(&local, 0x04034b50u, 4);
        appendLittleEndian(&local, 20, 2);
        appendLittleEndian(&local, 0, 2);
        local += fields + entry.name + stored;
        appendLittleEndian(&central, 0x02014b50u, 4);
        appendLittleEndian(&central, 20, 2);
        appendLittleEndian(&central, 20, 2);
        appendLittleEndian(&central, 0, 2);
        central += fields;
        appendLittleEndian(&central, 0, 6); /* comment length, disk, internal attributes */
        appendLittleEndian(&central, 0, 4);
        appendLittleEndian(&central, offset, 4);
        central += entry.name;
    }
    std::string end;
    appendLittleEndian(&end, 0x06054b50u, 4);
    appendLittleEndian(&end, 0, 4);
    appendLittleEndian(&end, static_cast<unsigned long>(entries.size()), 2);
    appendLittleEndian(&end, static_cast<unsigned long>(entries.size()), 2);
    appendLittleEndian(&end, static_cast<unsigned long>(central.size()), 4);
    appendLittleEndian(&end, static_cast<unsigned long>(local.size()), 4);
    appendLittleEndian(&end, 0, 2);
    return before + local + central + end;
}

/* A jar holding one class and, when classPath is not empty, a manifest
** that names it. */
inline std::string jarOf(const std::string &classBytes, const std::string &classPath = "") {
    std::vector<ZipEntry> entries;
    if (!classPath.empty())
        entries.push_back({"META-INF/MANIFEST.MF",
                           "Manifest-Version: 1.0\r\nClass-Path: " + classPath + "\r\n\r\n", ""});
    entries.push_back({"app/Main.class", classBytes, ""});
    return zipOf(entries);
}

#endif
