#include "tools/brand/resource_tree.h"

#include "tools/brand/little_endian.h"

#include <algorithm>
#include <cstddef>
#include <set>

/* A directory table: 16 bytes of header (characteristics, time stamp,
** version, then the counts of text and numbered entries), then 8-byte
** entries of an id field and a child field.  The high bit of the id field
** marks a text (the rest is its offset); the high bit of the child field
** marks a table (else the child is a 16-byte data entry: address, size,
** code page, reserved). */
static const std::size_t TABLE_HEADER_SIZE = 16;
static const std::size_t TABLE_TEXT_COUNT = 12;
static const std::size_t TABLE_NUMBER_COUNT = 14;
static const std::size_t ENTRY_SIZE = 8;
static const std::size_t DATA_ENTRY_SIZE = 16;
static const std::uint32_t HIGH_BIT = 0x80000000u;
static const std::size_t DATA_ALIGNMENT = 8;

/* Levels of the directory. */
enum Level { LEVEL_TYPE, LEVEL_NAME, LEVEL_LANGUAGE };

ResourceId resourceNumber(std::uint16_t number) { return ResourceId{false, number, std::u16string()}; }

bool resourceIdLess(const ResourceId &a, const ResourceId &b) {
    if (a.isText != b.isText) return a.isText;
    return a.isText ? a.text < b.text : a.number < b.number;
}

bool resourceIdEqual(const ResourceId &a, const ResourceId &b) {
    return !resourceIdLess(a, b) && !resourceIdLess(b, a);
}

/* What one reading of a section shares between its tables. */
struct TreeReader {
    const std::string &section;
    std::uint32_t address;
    std::set<std::uint32_t> reached;   /* tables and data entries met so far */
    std::uint64_t dataBytes;           /* of all leaves met so far */
    std::vector<ResourceLeaf> *leaves;
    std::string *error;
};

/* Whether size bytes at offset lie inside the section (no sum can wrap:
** both are 64-bit and come from 32-bit fields). */
static bool fits(const TreeReader &reader, std::uint64_t offset, std::uint64_t size) {
    return offset <= reader.section.size() && size <= reader.section.size() - offset;
}

/* Reaching a table or data entry twice would copy its leaves twice (and a
** crafted directory could multiply them without end). */
static bool firstVisit(TreeReader *reader, std::uint32_t offset) {
    if (reader->reached.insert(offset).second) return true;
    *reader->error = "its resource directory reaches one table or data entry twice";
    return false;
}

/* Reads an id field: a 16-bit number, or (high bit set) the offset of a
** counted UTF-16 text inside the section. */
static bool readId(TreeReader *reader, std::uint32_t field, ResourceId *id) {
    if ((field & HIGH_BIT) == 0) {
        if (field > 0xFFFF) {
            *reader->error = "its resource directory holds a number wider than 16 bits";
            return false;
        }
        *id = resourceNumber(static_cast<std::uint16_t>(field));
        return true;
    }
    std::uint32_t offset = field & ~HIGH_BIT;
    if (!fits(*reader, offset, 2) || !fits(*reader, offset + 2ull, 2ull * readU16(reader->section, offset))) {
        *reader->error = "the file is truncated: a resource name lies past the end of its section";
        return false;
    }
    id->isText = true;
    id->number = 0;
    id->text.clear();
    std::size_t length = readU16(reader->section, offset);
    for (std::size_t i = 0; i < length; i++) id->text += static_cast<char16_t>(readU16(reader->section, offset + 2 + 2 * i));
    return true;
}

/* Reads the data entry at offset into a leaf carrying type, name and
** language; its data must lie inside the section, and all data together
** may not exceed the section, which refuses shared or overlapping data. */
static bool readDataEntry(TreeReader *reader, std::uint32_t offset, ResourceLeaf leaf) {
    if (!fits(*reader, offset, DATA_ENTRY_SIZE)) {
        *reader->error = "the file is truncated: a resource data entry lies past the end of its section";
        return false;
    }
    if (!firstVisit(reader, offset)) return false;
    std::uint32_t address = readU32(reader->section, offset);
    std::uint32_t size = readU32(reader->section, offset + 4);
    if (address < reader->address || !fits(*reader, address - reader->address, size)) {
        *reader->error = "the data of a resource lies outside the resource section";
        return false;
    }
    reader->dataBytes += size;
    if (reader->dataBytes > reader->section.size()) {
        *reader->error = "the data of its resources overlap";
        return false;
    }
    leaf.codePage = readU32(reader->section, offset + 8);
    leaf.data = reader->section.substr(address - reader->address, size);
    reader->leaves->push_back(leaf);
    return true;
}

/* Reads the table at offset of the given level; leaf carries the type and
** name of the levels above. */
static bool readTable(TreeReader *reader, std::uint32_t offset, Level level, ResourceLeaf leaf) {
    if (!fits(*reader, offset, TABLE_HEADER_SIZE)) {
        *reader->error = "the file is truncated: a resource table lies past the end of its section";
        return false;
    }
    if (!firstVisit(reader, offset)) return false;
    std::size_t count = static_cast<std::size_t>(readU16(reader->section, offset + TABLE_TEXT_COUNT)) +
                        readU16(reader->section, offset + TABLE_NUMBER_COUNT);
    if (!fits(*reader, offset + TABLE_HEADER_SIZE, count * ENTRY_SIZE)) {
        *reader->error = "the file is truncated: a resource table lies past the end of its section";
        return false;
    }
    for (std::size_t i = 0; i < count; i++) {
        std::size_t entry = offset + TABLE_HEADER_SIZE + i * ENTRY_SIZE;
        std::uint32_t idField = readU32(reader->section, entry);
        std::uint32_t child = readU32(reader->section, entry + 4);
        ResourceId id;
        if (!readId(reader, idField, &id)) return false;
        bool childIsTable = (child & HIGH_BIT) != 0;
        if (childIsTable != (level != LEVEL_LANGUAGE)) {
            *reader->error = "its resource directory is not of three levels (type, name, language)";
            return false;
        }
        if (level == LEVEL_TYPE) {
            leaf.type = id;
            if (!readTable(reader, child & ~HIGH_BIT, LEVEL_NAME, leaf)) return false;
        } else if (level == LEVEL_NAME) {
            leaf.name = id;
            if (!readTable(reader, child & ~HIGH_BIT, LEVEL_LANGUAGE, leaf)) return false;
        } else {
            if (id.isText) {
                *reader->error = "its resource directory names a language by a text";
                return false;
            }
            leaf.language = id.number;
            if (!readDataEntry(reader, child, leaf)) return false;
        }
    }
    return true;
}

bool readResourceTree(const std::string &section, std::uint32_t sectionAddress,
                      std::vector<ResourceLeaf> *leaves, std::string *error) {
    TreeReader reader{section, sectionAddress, {}, 0, leaves, error};
    leaves->clear();
    ResourceLeaf top{resourceNumber(0), resourceNumber(0), 0, 0, std::string()};
    return readTable(&reader, 0, LEVEL_TYPE, top);
}

/* ---------------------------------------------------------------------------
** Writing.
*/

/* One directory table to be written: its entries' ids and, per entry, the
** index of the child (a table at the next level, or a leaf). */
struct PlannedTable {
    std::vector<ResourceId> ids;
    std::vector<std::size_t> children;
    std::uint32_t offset;
};

/* The order of the leaves: by type, name and language, as the tables
** are searched. */
static bool leafLess(const ResourceLeaf *a, const ResourceLeaf *b) {
    if (!resourceIdEqual(a->type, b->type)) return resourceIdLess(a->type, b->type);
    if (!resourceIdEqual(a->name, b->name)) return resourceIdLess(a->name, b->name);
    return a->language < b->language;
}

/* Fills in the counts of a planned table whose header stands at at (the
** rest of the header stays zero). */
static void writeTableHeader(std::string *out, std::uint32_t at, const PlannedTable &table) {
    std::size_t texts = 0;
    for (const ResourceId &id : table.ids) texts += id.isText ? 1 : 0;
    writeU16(out, at + TABLE_TEXT_COUNT, static_cast<std::uint32_t>(texts));
    writeU16(out, at + TABLE_NUMBER_COUNT, static_cast<std::uint32_t>(table.ids.size() - texts));
}

/* The id field of an entry: a number, or the offset of its text, which is
** appended to texts (placed at textsStart in the section). */
static std::uint32_t idField(const ResourceId &id, std::string *texts, std::uint32_t textsStart) {
    if (!id.isText) return id.number;
    std::uint32_t offset = textsStart + static_cast<std::uint32_t>(texts->size());
    appendU16(texts, static_cast<std::uint32_t>(id.text.size()));
    for (char16_t unit : id.text) appendU16(texts, unit);
    return offset | HIGH_BIT;
}

/* Plans the three levels of tables from the sorted leaves, lays out tables,
** data entries, texts and data in that order, then fills them in. */
std::string writeResourceTree(const std::vector<ResourceLeaf> &leaves, std::uint32_t sectionAddress) {
    std::vector<const ResourceLeaf *> sorted;
    for (const ResourceLeaf &leaf : leaves) sorted.push_back(&leaf);
    std::stable_sort(sorted.begin(), sorted.end(), leafLess);

    PlannedTable root;
    std::vector<PlannedTable> nameTables, languageTables;
    for (std::size_t i = 0; i < sorted.size(); i++) {
        const ResourceLeaf &leaf = *sorted[i];
        if (root.ids.empty() || !resourceIdEqual(root.ids.back(), leaf.type)) {
            root.ids.push_back(leaf.type);
            root.children.push_back(nameTables.size());
            nameTables.push_back(PlannedTable());
        }
        PlannedTable &names = nameTables.back();
        bool newName = names.ids.empty() || !resourceIdEqual(names.ids.back(), leaf.name);
        if (newName) {
            names.ids.push_back(leaf.name);
            names.children.push_back(languageTables.size());
            languageTables.push_back(PlannedTable());
        }
        languageTables.back().ids.push_back(resourceNumber(leaf.language));
        languageTables.back().children.push_back(i);
    }

    std::uint32_t next = 0;
    auto place = [&next](PlannedTable *table) {
        table->offset = next;
        next += static_cast<std::uint32_t>(TABLE_HEADER_SIZE + table->ids.size() * ENTRY_SIZE);
    };
    place(&root);
    for (PlannedTable &table : nameTables) place(&table);
    for (PlannedTable &table : languageTables) place(&table);
    std::uint32_t dataEntries = next;
    std::uint32_t textsStart = dataEntries + static_cast<std::uint32_t>(sorted.size() * DATA_ENTRY_SIZE);

    std::string out(textsStart, '\0');
    std::string texts;
    auto fill = [&](const PlannedTable &table, bool childrenAreTables, const std::vector<PlannedTable> &below) {
        writeTableHeader(&out, table.offset, table);
        for (std::size_t i = 0; i < table.ids.size(); i++) {
            std::uint32_t entry = table.offset + static_cast<std::uint32_t>(TABLE_HEADER_SIZE + i * ENTRY_SIZE);
            writeU32(&out, entry, idField(table.ids[i], &texts, textsStart));
            std::uint32_t child = childrenAreTables
                                      ? below[table.children[i]].offset | HIGH_BIT
                                      : dataEntries + static_cast<std::uint32_t>(table.children[i] * DATA_ENTRY_SIZE);
            writeU32(&out, entry + 4, child);
        }
    };
    fill(root, true, nameTables);
    for (const PlannedTable &table : nameTables) fill(table, true, languageTables);
    for (const PlannedTable &table : languageTables) fill(table, false, languageTables);
    out += texts;

    for (std::size_t i = 0; i < sorted.size(); i++) {
        padTo(&out, DATA_ALIGNMENT);
        std::size_t entry = dataEntries + i * DATA_ENTRY_SIZE;
        writeU32(&out, entry, sectionAddress + static_cast<std::uint32_t>(out.size()));
        writeU32(&out, entry + 4, static_cast<std::uint32_t>(sorted[i]->data.size()));
        writeU32(&out, entry + 8, sorted[i]->codePage);
        out += sorted[i]->data;
    }
    return out;
}
