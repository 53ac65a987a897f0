/*
** The resource directory of an executable as a flat list of leaves (type,
** name, language, data), read from a resource section and written into a
** new one.  The brand tool edits the list and writes the whole directory
** again, so nothing of the old layout has to be patched in place.
*/
#ifndef TARNWICK_BRAND_RESOURCE_TREE_H
#define TARNWICK_BRAND_RESOURCE_TREE_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

/* Resource types the tool writes. */
constexpr std::uint16_t RESOURCE_ICON = 3;
constexpr std::uint16_t RESOURCE_GROUP_ICON = 14;
constexpr std::uint16_t RESOURCE_VERSION = 16;

/* Language neutral, the language of the version record. */
constexpr std::uint16_t LANGUAGE_NEUTRAL = 0;

/* A table counts its named and its numbered entries in 16-bit fields, and a
** name counts its UTF-16 units in one: neither may be written larger. */
constexpr std::size_t MAX_TABLE_ENTRIES = 0xFFFF;
constexpr std::size_t MAX_NAME_UNITS = 0xFFFF;

/* The entries of all tables of one directory.  A large program carries a
** few thousand resources (about three entries each); 262,144 is far above
** that, and keeps the leaves and tables the tool holds for them in the tens
** of MiB. */
constexpr std::size_t MAX_RESOURCE_ENTRIES = 262144;

/* The UTF-16 units of all named entries of one directory, a name counted
** at every entry that names it.  A thousand resources named with sixty
** characters take 60,000; the bound is about seventeen times that.  As a
** comparison of two names reads at most the units of the shorter, it keeps
** the checks of their order and their sorting to some tens of millions of
** steps, and their memory to 2 MiB. */
constexpr std::size_t MAX_RESOURCE_NAME_UNITS = 1u << 20;

/* The largest resource section the tool writes: four times the largest
** executable it reads (64 MiB), so that every offset in it stays far below
** 2^32 and its bytes within a few hundred MiB of memory. */
constexpr std::size_t MAX_RESOURCE_SECTION_BYTES = 256u * 1024 * 1024;

/* A type or a name: a number, or a text (UTF-16, as stored).  A text is
** held once and shared by every id that names it, so that a long name
** named by many entries costs its memory once. */
struct ResourceId {
    bool isText;
    std::uint16_t number;
    std::shared_ptr<const std::u16string> text;
};

ResourceId resourceNumber(std::uint16_t number);
ResourceId resourceText(std::u16string text);

/* The order of a directory's entries, which Windows searches by halves:
** texts first, by their code units, then numbers, ascending. */
bool resourceIdLess(const ResourceId &a, const ResourceId &b);
bool resourceIdEqual(const ResourceId &a, const ResourceId &b);

struct ResourceLeaf {
    ResourceId type;
    ResourceId name;
    std::uint16_t language;
    std::uint32_t codePage;
    std::string data;
};

/* Reads the directory of a resource section whose bytes are section,
** loaded at address sectionAddress; the leaves come in directory order (by
** type, name and language).  False, with the reason in *error, for anything
** but a plain three-level directory (type, name, language) whose tables,
** names and data all lie inside the section, each reached once, none
** overlapping another (a name may be shared), whose tables list their named
** entries, then their numbered ones, as counted, each in order and once;
** and for a directory past MAX_RESOURCE_ENTRIES or MAX_RESOURCE_NAME_UNITS. */
bool readResourceTree(const std::string &section, std::uint32_t sectionAddress,
                      std::vector<ResourceLeaf> *leaves, std::string *error);

/* Puts into *out a resource section holding leaves, for loading at
** sectionAddress: the directory tables, the data entries, the names (each
** text once), then the data, each piece of data on an eight-byte boundary.
** False, with the reason in *error, when two leaves share type, name and
** language, a name is longer than MAX_NAME_UNITS, a table would hold more
** than MAX_TABLE_ENTRIES named or numbered entries, or the section would be
** larger than MAX_RESOURCE_SECTION_BYTES. */
bool writeResourceTree(const std::vector<ResourceLeaf> &leaves, std::uint32_t sectionAddress,
                       std::string *out, std::string *error);

#endif
