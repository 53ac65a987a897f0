#include "launcher/cache_folder.h"

#include "core/settings.h"
#include "core/text.h"
#include "launcher/digest.h"
#include "launcher/fingerprint.h"
#include "platform/platform.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

const char MADE_SUFFIX[] = ".made";
const char FAILED_SUFFIX[] = ".failed";
const char POOR_SUFFIX[] = ".poor";
const char MAKING_SUFFIX[] = ".making";

/* The folders below the user's cache folder, in order. */
static const char *const OWN_FOLDERS[] = {"tarnwick", "cds"};

/* The application's name in the names of its files: at most this long. */
static constexpr std::size_t NAME_LENGTH = 40;
static constexpr std::size_t FINGERPRINT_DIGITS = 16;

/* The first bytes of an archive that madeFacts digests: its header, which
** names the runtime and the archive's own checks. */
static constexpr std::size_t FACTS_SAMPLE = 4096;

/* The largest small file read (a mark, a count, the facts of an archive). */
static constexpr std::size_t SMALL_FILE_LIMIT = 4096;

/* Lines of the debug trail are cut at this length. */
static constexpr std::size_t DEBUG_LINE_SIZE = 2 * CWD_SIZE;

static constexpr long long NANOSECONDS = 1000000000LL;
static constexpr unsigned long long MIB = 1024 * 1024;

void fastStartLine(const char *format, ...) {
    if (!settings._debug) return;
    char line[DEBUG_LINE_SIZE];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    debugPrint(formatText("Fast start: %s\n", line));
}

/* Checks one folder on the way to the archives, and makes it when it is
** missing and its parent is the user's (see cacheFolder).  last: the
** archives' own folder, which must be the user's alone. */
static bool folderIsTheUsers(const std::string &folder, bool last) {
    platform::FolderAccess access, above;
    const char *problem = nullptr;
    if (!platform::folderAccess(folder.c_str(), &access)) {
        std::size_t end = lastSeparator(folder);
        if (end == std::string::npos ||
            !platform::folderAccess(folder.substr(0, end == 0 ? 1 : end).c_str(), &above) ||
            !above.ownedByUser)
            problem = "is missing, and the folder above it is not the user's to make it in";
        else if (!platform::makeUserFolder(folder.c_str()) ||
                 !platform::folderAccess(folder.c_str(), &access))
            problem = "cannot be made";
    }
    if (problem == nullptr && !access.ownedByUser && (last || !access.ownedBySystem))
        problem = "belongs to another user";
    else if (problem == nullptr && access.othersMayWrite && (last || !access.othersMayOnlyAdd))
        problem = "may be written by other users";
    if (problem != nullptr) fastStartLine("not used: %s %s", folder.c_str(), problem);
    return problem == nullptr;
}

std::string cacheFolder() {
    std::string folder;
    if (!platform::userCacheFolder(&folder)) {
        fastStartLine("not used: no cache folder");
        return std::string();
    }
    while (folder.size() > 1 && platform::isPathSeparator(folder.back())) folder.pop_back();
    std::string archives = joinPath(joinPath(folder, OWN_FOLDERS[0]), OWN_FOLDERS[1]);
    bool plain = true;
    for (char c : archives) plain = plain && (c & 0x80) == 0;
    if (platform::JAVA_ARGUMENTS_IN_CODE_PAGE && !plain) {
        fastStartLine("not used: %s is not ASCII", archives.c_str());
        return std::string();
    }
    if (!folderIsTheUsers(folder, false)) return std::string();
    for (std::size_t level = 0; level < 2; ++level) {
        folder = joinPath(folder, OWN_FOLDERS[level]);
        if (!folderIsTheUsers(folder, level == 1)) return std::string();
    }
    return folder;
}

std::string archivePrefix(const JavaCommand &command) {
    const char *name = applicationName(command.mainClass.c_str());
    std::string safe;
    for (const char *p = name; *p != '\0' && safe.size() < NAME_LENGTH; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if ((c < 0x80 && std::isalnum(c)) || c == '-' || c == '_' || (c == '.' && !safe.empty()))
            safe += static_cast<char>(c);
        else if (safe.empty() || safe.back() != '_')
            safe += '_';
    }
    unsigned long long digest = mixText(mixText(FNV_OFFSET, name), settings.cwd);
    return formatText("%s-%s-", safe.c_str(), hexDigits(digest).substr(8).c_str());
}

long spaceShortMiB(const std::string &folder) {
    unsigned long long bytes = 0;
    if (!platform::freeSpace(folder.c_str(), &bytes) || bytes >= SPACE_NEEDED) return -1;
    return static_cast<long>(bytes / MIB);
}

long long ageOf(const std::string &path) {
    platform::FileFacts facts;
    if (!platform::fileFacts(path.c_str(), &facts)) return -1;
    return platform::wallClockSeconds() - facts.modified / NANOSECONDS;
}

std::string smallFileText(const std::string &path) {
    std::string text;
    if (!platform::readFileStart(path.c_str(), SMALL_FILE_LIMIT, &text)) text.clear();
    return text;
}

/* Removed first: a new file is made in its place, never one written over. */
bool writeSmallFile(const std::string &path, const std::string &content) {
    platform::removeFile(path.c_str());
    return platform::createNewFile(path.c_str(), content);
}

std::string madeFacts(const std::string &archive) {
    platform::FileFacts facts;
    std::string start;
    if (!platform::fileFacts(archive.c_str(), &facts) ||
        !platform::readFileStart(archive.c_str(), FACTS_SAMPLE, &start))
        return std::string();
    return hexDigits(facts.size) + " " +
           hexDigits(static_cast<unsigned long long>(facts.modified)) + " " +
           hexDigits(mixBytes(FNV_OFFSET, start.data(), start.size()));
}

bool putArchiveInPlace(const std::string &written, const std::string &archive) {
    std::string facts = archive + MADE_SUFFIX;
    if (writeSmallFile(facts, madeFacts(written)) &&
        platform::replaceFile(written.c_str(), archive.c_str())) {
        fastStartLine("made %s", archive.c_str());
        return true;
    }
    fastStartLine("%s cannot be put in place", archive.c_str());
    platform::removeFile(written.c_str());
    platform::removeFile(facts.c_str());
    return false;
}

/* For a name of the application's files (prefix, 16 hex digits, ".aot" or
** ".jsa"): the length of the archive's name, and what follows it in *kind
** ("" for the archive itself, ".made", ".12.config", ...).  0 for another
** name. */
static std::size_t ownArchiveName(const std::string &name, const std::string &prefix,
                                  const char **kind) {
    if (name.compare(0, prefix.size(), prefix) != 0) return 0;
    std::size_t length = prefix.size() + FINGERPRINT_DIGITS + 4;
    if (name.size() < length) return 0;
    for (std::size_t i = prefix.size(); i < prefix.size() + FINGERPRINT_DIGITS; ++i)
        if (!std::isxdigit(static_cast<unsigned char>(name[i]))) return 0;
    const char *type = name.c_str() + length - 4;
    if (std::strncmp(type, ".aot", 4) != 0 && std::strncmp(type, ".jsa", 4) != 0) return 0;
    *kind = name.c_str() + length;
    return length;
}

/* True for what a training start or the making run writes under a name of
** its own: ".<process id>.config" or ".<process id>.tmp". */
static bool isTrainingFile(const char *kind) {
    const char *p = kind;
    if (*p++ != '.' || !std::isdigit(static_cast<unsigned char>(*p))) return false;
    while (std::isdigit(static_cast<unsigned char>(*p))) ++p;
    return std::strcmp(p, ".config") == 0 || std::strcmp(p, ".tmp") == 0;
}

void tidyArchives(const std::string &folder, const std::string &prefix, const std::string &keep) {
    std::vector<std::string> names, others;
    std::vector<long long> ages;
    if (!platform::listFolder(folder.c_str(), &names)) return;
    for (const std::string &name : names) {
        const char *kind = "";
        std::size_t length = ownArchiveName(name, prefix, &kind);
        if (length == 0) continue;
        std::string path = joinPath(folder, name.c_str());
        std::string archive = path.substr(0, path.size() - name.size() + length);
        long long age = ageOf(path);
        long long bound = isTrainingFile(kind)                    ? STALE_TRAINING_SECONDS
                          : std::strcmp(kind, MAKING_SUFFIX) == 0 ? STALE_MAKING_SECONDS
                                                                  : -1;
        if (bound >= 0 && age > bound) {
            fastStartLine("removing %s, left behind", path.c_str());
            platform::removeFile(path.c_str());
        }
        if (bound >= 0 || archive == keep) continue;
        std::size_t i = std::find(others.begin(), others.end(), archive) - others.begin();
        if (i == others.size()) {
            others.push_back(archive);
            ages.push_back(age);
        }
        ages[i] = std::min(ages[i], age);
    }
    /* The oldest go, with the files that stay with them, until
    ** ARCHIVES_KEPT - 1 are left beside keep. */
    while (others.size() >= ARCHIVES_KEPT) {
        std::size_t oldest = std::max_element(ages.begin(), ages.end()) - ages.begin();
        fastStartLine("removing %s", others[oldest].c_str());
        for (const char *suffix : {"", MADE_SUFFIX, FAILED_SUFFIX, POOR_SUFFIX})
            platform::removeFile((others[oldest] + suffix).c_str());
        others.erase(others.begin() + static_cast<long>(oldest));
        ages.erase(ages.begin() + static_cast<long>(oldest));
    }
}
