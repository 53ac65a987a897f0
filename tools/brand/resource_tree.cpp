#include "tools/brand/resource_tree.h"

#include "tools/brand/little_endian.h"

#include <algorithm>
#include <cstddef>
#include <map>
#include <set>
#include <unordered_map>

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

ResourceId resourceNumber(std::uint16_t number) { return ResourceId{false, number, nullptr}; }

ResourceId resourceText(std::u16string text) {
    return ResourceId{true, 0, std::make_shared<const std::u16string>(std::move(text))};
}

/* A shared text equals itself without a look at its units. */
bool resourceIdLess(const ResourceId &a, const ResourceId &b) {
    if (a.isText != b.isText) return a.isText;
    if (!a.isText) return a.number < b.number;
    return a.text != b.text && *a.text < *b.text;
}

bool resourceIdEqual(const ResourceId &a, const ResourceId &b) {
    return !resourceIdLess(a, b) && !resourceIdLess(b, a);
}

/* What a directory's bytes are used for; no two pieces may share a byte. */
enum PieceKind { PIECE_TABLE, PIECE_DATA_ENTRY, PIECE_NAME, PIECE_DATA };
static const char *const PIECE_NAMES[] = {"a resource table", "a resource data entry",
                                          "a resource name", "the data of a resource"};

struct Piece {
    std::uint64_t start, end;
    PieceKind kind;
};

/* What one reading of a section shares between its tables. */
struct TreeReader {
    const std::string &section;
    std::uint32_t address;
    std::set<std::uint32_t> reached; /* tables and data entries met so far */
    std::map<std::uint32_t, std::shared_ptr<const std::u16string>>
        names; /* by offset, each read once */
    std::vector<Piece> pieces;
    std::size_t entries;     /* of all tables met so far */
    std::size_t nameUnits;   /* of all named entries met so far */
    std::uint64_t dataBytes; /* of all leaves met so far */
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
** counted UTF-16 text inside the section, read once however many entries
** name it. */
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
    if (!fits(*reader, offset, 2) ||
        !fits(*reader, offset + 2ull, 2ull * readU16(reader->section, offset))) {
        *reader->error = "the file is truncated: a resource name lies past the end of its section";
        return false;
    }
    std::size_t length = readU16(reader->section, offset);
    reader->nameUnits += length;
    if (reader->nameUnits > MAX_RESOURCE_NAME_UNITS) {
        *reader->error = "its resource names are longer together than " +
                         std::to_string(MAX_RESOURCE_NAME_UNITS) +
                         " characters, far more than any program needs";
        return false;
    }
    std::shared_ptr<const std::u16string> &text = reader->names[offset];
    if (!text) {
        std::u16string units;
        for (std::size_t i = 0; i < length; ++i)
            units += static_cast<char16_t>(readU16(reader->section, offset + 2 + 2 * i));
        text = std::make_shared<const std::u16string>(std::move(units));
        reader->pieces.push_back(Piece{offset, offset + 2 + 2 * length, PIECE_NAME});
    }
    *id = ResourceId{true, 0, text};
    return true;
}

/* Reads the data entry at offset into a leaf carrying type, name and
** language; its data must lie inside the section, and all data together
** may not exceed the section, so that overlapping data is never copied
** more than the section's size before the pieces are compared. */
static bool readDataEntry(TreeReader *reader, std::uint32_t offset, ResourceLeaf leaf) {
    if (!fits(*reader, offset, DATA_ENTRY_SIZE)) {
        *reader->error =
            "the file is truncated: a resource data entry lies past the end of its section";
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
    std::uint64_t start = address - reader->address;
    reader->pieces.push_back(Piece{offset, offset + DATA_ENTRY_SIZE, PIECE_DATA_ENTRY});
    if (size != 0) reader->pieces.push_back(Piece{start, start + size, PIECE_DATA});
    leaf.codePage = readU32(reader->section, offset + 8);
    leaf.data = reader->section.substr(start, size);
    reader->leaves->push_back(std::move(leaf));
    return true;
}

/* Reads the table at offset of the given level; leaf carries the type and
** name of the levels above.  Named entries come first, then numbered ones,
** as the header counts them, each kind in ascending order: the order in
** which Windows searches them by halves, and the order written again. */
static bool readTable(TreeReader *reader, std::uint32_t offset, Level level, ResourceLeaf leaf) {
    if (!fits(*reader, offset, TABLE_HEADER_SIZE)) {
        *reader->error = "the file is truncated: a resource table lies past the end of its section";
        return false;
    }
    if (!firstVisit(reader, offset)) return false;
    std::size_t texts = readU16(reader->section, offset + TABLE_TEXT_COUNT);
    std::size_t count = texts + readU16(reader->section, offset + TABLE_NUMBER_COUNT);
    if (!fits(*reader, offset + TABLE_HEADER_SIZE, count * ENTRY_SIZE)) {
        *reader->error = "the file is truncated: a resource table lies past the end of its section";
        return false;
    }
    reader->entries += count;
    if (reader->entries > MAX_RESOURCE_ENTRIES) {
        *reader->error = "its resource directory has more than " +
                         std::to_string(MAX_RESOURCE_ENTRIES) +
                         " entries, far more than any program needs";
        return false;
    }
    reader->pieces.push_back(
        Piece{offset, offset + TABLE_HEADER_SIZE + count * ENTRY_SIZE, PIECE_TABLE});
    ResourceId previous = resourceNumber(0);
    for (std::size_t i = 0; i < count; ++i) {
        std::size_t entry = offset + TABLE_HEADER_SIZE + i * ENTRY_SIZE;
        std::uint32_t idField = readU32(reader->section, entry);
        std::uint32_t child = readU32(reader->section, entry + 4);
        ResourceId id;
        if (!readId(reader, idField, &id)) return false;
        if (id.isText != (i < texts)) {
            *reader->error =
                "a table of its resource directory counts its named and numbered entries wrongly";
            return false;
        }
        if (i > 0 && !resourceIdLess(previous, id)) {
            *reader->error =
                "a table of its resource directory lists an entry twice or out of order";
            return false;
        }
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
        previous = std::move(id);
    }
    return true;
}

/* No two pieces share a byte: the tool rewrites them one by one, and Windows
** would read one as the other. */
static bool piecesApart(std::vector<Piece> *pieces, std::string *error) {
    std::sort(pieces->begin(), pieces->end(),
              [](const Piece &a, const Piece &b) { return a.start < b.start; });
    const Piece *reaching = nullptr; /* the piece reaching furthest so far */
    for (const Piece &piece : *pieces) {
        if (reaching != nullptr && piece.start < reaching->end) {
            *error = std::string("in its resource section ") + PIECE_NAMES[reaching->kind] +
                     " overlaps " + PIECE_NAMES[piece.kind];
            return false;
        }
        if (reaching == nullptr || piece.end > reaching->end) reaching = &piece;
    }
    return true;
}

bool readResourceTree(const std::string &section, std::uint32_t sectionAddress,
                      std::vector<ResourceLeaf> *leaves, std::string *error) {
    TreeReader reader{section, sectionAddress, {}, {}, {}, 0, 0, 0, leaves, error};
    leaves->clear();
    ResourceLeaf top{resourceNumber(0), resourceNumber(0), 0, 0, std::string()};
    return readTable(&reader, 0, LEVEL_TYPE, top) && piecesApart(&reader.pieces, error);
}

/* ---------------------------------------------------------------------------
** Writing.
*/

/* Every text of the leaves gets a rank, its place among the distinct texts
** in search order; equal texts share one.  Types and names are then
** compared as numbers: ranks first, numbered ids after them. */
struct TextRanks {
    std::unordered_map<const std::u16string *, std::uint32_t> rankOf;
    std::vector<const std::u16string *> texts; /* one per rank */

    std::uint32_t key(const ResourceId &id) const {
        return id.isText ? rankOf.at(id.text.get())
                         : static_cast<std::uint32_t>(texts.size()) + id.number;
    }
    bool isText(std::uint32_t key) const { return key < texts.size(); }
};

/* Sorting distinct texts compares each with a few others, at most the
** shorter's units each time. */
static void rankTexts(const std::vector<ResourceLeaf> &leaves, TextRanks *ranks) {
    for (const ResourceLeaf &leaf : leaves) {
        if (leaf.type.isText) ranks->rankOf.emplace(leaf.type.text.get(), 0);
        if (leaf.name.isText) ranks->rankOf.emplace(leaf.name.text.get(), 0);
    }
    std::vector<const std::u16string *> ordered;
    for (const auto &text : ranks->rankOf) ordered.push_back(text.first);
    std::sort(ordered.begin(), ordered.end(),
              [](const std::u16string *a, const std::u16string *b) { return *a < *b; });
    for (const std::u16string *text : ordered) {
        if (ranks->texts.empty() || *ranks->texts.back() != *text) ranks->texts.push_back(text);
        ranks->rankOf[text] = static_cast<std::uint32_t>(ranks->texts.size() - 1);
    }
}

/* A leaf by the keys of its type and name, and its language. */
struct SortedLeaf {
    std::uint32_t type, name;
    std::uint16_t language;
    const ResourceLeaf *leaf;
};

static bool sortedLess(const SortedLeaf &a, const SortedLeaf &b) {
    if (a.type != b.type) return a.type < b.type;
    if (a.name != b.name) return a.name < b.name;
    return a.language < b.language;
}

/* One directory table to be written: its entries' keys and, per entry, the
** index of the child (a table at the next level, or a leaf). */
struct PlannedTable {
    std::vector<std::uint32_t> keys;
    std::vector<std::size_t> children;
    std::size_t texts; /* keys of texts, which come first */
    std::uint32_t offset;
};

/* The directory to be written: its leaves in directory order, its tables
** level by level, and, once placed, where its parts start. */
struct PlannedDirectory {
    std::vector<SortedLeaf> sorted;
    PlannedTable root;
    std::vector<PlannedTable> nameTables, languageTables;
    std::uint64_t dataEntries; /* the first data entry, after the tables */
    std::uint64_t textsStart;  /* the first text, after the data entries */
    std::uint64_t size;        /* of the whole section, the data included */
};

/* Sorts the leaves by their keys and plans the three levels of tables: one
** table of types, one of names per type, one of languages per name.  False
** when two leaves share type, name and language. */
static bool planTables(const std::vector<ResourceLeaf> &leaves, const TextRanks &ranks,
                       PlannedDirectory *plan, std::string *error) {
    std::vector<SortedLeaf> &sorted = plan->sorted;
    for (const ResourceLeaf &leaf : leaves) {
        sorted.push_back(
            SortedLeaf{ranks.key(leaf.type), ranks.key(leaf.name), leaf.language, &leaf});
    }
    std::sort(sorted.begin(), sorted.end(), sortedLess);
    for (std::size_t i = 0; i < sorted.size(); ++i) {
        const SortedLeaf &leaf = sorted[i];
        if (i > 0 && !sortedLess(sorted[i - 1], leaf)) {
            *error = "two of its resources would share type, name and language";
            return false;
        }
        if (plan->root.keys.empty() || plan->root.keys.back() != leaf.type) {
            plan->root.keys.push_back(leaf.type);
            plan->root.children.push_back(plan->nameTables.size());
            plan->nameTables.push_back(PlannedTable());
        }
        PlannedTable &names = plan->nameTables.back();
        if (names.keys.empty() || names.keys.back() != leaf.name) {
            names.keys.push_back(leaf.name);
            names.children.push_back(plan->languageTables.size());
            plan->languageTables.push_back(PlannedTable());
        }
        plan->languageTables.back().keys.push_back(static_cast<std::uint32_t>(ranks.texts.size()) +
                                                   leaf.language);
        plan->languageTables.back().children.push_back(i);
    }
    return true;
}

/* Places table at *next, counting its texts, and moves *next past it;
** false when it would hold more named or numbered entries than a table
** can count. */
static bool placeTable(const TextRanks &ranks, PlannedTable *table, std::uint64_t *next) {
    table->texts = 0;
    for (std::uint32_t key : table->keys) table->texts += ranks.isText(key) ? 1 : 0;
    table->offset = static_cast<std::uint32_t>(*next);
    *next += TABLE_HEADER_SIZE + table->keys.size() * ENTRY_SIZE;
    return table->texts <= MAX_TABLE_ENTRIES &&
           table->keys.size() - table->texts <= MAX_TABLE_ENTRIES;
}

/* Places the planned tables, then the data entries, the texts and the data
** after them, and checks every bound before a byte is written.  Sizes are
** counted in 64 bits and checked against the bound before any offset is
** narrowed to 32. */
static bool placeAndCheck(const TextRanks &ranks, PlannedDirectory *plan, std::string *error) {
    std::uint64_t next = 0;
    bool countsFit = placeTable(ranks, &plan->root, &next);
    for (PlannedTable &table : plan->nameTables)
        countsFit = placeTable(ranks, &table, &next) && countsFit;
    for (PlannedTable &table : plan->languageTables)
        countsFit = placeTable(ranks, &table, &next) && countsFit;
    if (!countsFit) {
        *error = "a table of its new resource directory would hold more than " +
                 std::to_string(MAX_TABLE_ENTRIES) + " named or numbered entries";
        return false;
    }
    plan->dataEntries = next;
    plan->textsStart = plan->dataEntries + plan->sorted.size() * DATA_ENTRY_SIZE;
    std::uint64_t size = plan->textsStart;
    for (const std::u16string *text : ranks.texts) {
        if (text->size() > MAX_NAME_UNITS) {
            *error = "a resource name would be longer than " + std::to_string(MAX_NAME_UNITS) +
                     " characters";
            return false;
        }
        size += 2 + 2 * text->size();
    }
    for (const SortedLeaf &leaf : plan->sorted)
        size = alignUp(size, DATA_ALIGNMENT) + leaf.leaf->data.size();
    if (size > MAX_RESOURCE_SECTION_BYTES) {
        *error = "its resources would grow past " +
                 std::to_string(MAX_RESOURCE_SECTION_BYTES >> 20) + " MiB";
        return false;
    }
    plan->size = size;
    return true;
}

/* Lays out in *out zeros for the tables and data entries, then the texts,
** each counted and once; returns each text's offset, by rank. */
static std::vector<std::uint32_t> writeTexts(const TextRanks &ranks, const PlannedDirectory &plan,
                                             std::string *out) {
    out->assign(plan.textsStart, '\0');
    out->reserve(plan.size);
    std::vector<std::uint32_t> textOffsets;
    for (const std::u16string *text : ranks.texts) {
        textOffsets.push_back(static_cast<std::uint32_t>(out->size()));
        appendU16(out, static_cast<std::uint32_t>(text->size()));
        for (char16_t unit : *text) appendU16(out, unit);
    }
    return textOffsets;
}

/* The id field of an entry: a number, or the offset of its text. */
static std::uint32_t idField(const TextRanks &ranks, std::uint32_t key,
                             const std::vector<std::uint32_t> &textOffsets) {
    if (!ranks.isText(key)) return key - static_cast<std::uint32_t>(ranks.texts.size());
    return textOffsets[key] | HIGH_BIT;
}

/* Fills in the header and entries of a placed table; a child is a table
** of below when childrenAreTables, else the data entry of a leaf. */
static void fillTable(const PlannedTable &table, bool childrenAreTables,
                      const std::vector<PlannedTable> &below, const TextRanks &ranks,
                      const std::vector<std::uint32_t> &textOffsets, std::uint64_t dataEntries,
                      std::string *out) {
    writeU16(out, table.offset + TABLE_TEXT_COUNT, static_cast<std::uint32_t>(table.texts));
    writeU16(out, table.offset + TABLE_NUMBER_COUNT,
             static_cast<std::uint32_t>(table.keys.size() - table.texts));
    for (std::size_t i = 0; i < table.keys.size(); ++i) {
        std::size_t entry = table.offset + TABLE_HEADER_SIZE + i * ENTRY_SIZE;
        writeU32(out, entry, idField(ranks, table.keys[i], textOffsets));
        std::uint64_t child = childrenAreTables ? below[table.children[i]].offset | HIGH_BIT
                                                : dataEntries + table.children[i] * DATA_ENTRY_SIZE;
        writeU32(out, entry + 4, static_cast<std::uint32_t>(child));
    }
}

/* Fills in the tables and the data entries of a section whose texts *out
** holds already, and appends the data, each on an eight-byte boundary. */
static void fillIn(const PlannedDirectory &plan, const TextRanks &ranks,
                   const std::vector<std::uint32_t> &textOffsets, std::uint32_t sectionAddress,
                   std::string *out) {
    fillTable(plan.root, true, plan.nameTables, ranks, textOffsets, plan.dataEntries, out);
    for (const PlannedTable &table : plan.nameTables) {
        fillTable(table, true, plan.languageTables, ranks, textOffsets, plan.dataEntries, out);
    }
    for (const PlannedTable &table : plan.languageTables) {
        fillTable(table, false, plan.languageTables, ranks, textOffsets, plan.dataEntries, out);
    }
    for (std::size_t i = 0; i < plan.sorted.size(); ++i) {
        padTo(out, DATA_ALIGNMENT);
        std::size_t entry = plan.dataEntries + i * DATA_ENTRY_SIZE;
        writeU32(out, entry, sectionAddress + static_cast<std::uint32_t>(out->size()));
        writeU32(out, entry + 4, static_cast<std::uint32_t>(plan.sorted[i].leaf->data.size()));
        writeU32(out, entry + 8, plan.sorted[i].leaf->codePage);
        *out += plan.sorted[i].leaf->data;
    }
}

/* Plans the three levels of tables from the sorted leaves, places tables,
** data entries, texts and data in that order and checks every bound before
** writing a byte, writes the texts, then fills in the rest. */
bool writeResourceTree(const std::vector<ResourceLeaf> &leaves, std::uint32_t sectionAddress,
                       std::string *out, std::string *error) {
    TextRanks ranks;
    rankTexts(leaves, &ranks);
    PlannedDirectory plan{};
    if (!planTables(leaves, ranks, &plan, error) || !placeAndCheck(ranks, &plan, error))
        return false;
    std::vector<std::uint32_t> textOffsets = writeTexts(ranks, plan, out);
    fillIn(plan, ranks, textOffsets, sectionAddress, out);
    return true;
}
