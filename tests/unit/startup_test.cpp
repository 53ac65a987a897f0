#include "tests/unit/test_support.h"

#include "config/config.h"
#include "platform/command_line_split.h"

#include <cerrno>
#include <cstring>
#include <map>

const char *const RUNTIME_KEY = "SOFTWARE\\JavaSoft\\Java Runtime Environment";

namespace {

struct ScanCase {
    std::vector<std::string> args;
    int debug, showConsole, quiet, output;
    bool passExitCode;
    const char *configFile; /* null: unset */
    std::vector<std::string> vmparams;
    std::vector<std::string> appArgs;
};

class OptionScan : public LauncherTest, public ::testing::WithParamInterface<ScanCase> {};

TEST_P(OptionScan, SetsExactlyTheSettingsOfEachOption) {
    const ScanCase &c = GetParam();
    installRuntime();
    std::vector<std::string> argv = {"tool.exe"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    runLauncher(argv);

    EXPECT_EQ(settings._debug, c.debug);
    EXPECT_EQ(fake::state.debugTrail, c.debug != 0) << "the platform is told after the quiet rule";
    EXPECT_EQ(settings._showConsole, c.showConsole);
    EXPECT_EQ(settings._quietMode, c.quiet);
    EXPECT_EQ(settings._createOutput, c.output);
    EXPECT_EQ(settings._passExitCode, c.passExitCode);
    if (c.configFile == nullptr)
        EXPECT_EQ(settings._configFile, nullptr);
    else
        EXPECT_STREQ(settings._configFile, c.configFile);
    ASSERT_EQ(settings.vmparamsCnt, static_cast<int>(c.vmparams.size()));
    for (int i = 0; i < settings.vmparamsCnt; ++i) EXPECT_EQ(settings.vmparams[i], c.vmparams[i]);
    ASSERT_EQ(settings.argsCnt, static_cast<int>(c.appArgs.size()));
    for (int i = 0; i < settings.argsCnt; ++i) EXPECT_EQ(settings.args[i], c.appArgs[i]);
}

INSTANTIATE_TEST_SUITE_P(
    Options, OptionScan,
    ::testing::Values(
        ScanCase{{}, 0, 0, 0, 0, false, nullptr, {}, {}},
        ScanCase{{"-d"}, 1, 0, 0, 0, false, nullptr, {}, {}},
        ScanCase{{"-debug", "-d1"}, 0, 0, 0, 0, false, nullptr, {}, {"-debug", "-d1"}},
        ScanCase{{"-D", "-Dapp.mode=test", "-DLOGFILE=x"},
                 0,
                 0,
                 0,
                 0,
                 false,
                 nullptr,
                 {"-D", "-Dapp.mode=test", "-DLOGFILE=x"},
                 {}},
        ScanCase{{"-config.txt"}, 0, 1, 0, 0, false, nullptr, {}, {}},
        ScanCase{{"-co"}, 0, 0, 0, 0, false, "o", {}, {}},
        ScanCase{{"-cmy.config"}, 0, 0, 0, 0, false, "my.config", {}, {}},
        ScanCase{{"-c", "my.config"}, 0, 0, 0, 0, false, "", {}, {"my.config"}},
        ScanCase{{"-ca", "-cb"}, 0, 0, 0, 0, false, "b", {}, {}},
        ScanCase{{"-quiet", "-output", "-passExitCodeX"}, 0, 0, 1, 1, true, nullptr, {}, {}},
        ScanCase{{"-pass", "-s", "-", "plain"},
                 0,
                 0,
                 0,
                 0,
                 false,
                 nullptr,
                 {},
                 {"-pass", "-s", "-", "plain"}},
        ScanCase{{"-d", "-q"}, 0, 0, 1, 0, false, nullptr, {}, {}},
        ScanCase{{"-q", "-d"}, 0, 0, 1, 0, false, nullptr, {}, {}},
        ScanCase{{"a", "-Dx", "a", "-Dx"}, 0, 0, 0, 0, false, nullptr, {"-Dx", "-Dx"}, {"a", "a"}},
        /* One argument of the user's stays one for Java. */
        ScanCase{{"-Dtitle=My App", "-Dq=say \"hi\"", "-Dt=a\tb", "-Dw=C:\\"},
                 0,
                 0,
                 0,
                 0,
                 false,
                 nullptr,
                 {"\"-Dtitle=My App\"", "\"-Dq=say \\\"hi\\\"\"", "\"-Dt=a\tb\"", "-Dw=C:\\"},
                 {}}));

TEST_F(LauncherTest, QuietWinsOverDebugSoNothingOfTheTrailShows) {
    installRuntime();
    for (auto order : {std::vector<std::string>{"C:\\a\\t.exe", "-d", "-q"},
                       std::vector<std::string>{"C:\\a\\t.exe", "-q", "-d"}}) {
        fake::reset();
        installRuntime();
        EXPECT_EQ(runLauncher(order), 0);
        EXPECT_TRUE(fake::state.boxes.empty());
        EXPECT_EQ(fake::state.standardOutput.find("vmparam"), std::string::npos);
        EXPECT_EQ(fake::state.standardOutput.find("CreateProcess ret"), std::string::npos);
        ASSERT_EQ(fake::state.launches.size(), 1u);
    }
}

TEST_F(LauncherTest, DebugTrailOfTheStartInOrder) {
    installRuntime();
    fake::state.osMajor = 6;
    runLauncher({"C:\\apps\\tool.exe", "-d", "-passExitCode", "-Dx=1"});
    std::vector<std::string> expected = {"Running on Vista",
                                         "Version",
                                         "LpCmdLine",
                                         "passExitCode",
                                         "CWD",
                                         "Reading App Config file",
                                         "MainClass is",
                                         "Adding double quotes around",
                                         "Javapath is",
                                         "Starting dir",
                                         "Command Line is",
                                         "Show Console",
                                         "Calling Post Quit Message With Code"};
    EXPECT_EQ(fake::boxCaptions(), expected);
    EXPECT_EQ(fake::state.boxes[0].text, "1.3.1");
    EXPECT_EQ(fake::state.boxes[2].text, "[C:\\apps\\tool.exe]");
    EXPECT_EQ(fake::state.boxes[3].text, "true");
    EXPECT_EQ(fake::state.boxes[4].text, "C:\\apps");
    EXPECT_EQ(fake::state.boxes[6].text, "");
    EXPECT_EQ(fake::state.boxes.back().text, "0");
    EXPECT_NE(fake::state.standardOutput.find("vmparam 0=-Dx=1\n"), std::string::npos);
    EXPECT_NE(fake::state.standardOutput.find("CreateProcess ret 1, exitCode=0\n"),
              std::string::npos);
}

TEST_F(LauncherTest, NoVistaBoxBeforeVista) {
    installRuntime();
    runLauncher({"tool.exe", "-d"});
    ASSERT_FALSE(fake::state.boxes.empty());
    EXPECT_EQ(fake::state.boxes[0].caption, "Version");
    EXPECT_EQ(settings._isVista, 0);
}

struct DirectoryCase {
    const char *programPath;
    const char *moduleFileName; /* the launcher's own file; "": cannot be named */
    const char *expectedCwd;
    bool changesDirectory;
};

class LauncherDirectory : public LauncherTest,
                          public ::testing::WithParamInterface<DirectoryCase> {};

TEST_P(LauncherDirectory, IsTheLaunchersOwnFolderHoweverItWasStarted) {
    const DirectoryCase &c = GetParam();
    installRuntime();
    fake::state.moduleFileName = c.moduleFileName;
    runLauncher({c.programPath});
    EXPECT_STREQ(settings.cwd, c.expectedCwd);
    if (c.changesDirectory) {
        ASSERT_EQ(fake::state.changedDirectories.size(), 1u);
        EXPECT_EQ(fake::state.changedDirectories[0], c.expectedCwd);
    } else {
        EXPECT_TRUE(fake::state.changedDirectories.empty());
    }
}

const char *const OWN_FILE = "C:\\apps\\tool.exe";

INSTANTIATE_TEST_SUITE_P(
    Paths, LauncherDirectory,
    ::testing::Values(DirectoryCase{"C:\\apps\\tool.exe", OWN_FILE, "C:\\apps", true},
                      DirectoryCase{"C:\\tool.exe", "C:\\tool.exe", "C:", true},
                      /* The file Windows loaded decides, whatever the command
                      ** line's first word says: C:\p\My for an unquoted
                      ** C:\p\My Apps\Demo.exe. */
                      DirectoryCase{"E:\\link\\tool.exe", OWN_FILE, "C:\\apps", true},
                      DirectoryCase{"C:\\p\\My", "C:\\p\\My Apps\\Demo.exe", "C:\\p\\My Apps",
                                    true},
                      DirectoryCase{"tool.exe", OWN_FILE, "C:\\apps", true},
                      DirectoryCase{".\\tool.exe", OWN_FILE, "C:\\apps", true},
                      DirectoryCase{"C:tool.exe", OWN_FILE, "C:\\apps", true},
                      DirectoryCase{"C:/apps/tool.exe", OWN_FILE, "C:\\apps", true},
                      DirectoryCase{"t", OWN_FILE, "C:\\apps", true},
                      DirectoryCase{"", OWN_FILE, "C:\\apps", true},
                      DirectoryCase{"\\\\srv\\share\\t.exe", "", "\\\\srv\\share", true},
                      DirectoryCase{"t", "\\\\srv\\share\\app\\t.exe", "\\\\srv\\share\\app", true},
                      /* No share, or a device path: no folder of its own. */
                      DirectoryCase{"\\\\srv\\t.exe", "", "D:\\work", false},
                      DirectoryCase{"\\\\?\\C:\\t.exe", "", "D:\\work", false},
                      DirectoryCase{"\\\\.\\pipe\\t.exe", "", "D:\\work", false},
                      /* The module file cannot be named: argv[0] decides. */
                      DirectoryCase{"tool.exe", "", "D:\\work", false},
                      DirectoryCase{"C:/apps/tool.exe", "", "D:\\work", false}));

TEST_F(LauncherTest, DirectoriesThatDoNotFitAreRefusedNotCut) {
    std::string longPath = "C:\\" + std::string(2050, 'd') + "\\tool.exe";
    EXPECT_EQ(runLauncher({longPath}), 2);
    EXPECT_TRUE(fake::state.changedDirectories.empty());
    EXPECT_TRUE(fake::state.launches.empty());
    EXPECT_NE(fake::state.standardError.find("2047"), std::string::npos);

    fake::reset();
    fake::state.currentDirectoryFails = true;
    EXPECT_EQ(runLauncher({"tool.exe", "-q"}), 2);
    EXPECT_TRUE(fake::state.boxes.empty());
    EXPECT_TRUE(fake::state.launches.empty());
    EXPECT_NE(fake::state.standardError.find("current directory"), std::string::npos);

    /* 2047 characters still fit. */
    fake::reset();
    installRuntime();
    std::string fits = "C:\\" + std::string(2044, 'd');
    runLauncher({fits + "\\tool.exe"});
    EXPECT_EQ(settings.cwd, fits);
}

TEST_F(LauncherTest, SampleIsWrittenAtOnceAndLaterArgumentsIgnored) {
    installRuntime();
    EXPECT_EQ(runLauncher({"C:\\apps\\tool.exe", "-d", "-samplefoo", "-passExitCode", "x"}), 0);
    ASSERT_EQ(fake::state.files.count(SAMPLE_CONFIG_NAME), 1u);
    EXPECT_TRUE(fake::state.boxes.empty());
    EXPECT_TRUE(fake::state.launches.empty());
    EXPECT_TRUE(fake::state.changedDirectories.empty()); /* written where started */
    EXPECT_FALSE(settings._passExitCode);
    EXPECT_EQ(settings.argsCnt, 0);
}

TEST_F(LauncherTest, SampleThatCannotBeCreatedEndsWithOne) {
    fake::state.unopenableFiles[SAMPLE_CONFIG_NAME] = EACCES;
    EXPECT_EQ(runLauncher({"tool.exe", "-sample"}), 1);
    EXPECT_TRUE(fake::state.boxes.empty());
    EXPECT_EQ(fake::state.standardError,
              "Cannot write sample.config: " + std::string(std::strerror(EACCES)) + "\n");
}

TEST_F(LauncherTest, RelaunchesOnNineNineNineUntilAnotherCode) {
    installRuntime();
    fake::state.exitCodes = {999, 999, 0};
    EXPECT_EQ(runLauncher({"tool.exe", "-passExitCode"}), 0);
    EXPECT_EQ(fake::state.launches.size(), 3u);
    EXPECT_TRUE(fake::state.boxes.empty());
}

TEST_F(LauncherTest, AnEndAskedForBySignalIsNeverFollowedByARelaunch) {
    installRuntime();
    fake::state.exitCodes = {999, 0};
    fake::state.endRequestedBySignal = true;
    EXPECT_EQ(runLauncher({"tool.exe", "-passExitCode"}), 999);
    EXPECT_EQ(fake::state.launches.size(), 1u);
    EXPECT_TRUE(fake::state.boxes.empty());
}

struct ExitCodeCase {
    bool runtimeInstalled;
    int childCode;
    bool passExitCode;
    int expected;
};

class LauncherExitCode : public LauncherTest, public ::testing::WithParamInterface<ExitCodeCase> {};

TEST_P(LauncherExitCode, IsZeroUnlessPassedOn) {
    const ExitCodeCase &c = GetParam();
    if (c.runtimeInstalled) installRuntime();
    fake::state.exitCodes = {c.childCode};
    fake::state.clock = {0, 10}; /* a long run: no error box */
    std::vector<std::string> argv = {"tool.exe"};
    if (c.passExitCode) argv.push_back("-passExitCode");
    EXPECT_EQ(runLauncher(argv), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Codes, LauncherExitCode,
                         ::testing::Values(ExitCodeCase{true, 3, true, 3},
                                           ExitCodeCase{true, 3, false, 0},
                                           ExitCodeCase{true, -1073741819, true, -1073741819},
                                           ExitCodeCase{true, -1, true, -1},
                                           ExitCodeCase{false, 0, true, 2},
                                           ExitCodeCase{false, 0, false, 0}));

TEST_F(LauncherTest, ListsNeverGrowPastTheirCapacity) {
    struct Case {
        const char *prefix;
        int fits;
        const char *named;
    };
    /* The "-D" entries hold a blank: the message names the option as given. */
    for (Case c : {Case{"arg", ARGS_CAPACITY, "application arguments"},
                   Case{"-Dp=a b", VMPARAMS_CAPACITY, "JVM parameters"}}) {
        const std::string firstLeftOut =
            std::string("\"") + c.prefix + std::to_string(c.fits) + "\"";
        for (int extra : {0, 1}) {
            fake::reset();
            installRuntime();
            std::vector<std::string> argv = {"tool.exe"};
            for (int i = 0; i < c.fits + extra + 1; ++i)
                argv.push_back(c.prefix + std::to_string(i));
            if (extra == 0) {
                argv.pop_back();
                EXPECT_EQ(runLauncher(argv), 0) << c.prefix;
                EXPECT_EQ(fake::state.launches.size(), 1u);
                continue;
            }
            EXPECT_EQ(runLauncher(argv), 2) << c.prefix;
            EXPECT_TRUE(fake::state.launches.empty());
            ASSERT_EQ(fake::boxCaptions(), std::vector<std::string>{"Too Many Entries"});
            EXPECT_NE(fake::state.boxes[0].text.find(c.named), std::string::npos);
            EXPECT_NE(fake::state.boxes[0].text.find(firstLeftOut), std::string::npos)
                << fake::state.boxes[0].text;
            EXPECT_NE(fake::state.standardError.find(std::to_string(c.fits)), std::string::npos);

            /* Quiet, with -q after the entries that do not fit: no box, but
            ** standard error still says why. */
            fake::reset();
            argv.push_back("-q");
            EXPECT_EQ(runLauncher(argv), 2) << c.prefix;
            EXPECT_TRUE(fake::state.boxes.empty());
            EXPECT_NE(fake::state.standardError.find("Too many"), std::string::npos);
            EXPECT_NE(fake::state.standardError.find(firstLeftOut), std::string::npos);

            /* A -sample after them is still reached: the sample, and a
            ** normal end. */
            fake::reset();
            argv.back() = "-sample";
            EXPECT_EQ(runLauncher(argv), 0) << c.prefix;
            EXPECT_TRUE(fake::state.boxes.empty());
            EXPECT_EQ(fake::state.files.count("sample.config"), 1u);
        }
    }
}

TEST_F(LauncherTest, ConfigurationThatCannotBeOpenedEndsWithTwoBeforeAnyLaunch) {
    installRuntime();
    fake::state.unopenableFiles["C:\\apps\\tool.config"] = EACCES;
    EXPECT_EQ(runLauncher({"C:\\apps\\tool.exe", "-d", "-passExitCode"}), 2);
    EXPECT_TRUE(fake::state.launches.empty());
    std::vector<std::string> captions = fake::boxCaptions();
    ASSERT_FALSE(captions.empty());
    EXPECT_EQ(captions.back(), "LpCmdLine");
    EXPECT_EQ(fake::state.boxes.back().text, "[C:\\apps\\tool.exe]");
}

/* The launcher C:\apps\tool.exe started from D:\work, its own configuration
** C:\apps\tool.config holding `own` (none when null). */
struct ToolModeCase {
    const char *name;
    const char *own;
    std::map<std::string, std::string> otherFiles;
    std::vector<std::string> args;
    const char *options; /* TARNWICK_OPTIONS; null: unset */
    bool toolMode;
    std::string commandLine; /* of the one launch */
};

class ToolModeStart : public LauncherTest, public ::testing::WithParamInterface<ToolModeCase> {};

TEST_P(ToolModeStart, DecidesFromTheOwnConfigurationAloneAndThenScansNoArgument) {
    const ToolModeCase &c = GetParam();
    installRuntime();
    if (c.own != nullptr) fake::state.files["C:\\apps\\tool.config"] = c.own;
    for (const auto &file : c.otherFiles) fake::state.files[file.first] = file.second;
    if (c.options != nullptr) fake::state.environment["TARNWICK_OPTIONS"] = c.options;
    fake::state.exitCodes = {3};
    std::vector<std::string> argv = {"C:\\apps\\tool.exe"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    EXPECT_EQ(runLauncher(argv), c.toolMode ? 3 : 0) << c.name; /* the child ends with 3 */
    EXPECT_EQ(settings.toolMode, c.toolMode) << c.name;
    EXPECT_EQ(fake::state.files.count(SAMPLE_CONFIG_NAME), 0u) << c.name;
    ASSERT_EQ(fake::state.launches.size(), 1u) << c.name;
    EXPECT_EQ(fake::state.launches[0].commandLine, c.commandLine) << c.name;
    /* A tool starts in the caller's folder, and its quick failure is its
    ** own to report. */
    EXPECT_EQ(fake::state.launches[0].hasDirectory, c.toolMode) << c.name;
    if (c.toolMode) {
        EXPECT_EQ(fake::state.launches[0].directory, "D:\\work") << c.name;
        EXPECT_TRUE(fake::state.boxes.empty()) << c.name;
    }
}

const char *const JAVAW = "C:\\jre6\\bin\\javaw.exe ";

INSTANTIATE_TEST_SUITE_P(
    Cases, ToolModeStart,
    ::testing::Values(ToolModeCase{"any letter case, after a byte-order mark",
                                   "\xEF\xBB\xBFtoolMode On\n",
                                   {},
                                   {"-q"},
                                   nullptr,
                                   true,
                                   std::string(JAVAW) + " -q "},
                      ToolModeCase{"the last line decides",
                                   "toolMode on\ntoolMode off\n",
                                   {},
                                   {"-q", "a"},
                                   nullptr,
                                   false,
                                   std::string(JAVAW) + " a "},
                      ToolModeCase{"not from an include",
                                   "include C:\\apps\\more.config\n",
                                   {{"C:\\apps\\more.config", "toolMode on\n"}},
                                   {"-q", "a"},
                                   nullptr,
                                   false,
                                   std::string(JAVAW) + " a "},
                      ToolModeCase{"not from a -c file",
                                   nullptr,
                                   {{"C:\\x.config", "toolMode on\nmainclass X\n"}},
                                   {"-cC:\\x.config", "a"},
                                   nullptr,
                                   false,
                                   std::string(JAVAW) + "X a "},
                      /* The options of the variable, split as a command line is; a word
        ** that is no option is an application argument, after the command
        ** line's and before the configuration's. */
                      ToolModeCase{"options from the environment",
                                   "toolMode on\n",
                                   {{"C:\\x.config", "mainclass X\nargument cfg\n"}},
                                   {"-q", "-sample"},
                                   "-q \"-Dt=a b\" -cC:\\x.config word",
                                   true,
                                   std::string(JAVAW) + "\"-Dt=a b\" X -q -sample word cfg "},
                      ToolModeCase{"the variable means nothing outside tool mode",
                                   nullptr,
                                   {},
                                   {"a"},
                                   "-passExitCode b",
                                   false,
                                   std::string(JAVAW) + " a "}));

TEST_F(LauncherTest, InToolModeRelativeClassPathEntriesStartFromTheLaunchersFolder) {
    /* An entry quoted by an expansion, an empty one, a launcher in a drive's
    ** root, a quoted absolute entry; the last column as the runtime gets it. */
    for (auto c :
         {std::vector<const char *>{"C:\\apps\\tool", "\"my dir/x\"", "C:\\apps\\my dir/x"},
          std::vector<const char *>{"C:\\apps\\tool", "", "C:\\apps"},
          std::vector<const char *>{"C:\\tool", "lib/*", "C:\\lib/*"},
          std::vector<const char *>{"C:\\apps\\tool", "\"D:\\my dir/x\"", "D:\\my dir/x"}}) {
        fake::reset();
        installRuntime();
        fake::state.files[std::string(c[0]) + ".config"] =
            std::string("toolMode on\naddpath ") + c[1] + "\n";
        runLauncher({std::string(c[0]) + ".exe"});
        ASSERT_EQ(fake::state.launches.size(), 1u) << c[1];
        std::vector<std::string> words =
            splitWindowsCommandLine(fake::state.launches[0].commandLine.c_str());
        ASSERT_EQ(words.size(), 3u) << c[1];
        EXPECT_EQ(words[2], c[2]);
    }
}

/* A start folder that cannot be read leaves no stale value; in tool mode,
** where the application would start there, nothing starts. */
TEST_F(LauncherTest, AStartFolderThatCannotBeRead) {
    for (const char *mode : {"", "toolMode on\n"}) {
        fake::reset();
        installRuntime();
        fake::state.environment["TARNWICK_START_DIR"] = "stale";
        fake::state.currentDirectoryFails = true;
        fake::state.files["C:\\apps\\tool.config"] = mode;
        EXPECT_EQ(runLauncher({"C:\\apps\\tool.exe", "-q"}), *mode ? 2 : 0) << mode;
        EXPECT_EQ(fake::state.launches.size(), *mode ? 0u : 1u) << mode;
        if (*mode == '\0') {
            EXPECT_EQ(fake::state.environment.count("TARNWICK_START_DIR"), 0u);
        }
    }
}

} // namespace
