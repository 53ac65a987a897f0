#include "tests/unit/test_support.h"

#include "launcher/fast_start.h"
#include "launcher/launch.h"
#include "platform/platform.h"

#include <cstring>

#include <functional>

namespace {

const char *const HOME = "C:\\jdk";
const char *const CACHE = "C:\\Users\\ann\\AppData\\Local\\tarnwick\\cds";

/* An application in D:\app with lib\a.jar, lib\b.jar and a readme, a jar
** elsewhere, and a runtime at HOME whose release file says version. */
class FastStart : public LauncherTest {
  protected:
    void SetUp() override {
        LauncherTest::SetUp();
        std::strcpy(settings.cwd, "D:\\app");
        settings.javapath = keepText(std::string(HOME) + "\\bin\\javaw.exe");
        settings.mainClass = keepText("com.acme.Main");
        settings.fastStart = true;
        appendToList(LIST_VMPATHS, keepText("lib/*"));
        appendToList(LIST_VMPATHS, keepText("E:\\shared\\x.jar"));
        appendToList(LIST_VMPARAMS, keepText("-Xmx512m"));
        appendToList(LIST_VMPARAMS, keepText("-Dmode=1"));
        fake::state.folders = {"D:\\app", "D:\\app\\lib", "C:\\Users\\ann\\AppData\\Local"};
        file("D:\\app\\lib\\a.jar", "aaaa", 10);
        file("D:\\app\\lib\\b.jar", "bb", 20);
        file("D:\\app\\lib\\readme.txt", "read me", 30);
        file("E:\\shared\\x.jar", "x", 40);
        release("25.0.3");
        file(std::string(HOME) + "\\lib\\modules", "modules", 50);
        fake::state.environment["LOCALAPPDATA"] = "C:\\Users\\ann\\AppData\\Local";
    }

    static void file(const std::string &path, const std::string &content, long long modified) {
        fake::state.files[path] = content;
        fake::state.modified[path] = modified;
    }

    static void release(const std::string &version) {
        file(std::string(HOME) + "\\release", "JAVA_VERSION=\"" + version + "\"\n", 60);
    }

    static std::string fingerprint(const std::string &home = HOME, const std::string &version = "25.0.3") {
        std::string result;
        EXPECT_TRUE(fastStartFingerprint(home, version, &result));
        return result;
    }

    /* The archive the application's next start uses or makes. */
    static std::string archive(const char *extension, const char *version = "25.0.3") {
        return std::string(CACHE) + "\\com.acme.Main-" + fingerprint(HOME, version) + extension;
    }

    /* One start; returns its command line. */
    static std::string start() {
        std::size_t before = fake::state.launches.size();
        execApp();
        EXPECT_GT(fake::state.launches.size(), before);
        return fake::state.launches[before].commandLine;
    }

    /* The value of "-XX:name=" in a command line, its quotes removed. */
    static std::string pathParameter(const std::string &line, const std::string &name) {
        std::size_t at = line.find(" -XX:" + name + "=\"");
        if (at == std::string::npos) return std::string();
        std::size_t from = at + name.size() + 7;
        return line.substr(from, line.find('"', from) - from);
    }
};

TEST_F(FastStart, TheFingerprintChangesWithWhatMakesAnArchiveUnusableAndNothingElse) {
    struct Case {
        const char *change;
        std::function<void()> apply;
        bool changes;
    };
    const Case cases[] = {
        {"a jar's size", [] { fake::state.files["D:\\app\\lib\\a.jar"] = "aaaaa"; }, true},
        {"a jar's time", [] { fake::state.modified["D:\\app\\lib\\b.jar"] = 21; }, true},
        {"a jar added to the folder", [] { file("D:\\app\\lib\\c.JAR", "c", 1); }, true},
        {"a jar removed", [] { fake::state.files.erase("D:\\app\\lib\\a.jar"); }, true},
        {"a named jar's time", [] { fake::state.modified["E:\\shared\\x.jar"] = 41; }, true},
        {"an entry's path", [] { settings.vmpaths[1] = keepText("E:\\other\\x.jar"); }, true},
        {"the working folder of relative entries", [] { settings.workingDir = keepText("D:\\work"); }, true},
        {"the heap size", [] { settings.vmparams[0] = keepText("-Xmx1g"); }, true},
        {"compressed pointers", [] { appendToList(LIST_VMPARAMS, keepText("-XX:-UseCompressedOops")); }, true},
        {"the collector", [] { appendToList(LIST_VMPARAMS, keepText("-XX:+UseZGC")); }, true},
        {"a module option's value",
         [] {
             appendToList(LIST_VMPARAMS, keepText("--add-opens"));
             appendToList(LIST_VMPARAMS, keepText("java.base/java.lang=ALL-UNNAMED"));
         },
         true},
        {"the application's name", [] { settings.appname = keepText("Demo"); }, true},
        {"the runtime's release file", [] { fake::state.modified[std::string(HOME) + "\\release"] = 61; }, true},
        {"the runtime's modules", [] { fake::state.files[std::string(HOME) + "\\lib\\modules"] = "new"; }, true},
        {"a system property", [] { appendToList(LIST_VMPARAMS, keepText("-Dother=2")); }, false},
        {"the stack size and logging",
         [] {
             appendToList(LIST_VMPARAMS, keepText("-Xss4m"));
             appendToList(LIST_VMPARAMS, keepText("-Xlog:gc"));
         },
         false},
        {"an argument, the title, the process", [] {
             appendToList(LIST_ARGS, keepText("--fast"));
             settings.consoleTitle = keepText("Demo");
             fake::state.processId = 77;
         },
         false},
        {"a file that is no jar in the folder", [] { file("D:\\app\\lib\\notes.txt", "n", 1); }, false},
    };
    for (const Case &c : cases) {
        SetUp();
        std::string before = fingerprint();
        EXPECT_EQ(before.size(), 16u);
        c.apply();
        EXPECT_EQ(fingerprint() != before, c.changes) << c.change;
    }
    SetUp();
    fake::state.folders.insert("D:\\app\\classes");
    appendToList(LIST_VMPATHS, keepText("classes"));
    std::string folder;
    EXPECT_FALSE(fastStartFingerprint(HOME, "25.0.3", &folder));
    EXPECT_EQ(folder, "D:\\app\\classes");
    settings.vmpathsCnt = 2;
    settings.vmpaths[0] = keepText("D:\\app\\lib\\*");
    std::string absolute = fingerprint();
    settings.workingDir = keepText("D:\\work");
    EXPECT_EQ(fingerprint(), absolute) << "the working folder, all entries absolute";
    EXPECT_NE(fingerprint(HOME, "25.0.2"), fingerprint()) << "the runtime's version";
    EXPECT_NE(fingerprint("C:\\jdk2"), fingerprint()) << "the runtime's home";
}

TEST_F(FastStart, TheReleaseDecidesTheKindAndAConfiguredArchiveIsLeftAlone) {
    struct Case {
        const char *release;   /* null: no release file */
        const char *parameter; /* configured besides, or null */
        const char *toolOptions;
        const char *expected; /* what the command line holds after -Dmode=1 */
    };
    const Case cases[] = {
        {"21.0.2", nullptr, nullptr, "-Dmode=1 -Xlog:cds*=off -XX:ArchiveClassesAtExit=\""},
        {"25", nullptr, nullptr,
         "-Dmode=1 -Xlog:aot*=off,cds*=off -XX:+UnlockDiagnosticVMOptions -XX:-DisplayVMOutput "
         "-XX:AOTMode=record -XX:AOTConfiguration=\""},
        {"26-ea", "-Xlog:aot=info", nullptr, "-Xlog:aot=info -XX:+UnlockDiagnosticVMOptions"},
        {"17.0.15", nullptr, nullptr, "-Dmode=1 -classpath"},
        {"1.8.0_392", nullptr, nullptr, "-Dmode=1 -classpath"},
        {"", nullptr, nullptr, "-Dmode=1 -classpath"},
        {nullptr, nullptr, nullptr, "-Dmode=1 -classpath"},
        {"25", "-Xshare:off", nullptr, "-Xshare:off -classpath"},
        {"21", "-XX:SharedArchiveFile=mine.jsa", nullptr, "-XX:SharedArchiveFile=mine.jsa -classpath"},
        {"25", nullptr, "-XX:AOTCache=x.aot", "-Dmode=1 -classpath"},
    };
    for (const Case &c : cases) {
        SetUp();
        if (c.release == nullptr)
            fake::state.files.erase(std::string(HOME) + "\\release");
        else
            release(c.release);
        if (c.parameter != nullptr) appendToList(LIST_VMPARAMS, keepText(c.parameter));
        if (c.toolOptions != nullptr) fake::state.environment["JAVA_TOOL_OPTIONS"] = c.toolOptions;
        std::string line = start();
        EXPECT_NE(line.find(c.expected), std::string::npos) << (c.release ? c.release : "none") << ": " << line;
        EXPECT_EQ(settings.vmparamsCnt, c.parameter != nullptr ? 3 : 2) << "the start's own parameters are gone";
    }
}

TEST_F(FastStart, TheDynamicArchiveIsMovedIntoPlaceAndThenUsed) {
    release("21.0.2");
    std::string jsa = archive(".jsa", "21.0.2");
    fake::state.childRuns = [](const std::string &line) {
        std::string training = pathParameter(line, "ArchiveClassesAtExit");
        if (!training.empty()) fake::state.files[training] = "archive";
    };
    std::string first = start();
    EXPECT_EQ(pathParameter(first, "ArchiveClassesAtExit"), jsa + ".4242.tmp");
    EXPECT_EQ(fake::state.files[jsa], "archive");
    EXPECT_EQ(fake::state.files.count(jsa + ".4242.tmp"), 0u);
    std::string second = start();
    EXPECT_NE(second.find("-XX:+AutoCreateSharedArchive -XX:SharedArchiveFile=\"" + jsa + "\" -classpath"),
              std::string::npos);
}

TEST_F(FastStart, TheCacheIsMadeAfterTheTrainingStartAndAFailureIsNotRepeated) {
    std::string aot = archive(".aot");
    fake::state.childRuns = [](const std::string &line) {
        std::string recorded = pathParameter(line, "AOTConfiguration");
        std::string made = pathParameter(line, "AOTCache");
        if (line.find("-XX:AOTMode=record") != std::string::npos) fake::state.files[recorded] = "recorded";
        if (line.find("-XX:AOTMode=create") != std::string::npos) fake::state.files[made] = "cache";
    };
    start();
    ASSERT_EQ(fake::state.launches.size(), 2u);
    const std::string &make = fake::state.launches[1].commandLine;
    EXPECT_EQ(make, "C:\\jdk\\bin\\javaw.exe -Xmx512m -XX:+UnlockDiagnosticVMOptions -XX:-DisplayVMOutput "
                    "-Xlog:aot*=off,cds*=off -XX:AOTMode=create -XX:AOTConfiguration=\"" +
                        aot + ".4242.config\" -XX:AOTCache=\"" + aot +
                        ".4242.tmp\" -classpath lib/*;E:\\shared\\x.jar ");
    EXPECT_EQ(fake::state.launches[1].creationFlags, platform::CREATE_NO_WINDOW_FLAG);
    EXPECT_EQ(fake::state.files[aot], "cache");
    EXPECT_EQ(pathParameter(start(), "AOTCache"), aot);

    /* A new jar: training again; the cache cannot be made (exit code 1). */
    file("D:\\app\\lib\\c.jar", "c", 70);
    std::string next = archive(".aot");
    fake::state.exitCodes = {0, 1};
    start();
    EXPECT_EQ(fake::state.files.count(next), 0u);
    EXPECT_EQ(fake::state.files.count(next + ".failed"), 1u);
    EXPECT_EQ(start().find("-XX:AOT"), std::string::npos) << "not tried again";
    for (const auto &f : fake::state.files)
        EXPECT_EQ(f.first.find(".4242."), std::string::npos) << f.first << " left behind";
}

TEST_F(FastStart, OlderArchivesGoTheNewestFewAndFreshTrainingFilesStay) {
    const long long second = 1000000000LL;
    fake::state.clock = {10 * 24 * 3600};
    fake::state.folders.insert(CACHE);
    const std::string name = std::string(CACHE) + "\\com.acme.Main-";
    file(name + "0000000000000001.aot", "old", 1 * second);
    file(name + "0000000000000002.jsa", "old", 2 * second);
    file(name + "0000000000000003.aot.failed", "", 3 * second);
    file(name + "0000000000000004.aot", "new", 4 * second);
    file(name + "0000000000000005.aot.99.config", "stale", 5 * second);
    file(name + "0000000000000006.aot.98.config", "fresh", 10 * 24 * 3600 * second);
    file(std::string(CACHE) + "\\Other-0000000000000001.aot", "other", 0);
    fake::state.childRuns = [](const std::string &line) {
        if (line.find("AOTMode=record") != std::string::npos)
            fake::state.files[pathParameter(line, "AOTConfiguration")] = "recorded";
        else
            fake::state.files[pathParameter(line, "AOTCache")] = "cache";
    };
    start();
    std::vector<std::string> kept;
    for (const auto &f : fake::state.files)
        if (f.first.compare(0, std::strlen(CACHE), CACHE) == 0) kept.push_back(f.first.substr(std::strlen(CACHE) + 1));
    EXPECT_EQ(kept, (std::vector<std::string>{"Other-0000000000000001.aot",
                                              "com.acme.Main-0000000000000003.aot.failed",
                                              "com.acme.Main-0000000000000004.aot",
                                              "com.acme.Main-0000000000000006.aot.98.config",
                                              "com.acme.Main-" + fingerprint() + ".aot"}));
}

TEST_F(FastStart, AStartGoesOnWithoutWhereNothingCanBeKept) {
    const std::function<void()> obstacles[] = {
        [] { fake::state.environment.erase("LOCALAPPDATA"); },
        [] { fake::state.environment["LOCALAPPDATA"] = "C:\\Users\\Zo\xC3\xAB"; },
        [] { fake::state.readOnlyFolders.insert("C:\\Users\\ann\\AppData\\Local"); },
        [] {
            fake::state.folders.insert(CACHE);
            fake::state.readOnlyFolders.insert(CACHE);
        },
        [] {
            while (listHasRoom(LIST_VMPARAMS)) appendToList(LIST_VMPARAMS, keepText("-Dfull"));
        },
        [] { settings.fastStart = false; },
    };
    for (const auto &obstacle : obstacles) {
        SetUp();
        settings._debug = 1;
        obstacle();
        fake::state.launches.clear();
        EXPECT_EQ(execApp(), 0);
        ASSERT_EQ(fake::state.launches.size(), 1u);
        EXPECT_EQ(fake::state.launches[0].commandLine.find("-XX:AOT"), std::string::npos);
        bool said = fake::state.standardOutput.find("Fast start: not used: ") != std::string::npos;
        EXPECT_EQ(said, settings.fastStart) << fake::state.standardOutput;
    }
}

} // namespace
