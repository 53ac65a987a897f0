/*
** The resource directory of an executable as a flat list of leaves (type,
** name, language, data), read from a resource section and written into a
** new one.  The brand tool edits the list and writes the whole directory
** again, so nothing of the old layout has to be patched in place.
*/
#ifndef TARNWICK_BRAND_RESOURCE_TREE_H
#define TARNWICK_BRAND_RESOURCE_TREE_H

#include <cstdint>
#include <string>
#include <vector>

/* Resource types the tool writes. */
constexpr std::uint16_t RESOURCE_ICON = 3;
constexpr std::uint16_t RESOURCE_GROUP_ICON = 14;
constexpr std::uint16_t RESOURCE_VERSION = 16;

/* Language neutral, the language of the version record. */
constexpr std::uint16_t LANGUAGE_NEUTRAL = 0;

/* A type or a name: a number, or a text (UTF-16, as stored). */
struct ResourceId {
    bool isText;
    std::uint16_t number;
    std::u16string text;
};

ResourceId resourceNumber(std::uint16_t number);

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
** loaded at address sectionAddress.  False, with the reason in *error, for
** anything but a plain three-level directory (type, name, language) whose
** tables, names and data all lie inside the section, each reached once. */
bool readResourceTree(const std::string &section, std::uint32_t sectionAddress,
                      std::vector<ResourceLeaf> *leaves, std::string *error);

/* A resource section holding leaves, for loading at sectionAddress: the
** directory tables, the data entries, the names, then the data, each piece
** of data on an eight-byte boundary.  Two leaves must not share type, name
** and language. */
std::string writeResourceTree(const std::vector<ResourceLeaf> &leaves, std::uint32_t sectionAddress);

#endif
