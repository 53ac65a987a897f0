#include "tests/unit/test_support.h"

#include "jre/jre.h"

namespace {

/* The default lookup's executable token, or null when it names no runtime;
** valid until the next call. */
const char *registryPath() {
    static std::string path;
    return getJavaPathFromRegistry(&path) ? path.c_str() : nullptr;
}

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
    const char *path = registryPath();
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
        EXPECT_EQ(registryPath(), nullptr) << c.name;
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
        FailureCase{
            "current version too long",
            [] { fake::setRegistryValue(RUNTIME_KEY, "CurrentVersion", std::string(255, '9')); },
            "Java Current Version Key", "Error Reading Registry", "No Java Installation Found"},
        FailureCase{
            "unterminated version filling the buffer",
            [] { fake::setRegistryRawValue(RUNTIME_KEY, "CurrentVersion", std::string(255, '9')); },
            "Java Current Version Key", "Error Reading Registry", "No Java Installation Found"},
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
    const char *path = registryPath();
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(std::string(path), home + "\\bin\\javaw.exe");
}

TEST_F(LauncherTest, ValuesWithoutTerminatorAreEndedWithinTheirBytes) {
    fake::setRegistryRawValue(RUNTIME_KEY, "CurrentVersion", "1.6");
    fake::setRegistryRawValue(VERSION_KEY, "JavaHome", "C:\\jre6");
    const char *path = registryPath();
    ASSERT_NE(path, nullptr);
    EXPECT_STREQ(path, "C:\\jre6\\bin\\javaw.exe");

    /* A number stored where text belongs reads as the text up to its NUL. */
    fake::reset();
    fake::setRegistryRawValue(RUNTIME_KEY, "CurrentVersion", std::string("\x07\0\0\0", 4));
    EXPECT_EQ(registryPath(), nullptr);
    EXPECT_EQ(fake::state.boxes.back().text, "No Java Installation (No Current Version) Found");
}

TEST_F(LauncherTest, VersionKeyPathIsCutToItsBuffer) {
    /* A 254-character version fits its own buffer, but base key, backslash and
    ** version are cut to 254 characters: the cut key is what is opened. */
    std::string version(254, '7');
    fake::setRegistryValue(RUNTIME_KEY, "CurrentVersion", version);
    std::string cut = (std::string(RUNTIME_KEY) + "\\" + version).substr(0, 254);
    fake::setRegistryValue(cut, "JavaHome", "C:\\cut");
    const char *path = registryPath();
    ASSERT_NE(path, nullptr);
    EXPECT_STREQ(path, "C:\\cut\\bin\\javaw.exe");
}

/* Every further source of a runtime, each with a home of its own whose
** windowed executable exists. */
const char *const JRE_KEY = "SOFTWARE\\JavaSoft\\Java Runtime Environment";
const char *const JDK_KEY = "SOFTWARE\\JavaSoft\\JDK";
const char *const KIT_KEY = "SOFTWARE\\JavaSoft\\Java Development Kit";

enum Source { JRE_OWN, JRE_OTHER, JDK_OWN, JDK_OTHER, KIT_OWN, KIT_OTHER, JAVA_HOME, ON_PATH };

std::string homeOf(Source source) { return "C:\\rt" + std::to_string(source); }

void installAt(Source source, const std::string &version, bool withExecutable = true) {
    std::string home = homeOf(source);
    if (withExecutable) fake::state.files[home + "\\bin\\javaw.exe"] = "";
    fake::state.files[home + "\\release"] = "JAVA_VERSION=\"" + version + "\"\n";
    const char *keys[] = {JRE_KEY, JRE_KEY, JDK_KEY, JDK_KEY, KIT_KEY, KIT_KEY};
    if (source == JAVA_HOME) {
        fake::state.environment["JAVA_HOME"] = home;
    } else if (source == ON_PATH) {
        fake::state.environment["PATH"] = "C:\\Windows;" + home + "\\bin";
    } else {
        bool other = source % 2 == 1;
        fake::setRegistryValue(keys[source], "CurrentVersion", version, other);
        fake::setRegistryValue(std::string(keys[source]) + "\\" + version, "JavaHome", home, other);
    }
}

struct SourceCase {
    const char *name;
    std::vector<Source> installed;
    Source expected;
    std::vector<Source> missingExecutable; /* installed, but without javaw.exe */
};

class FurtherSources : public LauncherTest, public ::testing::WithParamInterface<SourceCase> {};

/* The first source in order wins, whatever else is installed. */
TEST_P(FurtherSources, TheFirstSourceWithARuntimeWins) {
    const SourceCase &c = GetParam();
    for (Source source : c.installed) installAt(source, "17.0.9");
    for (Source source : c.missingExecutable) installAt(source, "17.0.9", false);
    settings._debug = 1;
    const char *path = registryPath();
    ASSERT_NE(path, nullptr) << c.name;
    EXPECT_EQ(std::string(path), homeOf(c.expected) + "\\bin\\java.exe") << c.name;
    EXPECT_EQ(fake::state.openKeys, 0) << c.name;
    for (const fake::Box &box : fake::state.boxes) EXPECT_NE(box.caption, "Error!") << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Order, FurtherSources,
    ::testing::Values(
        SourceCase{"first key beside every other",
                   {ON_PATH, JAVA_HOME, JDK_OWN, JRE_OTHER, JRE_OWN},
                   JRE_OWN,
                   {}},
        SourceCase{"other view before JDK", {JDK_OWN, JRE_OTHER}, JRE_OTHER, {}},
        SourceCase{"JDK own view before other", {JDK_OTHER, JDK_OWN}, JDK_OWN, {}},
        SourceCase{"JDK before Development Kit", {KIT_OWN, JDK_OTHER}, JDK_OTHER, {}},
        SourceCase{"Development Kit own view before other", {KIT_OTHER, KIT_OWN}, KIT_OWN, {}},
        SourceCase{"Development Kit before JAVA_HOME", {JAVA_HOME, KIT_OTHER}, KIT_OTHER, {}},
        SourceCase{"JAVA_HOME before PATH", {ON_PATH, JAVA_HOME}, JAVA_HOME, {}},
        SourceCase{"PATH alone", {ON_PATH}, ON_PATH, {}},
        SourceCase{"a key without its executable is passed over",
                   {ON_PATH},
                   ON_PATH,
                   {JDK_OWN, JAVA_HOME}},
        SourceCase{"a stale first key is passed over", {JDK_OTHER}, JDK_OTHER, {JRE_OWN}},
        SourceCase{"a stale first key alone is started as before", {}, JRE_OWN, {JRE_OWN}}));

/* A sub-key of a registry place: its name, its JavaHome (null: none) and
** whether that home holds javaw.exe. */
struct Registered {
    const char *name;
    const char *home;
    bool executable;
};

struct StaleCase {
    const char *key;
    const char *current; /* CurrentVersion; null: not set */
    std::vector<Registered> registered;
    const char *expectedHome;        /* null: no runtime, the key's own box */
    const char *trace;               /* the key's trace line after "Java runtime source " */
    const char *errorText = nullptr; /* the box without a runtime */
};

class StaleCurrentVersion : public LauncherTest, public ::testing::WithParamInterface<StaleCase> {};

/* A CurrentVersion left behind by an uninstaller gives way to the newest
** runtime registered under the same key; a key without any keeps its box. */
TEST_P(StaleCurrentVersion, GivesWayToTheNewestRegisteredRuntime) {
    const StaleCase &c = GetParam();
    if (c.current != nullptr) fake::setRegistryValue(c.key, "CurrentVersion", c.current);
    for (const Registered &entry : c.registered) {
        std::string subKey = std::string(c.key) + "\\" + entry.name;
        if (entry.home == nullptr) fake::addRegistryKey(subKey);
        if (entry.home != nullptr) fake::setRegistryValue(subKey, "JavaHome", entry.home);
        if (entry.executable) fake::state.files[std::string(entry.home) + "\\bin\\javaw.exe"] = "";
    }
    settings._debug = 1;
    const char *path = registryPath();
    std::string trace = std::string("Java runtime source ") + c.trace + "\n";
    EXPECT_NE(fake::state.standardOutput.find(trace), std::string::npos)
        << fake::state.standardOutput;
    EXPECT_EQ(fake::state.openKeys, 0);
    if (c.expectedHome == nullptr) {
        EXPECT_EQ(path, nullptr);
        ASSERT_FALSE(fake::state.boxes.empty());
        EXPECT_EQ(fake::state.boxes.back().text, c.errorText);
        return;
    }
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(std::string(path), std::string(c.expectedHome) + "\\bin\\java.exe");
    for (const fake::Box &box : fake::state.boxes) EXPECT_NE(box.caption, "Error!");
}

#define JRE_PLACE "SOFTWARE\\JavaSoft\\Java Runtime Environment (own registry view): "
#define JDK_PLACE "SOFTWARE\\JavaSoft\\JDK (own registry view): "

INSTANTIATE_TEST_SUITE_P(
    Keys, StaleCurrentVersion,
    ::testing::Values(
        StaleCase{JRE_KEY,
                  "1.8",
                  {{"1.8.0_411", "C:\\j8", true}},
                  "C:\\j8",
                  JRE_PLACE "CurrentVersion 1.8 is not registered; the newest registered "
                            "version with javaw.exe is 1.8.0_411"},
        StaleCase{JDK_KEY,
                  "21",
                  {{"11.0.2", "C:\\j11", true}, {"17.0.12", "C:\\j17", true}},
                  "C:\\j17",
                  JDK_PLACE "CurrentVersion 21 is not registered; the newest registered "
                            "version with javaw.exe is 17.0.12"},
        StaleCase{JDK_KEY,
                  "21",
                  {{"17.0.12", "C:\\j17", true}, {"21", "C:\\j21", false}},
                  "C:\\j17",
                  JDK_PLACE "CurrentVersion 21 has no javaw.exe (C:\\j21\\bin\\javaw.exe is "
                            "missing); the newest registered version with javaw.exe is 17.0.12"},
        StaleCase{JRE_KEY,
                  "21",
                  {{"17", "C:\\j17", true}, {"21", nullptr, false}},
                  "C:\\j17",
                  JRE_PLACE "CurrentVersion 21 has no JavaHome that can be read; the newest "
                            "registered version with javaw.exe is 17"},
        /* By the version's numbers; an uninstalled one and a name that is no
        ** version do not compete. */
        StaleCase{JRE_KEY,
                  "1.9",
                  {{"17.0.9", "C:\\a", true},
                   {"17.0.10", "C:\\b", true},
                   {"9", "C:\\c", true},
                   {"21.0.1", "C:\\d", false},
                   {"current", "C:\\e", true}},
                  "C:\\b",
                  JRE_PLACE "CurrentVersion 1.9 is not registered; the newest registered "
                            "version with javaw.exe is 17.0.10"},
        StaleCase{JRE_KEY,
                  "1.9",
                  {{"1.8", "C:\\j8", false}},
                  nullptr,
                  JRE_PLACE "CurrentVersion 1.9 is not registered; no registered version has "
                            "javaw.exe",
                  "No Java Installation (No Current Version) Found"},
        /* Without a CurrentVersion there is none to replace. */
        StaleCase{JRE_KEY,
                  nullptr,
                  {{"1.8", "C:\\j8", true}},
                  nullptr,
                  "SOFTWARE\\JavaSoft\\JDK (own registry view): missing",
                  "No Java Installation Found"}));

struct SpellingCase {
    const char *name;
    const char *javaHome; /* null: not set */
    const char *path;     /* null: not set */
    const char *expected; /* the runtime started */
};

class ShellSpellings : public LauncherTest, public ::testing::WithParamInterface<SpellingCase> {};

/* JAVA_HOME and PATH are read as cmd.exe reads them, and only a file
** counts as the runtime's executable. */
TEST_P(ShellSpellings, FindTheRuntimeTheShellWould) {
    const SpellingCase &c = GetParam();
    for (const char *home : {"C:\\jh", "C:\\q x", "C:\\a;b"})
        fake::state.files[std::string(home) + "\\bin\\javaw.exe"] = "";
    fake::state.folders.insert("C:\\dir\\bin\\javaw.exe");
    if (c.javaHome) fake::state.environment["JAVA_HOME"] = c.javaHome;
    if (c.path) fake::state.environment["PATH"] = c.path;
    settings._isVista = 1;
    const char *path = registryPath();
    ASSERT_NE(path, nullptr) << c.name;
    EXPECT_EQ(std::string(path), std::string("\"") + c.expected + "\\bin\\javaw.exe\"") << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Spellings, ShellSpellings,
    ::testing::Values(
        SpellingCase{"quoted JAVA_HOME", "\"C:\\jh\"", nullptr, "C:\\jh"},
        SpellingCase{"JAVA_HOME ending in a separator", "C:\\jh\\", nullptr, "C:\\jh"},
        SpellingCase{"quoted, ending in separators", "\"C:\\q x\\/\"", nullptr, "C:\\q x"},
        SpellingCase{"quoted PATH folder", nullptr, "C:\\Windows;\"C:\\q x\\bin\"", "C:\\q x"},
        SpellingCase{"separator within quotes", nullptr, "\"C:\\a;b\\bin\";C:\\jh\\bin", "C:\\a;b"},
        SpellingCase{"folder named javaw.exe on PATH", nullptr, "C:\\dir\\bin;;C:\\jh\\bin",
                     "C:\\jh"},
        SpellingCase{"JAVA_HOME whose javaw.exe is a folder", "C:\\dir", "C:\\q x\\bin",
                     "C:\\q x"}));

TEST_F(LauncherTest, FurtherSourcesAreTracedInDebugModeAndTheErrorBoxComesLast) {
    settings._debug = 1;
    fake::state.environment["JAVA_HOME"] = "C:\\nowhere";
    EXPECT_EQ(registryPath(), nullptr);
    EXPECT_EQ(fake::boxCaptions(),
              (std::vector<std::string>{"Error Accessing Registry!", "Error!"}));
    EXPECT_EQ(fake::state.standardOutput,
              "Java runtime source SOFTWARE\\JavaSoft\\Java Runtime Environment (other registry "
              "view): missing\n"
              "Java runtime source SOFTWARE\\JavaSoft\\JDK (own registry view): missing\n"
              "Java runtime source SOFTWARE\\JavaSoft\\JDK (other registry view): missing\n"
              "Java runtime source SOFTWARE\\JavaSoft\\Java Development Kit (own registry view): "
              "missing\n"
              "Java runtime source SOFTWARE\\JavaSoft\\Java Development Kit (other registry view): "
              "missing\n"
              "Java runtime source JAVA_HOME: missing\n"
              "Java runtime source PATH: missing\n");

    /* Found on PATH: the first key's debug box, no error box. */
    fake::reset();
    settings._debug = 1;
    fake::setRegistryValue(JRE_KEY, "CurrentVersion", "1.8");
    installAt(ON_PATH, "21");
    EXPECT_NE(registryPath(), nullptr);
    EXPECT_EQ(fake::boxCaptions(), std::vector<std::string>{"Error Accessing Registry!"});
    EXPECT_EQ(fake::state.boxes[0].text, "Java Current Version");
    EXPECT_NE(fake::state.standardOutput.find("Java runtime source PATH: found C:\\rt7\n"),
              std::string::npos);

    /* A stale first key: no box, a line that says what is missing. */
    fake::reset();
    settings._debug = 1;
    installAt(JRE_OWN, "1.8", false);
    installAt(JDK_OWN, "21");
    EXPECT_NE(registryPath(), nullptr);
    EXPECT_TRUE(fake::state.boxes.empty());
    EXPECT_EQ(
        fake::state.standardOutput,
        "Java runtime source SOFTWARE\\JavaSoft\\Java Runtime Environment (own registry view): "
        "CurrentVersion 1.8 has no javaw.exe (C:\\rt0\\bin\\javaw.exe is missing); no registered "
        "version has javaw.exe\n"
        "Java runtime source SOFTWARE\\JavaSoft\\Java Runtime Environment (other registry view): "
        "missing\n"
        "Java runtime source SOFTWARE\\JavaSoft\\JDK (own registry view): found C:\\rt2\n");
}

struct NoRuntimeCase {
    const char *appname, *mainClass; /* null: unset */
    bool quiet;
    int answer;
    fake::Box box;
    bool opened;
};

class NoRuntimeAnywhere : public LauncherTest,
                          public ::testing::WithParamInterface<NoRuntimeCase> {};

/* With downloadurl the error box gives way to a question; quiet mode asks
** nothing and keeps the box, which it has always shown. */
TEST_P(NoRuntimeAnywhere, AsksToDownloadWhenTheApplicationNamesItsPage) {
    const NoRuntimeCase &c = GetParam();
    settings.downloadUrl = keepText("https://acme.example/java");
    if (c.appname) settings.appname = keepText(c.appname);
    if (c.mainClass) settings.mainClass = keepText(c.mainClass);
    settings._quietMode = c.quiet;
    fake::state.boxAnswers = {c.answer};
    EXPECT_EQ(registryPath(), nullptr);
    ASSERT_EQ(fake::state.boxes.size(), 1u);
    EXPECT_EQ(fake::state.boxes[0].text, c.box.text);
    EXPECT_EQ(fake::state.boxes[0].caption, c.box.caption);
    EXPECT_EQ(fake::state.boxes[0].type, c.box.type);
    EXPECT_EQ(fake::state.webPages.size(), c.opened ? 1u : 0u);
}

const char *const NEEDS_JAVA =
    " needs Java, and none was found on this computer. Do you want to download it?";

INSTANTIATE_TEST_SUITE_P(
    Question, NoRuntimeAnywhere,
    ::testing::Values(
        NoRuntimeCase{"Demo",
                      "com.acme.Main",
                      false,
                      6,
                      {std::string("Demo") + NEEDS_JAVA, "Error!", 0x14},
                      true},
        NoRuntimeCase{
            "Demo", nullptr, false, 7, {std::string("Demo") + NEEDS_JAVA, "Error!", 0x14}, false},
        NoRuntimeCase{"",
                      "com.acme.Main",
                      false,
                      6,
                      {std::string("com.acme.Main") + NEEDS_JAVA, "Error!", 0x14},
                      true},
        NoRuntimeCase{
            nullptr, "", false, 6, {std::string("Application") + NEEDS_JAVA, "Error!", 0x14}, true},
        NoRuntimeCase{
            "Demo", nullptr, true, 6, {"No Java Installation Found", "Error!", 0x10}, false}));

TEST_F(LauncherTest, TheExitCodeStaysWhenTheQuestionIsAnswered) {
    fake::state.files["C:\\a\\t.config"] = "downloadurl https://acme.example/java\n";
    fake::state.boxAnswers = {6};
    EXPECT_EQ(runLauncher({"C:\\a\\t.exe", "-passExitCode"}), 2);
    EXPECT_EQ(fake::state.webPages, std::vector<std::string>{"https://acme.example/java"});
    EXPECT_TRUE(fake::state.launches.empty());
}

struct RequirementCase {
    const char *requirement;
    const char *javaVersion; /* afterwards */
    Source expected;
    const char *javaHomeVersion = "1.8.0_500";
    bool firstKeyUninstalled = false; /* its home without javaw.exe */
};

class FurtherSelection : public LauncherTest,
                         public ::testing::WithParamInterface<RequirementCase> {};

/* The first key has only Java 8; a requirement it cannot meet is looked
** for in the further sources, in their order, with the same rules. */
TEST_P(FurtherSelection, FallsThroughToTheSourceThatMeetsTheRequirement) {
    const RequirementCase &c = GetParam();
    installAt(JRE_OWN, "1.8.0_392", !c.firstKeyUninstalled);
    installAt(JDK_OWN, "17.0.9");
    installAt(JDK_OTHER, "11.0.2");
    installAt(JAVA_HOME, c.javaHomeVersion);
    SelectedRuntime runtime;
    bool found = false;
    EXPECT_EQ(fake::exitCodeOf([&] { found = getJavaVersionPath(c.requirement, &runtime); }), -1000)
        << c.requirement;
    ASSERT_TRUE(found) << c.requirement;
    EXPECT_EQ(runtime.executable, homeOf(c.expected) + "\\bin\\javaw.exe") << c.requirement;
    EXPECT_EQ(runtime.home, homeOf(c.expected)) << c.requirement;
    EXPECT_EQ(runtime.versionName, c.javaVersion) << c.requirement;
    EXPECT_TRUE(fake::state.boxes.empty()) << c.requirement;
    EXPECT_EQ(fake::state.openKeys, 0) << c.requirement;
}

INSTANTIATE_TEST_SUITE_P(
    Requirements, FurtherSelection,
    ::testing::Values(RequirementCase{"1.8", "1.8.0_392", JRE_OWN},
                      RequirementCase{"17.0.9", "17.0.9", JDK_OWN},
                      RequirementCase{"11.0.2", "11.0.2", JDK_OTHER},
                      RequirementCase{"1.8.0_450+", "1.8.0_500", JAVA_HOME},
                      RequirementCase{"1.8.0_500", "1.8.0_500", JAVA_HOME},
                      /* Registry names compare regardless of case, as a release name does. */
                      RequirementCase{"1.8.0_40-EA", "1.8.0_40-EA", JAVA_HOME, "1.8.0_40-ea"},
                      /* The JDK key's one sub-key, 17.0.9, is enough for 17. */
                      RequirementCase{"17", "17.0.9", JDK_OWN},
                      /* The first place with a match wins, not the newest anywhere. */
                      RequirementCase{"11+", "17.0.9", JDK_OWN},
                      RequirementCase{"1.8+", "1.8.0_392", JRE_OWN},
                      RequirementCase{"21", "21.0.5", JAVA_HOME, "21.0.5"},
                      /* An uninstalled runtime under the first key hides none. */
                      RequirementCase{"1.8", "1.8.0_500", JAVA_HOME, "1.8.0_500", true},
                      RequirementCase{"1.8.0_392", "1.8.0_392", JAVA_HOME, "1.8.0_392", true}));

/* The exit code is the first key's; the question says that the runtime
** found elsewhere is not the one needed. */
TEST_F(LauncherTest, SelectionThatNothingMeetsEndsAsTheFirstKeyWouldAlone) {
    installAt(JDK_OWN, "17.0.9");
    settings._debug = 1;
    SelectedRuntime runtime;
    EXPECT_EQ(fake::exitCodeOf([&] { getJavaVersionPath("1.8.0_400+", &runtime); }), 11);
    EXPECT_EQ(runtime.versionName, "1.8.0_400+");
    EXPECT_EQ(fake::boxCaptions(), (std::vector<std::string>{"Error Accessing Registry!",
                                                             "Incompatible JRE Version Found"}));
    EXPECT_NE(fake::state.standardOutput.find("checking (1) 17.0.9\n"), std::string::npos);
    EXPECT_NE(fake::state.standardOutput.find(
                  "Java runtime source SOFTWARE\\JavaSoft\\JDK (own registry view): no match\n"),
              std::string::npos);
}

} // namespace
