/*
** The platform services on Linux and macOS.
**
** The launcher logic was written against the ANSI Windows interfaces; this
** file gives the same answers from a POSIX system:
**
**  - a child is started from the one command line the launcher assembled,
**    split by the Windows C-runtime rules, so the Java program receives the
**    same arguments here as on Windows;
**  - message boxes go to standard error, and a question is asked on the
**    terminal when there is one;
**  - the registry is emulated, read only, from the Java runtimes the user
**    actually has (see "Registry emulation" below).
**
** Everything here runs on the launcher's one thread.
*/
#include "platform/platform.h"

#include "platform/command_line_split.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace platform {

/* ---------------------------------------------------------------------------
** Constants.
*/

const char PATH_SEPARATOR = '/';
const char *const CLASS_PATH_SEPARATOR = ":";
const char *const JAVA_BIN_FOLDER = "/bin";
/* There is no windowless runtime on POSIX: both launch modes run java. */
const char *const JAVA_CONSOLE_EXECUTABLE = "/java";
const char *const JAVA_WINDOWED_EXECUTABLE = "/java";

#ifdef __APPLE__
#define TARNWICK_URL_OPENER "open"
#else
#define TARNWICK_URL_OPENER "xdg-open"
#endif

const char *const URL_HANDLER_FORMAT = TARNWICK_URL_OPENER " \"%s\"";

/* Windows error codes the registry emulation answers with, so that the
** callers see the same kind of result as from the real registry. */
static const long REGISTRY_SUCCESS = 0;
static const long REGISTRY_FILE_NOT_FOUND = 2;      /* ERROR_FILE_NOT_FOUND */
static const long REGISTRY_INVALID_HANDLE = 6;      /* ERROR_INVALID_HANDLE */
static const long REGISTRY_INVALID_PARAMETER = 87;  /* ERROR_INVALID_PARAMETER */
static const long REGISTRY_MORE_DATA = 234;         /* ERROR_MORE_DATA */
static const long REGISTRY_NO_MORE_ITEMS = 259;     /* ERROR_NO_MORE_ITEMS */

namespace {

/* The objects behind the handles handed to the launcher, owned here as the
** system owns its handles: one the launcher never releases is reclaimed when
** the process ends, and one that is not (or no longer) open is refused
** instead of being read. */
template <typename Object> class HandleTable {
public:
    void *add(std::unique_ptr<Object> object) {
        objects_.push_back(std::move(object));
        return objects_.back().get();
    }
    Object *find(void *handle) const {
        for (const std::unique_ptr<Object> &object : objects_)
            if (object.get() == handle) return object.get();
        return nullptr;
    }
    void remove(void *handle) {
        for (auto it = objects_.begin(); it != objects_.end(); ++it) {
            if (it->get() != handle) continue;
            objects_.erase(it);
            return;
        }
    }

private:
    std::vector<std::unique_ptr<Object>> objects_;
};

} // namespace

/* The longest registry key name Windows allows. */
static const std::size_t MAX_KEY_NAME_LENGTH = 255;

/* IDOK and IDNO, the answers of a box that is not a Yes. */
static const int MSGBOX_ANSWER_OK = 1;
static const int MSGBOX_ANSWER_NO = 7;

/* strerror_s is given an 80-byte buffer on Windows. */
static const std::size_t RUNTIME_ERROR_TEXT_LENGTH = 79;

/* What osMajorVersion answers; see there. */
static const unsigned long MODERN_SYSTEM_MAJOR_VERSION = 10;

/* execvp's own fallback when PATH is not set. */
static const char *const DEFAULT_SEARCH_PATH = "/usr/bin:/bin";

/* A program path that begins with '/' is the POSIX form of a drive-qualified
** path: its directory is everything before the last '/', and "/" itself for
** a program in the root. */
std::size_t programDirectoryLength(const char *programPath) {
    if (programPath == nullptr || programPath[0] != '/') return NO_PROGRAM_DIRECTORY;
    const char *lastSlash = std::strrchr(programPath, '/');
    std::size_t length = static_cast<std::size_t>(lastSlash - programPath);
    return length == 0 ? 1 : length;
}

/* ---------------------------------------------------------------------------
** Message boxes.
*/

/* Writes all of text to a file descriptor, going on after short writes and
** interruptions.  Errors are ignored: there is nowhere left to report them. */
static void writeAll(int fd, const std::string &text) {
    const char *p = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        ssize_t written = write(fd, p, left);
        if (written < 0) {
            if (errno == EINTR) continue;
            return;
        }
        p += written;
        left -= static_cast<std::size_t>(written);
    }
}

/* Reads one line from standard input, a byte at a time so that nothing past
** the line feed is taken from the child, which shares the same input.  False
** at the end of the input before any byte. */
static bool readAnswerLine(std::string *line) {
    line->clear();
    for (;;) {
        char c;
        ssize_t got = read(STDIN_FILENO, &c, 1);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return !line->empty();
        if (c == '\n') return true;
        *line += c;
    }
}

/* True for the answers that mean Yes: y or yes in any case, blanks around
** them allowed. */
static bool isYesAnswer(const std::string &answer) {
    std::size_t first = answer.find_first_not_of(" \t\r");
    if (first == std::string::npos) return false;
    std::size_t last = answer.find_last_not_of(" \t\r");
    std::string word = answer.substr(first, last - first + 1);
    for (char &c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return word == "y" || word == "yes";
}

/* A box becomes "caption: text" on standard error, the text's own line
** breaks kept.  A question (the YESNO bits) is put to the user when standard
** input is a terminal; without one nobody can answer, and it counts as No,
** as a box that cannot be shown does on Windows. */
int messageBox(const char *text, const char *caption, unsigned type) {
    std::fflush(stdout);
    std::fflush(stderr);
    std::string message = std::string(caption ? caption : "") + ": " + (text ? text : "") + "\n";
    writeAll(STDERR_FILENO, message);
    if ((type & MSGBOX_YESNO) != MSGBOX_YESNO) return MSGBOX_ANSWER_OK;

    if (!isatty(STDIN_FILENO)) {
        writeAll(STDERR_FILENO, "(answered No: standard input is not a terminal)\n");
        return MSGBOX_ANSWER_NO;
    }
    writeAll(STDERR_FILENO, "Yes or No? [y/N] ");
    std::string answer;
    if (!readAnswerLine(&answer)) return MSGBOX_ANSWER_NO;
    return isYesAnswer(answer) ? MSGBOX_ANSWER_YES : MSGBOX_ANSWER_NO;
}

/* ---------------------------------------------------------------------------
** Registry emulation.
**
** The launcher reads "SOFTWARE\\JavaSoft\\Java Runtime Environment", as the
** Windows installers of Java leave it.  Here the same keys are answered from
** the runtimes found on disk:
**
**  - the base key exists when at least one runtime is known.  Its value
**    "CurrentVersion" names the current runtime: JAVA_HOME when it is set and
**    holds bin/java, otherwise the java found on PATH, followed through its
**    symlinks to its home (the folder above bin).  The name is the
**    JAVA_VERSION of the home's release file; without one there is no
**    "CurrentVersion" (JAVA_HOME was chosen by the user, so no other runtime
**    is put in its place).
**  - the installed runtimes are the child folders of /usr/lib/jvm, /usr/java,
**    /opt/java and /Library/Java/JavaVirtualMachines (a child counts when it
**    is a home or holds one under Contents/Home, the macOS bundle layout),
**    plus the current runtime wherever it lives.  A home counts when it has
**    an executable bin/java and a release file with a JAVA_VERSION; each real
**    home (after symlinks) counts once.
**  - the environment variable TARNWICK_JAVA_ROOTS, when set, replaces the
**    list of folders to scan: a colon-separated list of folders whose child
**    folders are runtime homes (empty entries are ignored; set but empty,
**    nothing is scanned).  The current runtime is still added.
**  - each runtime gives a sub-key named by its full version and one named by
**    its family (1.8.0_392 gives 1.8.0_392 and 1.8; 17.0.15 gives 17.0.15 and
**    17; 25 gives 25 alone).  A full name belongs to the runtime that has it,
**    the current runtime first; a family name is given only when no runtime
**    has it as its full name, and then to the highest version of the family.
**    Remaining ties go to the current runtime, then to the home whose path
**    sorts first.
**  - each sub-key has the value "JavaHome", the real path of its home.
**    Sub-keys are enumerated sorted case-insensitively, as Windows does.
**
** Key paths and value names are matched case-insensitively, as on Windows.
** Every open key takes a fresh look at the disk.
*/

static const char *const JAVA_BASE_KEY = "SOFTWARE\\JavaSoft\\Java Runtime Environment";
static const char *const ROOTS_VARIABLE = "TARNWICK_JAVA_ROOTS";
static const char *const DEFAULT_JAVA_ROOTS[] = {
    "/usr/lib/jvm",
    "/usr/java",
    "/opt/java",
    "/Library/Java/JavaVirtualMachines",
};

namespace {

/* One runtime found on disk. */
struct JavaRuntime {
    std::string home;    /* real path */
    std::string version; /* JAVA_VERSION of its release file */
    bool current;
};

/* One sub-key of the base key. */
struct RegistrySubKey {
    std::string name;
    std::string home;
};

/* What an open RegistryKey points to: the base key with its sub-keys, or
** one version key with its home. */
struct EmulatedKey {
    bool isBase;
    bool hasCurrentVersion;
    std::string currentVersion;
    std::vector<RegistrySubKey> subKeys;
    std::string home;
};

} // namespace

/* Every registry key the launcher holds open. */
static HandleTable<EmulatedKey> openKeys;

/* Upper-cases a byte as the registry does for its comparisons. */
static int upperByte(char c) {
    return std::toupper(static_cast<unsigned char>(c));
}

/* Case-insensitive comparison in the order in which Windows enumerates
** sub-keys; ties fall back to the bytes so that the order is total. */
static int compareKeyNames(const std::string &a, const std::string &b) {
    std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        int difference = upperByte(a[i]) - upperByte(b[i]);
        if (difference != 0) return difference;
    }
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    return a.compare(b);
}

/* Equality of key paths and value names, case ignored as the registry does. */
static bool equalsIgnoringCase(const std::string &a, const std::string &b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (upperByte(a[i]) != upperByte(b[i])) return false;
    return true;
}

/* The real path of a file or folder, symlinks resolved; empty when it does
** not exist. */
static std::string realPath(const std::string &path) {
    char *resolved = realpath(path.c_str(), nullptr);
    if (resolved == nullptr) return std::string();
    std::string result(resolved);
    std::free(resolved);
    return result;
}

/* True when path is a regular file that may be executed. */
static bool isExecutableFile(const std::string &path) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    return access(path.c_str(), X_OK) == 0;
}

static bool holdsJavaExecutable(const std::string &home) {
    return isExecutableFile(home + "/bin/java");
}

/* A version name must be usable as a registry key name: not empty, within
** the key name limit, no backslash and no control character. */
static bool isUsableVersionName(const std::string &name) {
    if (name.empty() || name.size() > MAX_KEY_NAME_LENGTH) return false;
    for (char c : name)
        if (c == '\\' || std::iscntrl(static_cast<unsigned char>(c))) return false;
    return true;
}

/* Reads JAVA_VERSION from a home's release file (a shell-style line such as
** JAVA_VERSION="17.0.15").  Empty when the file or the line is missing or the
** name is not usable. */
static std::string readReleaseVersion(const std::string &home) {
    static const char prefix[] = "JAVA_VERSION=";
    std::FILE *file = std::fopen((home + "/release").c_str(), "r");
    if (file == nullptr) return std::string();
    std::string version;
    char *line = nullptr;
    std::size_t capacity = 0;
    ssize_t length;
    while ((length = getline(&line, &capacity, file)) >= 0) {
        std::string text(line, static_cast<std::size_t>(length));
        if (text.compare(0, sizeof prefix - 1, prefix) != 0) continue;
        std::string value = text.substr(sizeof prefix - 1);
        while (!value.empty() && std::isspace(static_cast<unsigned char>(value.back())))
            value.pop_back();
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        version = value;
        break;
    }
    std::free(line);
    std::fclose(file);
    return isUsableVersionName(version) ? version : std::string();
}

/* Finds java on PATH as execvp would; empty when there is none. */
static std::string findJavaOnPath() {
    const char *searchPath = std::getenv("PATH");
    if (searchPath == nullptr) searchPath = DEFAULT_SEARCH_PATH;
    std::string list(searchPath);
    std::size_t start = 0;
    for (;;) {
        std::size_t end = list.find(':', start);
        std::string folder = list.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (folder.empty()) folder = ".";
        std::string candidate = folder + "/java";
        if (isExecutableFile(candidate)) return candidate;
        if (end == std::string::npos) return std::string();
        start = end + 1;
    }
}

/* The current runtime's real home: JAVA_HOME when it holds bin/java, else the
** home of the java on PATH.  False when there is none. */
static bool findCurrentHome(std::string *home) {
    const char *javaHome = std::getenv("JAVA_HOME");
    if (javaHome != nullptr && javaHome[0] != '\0' && holdsJavaExecutable(javaHome)) {
        *home = realPath(javaHome);
        return !home->empty();
    }
    std::string java = findJavaOnPath();
    if (java.empty()) return false;
    std::string resolved = realPath(java);
    /* resolved is <home>/bin/java: cut two names off. */
    std::size_t slash = resolved.rfind('/');
    if (slash == std::string::npos || slash == 0) return false;
    std::size_t binSlash = resolved.rfind('/', slash - 1);
    if (binSlash == std::string::npos) return false;
    std::string candidate = binSlash == 0 ? std::string("/") : resolved.substr(0, binSlash);
    if (!holdsJavaExecutable(candidate)) return false;
    *home = candidate;
    return true;
}

/* The folders whose children are scanned for runtimes. */
static std::vector<std::string> javaRoots() {
    std::vector<std::string> roots;
    const char *configured = std::getenv(ROOTS_VARIABLE);
    if (configured == nullptr) {
        for (const char *root : DEFAULT_JAVA_ROOTS) roots.push_back(root);
        return roots;
    }
    std::string list(configured);
    std::size_t start = 0;
    for (;;) {
        std::size_t end = list.find(':', start);
        std::string root = list.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!root.empty()) roots.push_back(root);
        if (end == std::string::npos) return roots;
        start = end + 1;
    }
}

/* Adds the runtime at home when it counts and its real home is not known yet. */
static void addRuntime(const std::string &home, std::vector<JavaRuntime> *runtimes) {
    if (!holdsJavaExecutable(home)) return;
    std::string version = readReleaseVersion(home);
    if (version.empty()) return;
    std::string real = realPath(home);
    if (real.empty()) return;
    for (const JavaRuntime &known : *runtimes)
        if (known.home == real) return;
    runtimes->push_back(JavaRuntime{real, version, false});
}

/* Scans each child of root: a home itself, or a macOS bundle holding one. */
static void scanRoot(const std::string &root, std::vector<JavaRuntime> *runtimes) {
    DIR *folder = opendir(root.c_str());
    if (folder == nullptr) return;
    std::vector<std::string> children;
    while (struct dirent *entry = readdir(folder)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        children.push_back(root + "/" + entry->d_name);
    }
    closedir(folder);
    for (const std::string &child : children) {
        if (holdsJavaExecutable(child))
            addRuntime(child, runtimes);
        else
            addRuntime(child + "/Contents/Home", runtimes);
    }
}

/* The family of a version name: "1." and the next number for the old
** scheme (1.8.0_392 -> 1.8), else the leading number (17.0.15 -> 17).  Empty
** when the name does not begin with a number. */
static std::string familyName(const std::string &version) {
    std::size_t digits = 0;
    while (digits < version.size() && std::isdigit(static_cast<unsigned char>(version[digits]))) ++digits;
    if (digits == 0) return std::string();
    if (version.compare(0, digits, "1") == 0 && version.size() > 2 && version[1] == '.' &&
        std::isdigit(static_cast<unsigned char>(version[2]))) {
        std::size_t end = 2;
        while (end < version.size() && std::isdigit(static_cast<unsigned char>(version[end]))) ++end;
        return version.substr(0, end);
    }
    return version.substr(0, digits);
}

/* Compares two runs of digits by value, whatever their length. */
static int compareNumbers(std::string a, std::string b) {
    a.erase(0, std::min(a.find_first_not_of('0'), a.size()));
    b.erase(0, std::min(b.find_first_not_of('0'), b.size()));
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    return a.compare(b);
}

/* The numbers of a version name in order (1.8.0_392 -> 1 8 0 392). */
static std::vector<std::string> versionNumbers(const std::string &version) {
    std::vector<std::string> numbers;
    std::size_t i = 0;
    while (i < version.size()) {
        if (!std::isdigit(static_cast<unsigned char>(version[i]))) {
            ++i;
            continue;
        }
        std::size_t start = i;
        while (i < version.size() && std::isdigit(static_cast<unsigned char>(version[i]))) ++i;
        numbers.push_back(version.substr(start, i - start));
    }
    return numbers;
}

/* Orders versions by their numbers, so 17.0.15 is above 17.0.2; a version
** with more numbers is above its own prefix. */
static int compareVersions(const std::string &a, const std::string &b) {
    std::vector<std::string> left = versionNumbers(a), right = versionNumbers(b);
    std::size_t n = std::min(left.size(), right.size());
    for (std::size_t i = 0; i < n; ++i) {
        int difference = compareNumbers(left[i], right[i]);
        if (difference != 0) return difference;
    }
    if (left.size() != right.size()) return left.size() < right.size() ? -1 : 1;
    return 0;
}

/* True when candidate should own a full name instead of holder. */
static bool winsFullName(const JavaRuntime &candidate, const JavaRuntime &holder) {
    if (candidate.current != holder.current) return candidate.current;
    return candidate.home < holder.home;
}

/* True when candidate should own a family name instead of holder. */
static bool winsFamilyName(const JavaRuntime &candidate, const JavaRuntime &holder) {
    int order = compareVersions(candidate.version, holder.version);
    if (order != 0) return order > 0;
    return winsFullName(candidate, holder);
}

/* Names the runtimes' sub-keys and sorts them for enumeration. */
static std::vector<RegistrySubKey> nameSubKeys(const std::vector<JavaRuntime> &runtimes) {
    /* Keyed by the upper-cased name: names differing only in case are one key. */
    std::map<std::string, const JavaRuntime *> fullNames, familyNames;
    auto upper = [](std::string name) {
        for (char &c : name) c = static_cast<char>(upperByte(c));
        return name;
    };
    for (const JavaRuntime &runtime : runtimes) {
        const JavaRuntime *&holder = fullNames[upper(runtime.version)];
        if (holder == nullptr || winsFullName(runtime, *holder)) holder = &runtime;
    }
    for (const JavaRuntime &runtime : runtimes) {
        std::string family = familyName(runtime.version);
        if (family.empty() || fullNames.count(upper(family)) != 0) continue;
        const JavaRuntime *&holder = familyNames[upper(family)];
        if (holder == nullptr || winsFamilyName(runtime, *holder)) holder = &runtime;
    }

    std::vector<RegistrySubKey> subKeys;
    for (const auto &entry : fullNames)
        subKeys.push_back(RegistrySubKey{entry.second->version, entry.second->home});
    for (const auto &entry : familyNames)
        subKeys.push_back(RegistrySubKey{familyName(entry.second->version), entry.second->home});
    std::sort(subKeys.begin(), subKeys.end(), [](const RegistrySubKey &a, const RegistrySubKey &b) {
        return compareKeyNames(a.name, b.name) < 0;
    });
    return subKeys;
}

/* Looks at the disk and fills the base key.  False when no runtime is known
** at all: then the base key does not exist, as on a Windows without Java. */
static bool readJavaBaseKey(EmulatedKey *key) {
    std::vector<JavaRuntime> runtimes;
    std::string currentHome;
    bool haveCurrent = findCurrentHome(&currentHome);
    std::string currentVersion = haveCurrent ? readReleaseVersion(currentHome) : std::string();
    if (!currentVersion.empty()) runtimes.push_back(JavaRuntime{currentHome, currentVersion, true});
    for (const std::string &root : javaRoots()) scanRoot(root, &runtimes);
    if (!haveCurrent && runtimes.empty()) return false;

    key->isBase = true;
    key->hasCurrentVersion = !currentVersion.empty();
    key->currentVersion = currentVersion;
    key->subKeys = nameSubKeys(runtimes);
    return true;
}

/* Opens the base key or one of its version keys, reading the disk afresh.
** Any other path does not exist, and no key exists when no runtime is known. */
long registryOpenKey(const char *subKey, RegistryKey *key) {
    if (key == nullptr) return REGISTRY_INVALID_PARAMETER;
    *key = nullptr;
    if (subKey == nullptr) return REGISTRY_FILE_NOT_FOUND;
    std::string path(subKey);
    std::string base(JAVA_BASE_KEY);
    bool wantsBase = equalsIgnoringCase(path, base);
    bool wantsVersion = path.size() > base.size() + 1 && equalsIgnoringCase(path.substr(0, base.size()), base) &&
                        path[base.size()] == '\\';
    if (!wantsBase && !wantsVersion) return REGISTRY_FILE_NOT_FOUND;

    EmulatedKey baseKey;
    if (!readJavaBaseKey(&baseKey)) return REGISTRY_FILE_NOT_FOUND;
    if (wantsBase) {
        *key = openKeys.add(std::unique_ptr<EmulatedKey>(new EmulatedKey(baseKey)));
        return REGISTRY_SUCCESS;
    }
    std::string version = path.substr(base.size() + 1);
    for (const RegistrySubKey &entry : baseKey.subKeys) {
        if (!equalsIgnoringCase(entry.name, version)) continue;
        std::unique_ptr<EmulatedKey> versionKey(new EmulatedKey{false, false, std::string(), {}, entry.home});
        *key = openKeys.add(std::move(versionKey));
        return REGISTRY_SUCCESS;
    }
    return REGISTRY_FILE_NOT_FOUND;
}

/* Delivers text with its NUL as a registry string value: the whole of it or
** nothing, with the needed size reported when it does not fit. */
static long deliverString(const std::string &text, char *data, unsigned long *size) {
    unsigned long needed = static_cast<unsigned long>(text.size() + 1);
    if (data == nullptr) {
        *size = needed;
        return REGISTRY_SUCCESS;
    }
    if (*size < needed) {
        *size = needed;
        return REGISTRY_MORE_DATA;
    }
    std::memcpy(data, text.c_str(), needed);
    *size = needed;
    return REGISTRY_SUCCESS;
}

/* The base key has "CurrentVersion" (when the current runtime has a version
** name), a version key has "JavaHome"; every other name is missing. */
long registryQueryValue(RegistryKey key, const char *valueName, char *data, unsigned long *size) {
    const EmulatedKey *emulated = openKeys.find(key);
    if (emulated == nullptr) return REGISTRY_INVALID_HANDLE;
    if (size == nullptr || valueName == nullptr) return REGISTRY_INVALID_PARAMETER;
    if (emulated->isBase) {
        if (emulated->hasCurrentVersion && equalsIgnoringCase(valueName, "CurrentVersion"))
            return deliverString(emulated->currentVersion, data, size);
    } else if (equalsIgnoringCase(valueName, "JavaHome")) {
        return deliverString(emulated->home, data, size);
    }
    return REGISTRY_FILE_NOT_FOUND;
}

/* The base key's number of sub-keys; a version key has none. */
unsigned long registrySubKeyCount(RegistryKey key) {
    const EmulatedKey *emulated = openKeys.find(key);
    if (emulated == nullptr) return 0;
    return static_cast<unsigned long>(emulated->subKeys.size());
}

/* The sub-key name at index in registry order.  On success *nameLength is
** the name's length without its NUL, as RegEnumKeyExA reports it. */
long registryEnumSubKey(RegistryKey key, unsigned long index, char *name, unsigned long *nameLength) {
    const EmulatedKey *emulated = openKeys.find(key);
    if (emulated == nullptr) return REGISTRY_INVALID_HANDLE;
    if (name == nullptr || nameLength == nullptr) return REGISTRY_INVALID_PARAMETER;
    if (index >= emulated->subKeys.size()) return REGISTRY_NO_MORE_ITEMS;
    const std::string &found = emulated->subKeys[index].name;
    if (found.size() + 1 > *nameLength) return REGISTRY_MORE_DATA;
    std::memcpy(name, found.c_str(), found.size() + 1);
    *nameLength = static_cast<unsigned long>(found.size());
    return REGISTRY_SUCCESS;
}

/* Releases an open key; an unknown or already closed one is ignored. */
void registryCloseKey(RegistryKey key) {
    openKeys.remove(key);
}

/* ---------------------------------------------------------------------------
** Processes, consoles, environment.
*/

namespace {

/* A started child: its id and, once it has ended, its wait status. */
struct PosixChild {
    pid_t pid;
    bool ended;
    int status;
};

} // namespace

/* Every child handed out by startProcess and not yet released. */
static HandleTable<PosixChild> openChildren;

/* waitpid that is not cut short by a signal.  False when the child cannot
** be waited for (already reaped, or not ours). */
static bool waitForChild(pid_t pid, int *status) {
    for (;;) {
        if (waitpid(pid, status, 0) == pid) return true;
        if (errno != EINTR) return false;
    }
}

/* Runs in the forked child: reports errno through the pipe and ends without
** running the parent's exit handlers or flushing its copied buffers. */
[[noreturn]] static void reportStartFailure(int pipeFd, int error) {
    ssize_t ignored = write(pipeFd, &error, sizeof error);
    (void)ignored;
    _exit(127);
}

/* The command line is split by the Windows rules and argv[0] run with PATH
** search, in directory when one is given.  A failed chdir or exec in the child
** comes back through a close-on-exec pipe: it is closed without a byte when
** the exec succeeds.  creationFlags and consoleTitle mean nothing here. */
bool startProcess(char *commandLine, unsigned long creationFlags, const char *directory,
                  const char *consoleTitle, ChildProcess *child, unsigned long *error) {
    (void)creationFlags;
    (void)consoleTitle;
    *child = nullptr;
    std::vector<std::string> arguments = splitWindowsCommandLine(commandLine);
    if (arguments.empty()) {
        *error = EINVAL;
        return false;
    }
    std::vector<char *> argv;
    for (std::string &argument : arguments) argv.push_back(&argument[0]);
    argv.push_back(nullptr);

    int reportPipe[2];
    if (pipe(reportPipe) != 0) {
        *error = static_cast<unsigned long>(errno);
        return false;
    }
    fcntl(reportPipe[0], F_SETFD, FD_CLOEXEC);
    fcntl(reportPipe[1], F_SETFD, FD_CLOEXEC);

    /* Whatever is buffered would otherwise be written twice or lost. */
    std::fflush(stdout);
    std::fflush(stderr);
    pid_t pid = fork();
    if (pid < 0) {
        *error = static_cast<unsigned long>(errno);
        close(reportPipe[0]);
        close(reportPipe[1]);
        return false;
    }
    if (pid == 0) {
        close(reportPipe[0]);
        if (directory != nullptr && chdir(directory) != 0) reportStartFailure(reportPipe[1], errno);
        execvp(argv[0], argv.data());
        reportStartFailure(reportPipe[1], errno);
    }

    close(reportPipe[1]);
    int childError = 0;
    ssize_t got;
    do {
        got = read(reportPipe[0], &childError, sizeof childError);
    } while (got < 0 && errno == EINTR);
    close(reportPipe[0]);
    if (got == static_cast<ssize_t>(sizeof childError)) {
        int status;
        waitForChild(pid, &status);
        *error = static_cast<unsigned long>(childError);
        return false;
    }
    *child = openChildren.add(std::unique_ptr<PosixChild>(new PosixChild{pid, false, 0}));
    return true;
}

/* Nothing to wait for: a POSIX program has no input-idle state. */
void waitForInputIdle(ChildProcess child, unsigned long milliseconds) {
    (void)child;
    (void)milliseconds;
}

/* Waits until the child ends and keeps its status for processExitCode. */
void waitForProcess(ChildProcess child) {
    PosixChild *posixChild = openChildren.find(child);
    if (posixChild == nullptr || posixChild->ended) return;
    posixChild->ended = waitForChild(posixChild->pid, &posixChild->status);
}

/* The exit status, or 128 + the signal for a child killed by one, as a shell
** reports it.  A child still running answers 259, Windows' STILL_ACTIVE. */
int processExitCode(ChildProcess child) {
    static const int STILL_ACTIVE_CODE = 259;
    static const int SIGNAL_EXIT_BASE = 128;
    PosixChild *posixChild = openChildren.find(child);
    if (posixChild == nullptr) return 0;
    if (!posixChild->ended) {
        int status;
        if (waitpid(posixChild->pid, &status, WNOHANG) != posixChild->pid) return STILL_ACTIVE_CODE;
        posixChild->ended = true;
        posixChild->status = status;
    }
    if (WIFEXITED(posixChild->status)) return WEXITSTATUS(posixChild->status);
    if (WIFSIGNALED(posixChild->status)) return SIGNAL_EXIT_BASE + WTERMSIG(posixChild->status);
    return 0;
}

/* Forgets the child; a child still running goes on by itself. */
void releaseProcess(ChildProcess child) {
    openChildren.remove(child);
}

/* startProcess reports errno values, so their text is strerror's. */
std::string systemErrorText(unsigned long error) {
    return std::strerror(static_cast<int>(error));
}

/* There are no consoles to create or name: the launcher runs in whatever
** terminal it was started from. */
bool allocateConsole() { return false; }

void setConsoleTitle(const char *title) { (void)title; }

/* Starts xdg-open (open on macOS) on the file without waiting for it.  The
** opener runs as a grandchild that init adopts, so it never lingers as a
** zombie of the launcher; only the short-lived middle child is waited for. */
void openWithAssociatedProgram(const char *file) {
    if (file == nullptr) return;
    std::fflush(stdout);
    std::fflush(stderr);
    pid_t middle = fork();
    if (middle < 0) return;
    if (middle == 0) {
        pid_t opener = fork();
        if (opener == 0) {
            execlp(TARNWICK_URL_OPENER, TARNWICK_URL_OPENER, file, static_cast<char *>(nullptr));
            _exit(127);
        }
        _exit(0);
    }
    int status;
    waitForChild(middle, &status);
}

/* The launcher uses the version only to tell Windows before and after Vista;
** after Vista it quotes the runtime path and every argument.  The POSIX start
** removes those quotes again by the Windows splitting rules, so the child sees
** the same arguments either way; answering a modern system makes every system
** take the road that today's Windows takes. */
unsigned long osMajorVersion() { return MODERN_SYSTEM_MAJOR_VERSION; }

/* The id the "pid" name of the configuration values stands for. */
unsigned long currentProcessId() { return static_cast<unsigned long>(getpid()); }

/* getenv sees what setEnvironment set, as the launcher expects. */
bool getEnvironment(const char *name, std::string *value) {
    const char *found = std::getenv(name);
    if (found == nullptr) return false;
    *value = found;
    return true;
}

/* A null value removes the variable, as SetEnvironmentVariableA does. */
void setEnvironment(const char *name, const char *value) {
    if (value == nullptr)
        unsetenv(name);
    else
        setenv(name, value, 1);
}

/* exit flushes stdio as well; the explicit flushes make the order plain. */
void exitProcess(int code) {
    std::fflush(stdout);
    std::fflush(stderr);
    std::exit(code);
}

/* ---------------------------------------------------------------------------
** Files, directories, clock, standard streams.
*/

/* The stdio stream behind an open text file. */
struct TextFile {
    std::FILE *file;
};

/* Anything that exists counts, a folder included, as _access(path, 0). */
bool fileExists(const char *path) { return access(path, F_OK) == 0; }

/* The real path, links resolved. */
std::string fileIdentity(const char *path) {
    char *real = realpath(path, nullptr);
    if (real == nullptr) return path;
    std::string identity = real;
    std::free(real);
    return identity;
}

/* fopen would open a folder for reading on POSIX; Windows refuses, and the
** callers expect the refusal, so a folder fails with EISDIR. */
TextFile *openTextFile(const char *path, const char *mode, int *error) {
    std::FILE *file = std::fopen(path, mode);
    if (file == nullptr) {
        *error = errno;
        return nullptr;
    }
    struct stat info;
    if (fstat(fileno(file), &info) == 0 && S_ISDIR(info.st_mode)) {
        std::fclose(file);
        *error = EISDIR;
        return nullptr;
    }
    return new TextFile{file};
}

/* getline takes a line of any length; CR LF becomes LF as in Windows text
** mode, so files written on Windows read the same here. */
bool readTextLine(TextFile *file, std::string *line) {
    if (file == nullptr) return false;
    char *buffer = nullptr;
    std::size_t capacity = 0;
    ssize_t length = getline(&buffer, &capacity, file->file);
    if (length < 0) {
        std::free(buffer);
        return false;
    }
    line->assign(buffer, static_cast<std::size_t>(length));
    std::free(buffer);
    std::size_t size = line->size();
    if (size >= 2 && (*line)[size - 1] == '\n' && (*line)[size - 2] == '\r') line->erase(size - 2, 1);
    return true;
}

/* Writes the bytes as they are: POSIX text files have no CR LF. */
void writeText(TextFile *file, const std::string &text) {
    if (file == nullptr) return;
    std::fwrite(text.data(), 1, text.size(), file->file);
}

/* Flushes, closes and frees; a null file is ignored. */
void closeTextFile(TextFile *file) {
    if (file == nullptr) return;
    std::fflush(file->file);
    std::fclose(file->file);
    delete file;
}

/* strerror, cut as the 80-byte buffer of strerror_s would cut it. */
std::string runtimeErrorText(int error) {
    std::string text = std::strerror(error);
    if (text.size() > RUNTIME_ERROR_TEXT_LENGTH) text.resize(RUNTIME_ERROR_TEXT_LENGTH);
    return text;
}

/* 0 on success, -1 otherwise, as _chdir answers. */
int changeDirectory(const char *directory) { return chdir(directory) == 0 ? 0 : -1; }

/* getcwd into the caller's buffer; on failure (too small, unreadable) the
** buffer holds an empty text so that nothing stale is used. */
bool currentDirectory(char *buffer, std::size_t size) {
    if (buffer == nullptr || size == 0) return false;
    if (getcwd(buffer, size) != nullptr) return true;
    buffer[0] = '\0';
    return false;
}

} // namespace platform
