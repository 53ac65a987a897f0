#include "tests/unit/test_support.h"

#include <cerrno>

#include "config/config.h"

namespace {

class Reader : public LauncherTest {
protected:
    /* Reads content as the file "app.config"; returns the exit code when
    ** the reader ended the process, else -1000 - its result. */
    int read(const std::string &content) {
        fake::state.files["app.config"] = content;
        int result = 0;
        int code = fake::exitCodeOf([&] { result = readAppConfig("app.config"); });
        return code == -1000 ? -1000 - result : code;
    }
    std::vector<std::string> list(char **entries, int count) {
        return std::vector<std::string>(entries, entries + count);
    }
};

using Strings = std::vector<std::string>;

TEST_F(Reader, KeywordsMatchAsPrefixesInTheirOrder) {
    fake::state.environment["APPS"] = "C:\\Program Files\\Demo";
    EXPECT_EQ(read("vmparams -Xmx512m\n"
                   "mainClass com.wrong.Main\n"
                   "mainclass com.acme.Main\n"
                   "addjars lib\n"
                   "addjarsx more\n"
                   "addjar lib/x.jar\n"
                   "addpath $APPS/classes\n"
                   "javapath: C:\\jdk\\bin\\java.exe\n"
                   "arguments $HOME\n"
                   "appname  Demo \n"
                   "vmparam\t-Xss1m\n"
                   " vmparam -Xindented\n"
                   "# vmparam -Xcomment\n"
                   "/ vmparam -Xslash\n"
                   "unknown keyword\n"
                   "vmparam \n"
                   "fastStart On\n"
                   "argument last line without line feed"),
              -1000);
    EXPECT_EQ(list(settings.vmparams, settings.vmparamsCnt), (Strings{"-Xmx512m", ""}));
    EXPECT_STREQ(settings.mainClass, "com.acme.Main");
    EXPECT_EQ(list(settings.vmpaths, settings.vmpathsCnt),
              (Strings{"lib/*", "more/*", "lib/x.jar", "\"C:/Program Files/Demo/classes\""}));
    EXPECT_STREQ(settings.javapath, "C:\\jdk\\bin\\java.exe");
    EXPECT_EQ(list(settings.args, settings.argsCnt),
              (Strings{"$HOME", "last line without line feed"}));
    EXPECT_STREQ(settings.appname, " Demo ");
    EXPECT_TRUE(settings.fastStart);
}

struct FlagCase {
    const char *line;
    char *LauncherSettings::*setting;
    const char *expected;
};

class QuotingFlags : public Reader, public ::testing::WithParamInterface<FlagCase> {};

TEST_P(QuotingFlags, FollowTheKeyword) {
    fake::state.environment["APPS"] = "C:\\Program Files\\Demo";
    fake::state.files["C:/Program Files/Demo/x"] = "";
    read(GetParam().line);
    EXPECT_STREQ(settings.*(GetParam().setting), GetParam().expected) << GetParam().line;
}

INSTANTIATE_TEST_SUITE_P(
    Keywords, QuotingFlags,
    ::testing::Values(
        FlagCase{"javapath $APPS/j", &LauncherSettings::javapath, "\"C:/Program Files/Demo/j\""},
        FlagCase{"workingDir $APPS", &LauncherSettings::workingDir, "\"C:/Program Files/Demo\""},
        FlagCase{"consoleTitle $APPS", &LauncherSettings::consoleTitle,
                 "\"C:/Program Files/Demo\""},
        FlagCase{"outputFile $APPS", &LauncherSettings::outputFile, "\"C:/Program Files/Demo\""},
        FlagCase{"mainclass $APPS", &LauncherSettings::mainClass, "C:/Program Files/Demo"},
        FlagCase{"appname $APPS", &LauncherSettings::appname, "C:/Program Files/Demo"},
        FlagCase{"appname x=$APPS", &LauncherSettings::appname, "x=\"C:/Program Files/Demo\""}));

TEST_F(Reader, LogFileComesOnlyFromVmparamLines) {
    fake::state.environment["APPS"] = "C:\\Program Files\\Demo";
    read("vmparam -DLOGFILE=C:/logs/app.log\n");
    EXPECT_STREQ(settings._logFile, "C:/logs/app.log");
    read("vmparam -DLOGFILE=$APPS/app.log\n");
    EXPECT_STREQ(settings._logFile, "\"C:/Program Files/Demo/app.log\"");
    read("vmparam -DLOGFILE\n");
    EXPECT_STREQ(settings._logFile, "");
    EXPECT_EQ(settings.vmparamsCnt, 3);
    EXPECT_STREQ(settings.vmparams[2], "-DLOGFILE");
}

TEST_F(Reader, ShowConsoleOnlyTurnsOn) {
    for (const char *value : {"True", "false", "yes"}) {
        settings._showConsole = 0;
        read(std::string("showConsole ") + value + "\n");
        EXPECT_EQ(settings._showConsole, 0) << value;
    }
    for (const char *value : {"TRUE", "trueish", "true"}) {
        settings._showConsole = 0;
        read(std::string("showConsole ") + value + "\n");
        EXPECT_EQ(settings._showConsole, 1) << value;
    }
    read("showConsole false\n");
    EXPECT_EQ(settings._showConsole, 1);
}

TEST_F(Reader, DownloadUrlKeepsOnlyWebAddressesAsWritten) {
    struct {
        const char *value;
        const char *kept; /* null: refused */
    } cases[] = {
        {"https://acme.example/get-java", "https://acme.example/get-java"},
        {"HTTP://acme.example/$JAVA?v=17", "HTTP://acme.example/$JAVA?v=17"},
        {"file:///C:/Windows/System32/calc.exe", nullptr},
        {"C:\\Windows\\System32\\calc.exe", nullptr},
        {"javascript:alert(1)", nullptr},
        {"https://", nullptr},
        {"https:///path", nullptr},
        {"https://acme.example/a b", nullptr},
        {"https://acme.example/\"x", nullptr},
        {"https://acme.example/\x7f", nullptr},
        {"", nullptr},
        /* Blanks at the end, which no editor shows, go; one before does not. */
        {"https://x.example \t ", "https://x.example"},
        {" https://x.example", nullptr},
    };
    for (const auto &c : cases) {
        fake::reset();
        read(std::string("downloadurl ") + c.value + "\n");
        if (c.kept != nullptr) {
            EXPECT_STREQ(settings.downloadUrl, c.kept);
            EXPECT_TRUE(fake::state.boxes.empty()) << c.value;
            continue;
        }
        EXPECT_EQ(settings.downloadUrl, nullptr) << c.value;
        EXPECT_NE(fake::state.standardError.find("only http:// and https://"), std::string::npos)
            << c.value;
        EXPECT_EQ(fake::boxCaptions(), Strings{"Error Reading Config File"}) << c.value;
    }
}

/* vmoptions $NAME: the variable's value split as a command line's
** arguments, each word one JVM parameter written as one word, in line order
** with the vmparam lines; nothing from an unset or empty variable, and the
** value never expanded further.  Any other form is reported. */
TEST_F(Reader, VmoptionsTakeJvmParametersFromAVariable) {
    const char *const UNSET = nullptr;
    struct {
        const char *line;
        const char *value; /* of ANT_OPTS */
        Strings parameters;
        bool reported;
    } cases[] = {
        {"vmoptions $ANT_OPTS", "-Da=1 -Db=2", {"-Da=1", "-Db=2"}, false},
        {"vmoptions $ANT_OPTS", UNSET, {}, false},
        {"vmoptions $ANT_OPTS", "", {}, false},
        {"vmoptions $ANT_OPTS \t",
         " -Dx=\"two words\"\t-Xmx64m ",
         {"\"-Dx=two words\"", "-Xmx64m"},
         false},
        {"vmoptions $ANT_OPTS",
         "-Dp=C:\\dir\\ -Dq=\\\"q\\\" $OTHER",
         {"-Dp=C:\\dir\\", "\"-Dq=\\\"q\\\"\"", "$OTHER"},
         false},
        {"vmoptions ANT_OPTS", "-Da=1", {}, true},
        {"vmoptions $ANT_OPTS $JAVA_OPTS", "-Da=1", {}, true},
        {"vmoptions $", "-Da=1", {}, true},
        /* Prefixes keep their meaning: a vmparams line is a vmparam line. */
        {"vmparams $ANT_OPTS", "-Da=1 -Db=2", {"\"-Da=1 -Db=2\""}, false},
    };
    for (const auto &c : cases) {
        fake::reset();
        fake::state.environment["OTHER"] = "x";
        if (c.value != UNSET) fake::state.environment["ANT_OPTS"] = c.value;
        read(std::string("vmparam -Dfirst\n") + c.line + "\nvmparam -Dlast\n");
        Strings expected = {"-Dfirst"};
        expected.insert(expected.end(), c.parameters.begin(), c.parameters.end());
        expected.push_back("-Dlast");
        EXPECT_EQ(list(settings.vmparams, settings.vmparamsCnt), expected) << c.line;
        EXPECT_EQ(fake::boxCaptions(),
                  c.reported ? Strings{"Error Reading Config File"} : Strings{})
            << c.line;
    }
}

TEST_F(Reader, SetenvIsSeenByLaterLinesAndTheChild) {
    fake::state.environment["APP"] = "C:\\apps";
    settings._debug = 1;
    read("setenv JAVA_OPTS\n"
         "setenv A=b=c\n"
         "setenv APP_HOME=$APP\\demo\n"
         "vmparam -Dhome=$APP_HOME\n");
    EXPECT_EQ(fake::state.environment["A"], "b=c");
    EXPECT_EQ(fake::state.environment.count("JAVA_OPTS"), 0u);
    EXPECT_EQ(fake::state.environment["APP_HOME"], "C:/apps/demo");
    EXPECT_STREQ(settings.vmparams[0], "-Dhome=C:/apps/demo");
    bool shown = false;
    for (const fake::Box &box : fake::state.boxes)
        if (box.caption == "APP_HOME" && box.text == "$APP\\demo") shown = true;
    EXPECT_TRUE(shown);
}

TEST_F(Reader, IncludesApplyAtTheirPlace) {
    fake::state.files["inner.config"] = "vmparam -Dinner\n";
    read("vmparam -Dbefore\ninclude inner.config\ninclude missing.config\nvmparam -Dafter\n");
    EXPECT_EQ(list(settings.vmparams, settings.vmparamsCnt),
              (Strings{"-Dbefore", "-Dinner", "-Dafter"}));
    EXPECT_TRUE(fake::state.boxes.empty());
}

TEST_F(Reader, IncludeThatCannotBeOpenedIsReportedAndReadingGoesOn) {
    fake::state.unopenableFiles["dir"] = EACCES;
    EXPECT_EQ(read("include dir\nvmparam -Dafter\n"), -1000);
    ASSERT_EQ(fake::boxCaptions(), Strings{"Error Reading Config File"});
    EXPECT_EQ(fake::state.boxes[0].text, "Can't open dir Error Permission denied\n");
    EXPECT_EQ(fake::state.boxes[0].type, 0u);
    EXPECT_EQ(fake::state.standardError, "Can't open dir Error Permission denied\n");
    EXPECT_EQ(settings.vmparamsCnt, 1);
}

TEST_F(Reader, IncludeLoopsAreReportedOnceAndSkipped) {
    fake::state.files["b.config"] = "vmparam -Db\ninclude app.config\n";
    EXPECT_EQ(read("vmparam -Da\ninclude b.config\nvmparam -Dend\n"), -1000);
    EXPECT_EQ(list(settings.vmparams, settings.vmparamsCnt), (Strings{"-Da", "-Db", "-Dend"}));
    ASSERT_EQ(fake::boxCaptions(), Strings{"Error Reading Config File"});
    EXPECT_NE(fake::state.standardError.find("includes itself"), std::string::npos);

    /* The same file written another way is the same file. */
    fake::reset();
    fake::state.files["C:\\apps\\Demo.config"] = "vmparam -Dtop\ninclude Demo.config\n";
    fake::state.files["Demo.config"] = fake::state.files["C:\\apps\\Demo.config"];
    fake::state.fileAliases["Demo.config"] = "C:\\apps\\Demo.config";
    settings._quietMode = 1;
    EXPECT_EQ(readAppConfig("C:\\apps\\Demo.config"), 0);
    EXPECT_EQ(list(settings.vmparams, settings.vmparamsCnt), Strings{"-Dtop"});
    EXPECT_NE(fake::state.standardError.find("includes itself"), std::string::npos);

    /* Files including the next one many times are cut off after a total
    ** number of reads, reported once. */
    fake::reset();
    settings._quietMode = 1;
    for (int level = 0; level < 4; ++level) {
        std::string &text =
            fake::state.files[level == 0 ? "app.config" : "f" + std::to_string(level)];
        for (int i = 0; i < 100; ++i)
            text += level < 3 ? "include f" + std::to_string(level + 1) + "\n" : "# nothing\n";
    }
    EXPECT_EQ(readAppConfig("app.config"), 0);
    std::size_t reports = 0, at = 0;
    while ((at = fake::state.standardError.find("more than 256 included files", at)) !=
           std::string::npos) {
        ++reports;
        ++at;
    }
    EXPECT_EQ(reports, 1u);

    /* Includes that are never read (missing, unreadable) do not count: 300
    ** of them before one that exists leave it read. */
    fake::reset();
    settings._quietMode = 1;
    std::string &top = fake::state.files["app.config"];
    for (int i = 0; i < 150; ++i) top += "include missing" + std::to_string(i) + "\n";
    for (int i = 0; i < 150; ++i) {
        top += "include locked" + std::to_string(i) + "\n";
        fake::state.unopenableFiles["locked" + std::to_string(i)] = EACCES;
    }
    top += "include last\n";
    fake::state.files["last"] = "vmparam -Dlast\n";
    EXPECT_EQ(readAppConfig("app.config"), 0);
    EXPECT_EQ(list(settings.vmparams, settings.vmparamsCnt), Strings{"-Dlast"});
    EXPECT_EQ(fake::state.standardError.find("more than 256"), std::string::npos);

    /* A chain through ever new names ends at the depth limit. */
    fake::reset();
    for (int i = 0; i < 40; ++i)
        fake::state.files["c" + std::to_string(i)] =
            "vmparam -D" + std::to_string(i) + "\ninclude c" + std::to_string(i + 1) + "\n";
    fake::state.files["app.config"] = "include c0\n";
    fake::state.boxAnswers.clear();
    settings._quietMode = 1;
    EXPECT_EQ(fake::exitCodeOf([] { readAppConfig("app.config"); }), -1000);
    EXPECT_EQ(settings.vmparamsCnt, 16);
    EXPECT_TRUE(fake::state.boxes.empty());
    EXPECT_NE(fake::state.standardError.find("nested more than 16 deep"), std::string::npos);
}

TEST_F(Reader, ByteOrderMarkLongLinesAndNulBytes) {
    std::string longValue(5000, 'x');
    EXPECT_EQ(read("\xEF\xBB\xBFmainclass com.acme.Main\n"
                   "argument " +
                   longValue + "\n" + std::string("argument a\0b\n", 13) +
                   std::string("\0vmparam -Dx\n", 13) + "argument z\n"),
              -1000);
    EXPECT_STREQ(settings.mainClass, "com.acme.Main");
    EXPECT_EQ(list(settings.args, settings.argsCnt), (Strings{longValue, "a", "z"}));
    EXPECT_EQ(settings.vmparamsCnt, 0);
}

TEST_F(Reader, JavaVersionAndJavapathLastOneWins) {
    fake::setRegistryValue(std::string(RUNTIME_KEY) + "\\1.6.0_17", "JavaHome", "C:\\jre");
    read("javaVersion 1.6.0_17\n");
    EXPECT_STREQ(settings.javapath, "C:\\jre\\bin\\javaw.exe");
    EXPECT_STREQ(settings.javaVersion, "1.6.0_17");
    read("javapath C:\\other\\java.exe\n");
    EXPECT_STREQ(settings.javapath, "C:\\other\\java.exe");
    read("javaVersion 1.6.0_17\n");
    EXPECT_STREQ(settings.javapath, "C:\\jre\\bin\\javaw.exe");
}

TEST_F(Reader, UnresolvedJavaVersionEndsWithFiveBeforeLaterLines) {
    fake::addRegistryKey(RUNTIME_KEY);
    settings._quietMode = 1;
    EXPECT_EQ(read("javaVersion 1.6.0_18\nmainclass later\n"), 5);
    EXPECT_EQ(settings.mainClass, nullptr);
}

TEST_F(Reader, SampleFileSetsNothing) {
    writeSampleConfig();
    fake::state.files["app.config"] = fake::state.files[SAMPLE_CONFIG_NAME];
    EXPECT_EQ(fake::exitCodeOf([] { readAppConfig("app.config"); }), -1000);
    EXPECT_EQ(settings.vmparamsCnt + settings.vmpathsCnt + settings.argsCnt, 0);
    EXPECT_EQ(settings.mainClass, nullptr);
    EXPECT_EQ(settings._showConsole, 0);
}

TEST_F(Reader, ClassPathCapacityIsEnforced) {
    std::string content;
    for (int i = 0; i <= VMPATHS_CAPACITY; ++i) content += "addjar j" + std::to_string(i) + "\n";
    EXPECT_EQ(read(content), 2);
    EXPECT_EQ(settings.vmpathsCnt, VMPATHS_CAPACITY);
    EXPECT_EQ(fake::boxCaptions(), Strings{"Too Many Entries"});
}

TEST_F(LauncherTest, ConfigurationDrivesTheWholeLaunch) {
    fake::state.osMajor = 5;
    fake::setRegistryValue(RUNTIME_KEY, "CurrentVersion", "1.6");
    fake::setRegistryValue(std::string(RUNTIME_KEY) + "\\1.6", "JavaHome", "C:\\jre6");
    fake::state.files["C:\\apps\\demo\\Demo.config"] =
        "mainclass com.acme.Main\naddjars lib\nvmparam -Xmx256m\nargument hello\n";
    EXPECT_EQ(runLauncher({"C:\\apps\\demo\\Demo.exe"}), 0);
    ASSERT_EQ(fake::state.launches.size(), 1u);
    EXPECT_EQ(fake::state.launches[0].commandLine,
              "C:\\jre6\\bin\\javaw.exe -Xmx256m -classpath lib/* com.acme.Main hello ");
    EXPECT_EQ(fake::state.changedDirectories, Strings{"C:\\apps\\demo"});

    fake::reset();
    fake::state.osMajor = 6;
    fake::setRegistryValue(RUNTIME_KEY, "CurrentVersion", "1.6");
    fake::setRegistryValue(std::string(RUNTIME_KEY) + "\\1.6", "JavaHome", "C:\\jre6");
    fake::state.files["C:\\apps\\demo\\Demo.config"] =
        "mainclass com.acme.Main\naddjars lib\nvmparam -Xmx256m\nargument hello\n";
    runLauncher({"C:\\apps\\demo\\Demo.exe", "-Dapp.mode=test"});
    EXPECT_EQ(fake::state.launches[0].commandLine,
              "\"C:\\jre6\\bin\\javaw.exe\" -Dapp.mode=test -Xmx256m -classpath lib/* "
              "com.acme.Main \"hello\" ");
}

TEST_F(LauncherTest, OutputFileLineChangesNothing) {
    installRuntime();
    fake::state.files["D:\\work\\t.config"] = "outputFile other.out\n";
    runLauncher({"t.exe", "-o"});
    EXPECT_STREQ(settings.outputFile, "other.out");
    EXPECT_EQ(fake::state.files.count("other.out"), 0u);
    EXPECT_EQ(fake::state.files.count("tarnwick.out"), 1u);
}

} // namespace
