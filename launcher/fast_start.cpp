#include "launcher/fast_start.h"

#include "core/settings.h"
#include "core/text.h"
#include "launcher/cache_folder.h"
#include "launcher/cache_maker.h"
#include "platform/java_version.h"
#include "platform/platform.h"

#include <cstdlib>
#include <cstring>
#include <vector>

/* The runtimes that keep an archive of the application by themselves: the
** dynamic archive made when it is missing or unusable, and the
** ahead-of-time cache, which is more (linked classes, profiles) and faster. */
static constexpr int FIRST_DYNAMIC_ARCHIVE_FEATURE = 19;
static constexpr int FIRST_AHEAD_OF_TIME_FEATURE = 25;

static constexpr long long SECONDS_A_DAY = 24 * 60 * 60;

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

/* What names the code the runtime starts from, and so the run that makes
** the cache keeps, without the application's arguments: the module (its
** module graph is part of the cache) or the executable jar. */
static const char *const KEPT_MAIN_PREFIXES[] = {"-m ", "--module ", "--module=", "-jar "};

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

static bool startsWithAny(const char *text, const char *const *prefixes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i)
        if (startsWith(text, prefixes[i])) return true;
    return false;
}

#define STARTS_WITH_ANY(text, prefixes) \
    startsWithAny(text, prefixes, sizeof prefixes / sizeof prefixes[0])

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

/* The version of the runtime that runs command, from its release file, or
** an empty text after a debug line saying why there is none. */
static std::string runtimeVersion(const JavaCommand &command, std::string *home) {
    std::string version;
    if (!runtimeHome(command.runtime, home))
        fastStartLine("not used: no home above %s", command.runtime.c_str());
    else if (!platform::runtimeReleaseVersion(home->c_str(), &version))
        fastStartLine("not used: no JAVA_VERSION in %s", home->c_str());
    return version;
}

/* The archive's path for command in the cache folder, or an empty text after
** a debug line saying why the start goes without one.  Sets
** run->aheadOfTime, and *version to the runtime's.  Removes the
** application's leftovers in the folder. */
static std::string archivePath(const JavaCommand &command, FastStartRun *run,
                               std::string *version) {
    const char *own = ownArchiveParameter(command);
    if (own != nullptr) {
        fastStartLine("not used: %s names archives", own);
        return std::string();
    }
    if (platform::runsElevated()) {
        fastStartLine("not used: the launcher runs elevated");
        return std::string();
    }
    std::string home, fingerprint;
    *version = runtimeVersion(command, &home);
    if (version->empty()) return std::string();
    int feature = featureNumber(*version);
    if (feature < FIRST_DYNAMIC_ARCHIVE_FEATURE) {
        fastStartLine("not used: Java %s is older than %d", version->c_str(),
                      FIRST_DYNAMIC_ARCHIVE_FEATURE);
        return std::string();
    }
    if (!fastStartFingerprint(command, home, *version, &fingerprint)) {
        fastStartLine("not used: %s", fingerprint.c_str());
        return std::string();
    }
    std::string folder = cacheFolder();
    if (folder.empty()) return std::string();
    std::string prefix = archivePrefix(command);
    run->aheadOfTime = feature >= FIRST_AHEAD_OF_TIME_FEATURE;
    std::string archive =
        joinPath(folder, (prefix + fingerprint + (run->aheadOfTime ? ".aot" : ".jsa")).c_str());
    tidyArchives(folder, prefix, archive);
    return archive;
}

/* How many training starts in a row ended with an error for archive. */
static int poorTrainings(const std::string &archive) {
    return std::atoi(smallFileText(archive + POOR_SUFFIX).c_str());
}

/* False, after a debug line, while archive is neither to be used nor to be
** made: its cache is being made, a making failed within the week, or its
** training starts keep ending with an error. */
static bool archiveMayBeUsed(const std::string &archive) {
    long long age = ageOf(archive + MAKING_SUFFIX);
    if (age >= 0) {
        fastStartLine("not used: %s is being made (for %ld s)", archive.c_str(),
                      static_cast<long>(age));
        return false;
    }
    std::string mark = archive + FAILED_SUFFIX;
    age = ageOf(mark);
    if (age > MARK_SECONDS) {
        fastStartLine("%s is over a week old: trying again", mark.c_str());
        platform::removeFile(mark.c_str());
    } else if (age >= 0) {
        fastStartLine("not used: making it failed before, says %s (%ld days old): %s", mark.c_str(),
                      static_cast<long>(age / SECONDS_A_DAY), smallFileText(mark).c_str());
        return false;
    }
    int poor = poorTrainings(archive);
    if (poor >= POOR_TRAININGS_LIMIT)
        fastStartLine("not used: %d training starts in a row ended with an error (%s%s)", poor,
                      archive.c_str(), POOR_SUFFIX);
    return poor < POOR_TRAININGS_LIMIT;
}

/* True when archive is in place and is what the launcher made; an archive
** that is not (cut short, written over, another's) is removed. */
static bool archiveInPlace(const std::string &archive) {
    if (!platform::fileExists(archive.c_str())) return false;
    std::string made = smallFileText(archive + MADE_SUFFIX);
    if (!made.empty() && made == madeFacts(archive)) return true;
    fastStartLine("%s is not what the launcher made: removed, training again", archive.c_str());
    platform::removeFile(archive.c_str());
    platform::removeFile((archive + MADE_SUFFIX).c_str());
    return false;
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

/* The training file of a start that may train: made empty under a name of
** its own; empty after a debug line when the folder has too little room or
** cannot be written. */
static std::string trainingFile(const std::string &archive, bool aheadOfTime) {
    std::string folder = archive.substr(0, lastSeparator(archive));
    long free = spaceShortMiB(folder);
    if (free >= 0) {
        fastStartLine("not used: %ld MiB free in %s, a training start needs %d", free,
                      folder.c_str(), static_cast<int>(SPACE_NEEDED / (1024 * 1024)));
        return std::string();
    }
    std::string training = formatText("%s.%lu.%s", archive.c_str(), platform::currentProcessId(),
                                      aheadOfTime ? "config" : "tmp");
    if (!platform::createNewFile(training.c_str())) {
        fastStartLine("not used: cannot write in %s", folder.c_str());
        return std::string();
    }
    return training;
}

FastStartRun prepareFastStart(const JavaCommand &command) {
    FastStartRun run;
    if (!settings.fastStart) return run;
    std::string version;
    std::string archive = archivePath(command, &run, &version);
    if (archive.empty() || !archiveMayBeUsed(archive)) return FastStartRun();

    const char *kind = run.aheadOfTime ? "ahead-of-time cache" : "dynamic archive";
    bool exists = archiveInPlace(archive);
    std::string training = exists ? std::string() : trainingFile(archive, run.aheadOfTime);
    if (!exists && training.empty()) return FastStartRun();
    run.archive = archive;
    if (!archiveLoggingConfigured(command))
        run.jvmParameters.push_back(run.aheadOfTime ? AHEAD_OF_TIME_SILENCE
                                                    : DYNAMIC_ARCHIVE_SILENCE);
    if (exists) {
        fastStartLine("Java %s, %s %s", version.c_str(), kind, archive.c_str());
        if (!run.aheadOfTime) run.jvmParameters.push_back("-XX:+AutoCreateSharedArchive");
        run.jvmParameters.push_back(
            pathParameter(run.aheadOfTime ? "-XX:AOTCache" : "-XX:SharedArchiveFile", archive));
        return run;
    }
    run.training = training;
    fastStartLine("Java %s, training: %s %s", version.c_str(), kind, archive.c_str());
    addTrainingParameters(&run);
    return run;
}

/* The command of the run that makes the cache at output from the recorded
** configuration: the runtime, class path and archive-relevant parameters of
** command, the module or jar it starts from, and nothing of the
** application's own (no main class, no argument): the runtime only makes
** the cache. */
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
    if (STARTS_WITH_ANY(command.mainClass.c_str(), KEPT_MAIN_PREFIXES))
        making.mainClass = command.mainClass;
    return making;
}

/* Counts a training start that ended with an error, and says so. */
static void countPoorTraining(const FastStartRun &run, int exitCode, bool recorded) {
    std::string count = run.archive + POOR_SUFFIX;
    int poor = poorTrainings(run.archive) + 1;
    writeSmallFile(count, formatText("%d\n", poor));
    fastStartLine("the training start ended with %d: nothing made; %d such starts in a row (%s)",
                  exitCode, poor, count.c_str());
    if (exitCode == 1 && !recorded)
        fastStartLine("no record: the runtime ends with 1 when it cannot write it, whatever the "
                      "application's own exit code");
}

void finishFastStart(const FastStartRun &run, const JavaCommand &command, const char *directory,
                     int exitCode) {
    if (run.training.empty()) return;
    platform::FileFacts facts;
    bool recorded = platform::fileFacts(run.training.c_str(), &facts) && facts.size > 0;
    if ((exitCode != 0 && exitCode != platform::RELAUNCH_EXIT_CODE) ||
        platform::endRequestedBySignal()) {
        platform::removeFile(run.training.c_str());
        countPoorTraining(run, exitCode, recorded);
        return;
    }
    platform::removeFile((run.archive + POOR_SUFFIX).c_str());
    if (!recorded) {
        fastStartLine("the training start left no record: nothing made");
        platform::removeFile(run.training.c_str());
        return;
    }
    if (!run.aheadOfTime) {
        putArchiveInPlace(run.training, run.archive);
        return;
    }
    CacheJob job;
    job.prefix = archivePrefix(command);
    job.archive = run.archive;
    job.record = run.training;
    job.output = formatText("%s.%lu.tmp", run.archive.c_str(), platform::currentProcessId());
    job.directory = orEmpty(directory);
    job.commandLine = buildJavaCommandLine(cacheMakingCommand(command, job.record, job.output));
    startCacheMaker(job);
}
