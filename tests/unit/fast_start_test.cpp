#include "tests/unit/test_support.h"

#include "launcher/cache_folder.h"
#include "launcher/cache_maker.h"
#include "launcher/fast_start.h"
#include "launcher/launch.h"

#include "platform/command_line_split.h"
#include "tests/unit/zip_support.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace {

const std::string HOME = "C:\\jdk";
const std::string CACHE = "C:\\Local\\tarnwick\\cds";
const long long DAY = 24 * 3600;

/* D:\app with lib\a.jar (whose manifest names dep\d.jar beside it),
** lib\b.jar and a readme, a jar elsewhere, and a runtime whose release file
** says 25.0.3. */
class FastStart : public LauncherTest {
protected:
    void SetUp() override {
        LauncherTest::SetUp();
        std::strcpy(settings.cwd, "D:\\app");
        settings.javapath = keepText(HOME + "\\bin\\javaw.exe");
        settings.mainClass = keepText("com.acme.Main");
        settings.fastStart = true;
        for (const char *entry : {"lib/*", "E:\\x.jar"})
            appendToList(LIST_VMPATHS, keepText(entry));
        for (const char *parameter : {"-Xmx512m", "-Dmode=1"})
            appendToList(LIST_VMPARAMS, keepText(parameter));
        fake::state.folders = {"C:", "D:\\app", "D:\\app\\lib", "D:\\app\\mods", "C:\\Local"};
        fake::state.environment["LOCALAPPDATA"] = "C:\\Local";
        fake::state.files["D:\\app\\lib\\a.jar"] = jarOf("a", "dep/d.jar");
        fake::state.files["D:\\app\\lib\\dep\\d.jar"] = jarOf("d");
        fake::state.files["D:\\app\\lib\\b.jar"] = jarOf("b");
        fake::state.files["D:\\app\\mods\\m.jar"] = jarOf("m");
        fake::state.files["E:\\x.jar"] = jarOf("x");
        fake::state.files["D:\\app\\lib\\readme.txt"] = "no jar";
        fake::state.files["C:\\jdk\\lib\\modules"] = "bytes";
        fake::state.files[HOME + "\\release"] = "JAVA_VERSION=\"25.0.3\"\n";
    }

    /* Each start writes the file its command line names: the recorded
    ** configuration of a training start, the cache of the making run. */
    static void childrenWriteTheirFiles() {
        fake::state.childRuns = [](const std::string &line) {
            std::size_t at = line.find(
                line.find("=record") != std::string::npos ? "AOTConfiguration=" : "AOTCache=");
            if (at == std::string::npos) return;
            std::size_t from = line.find('"', at) + 1;
            fake::state.files[line.substr(from, line.find('"', from) - from)] = "written";
        };
    }

    static std::string fingerprint(const std::string &home = HOME,
                                   const std::string &version = "25.0.3") {
        std::string result;
        EXPECT_TRUE(fastStartFingerprint(javaCommandOf(settings), home, version, &result))
            << result;
        return result;
    }

    static std::string archive() {
        return CACHE + "\\" + archivePrefix(javaCommandOf(settings)) + fingerprint() + ".aot";
    }

    /* The making process the last training start handed the cache to, run
    ** here: its exit code. */
    static int runMaker() {
        EXPECT_FALSE(fake::state.detached.empty());
        return fake::state.detached.empty() ? -1 : runCacheJob(fake::state.detached.back().job);
    }

    static bool trains(const fake::Launch &launch) {
        return launch.commandLine.find("-XX:AOTMode=record") != std::string::npos;
    }
};

/* A parameter or an option variable added for each row in turn, then each
** change of what the runtime reads. */
TEST_F(FastStart, TheFingerprintChangesWithWhatMakesAnArchiveUnusableAndNothingElse) {
    const std::pair<const char *, bool> parameters[] = {
        {"-Xmx1g", true},      {"-XX:-UseCompressedOops", true},
        {"-XX:+UseZGC", true}, {"--enable-preview", true},
        {"-Dother=2", false},  {"-Xss4m", false},
        {"-Xlog:gc", false}};
    const std::pair<std::function<void()>, bool> changes[] = {
        {[] { fake::state.files["D:\\app\\lib\\a.jar"] = jarOf("a, larger", "dep/d.jar"); }, true},
        {[] { fake::state.modified["D:\\app\\lib\\b.jar"] = 1; }, true},
        {[] { fake::state.files["D:\\app\\lib\\b.jar"] = jarOf("B"); }, true}, /* same size, time */
        {[] { fake::state.files["D:\\app\\lib\\dep\\d.jar"] = jarOf("D"); }, true},
        {[] { fake::state.files["D:\\app\\lib\\c.JAR"] = jarOf("added"); }, true},
        {[] { fake::state.modified["E:\\x.jar"] = 1; }, true},
        {[] { settings.vmpaths[1] = keepText("E:\\y\\x.jar"); }, true},
        {[] { settings.workingDir = keepText("D:\\work"); }, true}, /* another lib folder */
        {[] { settings.appname = keepText("Demo"); }, true},
        {[] { fake::state.files["C:\\jdk\\lib\\modules"] = "updated"; }, true},
        {[] { fake::state.modified["C:\\jdk\\release"] = 1; }, true},
        {[] { fake::state.environment["JAVA_TOOL_OPTIONS"] = "-Dx=1 -Xmx40g"; }, true},
        {[] { fake::state.environment["_JAVA_OPTIONS"] = "--add-opens x/y=ALL-UNNAMED"; }, true},
        {[] { fake::state.environment["JDK_JAVA_OPTIONS"] = "-Dx=1 -Xss2m"; }, false},
        {[] { fake::state.files["D:\\app\\lib\\notes.txt"] = "no jar"; }, false},
        {[] { appendToList(LIST_ARGS, keepText("--fast")), fake::state.processId = 77; }, false},
        {[] { fake::state.files["D:\\app\\mods\\m.jar"] = jarOf("M"); },
         false}, /* no module path */
    };
    for (const auto &p : parameters) {
        std::string before = fingerprint();
        appendToList(LIST_VMPARAMS, keepText(p.first));
        EXPECT_EQ(fingerprint() != before, p.second) << p.first;
        SetUp();
    }
    for (const auto &c : changes) {
        std::string before = fingerprint();
        c.first();
        EXPECT_EQ(fingerprint() != before, c.second) << "row " << &c - changes;
        SetUp();
    }
    EXPECT_NE(fingerprint(HOME, "25.0.2"), fingerprint());
    EXPECT_NE(fingerprint("C:\\jdk2"), fingerprint());

    /* The module path in each of its forms: its jars count. */
    for (const std::vector<const char *> &option : {std::vector<const char *>{"--module-path=mods"},
                                                    {"--module-path", "mods"},
                                                    {"-p mods"}}) {
        SetUp();
        for (const char *parameter : option) appendToList(LIST_VMPARAMS, keepText(parameter));
        std::string before = fingerprint();
        fake::state.files["D:\\app\\mods\\m.jar"] = jarOf("M");
        EXPECT_NE(fingerprint(), before) << option[0];
    }

    const std::pair<std::function<void()>, const char *> refusals[] = {
        {[] { appendToList(LIST_VMPATHS, keepText("classes")); },
         "folder D:\\app\\classes on the class path"},
        {[] { fake::state.files["D:\\app\\lib\\b.jar"] = "no zip"; },
         "D:\\app\\lib\\b.jar cannot be read as a zip file"},
        {[] { fake::state.files["D:\\app\\lib\\a.jar"] = jarOf("a", "dep/ more.jar"); },
         "folder D:\\app\\lib\\dep\\ in the Class-Path of D:\\app\\lib\\a.jar"},
    };
    for (const auto &refusal : refusals) {
        SetUp();
        fake::state.folders.insert("D:\\app\\classes");
        refusal.first();
        std::string why;
        EXPECT_FALSE(fastStartFingerprint(javaCommandOf(settings), HOME, "25.0.3", &why));
        EXPECT_EQ(why, refusal.second);
    }
}

/* A training start hands the making to a process of its own and does not
** wait; a start meanwhile goes without; the process makes the cache, which
** every later start uses.  A making that fails leaves a mark for a week. */
TEST_F(FastStart, TheCacheIsMadeOnceByAProcessOfItsOwnAndUsed) {
    std::string prefix = archivePrefix(javaCommandOf(settings));
    const std::string stale = CACHE + "\\" + prefix + "0000000000000004.aot.9.config";
    const std::string another = CACHE + "\\Other-01234567-0000000000000004.aot.9.config";
    fake::state.folders.insert(CACHE);
    fake::state.files[stale] = fake::state.files[another] = "left behind";
    fake::state.clock = {2 * DAY};
    childrenWriteTheirFiles();
    std::string aot = archive();
    execApp(javaCommandOf(settings));
    ASSERT_EQ(fake::state.launches.size(), 1u);
    ASSERT_EQ(fake::state.detached.size(), 1u);
    EXPECT_EQ(fake::state.detached[0].job, aot + ".making");
    EXPECT_FALSE(fake::state.detached[0].keepOutput) << "nobody waits for the making";
    EXPECT_EQ(fake::state.environment.count("TARNWICK_FAST_START_JOB"), 0u);
    EXPECT_EQ(fake::state.files.count(stale), 0u);
    EXPECT_EQ(fake::state.files.count(another), 1u) << "another application's file";

    execApp(javaCommandOf(settings));
    EXPECT_EQ(fake::state.launches[1].commandLine.find("-XX:AOT"), std::string::npos)
        << "no cache while it is being made";
    EXPECT_EQ(runMaker(), 0);
    ASSERT_EQ(fake::state.launches.size(), 3u);
    EXPECT_EQ(
        fake::state.launches[2].commandLine,
        "C:\\jdk\\bin\\javaw.exe -Xmx512m -XX:+UnlockDiagnosticVMOptions -XX:-DisplayVMOutput "
        "-Xlog:aot*=off,cds*=off -XX:AOTMode=create -XX:AOTConfiguration=\"" +
            aot + ".4242.config\" -XX:AOTCache=\"" + aot +
            ".4242.tmp\" -classpath lib/*;E:\\x.jar ");
    for (const char *gone : {".making", ".4242.config", ".4242.tmp"})
        EXPECT_EQ(fake::state.files.count(aot + gone), 0u) << gone;
    execApp(javaCommandOf(settings));
    EXPECT_NE(fake::state.launches[3].commandLine.find(" -XX:AOTCache=\"" + aot + "\" -classpath"),
              std::string::npos);
    EXPECT_EQ(settings.vmparamsCnt, 2) << "a start's own parameters go with it";

    fake::state.files["D:\\app\\lib\\c.jar"] = jarOf("new jar");
    fake::state.exitCodes = {0, 1};
    execApp(javaCommandOf(settings));
    runMaker();
    EXPECT_EQ(fake::state.files[archive() + ".failed"], "the making run ended with exit code 1");
    execApp(javaCommandOf(settings));
    EXPECT_EQ(fake::state.launches.back().commandLine.find("-XX:AOT"), std::string::npos)
        << "not tried again";
    fake::state.clock = {10 * DAY};
    execApp(javaCommandOf(settings));
    EXPECT_TRUE(trains(fake::state.launches.back())) << "the mark has expired";
}

/* The making run is the training start's runtime, parameters and class
** path in the training start's folder, with the module or jar it starts
** from, and nothing of the application's: neither its main class nor an
** argument, passed on in tool mode or configured. */
TEST_F(FastStart, TheMakingRunGetsNothingOfTheApplication) {
    char passed[][12] = {"-d", "out", "Hello.java"};
    char *passedArgs[] = {passed[0], passed[1], passed[2]};
    settings.toolMode = true;
    settings.startDir = keepText("D:\\caller");
    settings.passedArgs = passedArgs;
    settings.passedArgsCnt = 3;
    appendToList(LIST_ARGS, keepText("--configured"));
    childrenWriteTheirFiles();
    const std::pair<const char *, const char *> cases[] = {
        {nullptr, "com.acme.Main"}, {"run", "com.acme.Main"}, {nullptr, "-m app/app.Main"}};
    for (const auto &c : cases) {
        settings.workingDir = c.first ? keepText(c.first) : nullptr;
        settings.mainClass = keepText(c.second);
        fake::state.files.erase(archive());
        execApp(javaCommandOf(settings));
        ASSERT_EQ(runMaker(), 0) << c.second << fake::state.standardError;
        const fake::Launch &training = fake::state.launches[fake::state.launches.size() - 2];
        const fake::Launch &making = fake::state.launches.back();
        ASSERT_NE(making.commandLine.find("-XX:AOTMode=create"), std::string::npos);
        EXPECT_NE(training.commandLine.find("Hello.java"), std::string::npos);
        std::vector<std::string> words = splitWindowsCommandLine(making.commandLine.c_str());
        for (const char *word : {"com.acme.Main", "-d", "out", "Hello.java", "--configured"})
            EXPECT_EQ(std::count(words.begin(), words.end(), word), 0) << word;
        bool modular = std::strcmp(c.second, "-m app/app.Main") == 0;
        EXPECT_EQ(words.back() == "app/app.Main" && words[words.size() - 2] == "-m", modular);
        EXPECT_EQ(making.directory, training.directory);
        EXPECT_EQ(making.directory, c.first ? c.first : "D:\\caller");
    }
    EXPECT_EQ(runCacheJob(CACHE + "\\elsewhere.making"), 2) << "no job of the user's";
}

/* Whatever stands in the way, the start goes on without, and -d says why;
** elevated on Windows, the launcher uses no archive at all. */
TEST_F(FastStart, WhatStandsInTheWayIsSaid) {
    const struct {
        std::function<void()> setUp;
        bool training;
        std::string said;
    } cases[] = {
        {[] { fake::state.elevated = true; }, false, "not used: the launcher runs elevated"},
        {[] { fake::state.freeBytes = 100 << 20; }, false, "100 MiB free in " + CACHE},
        {[] { fake::state.folderOwners["C:\\Local"].user = false; }, false,
         "not used: C:\\Local belongs to another user"},
        {[] {
             fake::state.folderOwners["C:\\Local"] = {false, true, true, true};
         },
         true, ""},
        {[] {
             fake::state.folders.insert(CACHE), fake::state.folderOwners[CACHE].sticky = true,
                                                fake::state.folderOwners[CACHE].othersWrite = true;
         },
         false, "not used: " + CACHE + " may be written by other users"},
        {[] {
             fake::state.environment["LOCALAPPDATA"] = "D:\\app\\Local";
             fake::state.folderOwners["D:\\app"].user = false;
         },
         false,
         "not used: D:\\app\\Local is missing, and the folder above it is not the user's to make "
         "it in"},
        {[] { fake::state.files[archive() + ".poor"] = "3"; }, false,
         "not used: 3 training starts in a row ended with an error"},
        {[] {
             fake::state.files[archive() + ".making"] = "job";
             fake::state.modified[archive() + ".making"] = 999 * 1000000000LL;
         },
         false, " is being made (for 1 s)"},
        {[] {
             fake::state.files[archive()] = "another's",
             fake::state.files[archive() + ".made"] = "x";
         },
         true, " is not what the launcher made: removed, training again"},
    };
    for (const auto &c : cases) {
        SetUp();
        settings._debug = 1;
        fake::state.folders.insert("C:\\Local\\tarnwick");
        c.setUp();
        execApp(javaCommandOf(settings));
        EXPECT_EQ(trains(fake::state.launches.back()), c.training) << c.said;
        EXPECT_NE(fake::state.standardOutput.find(c.said), std::string::npos)
            << c.said << "\n"
            << fake::state.standardOutput;
        EXPECT_EQ(fake::state.folders.count("D:\\app\\Local"), 0u);
    }
}

/* A training start that ends with an error makes nothing and is counted:
** the third in a row stops training.  A making ended by a signal, or for
** want of space, leaves no mark; the runtime's own failure does. */
TEST_F(FastStart, OnlyAGoodTrainingMakesACacheAndOnlyARealFailureLeavesAMark) {
    childrenWriteTheirFiles();
    fake::state.exitCodes = {3, 130, 999};
    for (int start = 1; start <= 3; ++start) execApp(javaCommandOf(settings));
    EXPECT_EQ(fake::state.detached.size(), 1u) << "the relaunch code is a good end";
    EXPECT_EQ(fake::state.files.count(archive() + ".poor"), 0u) << "the count starts again";
    fake::state.files.erase(archive() + ".making");
    fake::state.files.erase(archive() + ".4242.config");
    fake::state.exitCodes = {3, 3, 3, 0};
    for (int start = 1; start <= 4; ++start) execApp(javaCommandOf(settings));
    EXPECT_EQ(fake::state.files[archive() + ".poor"], "3\n");
    EXPECT_FALSE(trains(fake::state.launches.back()));

    const struct {
        int exitCode;
        bool signalled, spaceGone, marked;
    } makings[] = {{1, false, false, true}, {143, true, false, false}, {1, false, true, false}};
    for (const auto &making : makings) {
        SetUp();
        childrenWriteTheirFiles();
        execApp(javaCommandOf(settings));
        fake::state.exitCodes = {making.exitCode};
        fake::state.endRequestedBySignal = making.signalled;
        fake::state.childRuns = [&](const std::string &) {
            if (making.spaceGone) fake::state.freeBytes = 1 << 20;
        };
        runMaker();
        EXPECT_EQ(fake::state.files.count(archive() + ".failed"), making.marked ? 1u : 0u)
            << making.exitCode;
        EXPECT_EQ(fake::state.files.count(archive() + ".making"), 0u);
    }
}

/* Two names of the same length in other letters, and one name installed in
** two folders, begin their files differently; the three newest archives
** of an install stay. */
TEST_F(FastStart, NamesKeepApplicationsAndInstallsApart) {
    std::vector<std::string> prefixes;
    for (const char *name : {"\xc3\x84rger Z\xc3\xa4hler", "\xc3\x96rger Z\xc3\xa4hler"}) {
        settings.appname = keepText(name);
        prefixes.push_back(archivePrefix(javaCommandOf(settings)));
    }
    std::strcpy(settings.cwd, "D:\\other install");
    prefixes.push_back(archivePrefix(javaCommandOf(settings)));
    EXPECT_EQ(prefixes[0].substr(0, 10), "_rger_Z_hl");
    EXPECT_NE(prefixes[0], prefixes[1]);
    EXPECT_NE(prefixes[1], prefixes[2]);

    fake::state.folders.insert(CACHE);
    for (int i = 0; i < 4; ++i)
        for (const std::string &prefix : {prefixes[1], prefixes[2]}) {
            std::string name =
                CACHE + "\\" + prefix + "000000000000000" + std::to_string(i) + ".aot";
            fake::state.files[name] = fake::state.files[name + ".made"] = "x";
            fake::state.modified[name] = i * DAY * 1000000000LL;
        }
    fake::state.clock = {10 * DAY};
    tidyArchives(CACHE, prefixes[2], CACHE + "\\" + prefixes[2] + "0000000000000000.aot");
    for (int i = 0; i < 4; ++i) {
        std::string name = prefixes[2] + "000000000000000" + std::to_string(i) + ".aot";
        EXPECT_EQ(fake::state.files.count(CACHE + "\\" + name), i != 1 ? 1u : 0u) << name;
        EXPECT_EQ(fake::state.files.count(CACHE + "\\" + name + ".made"), i != 1 ? 1u : 0u);
        EXPECT_EQ(
            fake::state.files.count(CACHE + "\\" + prefixes[1] + name.substr(prefixes[2].size())),
            1u);
    }
}

/* A configuration, or the runtime's own option variable, that names an
** archive or turns archives off is left as it is: nothing is added. */
TEST_F(FastStart, OwnArchiveParametersAreLeftAlone) {
    const std::pair<const char *, const char *> cases[] = {
        {"-Xshare:off", nullptr},
        {"-XX:SharedArchiveFile=own.jsa", nullptr},
        {nullptr, "-Xshare:auto"},
        {nullptr, "-Dx=1 -XX:SharedArchiveFile=own.jsa"},
    };
    for (const auto &c : cases) {
        SetUp();
        if (c.first) appendToList(LIST_VMPARAMS, keepText(c.first));
        if (c.second) fake::state.environment["JAVA_TOOL_OPTIONS"] = c.second;
        execApp(javaCommandOf(settings));
        std::string own = c.first ? std::string(c.first) + " " : "";
        ASSERT_EQ(fake::state.launches.size(), 1u);
        EXPECT_EQ(fake::state.launches[0].commandLine,
                  "C:\\jdk\\bin\\javaw.exe -Xmx512m -Dmode=1 " + own +
                      "-classpath lib/*;E:\\x.jar com.acme.Main")
            << (c.first ? c.first : c.second);
        EXPECT_EQ(fake::state.folders.count(CACHE), 0u) << "no cache folder is made";
    }
}

} // namespace
