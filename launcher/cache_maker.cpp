#include "launcher/cache_maker.h"

#include "core/settings.h"
#include "core/text.h"
#include "launcher/cache_folder.h"
#include "launcher/command_line.h"
#include "launcher/fingerprint.h"
#include "platform/platform.h"

#include <vector>

const char CACHE_JOB_VARIABLE[] = "TARNWICK_FAST_START_JOB";

/* The first field of a job, which changes with its fields. */
static const char JOB_MARK[] = "tarnwick cache job 1";

/* The largest job: a command line of any length the system takes, with room
** to spare. */
static constexpr std::size_t JOB_LIMIT = 1024 * 1024;

/* The job's fields in order; each is written ended by a NUL: no path or
** command line holds one, while a POSIX path may hold a line feed. */
static std::string *jobFields(CacheJob *job, std::size_t i) {
    std::string *fields[] = {&job->prefix, &job->archive,   &job->record,
                             &job->output, &job->directory, &job->commandLine};
    return i < sizeof fields / sizeof fields[0] ? fields[i] : nullptr;
}

static std::string jobText(const CacheJob &job) {
    std::string text = JOB_MARK;
    text += '\0';
    for (std::size_t i = 0; std::string *field = jobFields(const_cast<CacheJob *>(&job), i); ++i) {
        text += *field;
        text += '\0';
    }
    return text;
}

/* The job at path, read back; false when it is none. */
static bool readJob(const std::string &path, CacheJob *job) {
    std::string text;
    if (!platform::readFileStart(path.c_str(), JOB_LIMIT, &text) ||
        text.compare(0, sizeof JOB_MARK, JOB_MARK, sizeof JOB_MARK) != 0)
        return false;
    std::size_t at = sizeof JOB_MARK, i = 0;
    for (std::size_t end; (end = text.find('\0', at)) != std::string::npos; at = end + 1, ++i) {
        std::string *field = jobFields(job, i);
        if (field == nullptr) return false;
        field->assign(text, at, end - at);
    }
    return jobFields(job, i) == nullptr && at == text.size();
}

/* The record and the output go with the job: what stays is the cache, or a
** mark. */
static void removeJobFiles(const CacheJob &job) {
    platform::removeFile(job.record.c_str());
    platform::removeFile(job.output.c_str());
    platform::removeFile((job.archive + MAKING_SUFFIX).c_str());
}

void startCacheMaker(const CacheJob &job) {
    std::string text = jobText(job), jobPath = job.archive + MAKING_SUFFIX;
    if (text.size() > JOB_LIMIT || !platform::createNewFile(jobPath.c_str(), text)) {
        fastStartLine("not made: %s is made by another process already", job.archive.c_str());
        platform::removeFile(job.record.c_str());
        return;
    }
    std::string maker = quotedArgument(platform::launcherProgramPath(""));
    if (settings._debug) maker += " -d";
    unsigned long id = 0, error = 0;
    platform::setEnvironment(CACHE_JOB_VARIABLE, jobPath.c_str());
    bool started = platform::startDetachedProcess(&maker[0], settings._debug != 0, &id, &error);
    platform::setEnvironment(CACHE_JOB_VARIABLE, nullptr);
    if (!started) {
        fastStartLine("not made: %s cannot be started: error %lu: %s", maker.c_str(), error,
                      platform::systemErrorText(error).c_str());
        removeJobFiles(job);
        return;
    }
    fastStartLine("making the cache in process %lu: %s", id, job.commandLine.c_str());
}

/* Runs the making run and keeps its cache; after a failure leaves a mark
** only when the failure is the runtime's own: not for a making ended by a
** signal, nor for one that failed for want of space. */
static void makeCache(const CacheJob &job, const std::string &folder) {
    long free = spaceShortMiB(folder);
    if (free >= 0) {
        fastStartLine("not made: %ld MiB free in %s; no mark left", free, folder.c_str());
        return;
    }
    std::string line = job.commandLine;
    platform::ChildProcess child = nullptr;
    unsigned long error = 0;
    if (!platform::startProcess(&line[0], platform::CREATE_NO_WINDOW_FLAG,
                                job.directory.empty() ? nullptr : job.directory.c_str(), nullptr,
                                &child, &error)) {
        fastStartLine("not made: the runtime cannot be started: error %lu; no mark left", error);
        return;
    }
    platform::waitForProcess(child);
    int exitCode = platform::processExitCode(child);
    platform::releaseProcess(child);
    platform::FileFacts facts;
    if (exitCode == 0 && platform::fileFacts(job.output.c_str(), &facts) && facts.size > 0) {
        putArchiveInPlace(job.output, job.archive);
        return;
    }
    free = spaceShortMiB(folder);
    if (platform::endRequestedBySignal()) {
        fastStartLine("making %s was ended by a signal; no mark left", job.archive.c_str());
    } else if (free >= 0) {
        fastStartLine("making %s failed with %ld MiB free, for want of space; no mark left",
                      job.archive.c_str(), free);
    } else {
        std::string why = formatText("the making run ended with exit code %d", exitCode);
        writeSmallFile(job.archive + FAILED_SUFFIX, why);
        fastStartLine("making %s failed: %s; mark left for a week: %s%s", job.archive.c_str(),
                      why.c_str(), job.archive.c_str(), FAILED_SUFFIX);
    }
}

/* The job's files all lie in the folder, the archive's name begins with the
** application's prefix, and the record and the output are the archive's. */
static bool isJobOf(const CacheJob &job, const std::string &jobPath, const std::string &folder) {
    std::string begin = job.archive + ".";
    return jobPath == job.archive + MAKING_SUFFIX && lastSeparator(job.archive) == folder.size() &&
           job.archive.compare(0, folder.size(), folder) == 0 && !job.prefix.empty() &&
           job.archive.compare(folder.size() + 1, job.prefix.size(), job.prefix) == 0 &&
           job.record.compare(0, begin.size(), begin) == 0 &&
           job.output.compare(0, begin.size(), begin) == 0 &&
           lastSeparator(job.record) == folder.size() && lastSeparator(job.output) == folder.size();
}

int runCacheJob(const std::string &jobPath) {
    platform::setEnvironment(CACHE_JOB_VARIABLE, nullptr);
    CacheJob job;
    std::string folder = cacheFolder();
    if (folder.empty() || !readJob(jobPath, &job) || !isJobOf(job, jobPath, folder)) {
        platform::writeStandardError(
            formatText("%s=%s names no cache job of this user's: nothing is made.\n",
                       CACHE_JOB_VARIABLE, jobPath.c_str()));
        return 2;
    }
    makeCache(job, folder);
    removeJobFiles(job);
    tidyArchives(folder, job.prefix, job.archive);
    return 0;
}
