#include "launcher/jar_file.h"

#include "tests/unit/zip_support.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

/* A manifest whose Class-Path goes on to a second line, and a second
** section that names a jar of its own. */
const char MANIFEST[] = "Manifest-Version: 1.0\r\nClass-Path: lib/de\r\n p.jar lib/more.jar\r\n\r\n"
                        "Name: x\r\nClass-Path: no.jar\r\n";

/* MANIFEST packed by zlib: at its best (a fixed-code block) and stored. */
const char FIXED[] = "\xf3\x4d\xcc\xcb\x4c\x4b\x2d\x2e\xd1\x0d\x4b\x2d\x2a\xce\xcc\xcf\xb3\x52\x30"
                     "\xd4\x33\xe0\xe5\x72\xce\x49\x2c\x2e\xd6\x0d\x48\x2c\xc9\xb0\x52\xc8\xc9\x4c"
                     "\xd2\x4f\x49\xe5\xe5\x52\x28\xd0\xcb\x4a\x2c\x02\x73\x73\xf3\x8b\x52\x41\x1c"
                     "\x5e\x2e\x5e\x2e\xbf\xc4\xdc\x54\x2b\x85\x0a\x54\x3d\x79\xf9\x10\x69\x00";
const char STORED[] = "\x01\x5f\x00\xa0\xff";

/* "Class-Path:", then " lib/library-NN.jar \n" for NN from 00 to 39, packed
** by zlib in a dynamic-code block. */
const char DYNAMIC[] =
    "\x6d\xcf\xad\x11\x83\x50\x00\x04\x61\x9f\x2a\x68\x80\x84\xbb\xcb\x2f\x96\x06\xd2\xc2\x43\x91"
    "\x0c\xea\x11\x43\xf7\x44\x60\x98\x59\xb1\x66\xdd\x37\xcc\x65\x59\xda\x77\xf9\x4d\x7d\x33\x7f"
    "\xc6\xcb\xbf\x5a\xea\xda\x76\xdd\xf9\x5b\x6a\x73\x3a\x4e\xd1\x34\xcd\xd0\xbc\xd2\xbc\xd1\xbc"
    "\xd3\x7c\xd0\x7c\xd2\x7c\xc1\x14\x89\x44\x22\x91\x48\x24\x12\x89\x44\x22\x91\x48\x24\x12\x89"
    "\x44\x22\x93\xc8\x24\x32\x89\x4c\x22\x93\xc8\x24\x32\x89\x4c\x22\x93\xc8\x24\x0a\x89\x42\xa2"
    "\x90\x28\x24\x0a\x89\x42\xa2\x90\x28\x24\x0a\x89\xb2\x8b\x36";

std::string bytes(const char *literal, std::size_t size) { return std::string(literal, size - 1); }

bool fromString(void *source, unsigned long long offset, std::size_t length, std::string *out) {
    const std::string &file = *static_cast<const std::string *>(source);
    if (offset > file.size() || file.size() - offset < length) return false;
    *out = file.substr(static_cast<std::size_t>(offset), length);
    return true;
}

bool indexOf(std::string file, JarIndex *index, const char **why) {
    return readJarIndex(fromString, &file, file.size(), true, index, why);
}

} // namespace

/* Each kind of block, and streams that are cut, wrong or too large. */
TEST(JarFile, InflateDecodesEveryBlockKindAndRefusesTheRest) {
    std::string classPath = "Class-Path:", out;
    for (int i = 0; i < 40; ++i)
        classPath +=
            " lib/library-" + std::string(i < 10 ? "0" : "") + std::to_string(i) + ".jar \n";
    std::string stored = bytes(STORED, sizeof STORED) + MANIFEST;
    const std::pair<std::string, std::string> streams[] = {
        {bytes(FIXED, sizeof FIXED), MANIFEST},
        {stored, MANIFEST},
        {bytes(DYNAMIC, sizeof DYNAMIC), classPath},
    };
    for (const auto &stream : streams) {
        EXPECT_TRUE(inflateData(stream.first, MANIFEST_LIMIT, &out));
        EXPECT_EQ(out, stream.second);
        EXPECT_FALSE(inflateData(stream.first, stream.second.size() - 1, &out)) << "past its limit";
        for (std::size_t cut = 0; cut < stream.first.size(); cut += 7)
            EXPECT_FALSE(inflateData(stream.first.substr(0, cut), MANIFEST_LIMIT, &out)) << cut;
    }
    std::string badLength = stored;
    badLength[3] = 0;
    EXPECT_FALSE(inflateData(badLength, MANIFEST_LIMIT, &out)) << "a stored length unchecked";
    EXPECT_FALSE(inflateData("\x07", MANIFEST_LIMIT, &out)) << "block type 3";
}

/* The main section's Class-Path, and jars read whole, with a script before
** them, or refused. */
TEST(JarFile, AJarGivesItsDirectoryAndClassPathOrARefusal) {
    EXPECT_EQ(manifestClassPath(MANIFEST), "lib/dep.jar lib/more.jar");
    EXPECT_EQ(manifestClassPath("class-path:  a.jar\nX: y"), "a.jar");
    EXPECT_EQ(manifestClassPath("\nClass-Path: a.jar\n"), "") << "an empty first section";

    std::string packed = zipOf({{"META-INF/MANIFEST.MF", MANIFEST, bytes(FIXED, sizeof FIXED)},
                                {"app/Main.class", "class one", ""}});
    JarIndex index, other;
    const char *why = "";
    ASSERT_TRUE(indexOf(packed, &index, &why)) << why;
    EXPECT_EQ(index.classPath, "lib/dep.jar lib/more.jar");
    ASSERT_TRUE(indexOf(zipOf({{"app/Main.class", "class one", ""}}, "#!/bin/sh\n"), &other, &why));
    EXPECT_EQ(other.classPath, "");
    std::string sameSize = zipOf({{"META-INF/MANIFEST.MF", MANIFEST, bytes(FIXED, sizeof FIXED)},
                                  {"app/Main.class", "class two", ""}});
    ASSERT_EQ(sameSize.size(), packed.size());
    ASSERT_TRUE(indexOf(sameSize, &other, &why)) << why;
    EXPECT_NE(index.digest, other.digest) << "another CRC-32, the same size";

    /* A directory said to be 32 MiB and more, after as much of a script. */
    std::string hugeDirectory = std::string(33 << 20, '#') + packed;
    hugeDirectory[hugeDirectory.size() - 22 + 15] = 0x02;
    std::string wrongManifest = zipOf({{"meta-inf/manifest.mf", "x", "\x07"}});
    const std::pair<std::string, const char *> refused[] = {
        {"not a zip file at all", "cannot be read as a zip file"},
        {packed.substr(0, packed.size() - 1), "cannot be read as a zip file"},
        {packed.substr(1), "cannot be read as a zip file"},
        {hugeDirectory, "has a central directory over 16 MiB"},
        {wrongManifest, "has a manifest that is over 1 MiB or cannot be read"},
    };
    for (const auto &jar : refused) {
        EXPECT_FALSE(indexOf(jar.first, &other, &why)) << jar.second;
        EXPECT_STREQ(why, jar.second);
    }
}
