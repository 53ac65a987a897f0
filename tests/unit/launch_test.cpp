#include "tests/unit/test_support.h"

#include "launcher/launch.h"
#include "platform/platform.h"

namespace {

class Launch : public LauncherTest {
protected:
    void SetUp() override {
        LauncherTest::SetUp();
        settings.javapath = keepText("C:\\jre6\\bin\\javaw.exe");
        settings.mainClass = keepText("com.acme.Main");
    }
};

TEST_F(Launch, PrintsBannerAndCommandLineThenStartsTheChild) {
    fake::state.exitCodes = {7};
    fake::state.clock = {100, 200};
    EXPECT_EQ(execApp(javaCommandOf(settings)), 7);
    const std::string line = "C:\\jre6\\bin\\javaw.exe com.acme.Main";
    EXPECT_EQ(fake::state.standardOutput,
              "#Version @(#)tarnWick Version: 1.3.1 NVQ Compiled: Mar 14 2019 at 11:37:00\n"
              "#Command line=\n" +
                  line + "\n");
    ASSERT_EQ(fake::state.launches.size(), 1u);
    EXPECT_EQ(fake::state.launches[0].commandLine, line);
    EXPECT_EQ(fake::state.launches[0].creationFlags, platform::CREATE_NO_WINDOW_FLAG);
    EXPECT_FALSE(fake::state.launches[0].hasDirectory);
    EXPECT_FALSE(fake::state.launches[0].hasTitle);
    EXPECT_EQ(fake::state.liveChildren, 0) << "handles are released";
    EXPECT_EQ(fake::state.files.count(OUTPUT_FILE_NAME), 0u);
}

TEST_F(Launch, NoRuntimeMeansTwoAndNothingElse) {
    settings.javapath = nullptr;
    settings._createOutput = 1;
    settings._quietMode = 1;
    EXPECT_EQ(runApplication(javaCommandOf(settings)), 2);
    EXPECT_TRUE(fake::state.launches.empty());
    EXPECT_TRUE(fake::state.standardOutput.empty());
    EXPECT_EQ(fake::state.files.count(OUTPUT_FILE_NAME), 0u);
    EXPECT_EQ(fake::boxCaptions(), std::vector<std::string>{"Error!"}); /* from the lookup */
}

TEST_F(Launch, RegistryIsAskedOnceAndItsPathKept) {
    settings.javapath = nullptr;
    installRuntime();
    fake::state.exitCodes = {999, 0};
    fake::state.childRuns = [](const std::string &) { fake::state.registry.clear(); };
    EXPECT_EQ(runApplication(javaCommandOf(settings)), 0);
    ASSERT_EQ(fake::state.launches.size(), 2u);
    EXPECT_EQ(fake::state.launches[1].commandLine.substr(0, 22), "C:\\jre6\\bin\\javaw.exe ");
    EXPECT_EQ(fake::state.openKeys, 0);
}

TEST_F(Launch, OutputFileHoldsTheLatestLaunch) {
    settings._createOutput = 1;
    execApp(javaCommandOf(settings));
    appendToList(LIST_ARGS, keepText("second"));
    execApp(javaCommandOf(settings));
    EXPECT_EQ(fake::state.files[OUTPUT_FILE_NAME],
              "#Version @(#)tarnWick Version: 1.3.1 NVQ Compiled: Mar 14 2019 at 11:37:00\n"
              "#Command line=\n"
              "C:\\jre6\\bin\\javaw.exe com.acme.Main second \n");
}

TEST_F(Launch, OutputFileThatCannotBeCreatedDoesNotStopTheLaunch) {
    settings._createOutput = 1;
    fake::state.unopenableFiles[OUTPUT_FILE_NAME] = EACCES;
    EXPECT_EQ(execApp(javaCommandOf(settings)), 0);
    EXPECT_EQ(fake::state.launches.size(), 1u);
    EXPECT_TRUE(fake::state.boxes.empty());
    EXPECT_EQ(fake::state.standardError.find("Cannot write tarnwick.out: "), 0u)
        << fake::state.standardError;
}

struct ConsoleCase {
    const char *name;
    int showConsole, debug;
    const char *javapath, *title;
    unsigned long flags;
    int consoles;
    std::vector<std::string> titlesSet;
    bool titleHanded;
};

class Console : public Launch, public ::testing::WithParamInterface<ConsoleCase> {};

TEST_P(Console, FollowsShowConsoleDebugAndTheExecutable) {
    const ConsoleCase &c = GetParam();
    settings._showConsole = c.showConsole;
    settings._debug = c.debug;
    settings.javapath = keepText(c.javapath);
    if (c.title) settings.consoleTitle = keepText(c.title);
    execApp(javaCommandOf(settings));
    ASSERT_EQ(fake::state.launches.size(), 1u) << c.name;
    EXPECT_EQ(fake::state.launches[0].creationFlags, c.flags) << c.name;
    EXPECT_EQ(fake::state.consolesAllocated, c.consoles) << c.name;
    EXPECT_EQ(fake::state.consoleTitles, c.titlesSet) << c.name;
    EXPECT_EQ(fake::state.launches[0].hasTitle, c.titleHanded) << c.name;
    /* Only a title to set waits for the child's window. */
    EXPECT_EQ(fake::state.inputIdleWaits, c.titlesSet.empty() ? 0 : 1) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Console,
    ::testing::Values(
        ConsoleCase{"hidden",
                    0,
                    0,
                    "C:\\j\\bin\\java.exe",
                    "T",
                    platform::CREATE_NO_WINDOW_FLAG,
                    0,
                    {},
                    false},
        ConsoleCase{"own console", 1, 0, "C:\\j\\bin\\java.exe", "T", 0, 1, {"T"}, true},
        ConsoleCase{"empty title", 1, 0, "C:\\j\\bin\\java.exe", "", 0, 1, {}, true},
        ConsoleCase{"javaw gets none", 1, 0, "C:\\j\\bin\\javaw.exe", "T", 0, 0, {"T"}, true},
        ConsoleCase{"debug gets none", 1, 1, "C:\\j\\bin\\java.exe", nullptr, 0, 0, {}, false}));

TEST_F(Launch, WorkingDirectoryIsTheChildsStartingDirectory) {
    settings.workingDir = keepText("D:\\data");
    execApp(javaCommandOf(settings));
    ASSERT_TRUE(fake::state.launches[0].hasDirectory);
    EXPECT_EQ(fake::state.launches[0].directory, "D:\\data");

    /* An expanded folder with a blank comes quoted; the system gets the
    ** folder, and a failure names it. */
    fake::reset();
    settings.javapath = keepText("java");
    settings.workingDir = keepText("\"D:/my data\"");
    fake::state.startFails = true;
    fake::state.startError = 267;
    settings._debug = 1;
    execApp(javaCommandOf(settings));
    EXPECT_EQ(fake::state.launches[0].directory, "D:/my data");
    EXPECT_EQ(fake::state.boxes[1].text, "\"D:/my data\""); /* the debug box shows the setting */
    EXPECT_NE(fake::state.standardError.find("Cannot start java in D:/my data: error 267"),
              std::string::npos);
}

struct EndCase {
    const char *name;
    int exitCode;
    long long seconds;
    const char *logFile;
    const char *appname;
    int quiet;
    int answer;
    std::vector<std::string> captions;
    const char *text; /* of the one box, when there is one */
    bool opensLog;
};

class AbnormalEnd : public Launch, public ::testing::WithParamInterface<EndCase> {};

TEST_P(AbnormalEnd, IsReportedByLogFileAndDuration) {
    const EndCase &c = GetParam();
    fake::state.exitCodes = {c.exitCode};
    fake::state.clock = {1000, 1000 + c.seconds};
    fake::state.boxAnswers = {c.answer};
    if (c.logFile) settings._logFile = keepText(c.logFile);
    if (c.appname) settings.appname = keepText(c.appname);
    settings._quietMode = c.quiet;
    EXPECT_EQ(execApp(javaCommandOf(settings)), c.exitCode) << c.name;
    EXPECT_EQ(fake::boxCaptions(), c.captions) << c.name;
    if (c.text && !fake::state.boxes.empty()) {
        EXPECT_EQ(fake::state.boxes[0].text, c.text) << c.name;
    }
    EXPECT_EQ(fake::state.shellOpens.size(), c.opensLog ? 1u : 0u) << c.name;
}

const char *const UNEXPECTED_DEMO =
    "Demo has closed in an unexpected way. Would you like to view the log file?\n\n"
    "Log file location:C:/logs/app.log\n\nJava returned the following error code: 1";

INSTANTIATE_TEST_SUITE_P(
    Cases, AbnormalEnd,
    ::testing::Values(
        EndCase{"clean end", 0, 0, "C:/l.log", nullptr, 0, 6, {}, nullptr, false},
        EndCase{"relaunch asks nothing", 999, 0, "C:/l.log", nullptr, 0, 6, {}, nullptr, false},
        EndCase{
            "quick failure",
            1,
            2,
            nullptr,
            nullptr,
            0,
            1,
            {"Error"},
            "Error launching Class com.acme.Main\n with Java C:\\jre6\\bin\\javaw.exe.\nError=1",
            false},
        EndCase{"slow failure", 1, 3, nullptr, nullptr, 0, 1, {}, nullptr, false},
        EndCase{"quiet quick failure", 1, 0, nullptr, nullptr, 1, 1, {}, nullptr, false},
        EndCase{"log offered, yes",
                1,
                60,
                "C:/logs/app.log",
                "Demo",
                0,
                6,
                {"Unexpected Close"},
                UNEXPECTED_DEMO,
                true},
        EndCase{"log offered, no",
                1,
                0,
                "C:/logs/app.log",
                "Demo",
                0,
                7,
                {"Unexpected Close"},
                UNEXPECTED_DEMO,
                false},
        EndCase{"empty appname",
                -5,
                0,
                "x.log",
                "",
                0,
                7,
                {"Unexpected Close"},
                "Application has closed in an unexpected way. Would you like to view the log "
                "file?\n\nLog file location:x.log\n\nJava returned the following error code: -5",
                false},
        EndCase{"empty log file is none", 1, 0, "", nullptr, 0, 1, {"Error"}, nullptr, false},
        EndCase{"quiet with log", 1, 0, "x.log", nullptr, 1, 6, {}, nullptr, false}));

TEST_F(Launch, AnEndAskedForBySignalIsNotReported) {
    fake::state.endRequestedBySignal = true;
    for (const char *logFile : {static_cast<const char *>(nullptr), "C:/l.log"}) {
        settings._logFile = logFile ? keepText(logFile) : nullptr;
        fake::state.exitCodes = {143};
        EXPECT_EQ(execApp(javaCommandOf(settings)), 143);
        EXPECT_TRUE(fake::state.boxes.empty()) << (logFile ? logFile : "no log file");
    }
}

TEST_F(Launch, ToolModeReportsNoEndAndStartsInTheCallersFolderUnlessWorkingDirSaysOtherwise) {
    settings.toolMode = true;
    settings.startDir = keepText("D:\\caller");
    for (const char *workingDir : {static_cast<const char *>(nullptr), "\"E:/my data\""}) {
        settings.workingDir = workingDir ? keepText(workingDir) : nullptr;
        settings._logFile = keepText("C:/l.log");
        fake::state.exitCodes = {1};
        EXPECT_EQ(execApp(javaCommandOf(settings)), 1);
        EXPECT_EQ(fake::state.launches.back().directory, workingDir ? "E:/my data" : "D:\\caller");
    }
    EXPECT_TRUE(fake::state.boxes.empty());
}

TEST_F(Launch, LongMessagesAreCutToTheirBuffer) {
    settings._logFile = keepText(std::string(3000, 'L'));
    fake::state.exitCodes = {1};
    execApp(javaCommandOf(settings));
    ASSERT_EQ(fake::state.boxes.size(), 1u);
    EXPECT_EQ(fake::state.boxes[0].text.size(), 1023u);
}

TEST_F(Launch, UnsetMainClassShowsAnEmptyText) {
    settings.mainClass = nullptr;
    fake::state.exitCodes = {1};
    execApp(javaCommandOf(settings));
    ASSERT_EQ(fake::state.boxes.size(), 1u);
    EXPECT_EQ(fake::state.boxes[0].text,
              "Error launching Class \n with Java C:\\jre6\\bin\\javaw.exe.\nError=1");
}

struct StartFailureCase {
    unsigned long error;
    int expected;
};

class StartFailure : public Launch, public ::testing::WithParamInterface<StartFailureCase> {};

TEST_P(StartFailure, ReturnsTheSystemErrorButNeverSuccessOrRelaunch) {
    fake::state.startFails = true;
    fake::state.startError = GetParam().error;
    settings._debug = 1;
    EXPECT_EQ(execApp(javaCommandOf(settings)), GetParam().expected);
    EXPECT_EQ(fake::state.liveChildren, 0);
    ASSERT_FALSE(fake::state.boxes.empty());
    EXPECT_EQ(fake::state.boxes.back().caption, "Error");
    EXPECT_NE(fake::state.boxes.back().text.find("Error=" + std::to_string(GetParam().expected)),
              std::string::npos);
    EXPECT_NE(fake::state.standardError.find("error " + std::to_string(GetParam().error)),
              std::string::npos);
    EXPECT_NE(fake::state.standardOutput.find("CreateProcess ret 0, exitCode=" +
                                              std::to_string(GetParam().expected)),
              std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Errors, StartFailure,
                         ::testing::Values(StartFailureCase{2, 2}, StartFailureCase{5, 5},
                                           StartFailureCase{0, 1}, StartFailureCase{999, 1}));

TEST_F(Launch, MissingRuntimeExecutableEndsTheRelaunchLoop) {
    installRuntime();
    fake::state.startFails = true;
    fake::state.startError = 2;
    EXPECT_EQ(runLauncher({"tool.exe", "-passExitCode", "-q"}), 2);
    EXPECT_EQ(fake::state.launches.size(), 1u);
    EXPECT_NE(fake::state.standardError.find("The system cannot find the file specified"),
              std::string::npos);
}

TEST_F(Launch, DebugTrailOfOneLaunch) {
    settings._debug = 1;
    settings.workingDir = keepText("D:\\w");
    settings._logFile = keepText("C:/l.log");
    execApp(javaCommandOf(settings));
    std::vector<std::string> expected = {"Javapath is", "Starting dir", "LogFile",
                                         "Command Line is", "Show Console"};
    EXPECT_EQ(fake::boxCaptions(), expected);
    EXPECT_EQ(fake::state.boxes[1].text, "D:\\w");
    EXPECT_EQ(fake::state.boxes[4].text, "false");
}

} // namespace
