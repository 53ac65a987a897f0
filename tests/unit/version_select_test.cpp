#include "tests/unit/test_support.h"

#include "platform/java_version.h"
#include "jre/jre.h"

#include <algorithm>

namespace {

/* Installs runtimes in the order the registry enumerates them, each with a
** home named after it that holds javaw.exe, but for the uninstalled ones:
** their key and home are left, their executable is gone. */
void installRuntimes(const std::vector<std::string> &names,
                     const std::vector<std::string> &uninstalled = {}) {
    fake::addRegistryKey(RUNTIME_KEY);
    for (const std::string &name : names) {
        std::string home = "C:\\java\\" + name;
        fake::setRegistryValue(std::string(RUNTIME_KEY) + "\\" + name, "JavaHome", home);
        if (std::find(uninstalled.begin(), uninstalled.end(), name) == uninstalled.end())
            fake::state.files[home + "\\bin\\javaw.exe"] = "";
    }
}

const std::vector<std::string> STANDARD = {"1.6", "1.6.0_17", "1.6.0_45", "1.7", "1.7.0_80"};

class VersionSelection : public LauncherTest {
protected:
    /* Runs the lookup for requirement; returns the exit code, or -1000 when
    ** it returned (its executable token then in *path, null when it found
    ** none).  The name it settled on is left in chosen. */
    int lookup(const char *requirement, const char **path = nullptr) {
        bool found = false;
        int code = fake::exitCodeOf([&] { found = getJavaVersionPath(requirement, &chosen); });
        if (path) *path = found ? chosen.executable.c_str() : nullptr;
        return code;
    }

    SelectedRuntime chosen;
};

TEST_F(VersionSelection, PatchLevelWithPlusPrintsTheElevenTraceLines) {
    installRuntimes(STANDARD);
    const char *path = nullptr;
    EXPECT_EQ(lookup("1.6.0_20+", &path), -1000);
    EXPECT_EQ(fake::state.standardOutput,
              "javaVersion=1.6.0_20+, javaVer=1.6.0\n"
              "checking (1) 1.6\n"
              "checking (2) 1.6.0_17\n"
              "found correct java version 1.6.0_17. checking patch level\n"
              "checking patch level 17 against 20\n"
              "checking (3) 1.6.0_45\n"
              "found correct java version 1.6.0_45. checking patch level\n"
              "checking patch level 45 against 20\n"
              "found latest java version 1.6.0_45\n"
              "checking (4) 1.7\n"
              "checking (5) 1.7.0_80\n");
    EXPECT_EQ(chosen.versionName, "1.6.0_45");
    ASSERT_NE(path, nullptr);
    EXPECT_STREQ(path, "C:\\java\\1.6.0_45\\bin\\javaw.exe");
    EXPECT_TRUE(fake::state.boxes.empty());
    EXPECT_EQ(fake::state.openKeys, 0);
}

TEST_F(VersionSelection, VersionsAreComparedAsNumbersWithTheTraceSayingSo) {
    installRuntimes({"1.8.0_392", "17.0.9", "21.0.5", "17.0.10"}, {"21.0.5"});
    const char *path = nullptr;
    EXPECT_EQ(lookup("17+", &path), -1000);
    EXPECT_EQ(fake::state.standardOutput,
              "javaVersion=17+, javaVer=feature 17 or later\n"
              "checking (1) 1.8.0_392\n"
              "checking (2) 17.0.9\n"
              "found correct java version 17.0.9. checking version\n"
              "checking version 17.0.9 against 17+\n"
              "found latest java version 17.0.9\n"
              "checking (3) 21.0.5\n"
              "found correct java version 21.0.5. checking version\n"
              "checking version 21.0.5 against 17.0.9\n"
              "No java executable found for 21.0.5: C:\\java\\21.0.5\\bin\\javaw.exe is missing\n"
              "checking (4) 17.0.10\n"
              "found correct java version 17.0.10. checking version\n"
              "checking version 17.0.10 against 17.0.9\n"
              "found latest java version 17.0.10\n");
    EXPECT_STREQ(path, "C:\\java\\17.0.10\\bin\\javaw.exe");
}

struct SelectCase {
    const char *name;
    std::vector<std::string> installed;
    const char *requirement;
    int exitCode;            /* -1000: returned */
    const char *javaVersion; /* afterwards */
    const char *path;        /* null: no path */
    std::vector<std::string> captions;
    std::vector<std::string> uninstalled = {}; /* installed, executable gone */
};

class Selection : public VersionSelection, public ::testing::WithParamInterface<SelectCase> {};

TEST_P(Selection, PicksTheBestInstalledRuntime) {
    const SelectCase &c = GetParam();
    if (!c.installed.empty()) installRuntimes(c.installed, c.uninstalled);
    const char *path = nullptr;
    EXPECT_EQ(lookup(c.requirement, &path), c.exitCode) << c.name;
    EXPECT_EQ(chosen.versionName, c.javaVersion) << c.name;
    if (c.path)
        EXPECT_STREQ(path, c.path) << c.name;
    else
        EXPECT_EQ(path, nullptr) << c.name;
    EXPECT_EQ(fake::boxCaptions(), c.captions) << c.name;
    EXPECT_EQ(fake::state.openKeys, 0) << c.name;
}

const char *const NOT_FOUND = "Java Runtime Environment Not Found";
const char *const INCOMPATIBLE = "Incompatible JRE Version Found";

/* Names as the installers of Java 9 and later write them, among one of
** Java 8; the enumeration order is not the version order. */
const std::vector<std::string> MODERN = {"1.8.0_392", "11.0.20-ea", "17",           "17.0.10",
                                         "17.0.9",    "17.0.1",     "21.0.5+11-LTS"};

INSTANTIATE_TEST_SUITE_P(
    Requirements, Selection,
    ::testing::Values(
        SelectCase{"family picks highest patch",
                   STANDARD,
                   "1.6",
                   -1000,
                   "1.6.0_45",
                   "C:\\java\\1.6.0_45\\bin\\javaw.exe",
                   {}},
        SelectCase{"exact version read directly",
                   STANDARD,
                   "1.6.0_17",
                   -1000,
                   "1.6.0_17",
                   "C:\\java\\1.6.0_17\\bin\\javaw.exe",
                   {}},
        SelectCase{"nothing reaches the level",
                   STANDARD,
                   "1.6.0_50+",
                   11,
                   "1.6.0_50+",
                   nullptr,
                   {INCOMPATIBLE}},
        /* Installed runtimes that do not meet it make the version "incompatible". */
        SelectCase{"exact version missing",
                   STANDARD,
                   "1.6.0_18",
                   -1000,
                   "1.6.0_18",
                   nullptr,
                   {INCOMPATIBLE}},
        SelectCase{"1.N+ is feature N or later",
                   STANDARD,
                   "1.7+",
                   -1000,
                   "1.7.0_80",
                   "C:\\java\\1.7.0_80\\bin\\javaw.exe",
                   {}},
        SelectCase{"plus at exactly the installed level",
                   STANDARD,
                   "1.6.0_45+",
                   -1000,
                   "1.6.0_45",
                   "C:\\java\\1.6.0_45\\bin\\javaw.exe",
                   {}},
        SelectCase{
            "family not installed", {"1.6", "1.7"}, "1.8", -1000, "1.8", nullptr, {INCOMPATIBLE}},
        /* A runtime whose executable is gone is none. */
        SelectCase{"family not installed, another uninstalled",
                   {"1.7"},
                   "1.8",
                   -1000,
                   "1.8",
                   nullptr,
                   {NOT_FOUND},
                   {"1.7"}},
        SelectCase{"later name wins a tie",
                   {"1.6.0_45", "1.6.1_45"},
                   "1.6",
                   -1000,
                   "1.6.1_45",
                   "C:\\java\\1.6.1_45\\bin\\javaw.exe",
                   {}},
        SelectCase{"patch level zero keeps the family",
                   {"1.6", "1.6.0_00"},
                   "1.6",
                   -1000,
                   "1.6",
                   "C:\\java\\1.6\\bin\\javaw.exe",
                   {}},
        SelectCase{
            "family without plain key", {"1.6.0_00"}, "1.6", -1000, "1.6", nullptr, {INCOMPATIBLE}},
        SelectCase{"nothing installed, family", {}, "1.6", 11, "1.6", nullptr, {NOT_FOUND}},
        SelectCase{
            "nothing installed, exact", {}, "1.6.0_17", -1000, "1.6.0_17", nullptr, {NOT_FOUND}},
        SelectCase{"base is a plain prefix",
                   {"1.60_99", "1.6.0_20"},
                   "1.6",
                   -1000,
                   "1.60_99",
                   "C:\\java\\1.60_99\\bin\\javaw.exe",
                   {}},
        SelectCase{"huge patch level saturates",
                   {"1.6.0_99999999999999"},
                   "1.6.0_5+",
                   -1000,
                   "1.6.0_99999999999999",
                   "C:\\java\\1.6.0_99999999999999\\bin\\javaw.exe",
                   {}},
        /* Only runtimes whose executable is there compete. */
        SelectCase{"uninstalled highest patch level",
                   STANDARD,
                   "1.6",
                   -1000,
                   "1.6.0_17",
                   "C:\\java\\1.6.0_17\\bin\\javaw.exe",
                   {},
                   {"1.6.0_45"}},
        SelectCase{"uninstalled only match of a level",
                   STANDARD,
                   "1.6.0_20+",
                   11,
                   "1.6.0_20+",
                   nullptr,
                   {INCOMPATIBLE},
                   {"1.6.0_45"}},
        SelectCase{"uninstalled exact version is started as before",
                   STANDARD,
                   "1.6.0_17",
                   -1000,
                   "1.6.0_17",
                   "C:\\java\\1.6.0_17\\bin\\javaw.exe",
                   {},
                   {"1.6.0_17"}},
        /* Versions as Java 9 and later write them, and feature releases. */
        SelectCase{
            "feature", MODERN, "17", -1000, "17.0.10", "C:\\java\\17.0.10\\bin\\javaw.exe", {}},
        SelectCase{"feature with a suffix",
                   MODERN,
                   "21",
                   -1000,
                   "21.0.5+11-LTS",
                   "C:\\java\\21.0.5+11-LTS\\bin\\javaw.exe",
                   {}},
        SelectCase{"feature of the old form",
                   MODERN,
                   "8",
                   -1000,
                   "1.8.0_392",
                   "C:\\java\\1.8.0_392\\bin\\javaw.exe",
                   {}},
        SelectCase{"exact version",
                   MODERN,
                   "17.0.9",
                   -1000,
                   "17.0.9",
                   "C:\\java\\17.0.9\\bin\\javaw.exe",
                   {}},
        SelectCase{
            "exact version not installed", MODERN, "17.0.2", 11, "17.0.2", nullptr, {INCOMPATIBLE}},
        SelectCase{"feature or later",
                   MODERN,
                   "17+",
                   -1000,
                   "21.0.5+11-LTS",
                   "C:\\java\\21.0.5+11-LTS\\bin\\javaw.exe",
                   {}},
        SelectCase{"old form feature or later",
                   MODERN,
                   "1.8+",
                   -1000,
                   "21.0.5+11-LTS",
                   "C:\\java\\21.0.5+11-LTS\\bin\\javaw.exe",
                   {}},
        SelectCase{"the update after _ orders the old form",
                   {"1.8.0_392", "1.8.0_99"},
                   "1.8+",
                   -1000,
                   "1.8.0_392",
                   "C:\\java\\1.8.0_392\\bin\\javaw.exe",
                   {}},
        SelectCase{"version or later",
                   MODERN,
                   "17.0.9+",
                   -1000,
                   "21.0.5+11-LTS",
                   "C:\\java\\21.0.5+11-LTS\\bin\\javaw.exe",
                   {}},
        SelectCase{"newest of a feature by number",
                   MODERN,
                   "11+",
                   -1000,
                   "17.0.10",
                   "C:\\java\\17.0.10\\bin\\javaw.exe",
                   {},
                   {"21.0.5+11-LTS"}},
        SelectCase{"feature not installed", MODERN, "22+", 11, "22+", nullptr, {INCOMPATIBLE}},
        SelectCase{"uninstalled newest of a feature",
                   MODERN,
                   "17",
                   -1000,
                   "17.0.9",
                   "C:\\java\\17.0.9\\bin\\javaw.exe",
                   {},
                   {"17.0.10"}},
        SelectCase{"later of equal versions",
                   {"17.0.9+7", "17.0.9"},
                   "17",
                   -1000,
                   "17.0.9",
                   "C:\\java\\17.0.9\\bin\\javaw.exe",
                   {}},
        SelectCase{"nothing installed, feature", {}, "17+", 11, "17+", nullptr, {NOT_FOUND}},
        SelectCase{"not a version keeps the prefix rule",
                   {"17.0.9+7"},
                   "17.0.9+7",
                   -1000,
                   "17.0.9+7",
                   "C:\\java\\17.0.9+7\\bin\\javaw.exe",
                   {}}));

TEST_F(VersionSelection, QuestionNamesTheRequirementAndTheApplication) {
    installRuntimes(STANDARD);
    settings.mainClass = keepText("com.acme.Main");
    settings.appname = keepText("");
    EXPECT_EQ(lookup("1.6.0_50+"), 11);
    ASSERT_EQ(fake::state.boxes.size(), 1u);
    EXPECT_EQ(fake::state.boxes[0].text,
              "com.acme.Main requires the Java Runtime Environment version 1.6.0_50+\n"
              "Do you want to download it?");
    EXPECT_EQ(fake::state.boxes[0].type, 0x14u);

    fake::reset();
    settings.appname = keepText("Demo");
    settings.mainClass = keepText("com.acme.Main");
    EXPECT_EQ(lookup("1.6"), 11);
    EXPECT_EQ(fake::state.boxes[0].text.substr(0, 5), "Demo ");

    fake::reset();
    EXPECT_EQ(lookup("1.6"), 11);
    EXPECT_EQ(fake::state.boxes[0].text.substr(0, 12), "Application ");
}

TEST_F(VersionSelection, QuestionIsCutToItsBufferBetweenLetters) {
    settings.appname = keepText(std::string(300, 'A'));
    EXPECT_EQ(lookup("1.6"), 11);
    ASSERT_EQ(fake::state.boxes.size(), 1u);
    EXPECT_EQ(fake::state.boxes[0].text, std::string(254, 'A'));

    /* 254 bytes end inside the 85th three-byte letter: it is left out
    ** whole.  A lead byte alone would show as U+FFFD. */
    fake::reset();
    std::string letters;
    for (int i = 0; i < 100; ++i) letters += "\xE6\x97\xA5";
    settings.appname = keepText(letters);
    EXPECT_EQ(lookup("1.6"), 11);
    EXPECT_EQ(fake::state.boxes[0].text, letters.substr(0, 252));
}

TEST_F(VersionSelection, QuietShowsNothingButEndsTheSame) {
    installRuntimes(STANDARD);
    settings._quietMode = 1;
    EXPECT_EQ(lookup("1.6.0_50+"), 11);
    EXPECT_EQ(lookup("1.6.0_18"), -1000);
    fake::setRegistryRawValue(std::string(RUNTIME_KEY) + "\\1.6.0_17", "Other", "x");
    fake::state.registry[std::string("software\\javasoft\\java runtime environment\\1.6.0_17")]
        .values.erase("JavaHome");
    EXPECT_EQ(lookup("1.6.0_17"), -1000);
    EXPECT_TRUE(fake::state.boxes.empty());
    EXPECT_TRUE(fake::state.launches.empty());
    EXPECT_NE(fake::state.standardOutput.find("javaVersion=1.6.0_50+"), std::string::npos);
}

TEST_F(VersionSelection, MissingHomeNamesTheKeyWithATrailingBlank) {
    installRuntimes({"1.6.0_17"});
    fake::state.registry["software\\javasoft\\java runtime environment\\1.6.0_17"].values.clear();
    settings._debug = 1;
    const char *path = nullptr;
    EXPECT_EQ(lookup("1.6.0_17", &path), -1000);
    EXPECT_EQ(path, nullptr);
    std::vector<std::string> captions = {"JavaInstallRegPath", "Error Reading Registry!", "Error!"};
    EXPECT_EQ(fake::boxCaptions(), captions);
    EXPECT_EQ(fake::state.boxes[0].text, "SOFTWARE\\JavaSoft\\Java Runtime Environment\\1.6.0_17");
    EXPECT_EQ(
        fake::state.boxes[2].text,
        "No Java Home Directory Found for SOFTWARE\\JavaSoft\\Java Runtime Environment\\1.6.0_17 ");
}

TEST_F(VersionSelection, DebugBoxesOfAMissingRuntime) {
    settings._debug = 1;
    EXPECT_EQ(lookup("1.6"), 11);
    std::vector<std::string> captions = {"Error Accessing Registry!", NOT_FOUND};
    EXPECT_EQ(fake::boxCaptions(), captions);
    EXPECT_EQ(fake::state.boxes[0].text, "Java Current Version");
    EXPECT_EQ(fake::state.boxes[0].type, 0x10u);
}

TEST_F(VersionSelection, UnreadableSubKeysAreSkippedSilently) {
    installRuntimes({"1.6.0_30", "1.6.0_40", "1.6.0_20"});
    fake::state.failingEnumIndices = {1};
    EXPECT_EQ(lookup("1.6"), -1000);
    EXPECT_EQ(chosen.versionName, "1.6.0_30");
    EXPECT_EQ(fake::state.standardOutput.find("checking (2)"), std::string::npos);
    EXPECT_NE(fake::state.standardOutput.find("checking (3) 1.6.0_20"), std::string::npos);
}

TEST_F(VersionSelection, LongRequirementsNeverOverrunTheBase) {
    installRuntimes({"1.6.0.0.0.0.0.0.0.0.1_5"});
    /* 19 characters of the base are compared: the name above matches. */
    EXPECT_EQ(lookup("1.6.0.0.0.0.0.0.0.0.0.0.0.0_3+"), -1000);
    EXPECT_NE(fake::state.standardOutput.find("javaVer=1.6.0.0.0.0.0.0.0.0\n"), std::string::npos);
    EXPECT_EQ(chosen.versionName, "1.6.0.0.0.0.0.0.0.0.1_5");

    fake::reset();
    installRuntimes(STANDARD);
    /* A bare "1." base keeps the prefix rule however long it is. */
    std::string longest = "1." + std::string(298, '1');
    EXPECT_EQ(lookup(longest.c_str()), -1000);
    EXPECT_NE(fake::state.standardOutput.find("javaVer=1." + std::string(17, '1') + "\n"),
              std::string::npos);
}

TEST_F(VersionSelection, PatchLevelsReadLikeAtoiWithoutOverflow) {
    struct {
        const char *text;
        int expected;
    } cases[] = {{"151", 151},
                 {"05", 5},
                 {"20+", 20},
                 {"", 0},
                 {"x1", 0},
                 {"-3", -3},
                 {"99999999999", 2147483647},
                 {"-99999999999", -2147483647 - 1},
                 {" \t\n\v\f\r7", 7}};
    for (const auto &c : cases) EXPECT_EQ(patchLevelOf(c.text), c.expected) << c.text;
}

struct DownloadCase {
    const char *requirement;
    const char *downloadUrl; /* null: no downloadurl line */
    int exitCode;            /* 11 after a selection, -1000 when an exact key is missing */
    int answer;
    const char *page; /* null: nothing opened */
};

class Download : public VersionSelection, public ::testing::WithParamInterface<DownloadCase> {};

TEST_P(Download, OpensTheApplicationsPageOrThatOfTheVersionFamilyOnYes) {
    const DownloadCase &c = GetParam();
    if (c.downloadUrl != nullptr) settings.downloadUrl = keepText(c.downloadUrl);
    fake::state.boxAnswers = {c.answer};
    EXPECT_EQ(lookup(c.requirement), c.exitCode); /* no runtime at all */
    EXPECT_EQ(fake::boxCaptions(), std::vector<std::string>{NOT_FOUND});
    EXPECT_EQ(fake::state.webPages,
              c.page ? std::vector<std::string>{c.page} : std::vector<std::string>{})
        << c.requirement;
    EXPECT_TRUE(fake::state.launches.empty()) << "a page is no child of the launcher's";
}

const char *const ACME_PAGE = "https://acme.example/java";

INSTANTIATE_TEST_SUITE_P(
    Pages, Download,
    ::testing::Values(DownloadCase{"1.4.2_08", nullptr, -1000, 6,
                                   "https://www.java.com/j2se/1.4.2/download.html"},
                      DownloadCase{"1.5", nullptr, 11, 6,
                                   "https://www.java.com/en/download/download_the_latest.jsp"},
                      DownloadCase{"1.5.0_06+", nullptr, 11, 6,
                                   "https://www.java.com/en/download/download_the_latest.jsp"},
                      DownloadCase{"1.4.2_08", nullptr, -1000, 7, nullptr},
                      DownloadCase{"1.4", nullptr, 11, 6, nullptr},
                      DownloadCase{"1.6.0_20+", nullptr, 11, 6, nullptr},
                      /* The application's own page, whatever the requirement. */
                      DownloadCase{"1.6.0_20+", ACME_PAGE, 11, 6, ACME_PAGE},
                      DownloadCase{"17", ACME_PAGE, 11, 6, ACME_PAGE},
                      DownloadCase{"1.4.2_08", ACME_PAGE, -1000, 6, ACME_PAGE},
                      DownloadCase{"17", ACME_PAGE, 11, 7, nullptr}));

TEST_F(VersionSelection, APageThatCannotBeOpenedIsReported) {
    settings.downloadUrl = keepText(ACME_PAGE);
    fake::state.webPagesOpen = false;
    fake::state.boxAnswers = {6};
    EXPECT_EQ(lookup("17"), 11);
    EXPECT_EQ(fake::boxCaptions(), (std::vector<std::string>{NOT_FOUND, "Error"}));
    EXPECT_NE(fake::state.boxes[1].text.find(ACME_PAGE), std::string::npos);
    EXPECT_NE(fake::state.standardError.find(ACME_PAGE), std::string::npos);
}

} // namespace
