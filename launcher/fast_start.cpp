#include "launcher/fast_start.h"

#include "core/settings.h"
#include "core/text.h"
#include "launcher/command_line.h"
#include "platform/platform.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

/* The runtimes that keep an archive of the application by themselves: the
** dynamic archive made when it is missing or unusable, and the
** ahead-of-time cache, which is more (linked classes, profiles) and faster. */
static constexpr int FIRST_DYNAMIC_ARCHIVE_FEATURE = 19;
static constexpr int FIRST_AHEAD_OF_TIME_FEATURE = 25;

/* The most JVM parameters one start adds (a training start of Java 25). */
static constexpr int MOST_ADDED_PARAMETERS = 5;

/* The newest archives of one application that stay: a few, so that two
** versions used side by side do not make each other's archive again. */
static constexpr std::size_t ARCHIVES_KEPT = 3;

/* What a training start left behind (killed, the machine switched off) is
** removed once it is this old; a training start still running at that age
** writes its file again when it ends. */
static constexpr long long STALE_TRAINING_SECONDS = 24 * 60 * 60;
static constexpr long long NANOSECONDS = 1000000000LL;

/* The application's name in the archive's name: letters, digits, '.', '-'
** and '_', at most this long. */
static constexpr std::size_t NAME_LENGTH = 40;
static constexpr std::size_t FINGERPRINT_DIGITS = 16;

/* Changes when what goes into the fingerprint changes, so older archives
** are never taken for new ones. */
static const char FINGERPRINT_FORMAT[] = "tarnwick fast start 1";

/* Configured parameters that name an archive of their own or turn archives
** off: the configuration is then left alone. */
static const char *const ARCHIVE_PARAMETERS[] = {
    "-Xshare", "-XX:SharedArchiveFile", "-XX:ArchiveClassesAtExit", "-XX:+AutoCreateSharedArchive",
    "-XX:AOT", "-XX:SharedClassListFile", "-XX:DumpLoadedClassList"};

/* Where the runtime takes further parameters from besides its command line. */
static const char *const OPTION_VARIABLES[] = {"JAVA_TOOL_OPTIONS", "JDK_JAVA_OPTIONS", "_JAVA_OPTIONS"};

/* Parameters that change how objects are laid out (heap size, compressed
** pointers, object headers, the collector) or which classes and modules the
** runtime sees ("--add-opens" and the other module options): an archive made
** with other values is unusable.  They go into the fingerprint and into the
** run that makes the cache; "-XX:+Use...GC" counts too. */
static const char *const ARCHIVE_RELEVANT_PARAMETERS[] = {
    "-Xmx", "-Xms", "--", "-XX:MaxHeapSize", "-XX:InitialHeapSize", "-XX:MaxRAM",
    "-XX:+UseCompressed", "-XX:-UseCompressed", "-XX:ObjectAlignmentInBytes",
    "-XX:+UseCompactObjectHeaders", "-XX:-UseCompactObjectHeaders"};

/* Keeps the runtime's messages about archives off the application's
** standard output (a cache that no longer fits is then passed over
** silently); the "aot" tag exists from Java 24 on, and an unknown tag
** would stop the runtime. */
static const char DYNAMIC_ARCHIVE_SILENCE[] = "-Xlog:cds*=off";
static const char AHEAD_OF_TIME_SILENCE[] = "-Xlog:aot*=off,cds*=off";

/* A training start of Java 25 prints that it recorded the configuration,
** past every log setting; the making of the cache prints two lines more. */
static const char *const QUIET_VM_OUTPUT[] = {"-XX:+UnlockDiagnosticVMOptions", "-XX:-DisplayVMOutput"};

static void debugLine(const std::string &line) { debugPrint("Fast start: " + line + "\n"); }

static bool startsWithAny(const char *text, const char *const *prefixes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i)
        if (startsWith(text, prefixes[i])) return true;
    return false;
}

template <std::size_t N> static bool startsWithAny(const char *text, const char *const (&prefixes)[N]) {
    return startsWithAny(text, prefixes, N);
}

static bool isSeparator(char c) { return c == '/' || c == platform::PATH_SEPARATOR; }

static std::string withoutQuotes(const char *text) {
    std::string plain;
    for (; *text != '\0'; ++text)
        if (*text != '"') plain += *text;
    return plain;
}

static std::string joinPath(const std::string &folder, const std::string &name) {
    if (!folder.empty() && isSeparator(folder.back())) return folder + name;
    return folder + platform::PATH_SEPARATOR + name;
}

/* Absolute on every system: a leading separator, or a drive letter and a
** colon (a name cannot hold a colon on POSIX, where it separates entries). */
static bool isAbsolute(const std::string &path) {
    return (!path.empty() && isSeparator(path[0])) || (path.size() > 1 && path[1] == ':');
}

/* The feature release of a JAVA_VERSION: 25 for "25.0.3" or "25-ea", 8 for
** "1.8.0_392"; 0 when it does not begin with a number. */
static int featureNumber(const std::string &version) {
    const char *p = version.c_str();
    int number = 0;
    for (int part = 0; part < 2; ++part) {
        number = 0;
        for (; std::isdigit(static_cast<unsigned char>(*p)) && number < 10000; ++p) number = number * 10 + (*p - '0');
        if (number != 1 || *p != '.') break;
        ++p;
    }
    return number;
}

/* The runtime's home: two folders above the real executable (links
** followed, as the runtime finds its own home), the executable found on
** PATH when javapath names no folder. */
static bool runtimeHome(std::string *home) {
    std::string executable = withoutQuotes(settings.javapath);
    if (std::find_if(executable.begin(), executable.end(), isSeparator) == executable.end() &&
        !platform::findOnSearchPath(executable.c_str(), &executable))
        return false;
    *home = platform::fileIdentity(executable.c_str());
    for (int level = 0; level < 2; ++level) {
        std::size_t cut = home->find_last_of(std::string("/") + platform::PATH_SEPARATOR);
        if (cut == std::string::npos || cut == 0) return false;
        home->resize(cut);
    }
    return true;
}

/* The application's name as the archive's name begins: appname, else the
** main class. */
static std::string applicationName() {
    const char *name = settings.appname != nullptr && settings.appname[0] != '\0' ? settings.appname
                                                                                : orEmpty(settings.mainClass);
    std::string safe;
    for (; *name != '\0' && safe.size() < NAME_LENGTH; ++name) {
        char c = *name;
        bool kept = std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || (c == '.' && !safe.empty());
        safe += kept ? c : '_';
    }
    return safe.empty() ? "app" : safe;
}

static void appendStamp(std::string *facts, const std::string &path) {
    platform::FileFacts file;
    *facts += path;
    if (platform::fileFacts(path.c_str(), &file))
        *facts += formatText(" %llu %lld\n", file.size, file.modified);
    else
        *facts += " missing\n";
}

static bool isJarName(const std::string &name) {
    if (name.size() < 4) return false;
    std::string extension = name.substr(name.size() - 4);
    for (char &c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension == ".jar";
}

/* Each class-path entry as the child resolves it (against its starting
** folder), with its size and time; an entry that ends in "*" with each jar
** in its folder, in name order.  False at the first entry that is a folder. */
static bool classPathFacts(std::string *facts, std::string *folder) {
    std::string base = settings.cwd;
    if (settings.workingDir != nullptr) {
        std::string working = withoutQuotes(settings.workingDir);
        base = isAbsolute(working) ? working : joinPath(base, working);
    }
    for (int i = 0; i < settings.vmpathsCnt; ++i) {
        std::string entry = withoutQuotes(settings.vmpaths[i]);
        std::string path = isAbsolute(entry) ? entry : joinPath(base, entry);
        if (!entry.empty() && entry.back() == '*') {
            path.pop_back();
            std::vector<std::string> names;
            platform::listFolder(path.c_str(), &names);
            std::sort(names.begin(), names.end());
            *facts += path + "*\n";
            for (const std::string &name : names)
                if (isJarName(name)) appendStamp(facts, joinPath(path, name));
            continue;
        }
        platform::FileFacts file;
        if (platform::fileFacts(path.c_str(), &file) && file.isFolder) {
            *folder = path;
            return false;
        }
        appendStamp(facts, path);
    }
    return true;
}

/* Whether parameter i of the list goes into the fingerprint and into the run
** that makes the cache; a module option written as two parameters
** ("--add-opens", then its value) takes its value along. */
static bool isArchiveRelevant(char *const *parameters, int i) {
    const char *parameter = parameters[i];
    std::size_t length = std::strlen(parameter);
    if (startsWithAny(parameter, ARCHIVE_RELEVANT_PARAMETERS)) return true;
    if ((startsWith(parameter, "-XX:+Use") || startsWith(parameter, "-XX:-Use")) && length > 2 &&
        std::strcmp(parameter + length - 2, "GC") == 0)
        return true;
    const char *option = i > 0 ? parameters[i - 1] : "";
    return parameter[0] != '-' && startsWith(option, "--") && std::strchr(option, '=') == nullptr;
}

/* 64-bit FNV-1a: small, and more than enough to tell a handful of archives
** of one application apart. */
static std::string hashText(const std::string &text) {
    unsigned long long hash = 14695981039346656037ULL;
    for (unsigned char c : text) hash = (hash ^ c) * 1099511628211ULL;
    return formatText("%016llx", hash);
}

bool fastStartFingerprint(const std::string &home, const std::string &version, std::string *fingerprint) {
    std::string facts = std::string(FINGERPRINT_FORMAT) + "\n" + applicationName() + "\n" + home + "\n" +
                        version + "\n";
    appendStamp(&facts, joinPath(home, "release"));
    appendStamp(&facts, joinPath(joinPath(home, "lib"), "modules"));
    if (!classPathFacts(&facts, fingerprint)) return false;
    for (int i = 0; i < settings.vmparamsCnt; ++i)
        if (isArchiveRelevant(settings.vmparams, i)) facts += std::string(settings.vmparams[i]) + "\n";
    *fingerprint = hashText(facts);
    return true;
}

/* A configured parameter, or one in the runtime's option variables, that
** names an archive of its own or turns archives off; empty when none. */
static std::string ownArchiveParameter() {
    for (int i = 0; i < settings.vmparamsCnt; ++i)
        if (startsWithAny(settings.vmparams[i], ARCHIVE_PARAMETERS)) return settings.vmparams[i];
    for (const char *variable : OPTION_VARIABLES) {
        std::string value;
        if (!platform::getEnvironment(variable, &value)) continue;
        for (const char *prefix : ARCHIVE_PARAMETERS)
            if (value.find(prefix) != std::string::npos) return std::string(variable) + "=" + value;
    }
    return std::string();
}

/* True when the configuration asks for the runtime's messages about
** archives itself: they are then not silenced. */
static bool archiveLoggingConfigured() {
    for (int i = 0; i < settings.vmparamsCnt; ++i) {
        const char *parameter = settings.vmparams[i];
        if (startsWith(parameter, "-Xlog") && (std::strstr(parameter, "cds") || std::strstr(parameter, "aot")))
            return true;
    }
    return false;
}

/* "-XX:Name=path", the path in double quotes so that a blank in it keeps it
** one argument (by the rules every start splits a command line with). */
static void addPathParameter(const char *name, const std::string &path) {
    std::string parameter = std::string(name) + "=\"";
    std::size_t backslashes = 0;
    for (char c : path) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        parameter.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        parameter += c;
        backslashes = 0;
    }
    parameter.append(2 * backslashes, '\\');
    appendToList(LIST_VMPARAMS, keepText(parameter + "\""));
}

static void addParameter(const char *parameter) { appendToList(LIST_VMPARAMS, keepText(parameter)); }

/* The cache folder, made when missing; empty with a debug line when there is
** none that the runtime can be handed. */
static std::string cacheFolder() {
    std::string folder;
    if (!platform::userCacheFolder(&folder)) {
        debugLine("not used: the system names no cache folder for the user");
        return std::string();
    }
    folder = joinPath(joinPath(folder, "tarnwick"), "cds");
    bool plain = std::none_of(folder.begin(), folder.end(), [](char c) { return (c & 0x80) != 0; });
    if (platform::JAVA_ARGUMENTS_IN_CODE_PAGE && !plain) {
        debugLine("not used: the runtime may not receive the cache folder " + folder + " unchanged");
        return std::string();
    }
    if (!platform::makePrivateFolders(folder.c_str())) {
        debugLine("not used: the cache folder " + folder + " cannot be made, or others can write to it");
        return std::string();
    }
    return folder;
}

/* The runtime's version from its release file, or an empty text after a
** debug line saying why there is none. */
static std::string runtimeVersion(std::string *home) {
    std::string version;
    if (!runtimeHome(home)) {
        debugLine(formatText("not used: the runtime's home cannot be told from %s", settings.javapath));
    } else if (!platform::runtimeReleaseVersion(home->c_str(), &version)) {
        debugLine("not used: no release file in " + *home + " names the runtime's version");
    }
    return version;
}

void prepareFastStart(FastStartRun *run) {
    *run = FastStartRun();
    if (!settings.fastStart) return;
    std::string own = ownArchiveParameter();
    if (!own.empty()) {
        debugLine("not used: the configuration names its own archive: " + own);
        return;
    }
    if (VMPARAMS_CAPACITY - settings.vmparamsCnt < MOST_ADDED_PARAMETERS) {
        debugLine("not used: the JVM parameters leave no room for its parameters");
        return;
    }
    std::string home, fingerprint;
    std::string version = runtimeVersion(&home);
    if (version.empty()) return;
    int feature = featureNumber(version);
    if (feature < FIRST_DYNAMIC_ARCHIVE_FEATURE) {
        debugLine(formatText("not used: Java %s keeps no archive of the application by itself "
                             "(Java %d and later do)", version.c_str(), FIRST_DYNAMIC_ARCHIVE_FEATURE));
        return;
    }
    if (!fastStartFingerprint(home, version, &fingerprint)) {
        debugLine("not used: the class path holds the folder " + fingerprint + "; only jars can be archived");
        return;
    }
    std::string folder = cacheFolder();
    if (folder.empty()) return;

    run->aheadOfTime = feature >= FIRST_AHEAD_OF_TIME_FEATURE;
    std::string archive = joinPath(folder, applicationName() + "-" + fingerprint) +
                          (run->aheadOfTime ? ".aot" : ".jsa");
    const char *kind = run->aheadOfTime ? "ahead-of-time cache" : "dynamic archive";
    platform::FileFacts facts;
    if (platform::fileFacts((archive + ".failed").c_str(), &facts)) {
        debugLine("not used: making the " + std::string(kind) + " " + archive +
                  " failed before for this application and runtime");
        return;
    }
    bool exists = platform::fileFacts(archive.c_str(), &facts) && facts.size > 0;
    std::string training = formatText("%s.%lu.%s", archive.c_str(), platform::currentProcessId(),
                                      run->aheadOfTime ? "config" : "tmp");
    if (!exists && !platform::createNewFile(training.c_str())) {
        debugLine("not used: nothing can be written in " + folder);
        return;
    }
    run->archive = archive;
    if (!archiveLoggingConfigured())
        addParameter(run->aheadOfTime ? AHEAD_OF_TIME_SILENCE : DYNAMIC_ARCHIVE_SILENCE);
    if (exists) {
        debugLine(formatText("Java %s, %s %s", version.c_str(), kind, archive.c_str()));
        if (!run->aheadOfTime) addParameter("-XX:+AutoCreateSharedArchive");
        addPathParameter(run->aheadOfTime ? "-XX:AOTCache" : "-XX:SharedArchiveFile", archive);
        return;
    }
    run->training = training;
    debugLine(formatText("Java %s, training start: the %s %s is made when the application ends",
                         version.c_str(), kind, archive.c_str()));
    if (!run->aheadOfTime) {
        addPathParameter("-XX:ArchiveClassesAtExit", training);
        return;
    }
    for (const char *parameter : QUIET_VM_OUTPUT) addParameter(parameter);
    addParameter("-XX:AOTMode=record");
    addPathParameter("-XX:AOTConfiguration", training);
}

/* Runs the runtime once more to make the cache from the recorded
** configuration into output: the same runtime, class path and relevant
** parameters as the training start, in the same folder, with no window and
** nothing printed.  True when it ended with 0. */
static bool makeCache(const std::string &configuration, const std::string &output, const char *directory) {
    LauncherSettings saved = settings;
    settings.vmparamsCnt = 0;
    settings.argsCnt = 0;
    settings.mainClass = nullptr;
    for (int i = 0; i < saved.vmparamsCnt; ++i)
        if (isArchiveRelevant(saved.vmparams, i)) addParameter(saved.vmparams[i]);
    for (const char *parameter : QUIET_VM_OUTPUT) addParameter(parameter);
    addParameter(AHEAD_OF_TIME_SILENCE);
    addParameter("-XX:AOTMode=create");
    addPathParameter("-XX:AOTConfiguration", configuration);
    addPathParameter("-XX:AOTCache", output);
    std::string line = buildJavaCommandLine();
    settings = saved;
    debugPrint("Fast start: making the cache: " + line + "\n");

    std::vector<char> launchCopy(line.begin(), line.end());
    launchCopy.push_back('\0');
    platform::ChildProcess child = nullptr;
    unsigned long error = 0;
    if (!platform::startProcess(launchCopy.data(), platform::CREATE_NO_WINDOW_FLAG, directory, nullptr, &child,
                                &error))
        return false;
    platform::waitForProcess(child);
    int exitCode = platform::processExitCode(child);
    platform::releaseProcess(child);
    return exitCode == 0;
}

/* The file names of this application's archives in folder ("<name>-<16 hex
** digits>." and more), newest first; what training starts left behind long
** ago is removed on the way. */
static void removeOlderArchives(const std::string &folder, const std::string &keep) {
    std::vector<std::string> names;
    if (!platform::listFolder(folder.c_str(), &names)) return;
    std::string prefix = applicationName() + "-";
    long long staleBefore = (platform::wallClockSeconds() - STALE_TRAINING_SECONDS) * NANOSECONDS;
    std::vector<std::pair<long long, std::string>> archives;
    for (const std::string &name : names) {
        std::size_t dot = prefix.size() + FINGERPRINT_DIGITS;
        if (name.compare(0, prefix.size(), prefix) != 0 || name.size() <= dot || name[dot] != '.' ||
            !std::all_of(name.begin() + prefix.size(), name.begin() + dot,
                         [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }))
            continue;
        std::string path = joinPath(folder, name);
        platform::FileFacts facts;
        if (path == keep || !platform::fileFacts(path.c_str(), &facts)) continue;
        if (name.find('.', dot + 1) == std::string::npos || name.compare(dot, std::string::npos, ".aot.failed") == 0 ||
            name.compare(dot, std::string::npos, ".jsa.failed") == 0)
            archives.emplace_back(facts.modified, path);
        else if (facts.modified < staleBefore)
            platform::removeFile(path.c_str());
    }
    std::sort(archives.rbegin(), archives.rend());
    for (std::size_t i = ARCHIVES_KEPT - 1; i < archives.size(); ++i) {
        debugLine("removing the older archive " + archives[i].second);
        platform::removeFile(archives[i].second.c_str());
    }
}

void finishFastStart(const FastStartRun &run, const char *directory) {
    if (run.training.empty()) return;
    platform::FileFacts facts;
    bool recorded = platform::fileFacts(run.training.c_str(), &facts) && facts.size > 0 &&
                    !platform::endRequestedBySignal();
    std::string written = run.training;
    if (recorded && run.aheadOfTime) {
        written = run.archive + formatText(".%lu.tmp", platform::currentProcessId());
        long long start = platform::wallClockSeconds();
        recorded = makeCache(run.training, written, directory);
        platform::removeFile(run.training.c_str());
        if (recorded) {
            debugLine(formatText("the cache was made in %lld s", platform::wallClockSeconds() - start));
        } else {
            debugLine("making the cache failed: this application and runtime start without one");
            platform::createNewFile((run.archive + ".failed").c_str());
        }
    }
    if (recorded && platform::fileFacts(written.c_str(), &facts) && facts.size > 0 &&
        platform::replaceFile(written.c_str(), run.archive.c_str()))
        debugLine("made " + run.archive);
    platform::removeFile(written.c_str());
    std::size_t cut = run.archive.find_last_of(std::string("/") + platform::PATH_SEPARATOR);
    removeOlderArchives(run.archive.substr(0, cut), run.archive);
}
