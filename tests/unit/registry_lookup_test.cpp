#include "tests/unit/test_support.h"

#include "jre/jre.h"

namespace {

const std::string VERSION_KEY = std::string(RUNTIME_KEY) + "\\1.6";

struct ShapeCase {
    const char *home;
    int vista, debug;
    const char *expected;
};

class ExecutablePath : public LauncherTest, public ::testing::WithParamInterface<ShapeCase> {};

TEST_P(ExecutablePath, QuotesAndNamesTheExecutable) {
    const ShapeCase &c = GetParam();
    installRuntime(c.home);
    settings._isVista = c.vista;
    settings._debug = c.debug;
    char *path = getJavaPathFromRegistry();
    ASSERT_NE(path, nullptr);
    EXPECT_STREQ(path, c.expected);
    EXPECT_EQ(fake::state.openKeys, 0);
    bool quoted = c.expected[0] == '"';
    if (c.debug && quoted) {
        ASSERT_EQ(fake::state.boxes.size(), 1u);
        EXPECT_EQ(fake::state.boxes[0].caption, "Adding double quotes around");
        EXPECT_EQ(fake::state.boxes[0].text, c.home);
    } else {
        EXPECT_TRUE(fake::state.boxes.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, ExecutablePath,
    ::testing::Values(ShapeCase{"D:\\Java\\jre6", 0, 0, "D:\\Java\\jre6\\bin\\javaw.exe"},
                      ShapeCase{"D:\\Java\\jre6", 1, 0, "\"D:\\Java\\jre6\\bin\\javaw.exe\""},
                      ShapeCase{"D:\\Program Files\\Java\\jre6", 0, 0,
                                "\"D:\\Program Files\\Java\\jre6\\bin\\javaw.exe\""},
                      ShapeCase{"D:\\Java\\jre6", 0, 1, "D:\\Java\\jre6\\bin\\java.exe"},
                      ShapeCase{"D:\\Java\\jre6", 1, 1, "\"D:\\Java\\jre6\\bin\\java.exe\""}));

struct FailureCase {
    const char *name;
    void (*arrange)();
    const char *debugText, *debugCaption, *errorText;
};

class LookupFailure : public LauncherTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(LookupFailure, ShowsItsBoxesAndYieldsNothing) {
    const FailureCase &c = GetParam();
    for (int debug : {0, 1}) {
        fake::reset();
        c.arrange();
        settings._debug = debug;
        settings._quietMode = 1; /* never hides these boxes */
        EXPECT_EQ(getJavaPathFromRegistry(), nullptr) << c.name;
        EXPECT_EQ(fake::state.openKeys, 0) << c.name;
        std::vector<fake::Box> expected;
        if (debug) expected.push_back({c.debugText, c.debugCaption, 0x10});
        expected.push_back({c.errorText, "Error!", 0x10});
        ASSERT_EQ(fake::state.boxes.size(), expected.size()) << c.name;
        for (std::size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(fake::state.boxes[i].text, expected[i].text) << c.name;
            EXPECT_EQ(fake::state.boxes[i].caption, expected[i].caption) << c.name;
            EXPECT_EQ(fake::state.boxes[i].type, expected[i].type) << c.name;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Failures, LookupFailure,
    ::testing::Values(
        FailureCase{"no base key", [] {}, "SOFTWARE\\JavaSoft\\Java Runtime Environment",
                    "Error Accessing Registry!", "No Java Installation Found"},
        FailureCase{"no current version", [] { fake::addRegistryKey(RUNTIME_KEY); },
                    "Java Current Version Key", "Error Reading Registry",
                    "No Java Installation Found"},
        FailureCase{"current version too long",
                    [] { fake::setRegistryValue(RUNTIME_KEY, "CurrentVersion", std::string(255, '9')); },
                    "Java Current Version Key", "Error Reading Registry",
                    "No Java Installation Found"},
        FailureCase{"unterminated version filling the buffer",
                    [] { fake::setRegistryRawValue(RUNTIME_KEY, "CurrentVersion", std::string(255, '9')); },
                    "Java Current Version Key", "Error Reading Registry",
                    "No Java Installation Found"},
        FailureCase{"version key missing",
                    [] { fake::setRegistryValue(RUNTIME_KEY, "CurrentVersion", "1.9"); },
                    "Java Current Version", "Error Accessing Registry!",
                    "No Java Installation (No Current Version) Found"},
        FailureCase{"no java home",
                    [] {
                        fake::setRegistryValue(RUNTIME_KEY, "CurrentVersion", "1.6");
                        fake::addRegistryKey(VERSION_KEY);
                    },
                    "Java Home Directory", "Error Reading Registry!",
                    "No Java Installation Home Directory Found"},
        FailureCase{"java home too long for its buffer",
                    [] {
                        fake::setRegistryValue(RUNTIME_KEY, "CurrentVersion", "1.6");
                        fake::setRegistryValue(VERSION_KEY, "JavaHome", std::string(2048, 'h'));
                    },
                    "Java Home Directory", "Error Reading Registry!",
                    "No Java Installation Home Directory Found"},
        FailureCase{"java home too long for the executable",
                    [] {
                        fake::setRegistryValue(RUNTIME_KEY, "CurrentVersion", "1.6");
                        fake::setRegistryValue(VERSION_KEY, "JavaHome", std::string(2036, 'h'));
                    },
                    "Java Home Directory", "Error Reading Registry!",
                    "No Java Installation Home Directory Found"}));

TEST_F(LauncherTest, LongestHomeThatFitsIsUsedWhole) {
    /* 2047 bytes: home, "\bin", "\javaw.exe" (14) and the terminator. */
    std::string home = "C:" + std::string(2033 - 2, 'h');
    installRuntime(home);
    char *path = getJavaPathFromRegistry();
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(std::string(path), home + "\\bin\\javaw.exe");
}

TEST_F(LauncherTest, ValuesWithoutTerminatorAreEndedWithinTheirBytes) {
    fake::setRegistryRawValue(RUNTIME_KEY, "CurrentVersion", "1.6");
    fake::setRegistryRawValue(VERSION_KEY, "JavaHome", "C:\\jre6");
    char *path = getJavaPathFromRegistry();
    ASSERT_NE(path, nullptr);
    EXPECT_STREQ(path, "C:\\jre6\\bin\\javaw.exe");

    /* A number stored where text belongs reads as the text up to its NUL. */
    fake::reset();
    fake::setRegistryRawValue(RUNTIME_KEY, "CurrentVersion", std::string("\x07\0\0\0", 4));
    EXPECT_EQ(getJavaPathFromRegistry(), nullptr);
    EXPECT_EQ(fake::state.boxes.back().text, "No Java Installation (No Current Version) Found");
}

TEST_F(LauncherTest, VersionKeyPathIsCutToItsBuffer) {
    /* A 254-character version fits its own buffer, but base key, backslash and
    ** version are cut to 254 characters: the cut key is what is opened. */
    std::string version(254, '7');
    fake::setRegistryValue(RUNTIME_KEY, "CurrentVersion", version);
    std::string cut = (std::string(RUNTIME_KEY) + "\\" + version).substr(0, 254);
    fake::setRegistryValue(cut, "JavaHome", "C:\\cut");
    char *path = getJavaPathFromRegistry();
    ASSERT_NE(path, nullptr);
    EXPECT_STREQ(path, "C:\\cut\\bin\\javaw.exe");
}

} // namespace
