/*
** The version record (RT_VERSION) that Explorer's Properties and Task
** Manager show: a VS_FIXEDFILEINFO with the numeric file and product
** versions, and one language-neutral Unicode string table.
*/
#ifndef TARNWICK_BRAND_VERSION_RECORD_H
#define TARNWICK_BRAND_VERSION_RECORD_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

/* The four numbers of a version; missing trailing parts are 0. */
struct VersionNumber {
    std::uint16_t parts[4];
};

/* Reads "1", "1.2", "1.2.3" or "1.2.3.4": one to four parts of decimal
** digits only, each at most 65535.  False for anything else. */
bool parseVersionNumber(const std::string &text, VersionNumber *version);

/* A string of the table: its key (FileDescription, ...) and value. */
typedef std::pair<std::u16string, std::u16string> VersionString;

/* The whole record: the fixed information carries version as file and
** product version (an application, for Windows NT), the string table
** "000004b0" holds strings in the given order, and the translation names
** language 0x0000 with code page 0x04B0 (Unicode).  The caller keeps the
** texts short enough for the record's 16-bit lengths. */
std::string versionRecord(const VersionNumber &version, const std::vector<VersionString> &strings);

#endif
