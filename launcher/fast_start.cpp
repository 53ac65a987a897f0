#include "launcher/fast_start.h"

#include "core/settings.h"
#include "core/text.h"
#include "platform/java_version.h"
#include "platform/platform.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

/* The runtimes that keep an archive of the application by themselves: the
** dynamic archive made when it is missing or unusable, and the
** ahead-of-time cache, which is more (linked classes, profiles) and faster. */
static constexpr int FIRST_DYNAMIC_ARCHIVE_FEATURE = 19;
static constexpr int FIRST_AHEAD_OF_TIME_FEATURE = 25;

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
static const char FINGERPRINT_FORMAT[] = "fast start 1";

/* Beside an archive: making it failed, so it is not tried again. */
static const char FAILED_SUFFIX[] = ".failed";

/* Configured parameters that name an archive of their own or turn archives
** off: the configuration is then left alone. */
static const char *const ARCHIVE_PARAMETERS[] = {"-Xshare",
                                                 "-XX:SharedArchiveFile",
                                                 "-XX:ArchiveClassesAtExit",
                                                 "-XX:+AutoCreateSharedArchive",
                                                 "-XX:-AutoCreateSharedArchive",
                                                 "-XX:AOT",
                                                 "-XX:SharedClassListFile",
                                                 "-XX:DumpLoadedClassList"};

/* Where the runtime takes further parameters from besides its command line. */
static const char *const OPTION_VARIABLES[] = {"JAVA_TOOL_OPTIONS", "JDK_JAVA_OPTIONS",
                                               "_JAVA_OPTIONS"};

/* Parameters that change how objects are laid out (heap size, compressed
** pointers, object headers, the collector) or which classes and modules the
** runtime sees ("--add-opens" and the other module options): an archive made
** with other values is unusable.  They go into the fingerprint and into the
** run that makes the cache; "-XX:+Use...GC" counts too. */
static const char *const ARCHIVE_RELEVANT_PARAMETERS[] = {"-Xmx",
                                                          "-Xms",
                                                          "--",
                                                          "-XX:MaxHeapSize",
                                                          "-XX:InitialHeapSize",
                                                          "-XX:MaxRAM",
                                                          "-XX:ObjectAlignmentInBytes"};

/* Keeps the runtime's messages about archives off the application's
** standard output (a cache that no longer fits is then passed over
** silently).  Older runtimes know no "aot" tag and refuse to start with one
** (Java 17 does), so the dynamic archive's runtimes get "cds" alone. */
static const char DYNAMIC_ARCHIVE_SILENCE[] = "-Xlog:cds*=off";
static const char AHEAD_OF_TIME_SILENCE[] = "-Xlog:aot*=off,cds*=off";

/* A training start of Java 25 prints that it recorded the configuration,
** past every log setting; the making of the cache prints two lines more. */
static const char *const QUIET_VM_OUTPUT[] = {"-XX:+UnlockDiagnosticVMOptions",
                                              "-XX:-DisplayVMOutput"};

/* Lines of the debug trail are cut at this length. */
static constexpr std::size_t DEBUG_LINE_SIZE = 2 * CWD_SIZE;

/* 64-bit FNV-1a: small, and more than enough to tell a handful of archives
** of one application apart. */
static constexpr unsigned long long FNV_OFFSET = 14695981039346656037ULL;
static constexpr unsigned long long FNV_PRIME = 1099511628211ULL;

/* "Fast start: " and the formatted text as a line of the debug trail. */
static void debugLine(const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
static void debugLine(const char *format, ...) {
    if (!settings._debug) return;
    char line[DEBUG_LINE_SIZE];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    debugPrint(formatText("Fast start: %s\n", line));
}

static bool startsWithAny(const char *text, const char *const *prefixes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i)
        if (startsWith(text, prefixes[i])) return true;
    return false;
}

#define STARTS_WITH_ANY(text, prefixes) \
    startsWithAny(text, prefixes, sizeof prefixes / sizeof prefixes[0])

/* Where the last separator of path stands; npos when it has none. */
static std::size_t lastSeparator(const std::string &path) {
    for (std::size_t i = path.size(); i > 0; --i)
        if (platform::isPathSeparator(path[i - 1])) return i - 1;
    return std::string::npos;
}

/* A path as the system takes it: without the quotes an expansion may have
** put in, every '/' the system's separator. */
static std::string plainPath(const std::string &text) {
    std::string plain;
    for (char c : text)
        if (c != '"') plain += c == '/' ? platform::PATH_SEPARATOR : c;
    return plain;
}

static std::string joinPath(const std::string &folder, const char *name) {
    return formatText("%s%c%s", folder.c_str(), platform::PATH_SEPARATOR, name);
}

/* path as seen from base: itself when it is absolute. */
static std::string resolvedPath(const std::string &base, const std::string &path) {
    return platform::pathIsRelative(path.c_str()) ? joinPath(base, path.c_str()) : path;
}

/* The feature release of a JAVA_VERSION: 25 for "25.0.3" or "25-ea", 8 for
** "1.8.0_392"; 0 when it is no version. */
static int featureNumber(const std::string &version) {
    JavaVersion parsed;
    return readJavaVersion(version.c_str(), &parsed) ? parsed.feature : 0;
}

/* The home of the runtime that starts as executable: above the real
** executable (links followed, as the runtime finds its own home), the
** executable found on PATH when the token names no folder. */
static bool runtimeHome(const std::string &executableToken, std::string *home) {
    std::string executable = plainPath(executableToken);
    if (lastSeparator(executable) == std::string::npos &&
        !platform::findOnSearchPath(executable.c_str(), &executable))
        return false;
    return platform::homeAboveExecutable(platform::fileIdentity(executable.c_str()), home);
}

/* The application's name as the archive's name begins: appname, else the
** main class, in letters, digits, '.', '-' and '_'. */
static std::string archiveName(const JavaCommand &command) {
    const char *name = applicationName(command.mainClass.c_str());
    std::string safe;
    for (; *name != '\0' && safe.size() < NAME_LENGTH; ++name) {
        char c = *name;
        bool kept = std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' ||
                    (c == '.' && !safe.empty());
        safe += kept ? c : '_';
    }
    return safe.empty() ? "app" : safe;
}

/* Mixes text, and a mark for its end, into an FNV-1a hash. */
static unsigned long long mixText(unsigned long long hash, const char *text) {
    for (; *text != '\0'; ++text) hash = (hash ^ static_cast<unsigned char>(*text)) * FNV_PRIME;
    return (hash ^ '\n') * FNV_PRIME;
}

/* Mixes the eight bytes of number into hash. */
static unsigned long long mixNumber(unsigned long long hash, unsigned long long number) {
    for (int byte = 0; byte < 8; ++byte)
        hash = (hash ^ ((number >> (8 * byte)) & 0xFF)) * FNV_PRIME;
    return hash;
}

/* Mixes a path, and the size and time of what it names (nothing when it is
** missing), into hash. */
static unsigned long long mixStamp(unsigned long long hash, const std::string &path) {
    platform::FileFacts file = {false, 0, 0};
    platform::fileFacts(path.c_str(), &file);
    hash = mixText(hash, path.c_str());
    hash = mixNumber(hash, file.size);
    return mixNumber(hash, static_cast<unsigned long long>(file.modified));
}

static bool isJarName(const char *name) {
    std::size_t length = std::strlen(name);
    if (length < 4 || name[length - 4] != '.') return false;
    const char *extension = name + length - 3;
    return (std::tolower(static_cast<unsigned char>(extension[0])) == 'j' &&
            std::tolower(static_cast<unsigned char>(extension[1])) == 'a' &&
            std::tolower(static_cast<unsigned char>(extension[2])) == 'r');
}

/* Mixes into hash the jars of the folder that an entry ending in "*"
** names, each with its size and time, in any order: the runtime finds them
** in the folder's own order, and a sum does not depend on it. */
static unsigned long long mixJarFolder(unsigned long long hash, std::string folder) {
    folder.pop_back();
    if (folder.size() > 1 && platform::isPathSeparator(folder.back())) folder.pop_back();
    std::vector<std::string> names;
    platform::listFolder(folder.c_str(), &names);
    unsigned long long jars = 0;
    for (const std::string &name : names)
        if (isJarName(name.c_str())) jars += mixStamp(FNV_OFFSET, joinPath(folder, name.c_str()));
    return mixNumber(mixText(hash, folder.c_str()), jars);
}

/* Mixes each class-path entry as the child resolves it (against its
** starting folder) with its size and time into hash; an entry that ends in
** "*" with each jar in its folder.  False at the first entry that is a
** folder, with its path in *folder. */
static bool mixClassPath(const std::vector<std::string> &classPath, unsigned long long *hash,
                         std::string *folder) {
    std::string base = settings.cwd;
    if (settings.workingDir != nullptr) base = resolvedPath(base, plainPath(settings.workingDir));
    for (const std::string &configured : classPath) {
        std::string entry = plainPath(configured);
        std::string path = resolvedPath(base, entry);
        platform::FileFacts file;
        if (!entry.empty() && entry.back() == '*') {
            *hash = mixJarFolder(*hash, path);
        } else if (platform::fileFacts(path.c_str(), &file) && file.isFolder) {
            *folder = path;
            return false;
        } else {
            *hash = mixStamp(*hash, path);
        }
    }
    return true;
}

/* Whether parameter i of the list goes into the fingerprint and into the run
** that makes the cache; a module option written as two parameters
** ("--add-opens", then its value) takes its value along. */
static bool isArchiveRelevant(const std::vector<std::string> &parameters, std::size_t i) {
    const char *parameter = parameters[i].c_str();
    std::size_t length = parameters[i].size();
    if (STARTS_WITH_ANY(parameter, ARCHIVE_RELEVANT_PARAMETERS)) return true;
    /* -XX:+UseZGC, -XX:-UseCompressedOops, -XX:+UseCompactObjectHeaders */
    if ((startsWith(parameter, "-XX:+Use") || startsWith(parameter, "-XX:-Use")) &&
        (std::strcmp(parameter + length - 2, "GC") == 0 || startsWith(parameter + 8, "Comp")))
        return true;
    const char *option = i > 0 ? parameters[i - 1].c_str() : "";
    return parameter[0] != '-' && startsWith(option, "--") && std::strchr(option, '=') == nullptr;
}

bool fastStartFingerprint(const JavaCommand &command, const std::string &home,
                          const std::string &version, std::string *fingerprint) {
    unsigned long long hash = mixText(FNV_OFFSET, FINGERPRINT_FORMAT);
    hash = mixText(hash, archiveName(command).c_str());
    hash = mixText(mixText(hash, home.c_str()), version.c_str());
    hash = mixStamp(hash, joinPath(home, "release"));
    hash = mixStamp(hash, joinPath(joinPath(home, "lib"), "modules"));
    if (!mixClassPath(command.classPath, &hash, fingerprint)) return false;
    for (std::size_t i = 0; i < command.jvmParameters.size(); ++i)
        if (isArchiveRelevant(command.jvmParameters, i))
            hash = mixText(hash, command.jvmParameters[i].c_str());
    /* Two halves: the system C runtime of Windows knows no "ll". */
    *fingerprint = formatText("%08lx%08lx", static_cast<unsigned long>(hash >> 32),
                              static_cast<unsigned long>(hash & 0xFFFFFFFFu));
    return true;
}

/* A configured parameter, or one in the runtime's option variables, that
** names an archive of its own or turns archives off; null when none. */
static const char *ownArchiveParameter(const JavaCommand &command) {
    for (const std::string &parameter : command.jvmParameters)
        if (STARTS_WITH_ANY(parameter.c_str(), ARCHIVE_PARAMETERS)) return parameter.c_str();
    for (const char *variable : OPTION_VARIABLES) {
        std::string value;
        if (!platform::getEnvironment(variable, &value)) continue;
        for (const char *prefix : ARCHIVE_PARAMETERS)
            if (std::strstr(value.c_str(), prefix) != nullptr) return variable;
    }
    return nullptr;
}

/* True when the configuration asks for the runtime's messages about
** archives itself: they are then not silenced. */
static bool archiveLoggingConfigured(const JavaCommand &command) {
    for (const std::string &parameter : command.jvmParameters) {
        if (startsWith(parameter.c_str(), "-Xlog") && (parameter.find("cds") != std::string::npos ||
                                                       parameter.find("aot") != std::string::npos))
            return true;
    }
    return false;
}

/* "-XX:Name=path", the path quoted so that a blank in it keeps it one
** argument (by the rules every start splits a command line with). */
static std::string pathParameter(const char *name, const std::string &path) {
    return formatText("%s=%s", name, quotedArgument(path).c_str());
}

/* The cache folder, made when missing; empty with a debug line when there is
** none that the runtime can be handed. */
static std::string cacheFolder() {
    std::string folder;
    if (!platform::userCacheFolder(&folder)) {
        debugLine("not used: no cache folder");
        return std::string();
    }
    folder = joinPath(joinPath(folder, "tarnwick"), "cds");
    bool plain = true;
    for (char c : folder) plain = plain && (c & 0x80) == 0;
    if (platform::JAVA_ARGUMENTS_IN_CODE_PAGE && !plain) {
        debugLine("not used: %s is not ASCII", folder.c_str());
    } else if (!platform::makePrivateFolders(folder.c_str())) {
        debugLine("not used: %s cannot be made, or is not private", folder.c_str());
    } else {
        return folder;
    }
    return std::string();
}

/* The version of the runtime that runs command, from its release file, or
** an empty text after a debug line saying why there is none. */
static std::string runtimeVersion(const JavaCommand &command, std::string *home) {
    std::string version;
    if (!runtimeHome(command.runtime, home))
        debugLine("not used: no home above %s", command.runtime.c_str());
    else if (!platform::runtimeReleaseVersion(home->c_str(), &version))
        debugLine("not used: no JAVA_VERSION in %s", home->c_str());
    return version;
}

/* The archive's path for command in the cache folder, or an empty text after
** a debug line saying why the start goes without one.  Sets
** run->aheadOfTime, and *version to the runtime's. */
static std::string archivePath(const JavaCommand &command, FastStartRun *run,
                               std::string *version) {
    const char *own = ownArchiveParameter(command);
    if (own != nullptr) {
        debugLine("not used: %s names archives", own);
        return std::string();
    }
    std::string home, fingerprint;
    *version = runtimeVersion(command, &home);
    if (version->empty()) return std::string();
    int feature = featureNumber(*version);
    if (feature < FIRST_DYNAMIC_ARCHIVE_FEATURE) {
        debugLine("not used: Java %s is older than %d", version->c_str(),
                  FIRST_DYNAMIC_ARCHIVE_FEATURE);
        return std::string();
    }
    if (!fastStartFingerprint(command, home, *version, &fingerprint)) {
        debugLine("not used: folder %s on the class path", fingerprint.c_str());
        return std::string();
    }
    std::string folder = cacheFolder();
    if (folder.empty()) return std::string();
    run->aheadOfTime = feature >= FIRST_AHEAD_OF_TIME_FEATURE;
    return formatText("%s%c%s-%s.%s", folder.c_str(), platform::PATH_SEPARATOR,
                      archiveName(command).c_str(), fingerprint.c_str(),
                      run->aheadOfTime ? "aot" : "jsa");
}

/* The parameters of a training start: the runtime records what the
** application loads into run->training. */
static void addTrainingParameters(FastStartRun *run) {
    std::vector<std::string> &added = run->jvmParameters;
    if (!run->aheadOfTime) {
        added.push_back(pathParameter("-XX:ArchiveClassesAtExit", run->training));
        return;
    }
    added.insert(added.end(), std::begin(QUIET_VM_OUTPUT), std::end(QUIET_VM_OUTPUT));
    added.push_back("-XX:AOTMode=record");
    added.push_back(pathParameter("-XX:AOTConfiguration", run->training));
}

FastStartRun prepareFastStart(const JavaCommand &command) {
    FastStartRun run;
    if (!settings.fastStart) return run;
    std::string version;
    std::string archive = archivePath(command, &run, &version);
    if (archive.empty()) return run;

    const char *kind = run.aheadOfTime ? "ahead-of-time cache" : "dynamic archive";
    std::string training = formatText("%s.%lu.%s", archive.c_str(), platform::currentProcessId(),
                                      run.aheadOfTime ? "config" : "tmp");
    platform::FileFacts facts;
    if (platform::fileFacts((archive + FAILED_SUFFIX).c_str(), &facts)) {
        debugLine("not used: making %s failed before", archive.c_str());
        return FastStartRun();
    }
    bool exists = platform::fileFacts(archive.c_str(), &facts) && facts.size > 0;
    if (!exists && !platform::createNewFile(training.c_str())) {
        debugLine("not used: cannot write in %s",
                  archive.substr(0, lastSeparator(archive)).c_str());
        return FastStartRun();
    }
    run.archive = archive;
    if (!archiveLoggingConfigured(command))
        run.jvmParameters.push_back(run.aheadOfTime ? AHEAD_OF_TIME_SILENCE
                                                    : DYNAMIC_ARCHIVE_SILENCE);
    if (exists) {
        debugLine("Java %s, %s %s", version.c_str(), kind, archive.c_str());
        if (!run.aheadOfTime) run.jvmParameters.push_back("-XX:+AutoCreateSharedArchive");
        run.jvmParameters.push_back(
            pathParameter(run.aheadOfTime ? "-XX:AOTCache" : "-XX:SharedArchiveFile", archive));
        return run;
    }
    run.training = training;
    debugLine("Java %s, training: %s %s", version.c_str(), kind, archive.c_str());
    addTrainingParameters(&run);
    return run;
}

/* The command of the run that makes the cache at output from the recorded
** configuration: the runtime, class path and archive-relevant parameters of
** command, and nothing of the application's own (no main class, no
** argument): the runtime only makes the cache. */
static JavaCommand cacheMakingCommand(const JavaCommand &command, const std::string &configuration,
                                      const std::string &output) {
    JavaCommand making;
    making.runtime = command.runtime;
    for (std::size_t i = 0; i < command.jvmParameters.size(); ++i)
        if (isArchiveRelevant(command.jvmParameters, i))
            making.jvmParameters.push_back(command.jvmParameters[i]);
    std::vector<std::string> &added = making.jvmParameters;
    added.insert(added.end(), std::begin(QUIET_VM_OUTPUT), std::end(QUIET_VM_OUTPUT));
    added.push_back(AHEAD_OF_TIME_SILENCE);
    added.push_back("-XX:AOTMode=create");
    added.push_back(pathParameter("-XX:AOTConfiguration", configuration));
    added.push_back(pathParameter("-XX:AOTCache", output));
    making.classPath = command.classPath;
    return making;
}

/* Runs the runtime once more to make the cache from the recorded
** configuration into output, in the training start's folder, with no window
** and nothing printed.  True when it ended with 0. */
static bool makeCache(const JavaCommand &command, const std::string &configuration,
                      const std::string &output, const char *directory) {
    std::string line = buildJavaCommandLine(cacheMakingCommand(command, configuration, output));
    debugLine("making the cache: %s", line.c_str());

    platform::ChildProcess child = nullptr;
    unsigned long error = 0;
    if (!platform::startProcess(&line[0], platform::CREATE_NO_WINDOW_FLAG, directory, nullptr,
                                &child, &error))
        return false;
    platform::waitForProcess(child);
    int exitCode = platform::processExitCode(child);
    platform::releaseProcess(child);
    return exitCode == 0;
}

/* True for a name of this application's files in the cache folder:
** prefix ("<name>-"), 16 hex digits, ".aot" or ".jsa", maybe more. */
static bool isOwnFile(const std::string &name, const std::string &prefix) {
    const char *p = name.c_str();
    if (std::strncmp(p, prefix.c_str(), prefix.size()) != 0) return false;
    p += prefix.size();
    for (std::size_t i = 0; i < FINGERPRINT_DIGITS; ++i, ++p)
        if (!std::isxdigit(static_cast<unsigned char>(*p))) return false;
    return std::strncmp(p, ".aot", 4) == 0 || std::strncmp(p, ".jsa", 4) == 0;
}

/* Keeps the newest ARCHIVES_KEPT archives of the application (keep, just
** made, among them) and removes what training starts left behind long ago.
** An archive is "<name>-<digits>.aot" or ".jsa", or the mark of failure
** beside one; a training start's files carry its process id besides. */
static void removeOlderArchives(const std::string &folder, const std::string &keep,
                                const std::string &name) {
    std::vector<std::string> names, archives;
    if (!platform::listFolder(folder.c_str(), &names)) return;
    std::string prefix = name + "-";
    long long staleBefore = (platform::wallClockSeconds() - STALE_TRAINING_SECONDS) * NANOSECONDS;
    platform::FileFacts facts;
    for (const std::string &name : names) {
        std::string path = joinPath(folder, name.c_str());
        if (!isOwnFile(name, prefix) || path == keep || !platform::fileFacts(path.c_str(), &facts))
            continue;
        const char *kind = name.c_str() + prefix.size() + FINGERPRINT_DIGITS + 4;
        if (kind[0] == '\0' || std::strcmp(kind, FAILED_SUFFIX) == 0)
            archives.push_back(std::move(path));
        else if (facts.modified < staleBefore)
            platform::removeFile(path.c_str());
    }
    /* Removes the oldest until ARCHIVES_KEPT - 1 are left beside keep. */
    while (archives.size() >= ARCHIVES_KEPT) {
        std::size_t oldest = 0;
        long long oldestTime = 0;
        for (std::size_t i = 0; i < archives.size(); ++i) {
            if (!platform::fileFacts(archives[i].c_str(), &facts)) facts.modified = 0;
            if (i == 0 || facts.modified < oldestTime) {
                oldest = i;
                oldestTime = facts.modified;
            }
        }
        debugLine("removing %s", archives[oldest].c_str());
        platform::removeFile(archives[oldest].c_str());
        archives[oldest].swap(archives.back());
        archives.pop_back();
    }
}

void finishFastStart(const FastStartRun &run, const JavaCommand &command, const char *directory) {
    if (run.training.empty()) return;
    platform::FileFacts facts;
    bool recorded = platform::fileFacts(run.training.c_str(), &facts) && facts.size > 0 &&
                    !platform::endRequestedBySignal();
    std::string written = run.training;
    if (recorded && run.aheadOfTime) {
        written = formatText("%s.%lu.tmp", run.archive.c_str(), platform::currentProcessId());
        recorded = makeCache(command, run.training, written, directory);
        platform::removeFile(run.training.c_str());
        if (!recorded) {
            debugLine("making the cache failed");
            platform::createNewFile((run.archive + FAILED_SUFFIX).c_str());
        }
    }
    if (recorded && platform::fileFacts(written.c_str(), &facts) && facts.size > 0 &&
        platform::replaceFile(written.c_str(), run.archive.c_str()))
        debugLine("made %s", run.archive.c_str());
    platform::removeFile(written.c_str());
    removeOlderArchives(run.archive.substr(0, lastSeparator(run.archive)), run.archive,
                        archiveName(command));
}
