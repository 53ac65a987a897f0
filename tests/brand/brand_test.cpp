/*
** The resource-section writer of tarnwick-brand on real executables: the
** Windows build's tarnwick.exe (PE32+) and the 32-bit build's (PE32), both
** laid out with .reloc after .rsrc.  Branding must
** change the resources and the header fields that describe them and nothing
** else, the result must be brandable again to the same bytes, and every
** file the tool does not understand must be refused with its reason.
*/
#include "tools/brand/brand.h"
#include "tools/brand/command_line.h"
#include "tools/brand/icon_file.h"
#include "tools/brand/little_endian.h"
#include "tools/brand/manifest.h"
#include "tools/brand/pe_image.h"
#include "tools/brand/pe_rewrite.h"
#include "tools/brand/resource_tree.h"
#include "tools/brand/tool_io_read.h"
#include "tools/brand/version_record.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace {

const std::size_t ICON_HEADER = 6;
const std::size_t ICON_ENTRY = 16;
const std::size_t SECTION_ENTRY = 40;
const std::size_t COFF_SECTION_COUNT_AT = 2; /* in the COFF header */
const std::size_t COFF_SYMBOL_TABLE_AT = 8;

std::string readFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

/* An input of the tests, at a path the build gives. */
struct Input {
    std::string path;
    std::string bytes;
};

bool loadInput(const char *path, Input *input) {
    input->path = path;
    input->bytes = readFile(path);
    return !input->bytes.empty();
}

#define LOAD_OR_STOP(target, location)                                                         \
    if (!loadInput(location, &target)) {                                                       \
        if (std::getenv("TARNWICK_ALLOW_SKIP")) {                                              \
            GTEST_SKIP() << target.path << " is missing";                                      \
        }                                                                                      \
        FAIL() << target.path << " is missing: build the windows preset, then the native one"; \
    }

/* The branding of the tests: every text option given. */
Branding fullBranding(const std::string &icon) {
    Branding branding;
    std::string error;
    EXPECT_TRUE(readIconFile(icon, &branding.icon, &error)) << error;
    BrandOptions options = BrandOptions();
    options.name = {true, "My App"};
    options.version = {true, "1.2.3"};
    options.company = {true, "Acme"};
    options.description = {true, "My application"};
    options.copyright = {true, "(c) Acme"};
    EXPECT_TRUE(versionFromOptions(options, &branding, &error)) << error;
    return branding;
}

/* The icon file's first image alone: a section smaller than the launcher's. */
std::string firstImageOnly(const std::string &icon) {
    std::uint32_t size = readU32(icon, ICON_HEADER + 8);
    std::uint32_t offset = readU32(icon, ICON_HEADER + 12);
    std::string out = icon.substr(0, ICON_HEADER + ICON_ENTRY) + icon.substr(offset, size);
    writeU16(&out, 4, 1);
    writeU32(&out, ICON_HEADER + 12, static_cast<std::uint32_t>(ICON_HEADER + ICON_ENTRY));
    return out;
}

const PeSection &section(const PeImage &image, const char *name) {
    for (const PeSection &s : image.sections) {
        if (s.name == name) return s;
    }
    ADD_FAILURE() << "no section " << name;
    return image.sections.front();
}

std::vector<ResourceLeaf> leavesOf(const std::string &exe) {
    PeImage image;
    ResourcePlan plan;
    std::string error;
    std::vector<ResourceLeaf> leaves;
    EXPECT_TRUE(
        readPeImage(exe, &image, &error) && planResourceRewrite(exe, image, &plan, &error) &&
        readResourceTree(plan.oldResources, image.sections[plan.resourceSection].virtualAddress,
                         &leaves, &error))
        << error;
    return leaves;
}

/* exe with a resource section holding leaves in place of its own. */
std::string withLeaves(const std::string &exe, const std::vector<ResourceLeaf> &leaves) {
    PeImage image;
    ResourcePlan plan;
    std::string error, section, out;
    EXPECT_TRUE(readPeImage(exe, &image, &error) &&
                planResourceRewrite(exe, image, &plan, &error) &&
                writeResourceTree(leaves, image.sections[plan.resourceSection].virtualAddress,
                                  &section, &error) &&
                rewriteResources(exe, image, plan, section, &out, &error))
        << error;
    return out;
}

/* The branded file against the original: the sections before .rsrc and
** the relocations' bytes unchanged, .rsrc and .reloc where they belong, the
** header fields that describe them right, and every other header byte as
** it was. */
void expectOnlyResourcesChanged(const std::string &original, const std::string &branded) {
    PeImage a, b;
    std::string error;
    ASSERT_TRUE(readPeImage(original, &a, &error)) << error;
    ASSERT_TRUE(readPeImage(branded, &b, &error)) << error;
    ASSERT_EQ(a.sections.size(), b.sections.size());
    std::size_t r = a.sections.size() - 2;
    ASSERT_EQ(b.sections[r].name, ".rsrc");
    for (std::size_t i = 0; i < r; ++i) {
        const PeSection &x = a.sections[i], &y = b.sections[i];
        EXPECT_EQ(original.substr(x.headerOffset, SECTION_ENTRY),
                  branded.substr(y.headerOffset, SECTION_ENTRY));
        EXPECT_EQ(original.substr(x.rawOffset, x.rawSize), branded.substr(y.rawOffset, y.rawSize))
            << x.name;
    }
    const PeSection &oldRsrc = a.sections[r], &rsrc = b.sections[r];
    const PeSection &oldReloc = a.sections[r + 1], &reloc = b.sections[r + 1];
    EXPECT_EQ(rsrc.virtualAddress, oldRsrc.virtualAddress);
    EXPECT_EQ(rsrc.rawOffset, oldRsrc.rawOffset);
    EXPECT_EQ(rsrc.rawSize, alignUp(rsrc.virtualSize, b.fileAlignment));
    EXPECT_EQ(peDirectory(branded, b, DIRECTORY_RESOURCE).size, rsrc.virtualSize);
    EXPECT_EQ(reloc.virtualAddress,
              alignUp(rsrc.virtualAddress + rsrc.virtualSize, b.sectionAlignment));
    EXPECT_EQ(reloc.rawOffset, rsrc.rawOffset + rsrc.rawSize);
    EXPECT_EQ(reloc.virtualSize, oldReloc.virtualSize);
    EXPECT_EQ(reloc.rawSize, oldReloc.rawSize);
    EXPECT_EQ(reloc.characteristics, oldReloc.characteristics);
    EXPECT_EQ(branded.substr(reloc.rawOffset), original.substr(oldReloc.rawOffset));
    PeDirectory oldRelocations = peDirectory(original, a, DIRECTORY_BASE_RELOCATION);
    PeDirectory relocations = peDirectory(branded, b, DIRECTORY_BASE_RELOCATION);
    EXPECT_EQ(relocations.address - reloc.virtualAddress,
              oldRelocations.address - oldReloc.virtualAddress);
    EXPECT_EQ(relocations.size, oldRelocations.size);
    EXPECT_EQ(branded.size(), std::size_t{reloc.rawOffset} + reloc.rawSize);
    EXPECT_EQ(b.sizeOfImage, alignUp(reloc.virtualAddress + reloc.virtualSize, b.sectionAlignment));
    std::size_t optional = b.optionalHeaderOffset;
    EXPECT_EQ(readU32(branded, optional + OPTIONAL_SIZE_OF_INITIALIZED_DATA) - rsrc.rawSize,
              readU32(original, optional + OPTIONAL_SIZE_OF_INITIALIZED_DATA) - oldRsrc.rawSize);
    EXPECT_EQ(readU32(branded, optional + OPTIONAL_CHECKSUM), peChecksum(branded, b));

    /* The headers with the changed fields put back are the old headers. */
    std::string headers = branded.substr(0, a.sections.front().rawOffset);
    for (std::size_t field :
         {optional + OPTIONAL_SIZE_OF_INITIALIZED_DATA, optional + OPTIONAL_SIZE_OF_IMAGE,
          optional + OPTIONAL_CHECKSUM, peDirectoryOffset(a, DIRECTORY_RESOURCE) + 4,
          peDirectoryOffset(a, DIRECTORY_BASE_RELOCATION),
          oldRsrc.headerOffset + SECTION_VIRTUAL_SIZE, oldRsrc.headerOffset + SECTION_RAW_SIZE,
          oldReloc.headerOffset + SECTION_VIRTUAL_ADDRESS,
          oldReloc.headerOffset + SECTION_RAW_OFFSET}) {
        writeU32(&headers, field, readU32(original, field));
    }
    EXPECT_EQ(headers, original.substr(0, a.sections.front().rawOffset));
}

/* The icon resources are the icon file's images, byte for byte, and the
** group is the file's directory with resource ids for offsets, in the
** language of the launcher's own group. */
void expectIconOf(const std::string &icon, const std::vector<ResourceLeaf> &leaves,
                  std::uint16_t language) {
    std::size_t count = readU16(icon, 4);
    std::string group = icon.substr(0, ICON_HEADER);
    std::vector<std::string> images;
    for (std::size_t i = 0; i < count; ++i) {
        std::size_t entry = ICON_HEADER + i * ICON_ENTRY;
        images.push_back(icon.substr(readU32(icon, entry + 12), readU32(icon, entry + 8)));
        group += icon.substr(entry, 12);
        appendU16(&group, static_cast<std::uint32_t>(i + 1));
    }
    std::vector<std::string> foundImages;
    std::size_t groups = 0;
    for (const ResourceLeaf &leaf : leaves) {
        if (leaf.type.number == RESOURCE_ICON) {
            EXPECT_EQ(leaf.name.number, foundImages.size() + 1);
            EXPECT_EQ(leaf.language, language);
            foundImages.push_back(leaf.data);
        } else if (leaf.type.number == RESOURCE_GROUP_ICON) {
            ++groups;
            EXPECT_EQ(leaf.name.number, 1);
            EXPECT_EQ(leaf.language, language);
            EXPECT_EQ(leaf.data, group);
        }
    }
    EXPECT_EQ(foundImages, images);
    EXPECT_EQ(groups, 1u);
}

class BrandedLaunchers : public ::testing::Test {
protected:
    void SetUp() override {
        LOAD_OR_STOP(x64, TARNWICK_BRAND_X64);
        LOAD_OR_STOP(pe32, TARNWICK_BRAND_PE32);
        LOAD_OR_STOP(icon, TARNWICK_BRAND_ICON);
    }
    Input x64, pe32, icon;
};

TEST_F(BrandedLaunchers, OnlyTheResourcesAndTheirHeadersChangeAndBrandingAgainGivesTheSameBytes) {
    for (const Input *exe : {&x64, &pe32}) {
        PeImage image;
        std::string error;
        ASSERT_TRUE(readPeImage(exe->bytes, &image, &error)) << error;
        ASSERT_EQ(image.sections.back().name, ".reloc") << exe->path;
        EXPECT_EQ(image.is64, exe == &x64);
        /* The checksum the linker stored is the one the tool computes. */
        EXPECT_EQ(readU32(exe->bytes, image.optionalHeaderOffset + OPTIONAL_CHECKSUM),
                  peChecksum(exe->bytes, image));
        std::uint16_t language = leavesOf(exe->bytes).front().language;

        /* Three images grow .rsrc past a page; one image shrinks it. */
        for (const std::string &ico : {icon.bytes, firstImageOnly(icon.bytes)}) {
            SCOPED_TRACE(exe->path + ", images: " + std::to_string(readU16(ico, 4)));
            Branding branding = fullBranding(ico);
            std::string branded, again;
            ASSERT_TRUE(brandExecutable(exe->bytes, branding, &branded, &error)) << error;
            expectOnlyResourcesChanged(exe->bytes, branded);
            std::vector<ResourceLeaf> leaves = leavesOf(branded);
            expectIconOf(ico, leaves, language);
            /* The icons, their group, the version record and the manifest,
            ** kept as the launcher carries it. */
            ASSERT_EQ(leaves.size(), branding.icon.size() + 3);
            const ResourceLeaf &version = leaves[leaves.size() - 2];
            EXPECT_EQ(version.type.number, RESOURCE_VERSION);
            EXPECT_EQ(version.language, LANGUAGE_NEUTRAL);
            EXPECT_EQ(readU16(version.data, 0), version.data.size());
            EXPECT_EQ(leaves.back().type.number, RESOURCE_MANIFEST);
            EXPECT_TRUE(leaves.back().data == leavesOf(exe->bytes).back().data);
            ASSERT_TRUE(brandExecutable(branded, branding, &again, &error)) << error;
            EXPECT_TRUE(again == branded) << "branding the branded file again changed it";
        }
        /* An execution level changes the manifest's one attribute, and
        ** nothing else of it. */
        Branding elevated = fullBranding(icon.bytes);
        elevated.executionLevel = "requireAdministrator";
        std::string branded, manifest = leavesOf(exe->bytes).back().data;
        ASSERT_TRUE(brandExecutable(exe->bytes, elevated, &branded, &error)) << error;
        std::size_t at = manifest.find("level=\"asInvoker\"");
        ASSERT_NE(at, std::string::npos);
        EXPECT_EQ(leavesOf(branded).back().data,
                  manifest.replace(at + 7, 9, "requireAdministrator"));
        std::vector<ResourceLeaf> withoutManifest = leavesOf(exe->bytes);
        withoutManifest.pop_back();
        EXPECT_FALSE(
            brandExecutable(withLeaves(exe->bytes, withoutManifest), elevated, &branded, &error));
        EXPECT_NE(error.find("no application manifest"), std::string::npos) << error;
    }
}

/* The execution level is set in the one element that requests it, by its
** attribute alone, whatever quotes and blanks the manifest uses. */
TEST(Manifest, SetsTheRequestedExecutionLevelOrRefuses) {
    const char *const REFUSED = nullptr;
    const struct Case {
        const char *manifest;
        const char *expected;
    } cases[] = {
        {"<r><requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/></r>",
         "<r><requestedExecutionLevel level=\"highestAvailable\" uiAccess=\"false\"/></r>"},
        {"<requestedExecutionLevel uiAccess='false'\r\n level = 'asInvoker'/>",
         "<requestedExecutionLevel uiAccess='false'\r\n level = 'highestAvailable'/>"},
        {"<requestedExecutionLevel xlevel=\"a\" level=\"\"/>",
         "<requestedExecutionLevel xlevel=\"a\" level=\"highestAvailable\"/>"},
        /* Read as XML: by the element's local name, the attribute itself,
        ** never what stands in a comment, a CDATA section or an
        ** instruction, nor a text inside another attribute's value. */
        {"<asmv3:requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>",
         "<asmv3:requestedExecutionLevel level=\"highestAvailable\" uiAccess=\"false\"/>"},
        {"<requestedExecutionLevel note=\"a level='x' b\" level=\"asInvoker\"/>",
         "<requestedExecutionLevel note=\"a level='x' b\" level=\"highestAvailable\"/>"},
        {"<requestedExecutionLevel note='a>b' level='asInvoker'/>",
         "<requestedExecutionLevel note='a>b' level='highestAvailable'/>"},
        {"<!-- old > new: <requestedExecutionLevel level=\"requireAdministrator\"/>--><r>"
         "<requestedExecutionLevel level=\"asInvoker\"></requestedExecutionLevel></r>",
         "<!-- old > new: <requestedExecutionLevel level=\"requireAdministrator\"/>--><r>"
         "<requestedExecutionLevel level=\"highestAvailable\"></requestedExecutionLevel></r>"},
        {"<?xml version=\"1.0\"?><?x <requestedExecutionLevel level='a'?>"
         "<![CDATA[<requestedExecutionLevel level='b'/>]]><requestedExecutionLevel level='c'/>",
         "<?xml version=\"1.0\"?><?x <requestedExecutionLevel level='a'?>"
         "<![CDATA[<requestedExecutionLevel level='b'/>]]>"
         "<requestedExecutionLevel level='highestAvailable'/>"},
        {"<r><!-- <requestedExecutionLevel level=\"asInvoker\"/> --></r>", REFUSED},
        {"<r><![CDATA[<requestedExecutionLevel level=\"asInvoker\"/>]]></r>", REFUSED},
        {"<!-- <requestedExecutionLevel level=\"asInvoker\"/>", REFUSED},
        {"<r><requestedExecutionLevel level=\"a\"/><asmv3:requestedExecutionLevel level=\"b\"/>",
         REFUSED},
        {"<requestedExecutionLevelX level=\"asInvoker\"/>", REFUSED},
        {"<requestedExecutionLevel level=\"a\"/><requestedExecutionLevel level=\"b\"/>", REFUSED},
        {"<requestedExecutionLevel uiAccess=\"false\"/> level=\"asInvoker\"", REFUSED},
        {"<requestedExecutionLevel level=asInvoker/>", REFUSED},
        {"<requestedExecutionLevel level=\"asInvoker", REFUSED},
    };
    for (const Case &c : cases) {
        std::string manifest = c.manifest, error;
        EXPECT_EQ(setExecutionLevel(&manifest, "highestAvailable", &error), c.expected != REFUSED)
            << c.manifest;
        EXPECT_EQ(manifest, c.expected != REFUSED ? c.expected : c.manifest);
        if (c.expected == REFUSED) {
            EXPECT_NE(error.find("execution level"), std::string::npos) << error;
        }
    }
}

/* The ids of a directory table at offset of a resource section. */
std::vector<std::uint32_t> tableIds(const std::string &section, std::size_t offset) {
    std::vector<std::uint32_t> ids;
    std::size_t count = std::size_t{readU16(section, offset + 12)} + readU16(section, offset + 14);
    for (std::size_t i = 0; i < count; ++i) ids.push_back(readU32(section, offset + 16 + 8 * i));
    return ids;
}

/* Windows finds resources by halving each table: texts first, numbers
** ascending.  An executable that carries more than an icon (a manifest, a
** named resource, a version record of its own) keeps all but the replaced
** ones. */
TEST_F(BrandedLaunchers, KeepsOtherResourcesAndWritesEveryTableInSearchOrder) {
    PeImage image;
    ResourcePlan plan;
    std::string error;
    ASSERT_TRUE(readPeImage(x64.bytes, &image, &error) &&
                planResourceRewrite(x64.bytes, image, &plan, &error));
    /* The launcher carries its manifest; a named resource and a version
    ** record of its own are added. */
    std::vector<ResourceLeaf> leaves = leavesOf(x64.bytes);
    ASSERT_EQ(leaves.back().type.number, RESOURCE_MANIFEST);
    const ResourceLeaf manifest = leaves.back();
    const ResourceLeaf named{resourceText(u"SPLASH"), resourceText(u"LOGO"), 0, 0, "picture"};
    const ResourceLeaf oldVersion{resourceNumber(RESOURCE_VERSION), resourceNumber(1), 0x409, 0,
                                  "old record"};
    leaves.insert(leaves.begin(), {named, oldVersion});
    std::string richer = withLeaves(x64.bytes, leaves);

    for (bool withVersion : {false, true}) {
        SCOPED_TRACE(withVersion ? "with a version record" : "icon only");
        Branding branding = fullBranding(icon.bytes);
        if (!withVersion)
            branding = Branding{branding.icon, false, VersionNumber{{0, 0, 0, 0}}, {}, {}};
        std::string branded;
        ASSERT_TRUE(brandExecutable(richer, branding, &branded, &error)) << error;
        std::vector<ResourceLeaf> after = leavesOf(branded);
        std::vector<std::string> kept;
        for (const ResourceLeaf &leaf : after) {
            if (leaf.type.isText || leaf.type.number == RESOURCE_MANIFEST ||
                leaf.type.number == RESOURCE_VERSION)
                kept.push_back(leaf.data);
        }
        EXPECT_EQ(kept[0], named.data);
        EXPECT_EQ(kept[2], manifest.data);
        EXPECT_EQ(kept[1] == oldVersion.data, !withVersion);
        EXPECT_EQ(kept.size(), 3u);

        PeImage b;
        ASSERT_TRUE(readPeImage(branded, &b, &error));
        const PeSection &rsrc = b.sections[plan.resourceSection];
        std::string section = branded.substr(rsrc.rawOffset, rsrc.virtualSize);
        std::vector<std::size_t> tables{0};
        for (std::size_t t = 0; t < tables.size(); ++t) {
            std::vector<std::uint32_t> ids = tableIds(section, tables[t]);
            for (std::size_t i = 0; i < ids.size(); ++i) {
                std::uint32_t child = readU32(section, tables[t] + 16 + 8 * i + 4);
                if (child & 0x80000000u) tables.push_back(child & 0x7FFFFFFF);
                if (i == 0) continue;
                bool textBefore = ids[i - 1] & 0x80000000u, text = ids[i] & 0x80000000u;
                EXPECT_TRUE(textBefore > text ||
                            (textBefore == text && (text || ids[i - 1] < ids[i])))
                    << "table at " << tables[t] << ", entry " << i;
            }
        }
        EXPECT_EQ(tableIds(section, 0).size(), 5u);
    }
}

/* What the launcher's own layout offers to the mutations below. */
struct Landmarks {
    PeImage image;
    PeSection rsrc, reloc;
    std::size_t coff;            /* the COFF header */
    std::size_t firstRelocation; /* the first block's first entry, in the file */
    std::size_t firstPatched;    /* where that entry's address is stored, in the file */
    std::size_t firstDataEntry;  /* of the resource directory, in the file */
};

Landmarks landmarks(const std::string &exe) {
    Landmarks l;
    std::string error;
    EXPECT_TRUE(readPeImage(exe, &l.image, &error)) << error;
    l.rsrc = section(l.image, ".rsrc");
    l.reloc = section(l.image, ".reloc");
    l.coff = readU32(exe, 0x3C) + 4;
    l.firstRelocation = l.reloc.rawOffset + 8;
    std::uint32_t place =
        readU32(exe, l.reloc.rawOffset) + (readU16(exe, l.firstRelocation) & 0x0FFF);
    for (const PeSection &s : l.image.sections) {
        if (place >= s.virtualAddress && place < s.virtualAddress + s.rawSize)
            l.firstPatched = s.rawOffset + (place - s.virtualAddress);
    }
    std::size_t table = l.rsrc.rawOffset;
    for (int level = 0; level < 3; ++level)
        table = l.rsrc.rawOffset + (readU32(exe, table + 20) & 0x7FFFFFFF);
    l.firstDataEntry = table;
    return l;
}

TEST_F(BrandedLaunchers, RefusesWhatItCannotRewriteSafelyAndSaysWhy) {
    const Landmarks l = landmarks(x64.bytes);
    struct Case {
        const char *what;
        std::function<void(std::string *)> change;
        const char *reason;
    };
    const Case cases[] = {
        {"a text file", [](std::string *f) { *f = "just some text\n"; },
         "not a Windows executable (no MZ header)"},
        {"an MZ file without PE header", [&](std::string *f) { (*f)[l.coff - 4] = 'N'; },
         "without a PE signature"},
        {"signed",
         [&](std::string *f) {
             writeU32(f, peDirectoryOffset(l.image, DIRECTORY_SECURITY) + 4, 16);
         },
         "it is signed, and a new icon or version record would break the signature"},
        {"symbol table", [&](std::string *f) { writeU32(f, l.coff + COFF_SYMBOL_TABLE_AT, 0x400); },
         "COFF symbol table"},
        {"appended data", [](std::string *f) { *f += "appended"; },
         "8 bytes after its last section"},
        {"a section after .reloc",
         [&](std::string *f) {
             std::size_t entry = l.reloc.headerOffset + SECTION_ENTRY;
             f->replace(entry, 8, std::string(".extra\0\0", 8));
             writeU32(f, entry + SECTION_VIRTUAL_SIZE, 16);
             writeU32(f, entry + SECTION_VIRTUAL_ADDRESS,
                      l.reloc.virtualAddress + l.image.sectionAlignment);
             writeU16(f, l.coff + COFF_SECTION_COUNT_AT,
                      static_cast<std::uint32_t>(l.image.sections.size() + 1));
             writeU32(f, l.image.optionalHeaderOffset + OPTIONAL_SIZE_OF_IMAGE,
                      l.image.sizeOfImage + l.image.sectionAlignment);
         },
         "followed by more sections than the base relocations"},
        {"no base relocation directory",
         [&](std::string *f) {
             f->replace(peDirectoryOffset(l.image, DIRECTORY_BASE_RELOCATION), 8, 8, '\0');
         },
         "followed by section .reloc, which is not the base relocation table"},
        {"a relocation of another kind",
         [&](std::string *f) { (*f)[l.firstRelocation + 1] = '\x5f'; },
         "base relocations of a kind the tool does not know (type 5)"},
        {"a relocation patching .rsrc",
         [&](std::string *f) { writeU32(f, l.reloc.rawOffset, l.rsrc.virtualAddress); },
         "patches the resource section"},
        {"the address of a resource in the program",
         [&](std::string *f) {
             writeU32(f, l.firstPatched,
                      static_cast<std::uint32_t>(l.image.imageBase + l.rsrc.virtualAddress + 8));
             writeU32(
                 f, l.firstPatched + 4,
                 static_cast<std::uint32_t>((l.image.imageBase + l.rsrc.virtualAddress) >> 32));
         },
         "holds the address of something in its resource section"},
        {"a directory in .rsrc",
         [&](std::string *f) {
             writeU32(f, peDirectoryOffset(l.image, 6), l.rsrc.virtualAddress);
             writeU32(f, peDirectoryOffset(l.image, 6) + 4, 28);
         },
         "debug directory lies in its resource section"},
        {"the entry point in .rsrc",
         [&](std::string *f) {
             writeU32(f, l.image.optionalHeaderOffset + 16, l.rsrc.virtualAddress + 4);
         },
         "its entry point lies in its resource section"},
        {"a resource table reaching the root",
         [&](std::string *f) { writeU32(f, l.rsrc.rawOffset + 20, 0x80000000u); },
         "reaches one table or data entry twice"},
        {"resource data outside .rsrc",
         [&](std::string *f) { writeU32(f, l.firstDataEntry, 0x1000); },
         "data of a resource lies outside the resource section"},
        {"a resource table past the section",
         [&](std::string *f) { writeU16(f, l.rsrc.rawOffset + 14, 0x4000); },
         "truncated: a resource table lies past the end of its section"},
        {"no resources",
         [&](std::string *f) {
             f->replace(peDirectoryOffset(l.image, DIRECTORY_RESOURCE), 8, 8, '\0');
         },
         "it has no resources"},
        {"a 32-bit header on a 64-bit machine",
         [&](std::string *f) { writeU16(f, l.coff, 0x014C); },
         "made for a processor other than x86"},
        {"sections out of order",
         [&](std::string *f) {
             writeU32(f, l.rsrc.headerOffset + SECTION_VIRTUAL_ADDRESS, 0x2000);
         },
         "not in ascending address order"},
        {"resource data inside the headers",
         [&](std::string *f) { writeU32(f, l.rsrc.headerOffset + SECTION_RAW_OFFSET, 0x200); },
         "the data of section .rsrc start inside the headers"},
        {"sections overlapping in the file",
         [&](std::string *f) {
             writeU32(f, l.reloc.headerOffset + SECTION_RAW_OFFSET, l.rsrc.rawOffset + 0x200);
         },
         "the data of two of its sections overlap in the file"},
        {"sections overlapping in memory",
         [&](std::string *f) {
             writeU32(f, l.rsrc.headerOffset + SECTION_VIRTUAL_SIZE, l.image.sectionAlignment + 1);
         },
         "not in ascending address order, or they overlap"},
        {"a section past the image size",
         [&](std::string *f) {
             writeU32(f, l.reloc.headerOffset + SECTION_VIRTUAL_SIZE, 2 * l.image.sectionAlignment);
         },
         "section .reloc reaches past the image size"},
        {"a section past 4 GiB",
         [&](std::string *f) {
             writeU32(f, l.reloc.headerOffset + SECTION_VIRTUAL_SIZE, 0xFFFFF000u);
         },
         "section .reloc reaches past the image size"},
        {"relocations that would move past 4 GiB",
         [&](std::string *f) {
             writeU32(f, l.image.optionalHeaderOffset + OPTIONAL_SIZE_OF_IMAGE, 0xFFFFF000u);
             writeU32(f, l.reloc.headerOffset + SECTION_VIRTUAL_SIZE,
                      0xFFFFF000u - l.reloc.virtualAddress);
         },
         "its new resources would make the image reach past 4 GiB"},
        {"a type twice",
         [&](std::string *f) {
             writeU32(f, l.rsrc.rawOffset + 24, readU32(*f, l.rsrc.rawOffset + 16));
         },
         "lists an entry twice or out of order"},
        {"types out of order",
         [&](std::string *f) { writeU32(f, l.rsrc.rawOffset + 16, RESOURCE_GROUP_ICON + 1); },
         "lists an entry twice or out of order"},
        {"a number counted as a name",
         [&](std::string *f) { writeU32(f, l.rsrc.rawOffset + 12, 0x00010001); },
         "counts its named and numbered entries wrongly"},
        {"resource data over a table",
         [&](std::string *f) { writeU32(f, l.firstDataEntry, l.rsrc.virtualAddress); },
         "in its resource section a resource table overlaps the data of a resource"},
        {"more resource entries than the bound",
         [&](std::string *f) {
             std::vector<ResourceLeaf> leaves;
             for (std::uint32_t i = 0; i <= MAX_RESOURCE_ENTRIES / 2; ++i) {
                 leaves.push_back({resourceNumber(static_cast<std::uint16_t>(1000 + i / 50000)),
                                   resourceNumber(static_cast<std::uint16_t>(i % 50000)), 0, 0,
                                   ""});
             }
             *f = withLeaves(*f, leaves);
         },
         "more than 262144 entries"},
        {"one long name named by many entries",
         [&](std::string *f) {
             std::vector<ResourceLeaf> leaves;
             ResourceId name = resourceText(std::u16string(MAX_NAME_UNITS, u'N'));
             for (std::uint16_t type = 100;
                  type < 100 + MAX_RESOURCE_NAME_UNITS / MAX_NAME_UNITS + 1; ++type) {
                 leaves.push_back({resourceNumber(type), name, 0, 0, ""});
             }
             *f = withLeaves(*f, leaves);
         },
         "its resource names are longer together than 1048576 characters"},
        {"every type but the icon's, which branding adds",
         [&](std::string *f) {
             std::vector<ResourceLeaf> leaves;
             for (std::uint32_t type = 0; type <= 0xFFFF; ++type) {
                 if (type != RESOURCE_ICON)
                     leaves.push_back({resourceNumber(static_cast<std::uint16_t>(type)),
                                       resourceNumber(1), 0, 0, ""});
             }
             *f = withLeaves(*f, leaves);
         },
         "would hold more than 65535 named or numbered entries"},
    };
    Branding branding = fullBranding(icon.bytes);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::string exe = x64.bytes, branded = "untouched", error;
        c.change(&exe);
        EXPECT_FALSE(brandExecutable(exe, branding, &branded, &error));
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
        EXPECT_TRUE(branded == "untouched") << "an output was made";
    }
}

/* Every prefix of the launcher is refused as truncated, never read past
** its end (the sanitizer build runs this too). */
TEST_F(BrandedLaunchers, RefusesEveryTruncatedCopy) {
    Branding branding = fullBranding(icon.bytes);
    const Landmarks l = landmarks(x64.bytes);
    std::vector<std::size_t> lengths;
    for (std::size_t n = 0; n < x64.bytes.size(); n += 97) lengths.push_back(n);
    for (const PeSection &s : l.image.sections) {
        lengths.push_back(s.rawOffset);
        lengths.push_back(s.rawOffset + 1);
    }
    lengths.push_back(x64.bytes.size() - 1);
    for (std::size_t n : lengths) {
        if (n == 0 || n >= x64.bytes.size()) continue;
        std::string branded, error;
        EXPECT_FALSE(brandExecutable(x64.bytes.substr(0, n), branding, &branded, &error)) << n;
        if (n >= 2) {
            EXPECT_NE(error.find("truncated"), std::string::npos) << n << ": " << error;
        }
    }
}

/* An icon file of the given entries (width, bits, image) with a valid layout. */
std::string iconFile(const std::vector<std::pair<std::uint16_t, std::string>> &images,
                     std::uint16_t type = 1) {
    std::string out;
    appendU16(&out, 0);
    appendU16(&out, type);
    appendU16(&out, static_cast<std::uint32_t>(images.size()));
    std::size_t offset = ICON_HEADER + images.size() * ICON_ENTRY;
    std::string body;
    for (const auto &image : images) {
        out += std::string("\x10\x10\0\0", 4);
        appendU16(&out, image.first == 0 ? 0 : 1);
        appendU16(&out, image.first);
        appendU32(&out, static_cast<std::uint32_t>(image.second.size()));
        appendU32(&out, static_cast<std::uint32_t>(offset + body.size()));
        body += image.second;
    }
    return out + body;
}

/* A whole bitmap image, side x side: header, palette, pixels, mask. */
std::string bitmap(std::uint16_t bits, std::uint32_t side = 16) {
    std::string image;
    for (std::uint32_t field : {40u, side, 2 * side}) appendU32(&image, field);
    appendU16(&image, 1);
    appendU16(&image, bits);
    std::size_t palette = bits <= 8 ? std::size_t{4} << bits : 0;
    image.resize(40 + palette + ((side * bits + 31) / 32 * 4 + (side + 31) / 32 * 4) * side,
                 '\x5a');
    image.replace(16, 24, 24, '\0');
    return image;
}

TEST(IconFiles, RefusesWhatIsNoIconAndFillsInBitmapDepths) {
    /* The signature and the IHDR chunks of 16x16 RGBA, of the undefined
    ** colour type 5, and of 32x32. */
    const std::string signature("\x89PNG\r\n\x1a\n", 8);
    const std::string png =
        signature +
        std::string("\0\0\0\x0dIHDR\0\0\0\x10\0\0\0\x10\x08\x06\0\0\0\x1f\xf3\xff\x61", 25) +
        "rest";
    const std::string pngType5 =
        signature +
        std::string("\0\0\0\x0dIHDR\0\0\0\x10\0\0\0\x10\x08\x05\0\0\0\x0d\x46\x50\x8f", 25);
    const std::string png32 =
        signature +
        std::string("\0\0\0\x0dIHDR\0\0\0\x20\0\0\0\x20\x08\x06\0\0\0\x73\x7a\x7a\xf4", 25);
    std::string pngBadCrc = png;
    pngBadCrc[32] ^= 1;
    const std::string bitmap8 = bitmap(8);
    struct Case {
        const char *what;
        std::string file;
        const char *reason; /* null: accepted */
    };
    std::string shortDirectory =
        iconFile({{32, png}, {32, png}}).substr(0, ICON_HEADER + ICON_ENTRY + 4);
    std::string pastEnd = iconFile({{32, png}});
    writeU32(&pastEnd, ICON_HEADER + 8, 1000);
    std::string sharedImage = iconFile({{32, png}, {32, png}});
    writeU32(&sharedImage, ICON_HEADER + ICON_ENTRY + 12, readU32(sharedImage, ICON_HEADER + 12));
    const Case cases[] = {
        {"empty", "", "not an icon file"},
        {"text", "hello world, this is text", "not an icon file"},
        {"cursor", iconFile({{32, png}}, 2), "cursor file"},
        {"no images", iconFile({}), "lists no image"},
        {"directory cut short", shortDirectory, "directory runs past its end"},
        {"image past the end", pastEnd, "image 1 lies past its end"},
        {"a GIF image", iconFile({{32, png}, {8, "GIF89a and more bytes"}}),
         "image 2 of the icon file is neither"},
        {"bitmap and PNG", iconFile({{8, bitmap8}, {32, png}}), nullptr},
        {"a 256x256 header without pixels", iconFile({{32, bitmap(32, 256).substr(0, 40)}}),
         "is a bitmap cut short"},
        {"a bitmap one byte short", iconFile({{8, bitmap8.substr(0, bitmap8.size() - 1)}}),
         "is a bitmap cut short"},
        {"a bitmap of 7 bits", iconFile({{7, bitmap(7)}}),
         "a bitmap of a depth, compression or palette"},
        {"a bitmap 257 pixels wide", iconFile({{32, bitmap(32, 257)}}),
         "width or height is not 1 to 256"},
        {"a PNG signature alone", iconFile({{32, signature}}),
         "a PNG image without a sound IHDR chunk"},
        {"a PNG with a wrong CRC", iconFile({{32, pngBadCrc}}),
         "a PNG image without a sound IHDR chunk"},
        {"a PNG of colour type 5", iconFile({{32, pngType5}}),
         "a PNG image of a kind PNG does not define"},
        {"a 32x32 PNG in a 16x16 entry", iconFile({{32, png32}}), "a PNG image of another size"},
        {"two entries naming one image", sharedImage, "two of its images overlap in the icon file"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<IconImage> images;
        std::string error;
        EXPECT_EQ(readIconFile(c.file, &images, &error), c.reason == nullptr);
        if (c.reason) {
            EXPECT_NE(error.find(c.reason), std::string::npos) << error;
        }
    }
    /* Entries that leave planes and depth at 0 take them from the bitmap. */
    std::vector<IconImage> images;
    std::string error;
    ASSERT_TRUE(readIconFile(iconFile({{0, bitmap(24)}}), &images, &error)) << error;
    EXPECT_EQ(images[0].planes, 1);
    EXPECT_EQ(images[0].bitCount, 24);
}

TEST(VersionNumbers, OneToFourDecimalPartsUpTo65535) {
    struct Case {
        const char *text;
        bool valid;
        VersionNumber expected;
    };
    const Case cases[] = {
        {"1", true, {{1, 0, 0, 0}}},
        {"1.2.3", true, {{1, 2, 3, 0}}},
        {"65535.0.007.65535", true, {{65535, 0, 7, 65535}}},
        {"", false, {}},
        {"1.", false, {}},
        {".1", false, {}},
        {"1..2", false, {}},
        {"1.2.3.4.5", false, {}},
        {"65536", false, {}},
        {"000001.0", true, {{1, 0, 0, 0}}},
        {"100000", false, {}},
        {"1.-2", false, {}},
        {"1.2b", false, {}},
        {" 1", false, {}},
    };
    for (const Case &c : cases) {
        VersionNumber version;
        EXPECT_EQ(parseVersionNumber(c.text, &version), c.valid) << c.text;
        if (c.valid) {
            for (int i = 0; i < 4; ++i) EXPECT_EQ(version.parts[i], c.expected.parts[i]) << c.text;
        }
    }
}

TEST(BrandCommandLine, RefusesWrongOptionsAndChecksTexts) {
    const std::vector<std::pair<std::vector<std::string>, const char *>> wrong = {
        {{"a.exe", "b.exe"}, "--icon is required"},
        {{"--icon", "x.ico", "a.exe"}, "exactly two files"},
        {{"--icon", "x.ico", "a.exe", "b.exe", "c.exe"}, "exactly two files"},
        {{"--icon", "x.ico", "--colour", "red", "a.exe", "b.exe"}, "unknown option --colour"},
        {{"--icon", "x.ico", "--name", "A", "--name", "B", "a.exe", "b.exe"},
         "--name is given twice"},
        {{"--icon", "x.ico", "a.exe", "b.exe", "--company"}, "--company needs a value"},
        {{"--icon", "x.ico", "--execution-level", "administrator", "a.exe", "b.exe"},
         "none of asInvoker, highestAvailable and requireAdministrator"},
    };
    for (const auto &c : wrong) {
        BrandOptions options;
        std::string error;
        EXPECT_FALSE(parseBrandOptions(c.first, &options, &error)) << c.second;
        EXPECT_NE(error.find(c.second), std::string::npos) << error;
    }

    /* Texts: UTF-8, up to 256 UTF-16 units; a character beyond the basic
    ** plane takes two. */
    const std::string emoji = "\xF0\x9F\x98\x80";
    std::string emoji128, emoji129;
    for (int i = 0; i < 128; ++i) emoji128 += emoji;
    emoji129 = emoji128 + emoji;
    const std::vector<std::pair<std::string, const char *>> texts = {
        {std::string(256, 'x'), nullptr},
        {std::string(257, 'x'), "--company is longer than 256"},
        {emoji128, nullptr},
        {emoji129, "--company is longer than 256"},
        {"M\xC3\xBCller", nullptr},
        {"M\xFCller", "--company is not UTF-8"},
        {"\xC0\xAF", "--company is not UTF-8"},     /* an overlong '/' */
        {"\xED\xA0\x80", "--company is not UTF-8"}, /* a surrogate */
    };
    for (const auto &c : texts) {
        BrandOptions options;
        Branding branding;
        std::string error;
        ASSERT_TRUE(parseBrandOptions({"--icon", "x.ico", "--company", c.first, "a.exe", "b.exe"},
                                      &options, &error));
        EXPECT_EQ(versionFromOptions(options, &branding, &error), c.second == nullptr) << c.first;
        if (c.second) {
            EXPECT_NE(error.find(c.second), std::string::npos) << error;
        }
    }

    /* The name stands in for a missing description; without a text option
    ** there is no version record. */
    BrandOptions options;
    Branding branding;
    std::string error;
    ASSERT_TRUE(parseBrandOptions({"--icon", "x.ico", "--name", "My App", "a.exe", "b.exe"},
                                  &options, &error));
    ASSERT_TRUE(versionFromOptions(options, &branding, &error));
    EXPECT_TRUE(branding.withVersionRecord);
    EXPECT_EQ(branding.strings, (std::vector<VersionString>{{u"FileDescription", u"My App"},
                                                            {u"ProductName", u"My App"}}));
    ASSERT_TRUE(parseBrandOptions({"--icon", "x.ico", "a.exe", "b.exe"}, &options, &error));
    ASSERT_TRUE(versionFromOptions(options, &branding, &error));
    EXPECT_FALSE(branding.withVersionRecord);

    /* A value is a value, even one that looks like --help. */
    ASSERT_TRUE(parseBrandOptions({"--icon", "--help", "--name", "-h", "a.exe", "b.exe"}, &options,
                                  &error));
    EXPECT_FALSE(options.help);
    EXPECT_EQ(options.icon, "--help");
    EXPECT_EQ(options.name.value, "-h");
}

/* Leaves the writer cannot put into a directory Windows reads right. */
TEST(ResourceWriter, RefusesLeavesItCannotWrite) {
    const ResourceLeaf icon{resourceNumber(RESOURCE_ICON), resourceNumber(1), 0, 0, "image"};
    const ResourceLeaf namedA{resourceText(u"A"), resourceNumber(1), 0, 0, ""};
    const ResourceLeaf otherA{resourceText(u"A"), resourceNumber(1), 0, 0,
                              ""}; /* equal text, held apart */
    const ResourceLeaf longName{resourceNumber(1),
                                resourceText(std::u16string(MAX_NAME_UNITS + 1, u'x')), 0, 0, ""};
    const std::vector<std::pair<std::vector<ResourceLeaf>, const char *>> cases = {
        {{icon, icon}, "would share type, name and language"},
        {{icon, namedA, otherA}, "would share type, name and language"},
        {{icon, longName}, "a resource name would be longer than 65535 characters"},
    };
    for (const auto &c : cases) {
        std::string out = "untouched", error;
        EXPECT_FALSE(writeResourceTree(c.first, 0x1000, &out, &error)) << c.second;
        EXPECT_NE(error.find(c.second), std::string::npos) << error;
        EXPECT_EQ(out, "untouched");
    }
}

/* The shared part of reading a whole file, on reads scripted chunk by chunk
** (a null chunk is a failed read): the limit is checked on the reported
** size before any read and again on the bytes as they arrive. */
TEST(WholeFileRead, StopsAtTheLimitAndPassesOnAFailedRead) {
    using tool_io::ReadOutcome;
    struct Case {
        const char *what;
        unsigned long long reportedSize;
        std::size_t limit;
        std::vector<const char *> chunks;
        ReadOutcome outcome;
        std::size_t reads;
        const char *bytes; /* what a finished read holds */
    };
    const Case cases[] = {
        {"a file of exactly the limit",
         10,
         10,
         {"abcde", "fghij", ""},
         tool_io::READ_DONE,
         3,
         "abcdefghij"},
        {"an empty file", 0, 0, {""}, tool_io::READ_DONE, 1, ""},
        {"a file reported larger than the limit",
         11,
         10,
         {"abcdefghijk", ""},
         tool_io::READ_TOO_LARGE,
         0,
         nullptr},
        {"a file that grows past the limit",
         4,
         10,
         {"abcd", "efghijk", "l", ""},
         tool_io::READ_TOO_LARGE,
         2,
         nullptr},
        {"a file that grows within the limit",
         4,
         10,
         {"abcd", "efg", ""},
         tool_io::READ_DONE,
         3,
         "abcdefg"},
        {"a read that fails", 6, 10, {"abc", nullptr, "def", ""}, tool_io::READ_FAILED, 2, nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::size_t reads = 0;
        std::string bytes;
        auto read = [&](char *buffer, std::size_t capacity) -> long long {
            const char *chunk = c.chunks.at(reads++);
            if (chunk == nullptr) return -1;
            std::size_t length = std::string(chunk).size();
            EXPECT_LE(length, capacity);
            std::copy(chunk, chunk + length, buffer);
            return static_cast<long long>(length);
        };
        ReadOutcome outcome = tool_io::readInChunks(c.reportedSize, c.limit, &bytes, read);
        EXPECT_EQ(outcome, c.outcome);
        EXPECT_EQ(reads, c.reads);
        if (c.bytes) {
            EXPECT_EQ(bytes, c.bytes);
        }
    }
}

} // namespace
