/*
** What fast start's fingerprint reads from a jar: a digest of its central
** directory (every entry's name, CRC-32 and sizes) and the Class-Path of
** its manifest.  The central directory is found from the end of the file,
** as Java's own zip reader finds it, and read whole but bounded; of the
** rest only the manifest is read.  Every length the file states is checked
** against what was read: a damaged or hostile file gives a refusal, never a
** read past a buffer.
*/
#ifndef TARNWICK_JAR_FILE_H
#define TARNWICK_JAR_FILE_H

#include <cstddef>
#include <string>

/* The largest central directory read.  An entry takes about 100 bytes of
** it (a name, its CRC-32, sizes and offsets): 16 MiB is some 160,000
** entries, ten times the largest jars in use, and the directory is read at
** every start, where more would cost more than the archive saves. */
constexpr std::size_t CENTRAL_DIRECTORY_LIMIT = 16 * 1024 * 1024;

/* The largest manifest read, packed or unpacked: a manifest holds a few
** lines, and a Class-Path of thousands of jars fits well within this. */
constexpr std::size_t MANIFEST_LIMIT = 1024 * 1024;

struct JarIndex {
    unsigned long long digest = 0; /* of the entries' names, CRC-32s and sizes */
    std::string classPath;         /* the manifest's Class-Path; empty when it has none */
};

/* Reads length bytes of the jar from offset on into *bytes; false unless
** all of them were read. */
typedef bool (*JarReader)(void *source, unsigned long long offset, std::size_t length,
                          std::string *bytes);

/* Reads the index of a jar of size bytes (its Class-Path too when
** withManifest).  False when the jar cannot be read as a zip file, or passes
** a bound; *why then says which, as words that follow the jar's name. */
bool readJarIndex(JarReader read, void *source, unsigned long long size, bool withManifest,
                  JarIndex *index, const char **why);

/* Decodes the DEFLATE stream data (RFC 1951) into *out.  False when it is
** not one, ends early, or decodes to more than limit bytes. */
bool inflateData(const std::string &data, std::size_t limit, std::string *out);

/* The value of the Class-Path attribute in the main section of a manifest
** (the name in any letter case, continuation lines joined); empty when the
** section has none. */
std::string manifestClassPath(const std::string &manifest);

#endif
