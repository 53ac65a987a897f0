/*
** The registry emulation of the POSIX platform: which runtimes it finds, the
** names and homes it presents, and the registry-function contracts the
** runtime lookups rely on.  Most cases use made-up runtimes in scratch
** folders named by TARNWICK_JAVA_ROOTS; one looks at this machine's own.
*/
#include "platform/platform.h"
#include "posix_test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

using namespace posixtest;

namespace {

const std::string BASE_KEY = "SOFTWARE\\JavaSoft\\Java Runtime Environment";
const unsigned long NAME_CAPACITY = 255;
const unsigned long HOME_CAPACITY = 2048;

/* Every test starts from an environment that names no runtime: no JAVA_HOME,
** a PATH without java, and an empty scan list. */
class PosixRegistry : public ::testing::Test {
protected:
    EnvironmentGuard guard{{"JAVA_HOME", "PATH", "TARNWICK_JAVA_ROOTS"}};
    ScratchFolder scratch;

    void SetUp() override {
        unsetenv("JAVA_HOME");
        fs::create_directories(scratch / "empty-bin");
        setenv("PATH", (scratch / "empty-bin").c_str(), 1);
        setenv("TARNWICK_JAVA_ROOTS", "", 1);
    }

    void scanOnly(const std::string &roots) { setenv("TARNWICK_JAVA_ROOTS", roots.c_str(), 1); }

    /* The sub-key names of the base key, in enumeration order. */
    std::vector<std::string> subKeys() {
        std::vector<std::string> names;
        platform::RegistryKey key;
        if (platform::registryOpenKey(BASE_KEY.c_str(), &key) != 0) return names;
        unsigned long count = platform::registrySubKeyCount(key);
        for (unsigned long i = 0; i < count; ++i) {
            char name[NAME_CAPACITY];
            unsigned long length = NAME_CAPACITY;
            EXPECT_EQ(0, platform::registryEnumSubKey(key, i, name, &length)) << "index " << i;
            names.push_back(name);
        }
        platform::registryCloseKey(key);
        std::set<std::string> distinct;
        for (std::string name : names) {
            for (char &c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            EXPECT_TRUE(distinct.insert(name).second) << "sub-key listed twice: " << name;
        }
        return names;
    }

    /* "JavaHome" of a version key, or "<no key>" / "<no value>". */
    std::string javaHome(const std::string &version) {
        platform::RegistryKey key;
        if (platform::registryOpenKey((BASE_KEY + "\\" + version).c_str(), &key) != 0)
            return "<no key>";
        char home[HOME_CAPACITY];
        unsigned long size = HOME_CAPACITY;
        long result = platform::registryQueryValue(key, "JavaHome", home, &size);
        platform::registryCloseKey(key);
        if (result != 0) return "<no value>";
        EXPECT_EQ(std::strlen(home) + 1, size);
        return home;
    }

    /* "CurrentVersion" of the base key, or "<no key>" / "<no value>". */
    std::string currentVersion() {
        platform::RegistryKey key;
        if (platform::registryOpenKey(BASE_KEY.c_str(), &key) != 0) return "<no key>";
        char version[NAME_CAPACITY];
        unsigned long size = NAME_CAPACITY;
        long result = platform::registryQueryValue(key, "CurrentVersion", version, &size);
        platform::registryCloseKey(key);
        return result == 0 ? std::string(version) : "<no value>";
    }
};

TEST_F(PosixRegistry, EachRuntimeGivesItsFullAndFamilyNameInRegistryOrder) {
    makeRuntime(scratch / "roots/jdk8", "1.8.0_392");
    makeRuntime(scratch / "roots/jdk17", "17.0.15");
    makeRuntime(scratch / "roots/jdk25", "25");
    scanOnly(scratch / "roots");

    EXPECT_EQ((std::vector<std::string>{"1.8", "1.8.0_392", "17", "17.0.15", "25"}), subKeys());
    EXPECT_EQ(scratch / "roots/jdk8", javaHome("1.8"));
    EXPECT_EQ(scratch / "roots/jdk8", javaHome("1.8.0_392"));
    EXPECT_EQ(scratch / "roots/jdk17", javaHome("17"));
    EXPECT_EQ(scratch / "roots/jdk17", javaHome("17.0.15"));
    EXPECT_EQ(scratch / "roots/jdk25", javaHome("25"));
    /* No runtime is current here, so the value is absent. */
    EXPECT_EQ("<no value>", currentVersion());
}

TEST_F(PosixRegistry, FamilyNameGoesToTheHighestVersionByNumber) {
    struct Case {
        std::vector<std::string> versions;
        std::string family;
        std::string winner;
    };
    const std::vector<Case> cases = {
        {{"17.0.2", "17.0.15", "17.0.9"}, "17", "17.0.15"},
        {{"1.8.0_392", "1.8.0_45"}, "1.8", "1.8.0_392"},
        {{"21.0.1", "21"}, "21", "21"}, /* an exact name is never a family */
        {{"11.0.2", "11.0.2.1"}, "11", "11.0.2.1"},
    };
    for (const Case &c : cases) {
        ScratchFolder roots;
        for (std::size_t i = 0; i < c.versions.size(); ++i)
            makeRuntime(roots / ("jdk" + std::to_string(i)), c.versions[i]);
        scanOnly(roots.path().string());
        std::string expected = "<none>";
        for (std::size_t i = 0; i < c.versions.size(); ++i)
            if (c.versions[i] == c.winner) expected = roots / ("jdk" + std::to_string(i));
        EXPECT_EQ(expected, javaHome(c.family)) << "family " << c.family;

        std::vector<std::string> names = subKeys();
        EXPECT_EQ(1u, std::count(names.begin(), names.end(), c.family)) << "family " << c.family;
    }
}

TEST_F(PosixRegistry, AHomeReachedThroughSeveralNamesCountsOnceUnderItsRealPath) {
    /* The home itself lies outside the scanned roots: only aliases are seen. */
    makeRuntime(scratch / "store/java-17-openjdk-amd64", "17.0.15");
    fs::create_directories(scratch / "jvm");
    fs::create_directory_symlink(scratch / "store/java-17-openjdk-amd64",
                                 scratch / "jvm/java-17-openjdk-amd64");
    fs::create_directory_symlink("java-17-openjdk-amd64",
                                 scratch / "jvm/java-1.17.0-openjdk-amd64");
    fs::create_directory_symlink(scratch / "jvm/java-1.17.0-openjdk-amd64",
                                 scratch / "jvm/default-java");
    fs::create_directories(scratch / "other");
    fs::create_directory_symlink(scratch / "jvm/default-java", scratch / "other/jdk");
    scanOnly(scratch / "jvm" + ":" + scratch / "other");

    EXPECT_EQ((std::vector<std::string>{"17", "17.0.15"}), subKeys());
    EXPECT_EQ(scratch / "store/java-17-openjdk-amd64", javaHome("17.0.15"));
    EXPECT_EQ(scratch / "store/java-17-openjdk-amd64", javaHome("17"));
}

TEST_F(PosixRegistry, OnlyHomesWithJavaAndAVersionCount) {
    struct Case {
        const char *folder;
        RuntimeShape shape;
    };
    const std::vector<Case> notRuntimes = {
        {"no-java", {true, false, "JAVA_VERSION=\"9\"\n"}},
        {"java-not-executable", {false, true, "JAVA_VERSION=\"10\"\n"}},
        {"no-release", {true, true, ""}},
        {"no-version-line", {true, true, "IMPLEMENTOR=\"x\"\nJAVA_RUNTIME_VERSION=\"12+3\"\n"}},
        {"empty-version", {true, true, "JAVA_VERSION=\"\"\n"}},
        {"backslash-version", {true, true, "JAVA_VERSION=\"13\\\\x\"\n"}},
    };
    for (const Case &c : notRuntimes)
        makeRuntime(scratch / (std::string("roots/") + c.folder), c.shape);
    writeFile(scratch / "roots/plain-file", "not a folder\n");
    /* A release file that is no regular file must neither block nor fill
    ** memory: a FIFO without a writer, and endless zeros. */
    makeRuntime(scratch / "roots/fifo-release", RuntimeShape{true, true, ""});
    ASSERT_EQ(0, mkfifo((scratch / "roots/fifo-release/release").c_str(), 0600));
    makeRuntime(scratch / "roots/device-release", RuntimeShape{true, true, ""});
    fs::create_symlink("/dev/zero", scratch / "roots/device-release/release");
    makeRuntime(scratch / "roots/good", "14.0.2");
    scanOnly(scratch / "roots");

    EXPECT_EQ((std::vector<std::string>{"14", "14.0.2"}), subKeys());
}

TEST_F(PosixRegistry, ReleaseFileFormsAreRead) {
    const std::vector<std::pair<std::string, std::string>> releases = {
        {"JAVA_VERSION=\"15.0.1\"\n", "15.0.1"},
        {"JAVA_VERSION=16.0.2\n", "16.0.2"},
        {"IMPLEMENTOR=\"x\"\r\nJAVA_VERSION=\"1.7.0_80\"\r\n", "1.7.0_80"},
        {"JAVA_VERSION=\"18\"", "18"},
    };
    for (const auto &release : releases) {
        ScratchFolder roots;
        makeRuntime(roots / "home", RuntimeShape{true, true, release.first});
        scanOnly(roots.path().string());
        EXPECT_EQ(roots / "home", javaHome(release.second)) << release.first;
    }
}

TEST_F(PosixRegistry, MacBundlesAreScannedThroughContentsHome) {
    makeRuntime(scratch / "vms/temurin-21.jdk/Contents/Home", "21.0.4");
    scanOnly(scratch / "vms");

    EXPECT_EQ(scratch / "vms/temurin-21.jdk/Contents/Home", javaHome("21.0.4"));
}

TEST_F(PosixRegistry, EveryListedRootIsScannedAndEmptyEntriesAreSkipped) {
    makeRuntime(scratch / "a/one", "11.0.22");
    makeRuntime(scratch / "b/two", "22.0.1");
    scanOnly("::" + scratch / "a" + "::" + scratch / "missing" + ":" + scratch / "b" + ":");

    EXPECT_EQ((std::vector<std::string>{"11", "11.0.22", "22", "22.0.1"}), subKeys());
}

TEST_F(PosixRegistry, WithoutAnyRuntimeTheBaseKeyIsMissing) {
    makeRuntime(scratch / "elsewhere/jdk", "17.0.15"); /* not in a scanned root */
    platform::RegistryKey key = &key;
    EXPECT_NE(0, platform::registryOpenKey(BASE_KEY.c_str(), &key));
    EXPECT_EQ(nullptr, key);
    EXPECT_EQ("<no key>", javaHome("17.0.15"));
}

TEST_F(PosixRegistry, CurrentVersionComesFromJavaHomeEvenOutsideTheScannedRoots) {
    makeRuntime(scratch / "roots/jdk25", "25.0.3");
    makeRuntime(scratch / "own/jdk", "1.8.0_392");
    fs::create_directory_symlink(scratch / "own/jdk", scratch / "own/link");
    scanOnly(scratch / "roots");
    setenv("JAVA_HOME", (scratch / "own/link").c_str(), 1);

    EXPECT_EQ("1.8.0_392", currentVersion());
    EXPECT_EQ(scratch / "own/jdk", javaHome("1.8.0_392"));
    EXPECT_EQ((std::vector<std::string>{"1.8", "1.8.0_392", "25", "25.0.3"}), subKeys());
}

TEST_F(PosixRegistry, TheCurrentRuntimeOwnsTheNamesItShares) {
    makeRuntime(scratch / "roots/a-jdk", "17.0.15");
    makeRuntime(scratch / "roots/b-jdk", "17.0.15");
    scanOnly(scratch / "roots");
    setenv("JAVA_HOME", (scratch / "roots/b-jdk").c_str(), 1);

    EXPECT_EQ(scratch / "roots/b-jdk", javaHome(currentVersion()));
    EXPECT_EQ(scratch / "roots/b-jdk", javaHome("17"));

    /* Without a current runtime the tie goes to the path that sorts first. */
    unsetenv("JAVA_HOME");
    EXPECT_EQ(scratch / "roots/a-jdk", javaHome("17.0.15"));
}

TEST_F(PosixRegistry, CurrentRuntimeFromPathIsFollowedThroughSymlinksToItsHome) {
    /* JAVA_HOME unset, or naming a folder without bin/java: PATH decides. */
    const std::vector<const char *> javaHomes = {nullptr, "not-a-runtime"};
    for (const char *javaHomeName : javaHomes) {
        ScratchFolder folder;
        makeRuntime(folder / "opt/jdk-17", "17.0.9");
        makeRuntime(folder / "decoy/jdk", "11.0.1"); /* later on PATH: not taken */
        fs::create_directories(folder / "alternatives");
        fs::create_symlink(folder / "opt/jdk-17/bin/java", folder / "alternatives/java");
        fs::create_directories(folder / "usr/bin");
        fs::create_symlink(folder / "alternatives/java", folder / "usr/bin/java");
        fs::create_directories(folder / "not-a-runtime/bin");
        std::string path =
            folder / "nothing-here" + "::" + folder / "usr/bin" + ":" + folder / "decoy/jdk/bin";
        setenv("PATH", path.c_str(), 1);
        if (javaHomeName)
            setenv("JAVA_HOME", (folder / javaHomeName).c_str(), 1);
        else
            unsetenv("JAVA_HOME");

        EXPECT_EQ("17.0.9", currentVersion()) << (javaHomeName ? javaHomeName : "JAVA_HOME unset");
        EXPECT_EQ(folder / "opt/jdk-17", javaHome("17.0.9"));
    }
}

TEST_F(PosixRegistry, ACurrentRuntimeWithoutAVersionLeavesNoBaseKey) {
    /* JAVA_HOME is chosen by the user, so the java on PATH does not stand in
    ** for it; nor does a java on PATH without a version make a runtime. */
    makeRuntime(scratch / "jdk-unversioned", RuntimeShape{true, true, ""});
    makeRuntime(scratch / "path-jdk", "17.0.15");
    setenv("PATH", (scratch / "path-jdk/bin").c_str(), 1);
    setenv("JAVA_HOME", (scratch / "jdk-unversioned").c_str(), 1);
    platform::RegistryKey key;
    EXPECT_NE(0, platform::registryOpenKey(BASE_KEY.c_str(), &key));

    unsetenv("JAVA_HOME");
    setenv("PATH", (scratch / "jdk-unversioned/bin").c_str(), 1);
    EXPECT_NE(0, platform::registryOpenKey(BASE_KEY.c_str(), &key));
}

TEST_F(PosixRegistry, KeyPathsAndValueNamesIgnoreCase) {
    makeRuntime(scratch / "roots/jdk", "17.0.15-ea");
    scanOnly(scratch / "roots");
    setenv("JAVA_HOME", (scratch / "roots/jdk").c_str(), 1);

    platform::RegistryKey key;
    ASSERT_EQ(0, platform::registryOpenKey(
                     "software\\JAVASOFT\\java runtime environment\\17.0.15-EA", &key));
    char home[HOME_CAPACITY];
    unsigned long size = HOME_CAPACITY;
    EXPECT_EQ(0, platform::registryQueryValue(key, "javahome", home, &size));
    EXPECT_EQ(scratch / "roots/jdk", std::string(home));
    platform::registryCloseKey(key);

    ASSERT_EQ(0, platform::registryOpenKey("Software\\JavaSoft\\Java Runtime Environment", &key));
    size = HOME_CAPACITY;
    EXPECT_EQ(0, platform::registryQueryValue(key, "CURRENTVERSION", home, &size));
    EXPECT_STREQ("17.0.15-ea", home);
    platform::registryCloseKey(key);
}

TEST_F(PosixRegistry, UnknownKeysAndValuesFail) {
    makeRuntime(scratch / "roots/jdk", "17.0.15");
    scanOnly(scratch / "roots");
    setenv("JAVA_HOME", (scratch / "roots/jdk").c_str(), 1);

    const std::vector<std::string> missingKeys = {
        "SOFTWARE\\JavaSoft", "SOFTWARE\\JavaSoft\\Java Runtime Environment\\",
        BASE_KEY + "\\17.0",  BASE_KEY + "\\17.0.15\\JavaHome",
        BASE_KEY + "X",       "",
    };
    for (const std::string &path : missingKeys) {
        platform::RegistryKey key;
        EXPECT_NE(0, platform::registryOpenKey(path.c_str(), &key)) << path;
    }

    char data[HOME_CAPACITY];
    unsigned long size = HOME_CAPACITY;
    platform::RegistryKey base, version;
    ASSERT_EQ(0, platform::registryOpenKey(BASE_KEY.c_str(), &base));
    ASSERT_EQ(0, platform::registryOpenKey((BASE_KEY + "\\17").c_str(), &version));
    EXPECT_NE(0, platform::registryQueryValue(base, "JavaHome", data, &size));
    size = HOME_CAPACITY;
    EXPECT_NE(0, platform::registryQueryValue(version, "CurrentVersion", data, &size));
    size = HOME_CAPACITY;
    EXPECT_NE(0, platform::registryQueryValue(version, "RuntimeLib", data, &size));
    EXPECT_EQ(0u, platform::registrySubKeyCount(version));
    platform::registryCloseKey(base);
    platform::registryCloseKey(version);

    /* A closed handle is refused, not read. */
    size = HOME_CAPACITY;
    EXPECT_NE(0, platform::registryQueryValue(version, "JavaHome", data, &size));
    EXPECT_EQ(0u, platform::registrySubKeyCount(base));
}

TEST_F(PosixRegistry, AValueIsDeliveredWholeOrNotAtAll) {
    makeRuntime(scratch / "roots/jdk", "17.0.15");
    scanOnly(scratch / "roots");
    const std::string home = scratch / "roots/jdk";

    platform::RegistryKey key;
    ASSERT_EQ(0, platform::registryOpenKey((BASE_KEY + "\\17.0.15").c_str(), &key));
    std::vector<char> buffer(home.size() + 8, '#');

    unsigned long size = static_cast<unsigned long>(home.size()); /* no room for the NUL */
    EXPECT_NE(0, platform::registryQueryValue(key, "JavaHome", buffer.data(), &size));
    EXPECT_EQ(std::string(buffer.size(), '#'), std::string(buffer.begin(), buffer.end()));

    size = static_cast<unsigned long>(home.size() + 1);
    EXPECT_EQ(0, platform::registryQueryValue(key, "JavaHome", buffer.data(), &size));
    EXPECT_EQ(home.size() + 1, size);
    EXPECT_EQ(home, std::string(buffer.data()));
    EXPECT_EQ('#', buffer[home.size() + 1]);
    platform::registryCloseKey(key);
}

TEST_F(PosixRegistry, EnumerationStopsAtTheCountAndRefusesNamesThatDoNotFit) {
    makeRuntime(scratch / "roots/jdk", "1.8.0_392");
    scanOnly(scratch / "roots");

    platform::RegistryKey key;
    ASSERT_EQ(0, platform::registryOpenKey(BASE_KEY.c_str(), &key));
    ASSERT_EQ(2u, platform::registrySubKeyCount(key));

    char name[NAME_CAPACITY];
    unsigned long length = NAME_CAPACITY;
    EXPECT_NE(0, platform::registryEnumSubKey(key, 2, name, &length));

    length = 9; /* "1.8.0_392" is 9 characters: no room for the NUL */
    EXPECT_NE(0, platform::registryEnumSubKey(key, 1, name, &length));
    length = 10;
    EXPECT_EQ(0, platform::registryEnumSubKey(key, 1, name, &length));
    EXPECT_STREQ("1.8.0_392", name);
    EXPECT_EQ(9u, length);
    platform::registryCloseKey(key);
}

/* This machine's runtimes under /usr/lib/jvm, with the default scan list:
** every real runtime is the home of the sub-key named by its version, and no
** home is presented under two full version names, however many aliases
** point to it. */
TEST_F(PosixRegistry, TheDefaultScanFindsThisMachinesRuntimesOnce) {
    unsetenv("TARNWICK_JAVA_ROOTS");
    const fs::path jvm = "/usr/lib/jvm";
    std::error_code error;
    std::map<std::string, std::string> expected; /* real home -> version */
    std::size_t entriesWithJava = 0;
    for (const fs::directory_entry &entry : fs::directory_iterator(jvm, error)) {
        fs::path home = entry.path();
        if (access((home / "bin/java").c_str(), X_OK) != 0) continue;
        std::string release = readFile((home / "release").string());
        std::size_t at = release.find("JAVA_VERSION=\"");
        if (at == std::string::npos) continue;
        at += std::strlen("JAVA_VERSION=\"");
        ++entriesWithJava;
        expected[fs::canonical(home).string()] = release.substr(at, release.find('"', at) - at);
    }
    if (expected.empty()) GTEST_SKIP() << "no Java runtime under /usr/lib/jvm on this machine";

    for (const auto &runtime : expected)
        EXPECT_EQ(runtime.first, javaHome(runtime.second)) << "version " << runtime.second;

    /* A full-name sub-key is one whose name is its home's own version. */
    std::set<std::string> homesByFullName;
    std::size_t fullNames = 0;
    for (const std::string &name : subKeys()) {
        std::string home = javaHome(name);
        auto runtime = expected.find(home);
        if (runtime == expected.end() || runtime->second != name) continue;
        ++fullNames;
        homesByFullName.insert(home);
    }
    EXPECT_EQ(fullNames, homesByFullName.size()) << "a home is listed under two version names";
    EXPECT_EQ(expected.size(), homesByFullName.size());
    std::printf("%zu folders with a runtime under %s, %zu real runtimes\n", entriesWithJava,
                jvm.c_str(), expected.size());
}

} // namespace
