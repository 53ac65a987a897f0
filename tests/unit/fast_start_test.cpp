#include "tests/unit/test_support.h"

#include "launcher/fast_start.h"
#include "launcher/launch.h"

#include "platform/command_line_split.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace {

const std::string HOME = "C:\\jdk";
const std::string CACHE = "C:\\Local\\tarnwick\\cds";

/* D:\app with lib\a.jar, lib\b.jar and a readme, a jar elsewhere, and a
** runtime whose release file says 25.0.3. */
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
        fake::state.folders = {"D:\\app", "D:\\app\\lib", "C:\\Local"};
        fake::state.environment["LOCALAPPDATA"] = "C:\\Local";
        for (const char *file : {"D:\\app\\lib\\a.jar", "D:\\app\\lib\\b.jar",
                                 "D:\\app\\lib\\readme.txt", "E:\\x.jar", "C:\\jdk\\lib\\modules"})
            fake::state.files[file] = "bytes";
        fake::state.files[HOME + "\\release"] = "JAVA_VERSION=\"25.0.3\"\n";
    }

    /* Each start writes the file its command line names: the recorded
    ** configuration of a training start, the cache of the making run. */
    static void childrenWriteTheirFiles() {
        fake::state.childRuns = [](const std::string &line) {
            std::size_t at = line.find(
                line.find("=record") != std::string::npos ? "AOTConfiguration=" : "AOTCache=");
            std::size_t from = line.find('"', at) + 1;
            fake::state.files[line.substr(from, line.find('"', from) - from)] = "written";
        };
    }

    static std::string fingerprint(const std::string &home = HOME,
                                   const std::string &version = "25.0.3") {
        std::string result;
        EXPECT_TRUE(fastStartFingerprint(javaCommandOf(settings), home, version, &result));
        return result;
    }
};

/* A parameter added for each row in turn. */
TEST_F(FastStart, TheFingerprintChangesWithWhatMakesAnArchiveUnusableAndNothingElse) {
    const std::pair<const char *, bool> parameters[] = {
        {"-Xmx1g", true},      {"-XX:-UseCompressedOops", true},
        {"-XX:+UseZGC", true}, {"--enable-preview", true},
        {"-Dother=2", false},  {"-Xss4m", false},
        {"-Xlog:gc", false}};
    const std::pair<std::function<void()>, bool> changes[] = {
        {[] { fake::state.files["D:\\app\\lib\\a.jar"] = "other size"; }, true},
        {[] { fake::state.modified["D:\\app\\lib\\b.jar"] = 1; }, true},
        {[] { fake::state.files["D:\\app\\lib\\c.JAR"] = "added"; }, true},
        {[] { fake::state.modified["E:\\x.jar"] = 1; }, true},
        {[] { settings.vmpaths[1] = keepText("E:\\y\\x.jar"); }, true},
        {[] { settings.workingDir = keepText("D:\\work"); }, true}, /* another lib folder */
        {[] { settings.appname = keepText("Demo"); }, true},
        {[] { fake::state.files["C:\\jdk\\lib\\modules"] = "updated"; }, true},
        {[] { fake::state.modified["C:\\jdk\\release"] = 1; }, true},
        {[] { fake::state.files["D:\\app\\lib\\notes.txt"] = "no jar"; }, false},
        {[] { appendToList(LIST_ARGS, keepText("--fast")), fake::state.processId = 77; }, false},
    };
    for (const auto &p : parameters) {
        std::string before = fingerprint();
        appendToList(LIST_VMPARAMS, keepText(p.first));
        EXPECT_EQ(fingerprint() != before, p.second) << p.first;
        SetUp();
    }
    int row = 0;
    for (const auto &c : changes) {
        std::string before = fingerprint();
        c.first();
        EXPECT_EQ(fingerprint() != before, c.second) << "row " << row++;
        SetUp();
    }
    EXPECT_NE(fingerprint(HOME, "25.0.2"), fingerprint());
    EXPECT_NE(fingerprint("C:\\jdk2"), fingerprint());
    fake::state.folders.insert("D:\\app\\classes");
    appendToList(LIST_VMPATHS, keepText("classes"));
    std::string folder;
    EXPECT_FALSE(fastStartFingerprint(javaCommandOf(settings), HOME, "25.0.3", &folder))
        << "no archive holds a class folder";
    EXPECT_EQ(folder, "D:\\app\\classes");
}

/* A training start, the run that makes the cache, its use; a training
** start's leftovers from days ago go; a cache that cannot be made is not
** tried again. */
TEST_F(FastStart, TheCacheIsMadeOnceAndUsed) {
    const std::string stale = CACHE + "\\com.acme.Main-0000000000000004.aot.9.config";
    fake::state.folders.insert(CACHE);
    fake::state.files[stale] = "left behind";
    fake::state.clock = {2 * 24 * 3600};
    childrenWriteTheirFiles();
    std::string aot = CACHE + "\\com.acme.Main-" + fingerprint() + ".aot";
    execApp(javaCommandOf(settings));
    ASSERT_EQ(fake::state.launches.size(), 2u);
    EXPECT_EQ(
        fake::state.launches[1].commandLine,
        "C:\\jdk\\bin\\javaw.exe -Xmx512m -XX:+UnlockDiagnosticVMOptions -XX:-DisplayVMOutput "
        "-Xlog:aot*=off,cds*=off -XX:AOTMode=create -XX:AOTConfiguration=\"" +
            aot + ".4242.config\" -XX:AOTCache=\"" + aot +
            ".4242.tmp\" -classpath lib/*;E:\\x.jar ");
    EXPECT_EQ(fake::state.files.count(stale), 0u);
    execApp(javaCommandOf(settings));
    EXPECT_NE(fake::state.launches[2].commandLine.find(" -XX:AOTCache=\"" + aot + "\" -classpath"),
              std::string::npos);
    EXPECT_EQ(settings.vmparamsCnt, 2) << "a start's own parameters go with it";

    fake::state.files["D:\\app\\lib\\c.jar"] = "new jar";
    fake::state.exitCodes = {0, 1};
    execApp(javaCommandOf(settings));
    execApp(javaCommandOf(settings));
    EXPECT_EQ(fake::state.files.count(CACHE + "\\com.acme.Main-" + fingerprint() + ".aot.failed"),
              1u);
    EXPECT_EQ(fake::state.launches.back().commandLine.find("-XX:AOT"), std::string::npos)
        << "not tried again";
}

/* The making run is the training start's runtime, parameters and class
** path in the training start's folder, and nothing of the application's:
** neither its main class nor an argument, passed on in tool mode or
** configured. */
TEST_F(FastStart, TheMakingRunGetsNothingOfTheApplication) {
    char passed[][12] = {"-d", "out", "Hello.java"};
    char *passedArgs[] = {passed[0], passed[1], passed[2]};
    settings.toolMode = true;
    settings.startDir = keepText("D:\\caller");
    settings.passedArgs = passedArgs;
    settings.passedArgsCnt = 3;
    appendToList(LIST_ARGS, keepText("--configured"));
    childrenWriteTheirFiles();
    for (const char *workingDir : {static_cast<const char *>(nullptr), "run"}) {
        settings.workingDir = workingDir ? keepText(workingDir) : nullptr;
        fake::state.files.erase(CACHE + "\\com.acme.Main-" + fingerprint() + ".aot");
        execApp(javaCommandOf(settings));
        const fake::Launch &training = fake::state.launches[fake::state.launches.size() - 2];
        const fake::Launch &making = fake::state.launches.back();
        ASSERT_NE(making.commandLine.find("-XX:AOTMode=create"), std::string::npos);
        EXPECT_NE(training.commandLine.find("Hello.java"), std::string::npos);
        std::vector<std::string> words = splitWindowsCommandLine(making.commandLine.c_str());
        for (const char *word : {"com.acme.Main", "-d", "out", "Hello.java", "--configured"})
            EXPECT_EQ(std::count(words.begin(), words.end(), word), 0) << word;
        EXPECT_EQ(making.directory, training.directory);
        EXPECT_EQ(making.directory, workingDir ? workingDir : "D:\\caller");
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
