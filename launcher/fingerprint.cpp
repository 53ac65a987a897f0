#include "launcher/fingerprint.h"

#include "core/settings.h"
#include "core/text.h"
#include "launcher/digest.h"
#include "launcher/jar_file.h"
#include "platform/platform.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

/* Changes when what goes into the fingerprint changes, so older archives
** are never taken for new ones. */
static const char FINGERPRINT_FORMAT[] = "fast start 2";

const char *const OPTION_VARIABLES[3] = {"JAVA_TOOL_OPTIONS", "JDK_JAVA_OPTIONS", "_JAVA_OPTIONS"};

/* Parameters that change how objects are laid out (heap size, compressed
** pointers, object headers, the collector) or which classes and modules the
** runtime sees ("--add-opens", "--module-path" and the other module
** options, "-p"): an archive made with other values is unusable.
** "-XX:+Use...GC" counts too. */
static const char *const ARCHIVE_RELEVANT_PARAMETERS[] = {"-Xmx",
                                                          "-Xms",
                                                          "--",
                                                          "-p",
                                                          "-XX:MaxHeapSize",
                                                          "-XX:InitialHeapSize",
                                                          "-XX:MaxRAM",
                                                          "-XX:ObjectAlignmentInBytes"};

/* The options that name the module path, in every form the runtime takes:
** "--module-path=mods", "--module-path mods" (one parameter) or two
** parameters, "-p mods". */
static const char *const MODULE_PATH_OPTIONS[] = {"--module-path", "--upgrade-module-path", "-p"};

std::size_t lastSeparator(const std::string &path) {
    for (std::size_t i = path.size(); i > 0; --i)
        if (platform::isPathSeparator(path[i - 1])) return i - 1;
    return std::string::npos;
}

std::string plainPath(const std::string &text) {
    std::string plain;
    for (char c : text)
        if (c != '"') plain += c == '/' ? platform::PATH_SEPARATOR : c;
    return plain;
}

std::string joinPath(const std::string &folder, const char *name) {
    return formatText("%s%c%s", folder.c_str(), platform::PATH_SEPARATOR, name);
}

/* path as seen from base: itself when it is absolute. */
static std::string resolvedPath(const std::string &base, const std::string &path) {
    return platform::pathIsRelative(path.c_str()) ? joinPath(base, path.c_str()) : path;
}

bool isArchiveRelevant(const std::vector<std::string> &parameters, std::size_t i) {
    const char *parameter = parameters[i].c_str();
    std::size_t length = parameters[i].size();
    for (const char *prefix : ARCHIVE_RELEVANT_PARAMETERS)
        if (startsWith(parameter, prefix) &&
            (std::strcmp(prefix, "-p") != 0 || length == 2 || parameter[2] == ' '))
            return true;
    /* -XX:+UseZGC, -XX:-UseCompressedOops, -XX:+UseCompactObjectHeaders */
    if ((startsWith(parameter, "-XX:+Use") || startsWith(parameter, "-XX:-Use")) &&
        (std::strcmp(parameter + length - 2, "GC") == 0 || startsWith(parameter + 8, "Comp")))
        return true;
    const std::string option = i > 0 ? parameters[i - 1] : std::string();
    return parameter[0] != '-' && (option == "-p" || (startsWith(option.c_str(), "--") &&
                                                      option.find('=') == std::string::npos));
}

namespace {

/* The work of one fingerprint: where the child starts, the jars that
** manifests named (each once), and why there is no fingerprint when there
** is none. */
struct Fingerprinting {
    std::string base;
    std::vector<std::string> named;
    std::string why;
};

} // namespace

static bool readFromFile(void *path, unsigned long long offset, std::size_t length,
                         std::string *bytes) {
    return platform::readFileRange(static_cast<const char *>(path), offset, length, bytes);
}

/* Mixes a path, and the size and time of what it names (zero when it is
** missing), into hash. */
static unsigned long long mixFacts(unsigned long long hash, const std::string &path,
                                   const platform::FileFacts &file) {
    hash = mixText(hash, path.c_str());
    hash = mixNumber(hash, file.size);
    return mixNumber(hash, static_cast<unsigned long long>(file.modified));
}

/* mixFacts for a path whose facts are not known yet. */
static unsigned long long mixStamp(unsigned long long hash, const std::string &path) {
    platform::FileFacts file = {false, 0, 0};
    platform::fileFacts(path.c_str(), &file);
    return mixFacts(hash, path, file);
}

/* The value of a %XX escape of a Class-Path URL, or -1. */
static int escapedByte(const std::string &url, std::size_t at) {
    if (url.size() - at < 3 || !std::isxdigit(static_cast<unsigned char>(url[at + 1])) ||
        !std::isxdigit(static_cast<unsigned char>(url[at + 2])))
        return -1;
    return static_cast<int>(std::strtol(url.substr(at + 1, 2).c_str(), nullptr, 16));
}

/* The file a Class-Path URL of the jar at jarPath names, as the runtime
** reads it: a path relative to the jar's folder, or absolute, with its %XX
** escapes decoded; empty for a URL with a scheme ("file:", "http:"), which
** the runtime passes over. */
static std::string classPathFile(const std::string &url, const std::string &jarPath) {
    std::string path;
    for (std::size_t at = 0; at < url.size(); ++at) {
        int escaped = url[at] == '%' ? escapedByte(url, at) : -1;
        path += escaped >= 0 ? static_cast<char>(escaped) : url[at];
        if (escaped >= 0) at += 2;
    }
    std::size_t colon = url.find(':');
    if (colon != std::string::npos && colon < url.find('/')) return std::string();
    if (!path.empty() && path[0] == '/') return plainPath(path);
    return plainPath(jarPath.substr(0, lastSeparator(jarPath) + 1) + path);
}

/* Adds the jars that a manifest's Class-Path names, and that none named
** before, to the jars to be read. */
static bool nameJars(const std::string &classPath, const std::string &jarPath,
                     Fingerprinting *work) {
    for (std::size_t at = 0; at < classPath.size();) {
        std::size_t end = classPath.find(' ', at);
        if (end == std::string::npos) end = classPath.size();
        std::string file = classPathFile(classPath.substr(at, end - at), jarPath);
        at = end + 1;
        if (file.empty() ||
            std::find(work->named.begin(), work->named.end(), file) != work->named.end())
            continue;
        if (platform::isPathSeparator(file.back())) {
            work->why =
                formatText("folder %s in the Class-Path of %s", file.c_str(), jarPath.c_str());
            return false;
        }
        if (work->named.size() >= NAMED_JARS_LIMIT) {
            work->why = formatText("more than %d jars named by manifests",
                                   static_cast<int>(NAMED_JARS_LIMIT));
            return false;
        }
        work->named.push_back(file);
    }
    return true;
}

/* The hash of one jar: its path, size and time, and the digest of its
** central directory; the jars its manifest names are added to the work
** when follow.  A missing jar has its path alone (the runtime passes over
** it); a folder, or a jar that cannot be read, ends the fingerprint. */
static bool jarHash(const std::string &path, bool follow, Fingerprinting *work,
                    unsigned long long *hash) {
    platform::FileFacts file = {false, 0, 0};
    bool exists = platform::fileFacts(path.c_str(), &file);
    *hash = mixFacts(FNV_OFFSET, path, file);
    if (!exists) return true;
    if (file.isFolder) {
        work->why = formatText("folder %s on the class path", path.c_str());
        return false;
    }
    JarIndex index;
    const char *why = "";
    if (!readJarIndex(readFromFile, const_cast<char *>(path.c_str()), file.size, follow, &index,
                      &why)) {
        work->why = formatText("%s %s", path.c_str(), why);
        return false;
    }
    *hash = mixNumber(*hash, index.digest);
    return !follow || nameJars(index.classPath, path, work);
}

static bool isJarName(const std::string &name) {
    return name.size() >= 4 && startsWithIgnoringCase(name.c_str() + name.size() - 4, ".jar");
}

/* Mixes into hash the jars of a folder (of a class-path entry ending in
** "*", or of the module path), in any order: the runtime finds them in the
** folder's own order, and a sum does not depend on it.  Folders in it are
** passed over (exploded modules: the runtime archives none of their classes). */
static bool mixJarFolder(unsigned long long *hash, const std::string &folder, bool follow,
                         Fingerprinting *work) {
    std::vector<std::string> names;
    platform::listFolder(folder.c_str(), &names);
    unsigned long long jars = 0, jar = 0;
    platform::FileFacts file;
    for (const std::string &name : names) {
        std::string path = joinPath(folder, name.c_str());
        if (!isJarName(name) || (platform::fileFacts(path.c_str(), &file) && file.isFolder))
            continue;
        if (!jarHash(path, follow, work, &jar)) return false;
        jars += jar;
    }
    *hash = mixNumber(mixText(*hash, folder.c_str()), jars);
    return true;
}

/* Mixes each class-path entry as the child resolves it (against its
** starting folder) into hash; an entry that ends in "*" with each jar in
** its folder. */
static bool mixClassPath(const std::vector<std::string> &classPath, unsigned long long *hash,
                         Fingerprinting *work) {
    unsigned long long jar = 0;
    for (const std::string &configured : classPath) {
        std::string path = resolvedPath(work->base, plainPath(configured));
        if (!path.empty() && path.back() == '*') {
            path.pop_back();
            if (path.size() > 1 && platform::isPathSeparator(path.back())) path.pop_back();
            if (!mixJarFolder(hash, path, true, work)) return false;
        } else {
            if (!jarHash(path, true, work, &jar)) return false;
            *hash = mixNumber(*hash, jar);
        }
    }
    return true;
}

/* The module path's entries among the parameters: a jar, or a folder of
** jars, each. */
static std::vector<std::string> modulePath(const std::vector<std::string> &parameters) {
    std::vector<std::string> entries;
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        const std::string &parameter = parameters[i];
        for (const char *option : MODULE_PATH_OPTIONS) {
            std::size_t length = std::strlen(option);
            std::string value;
            if (parameter == option && i + 1 < parameters.size())
                value = parameters[i + 1];
            else if (parameter.compare(0, length, option) == 0 && parameter.size() > length &&
                     (parameter[length] == ' ' || (parameter[length] == '=' && option[1] == '-')))
                value = parameter.substr(length + 1);
            for (std::size_t at = 0; !value.empty() && at <= value.size();) {
                std::size_t end = value.find(platform::CLASS_PATH_SEPARATOR[0], at);
                if (end == std::string::npos) end = value.size();
                std::size_t first = value.find_first_not_of(' ', at);
                if (first < end) entries.push_back(value.substr(first, end - first));
                at = end + 1;
            }
        }
    }
    return entries;
}

/* The jars that are read besides the class path: the jar of "-jar" (whose
** manifest names more), the module path's (whose manifests the runtime does
** not follow), then every jar the manifests named, in any order (a sum), as
** the order in which they are found is the folders'. */
static bool mixOtherJars(const JavaCommand &command, unsigned long long *hash,
                         Fingerprinting *work) {
    unsigned long long jar = 0;
    if (startsWith(command.mainClass.c_str(), "-jar ")) {
        std::string path = plainPath(command.mainClass.substr(5));
        path.erase(0, path.find_first_not_of(' '));
        if (!jarHash(resolvedPath(work->base, path), true, work, &jar)) return false;
        *hash = mixNumber(*hash, jar);
    }
    for (const std::string &entry : modulePath(command.jvmParameters)) {
        std::string path = resolvedPath(work->base, plainPath(entry));
        platform::FileFacts file;
        bool folder = platform::fileFacts(path.c_str(), &file) && file.isFolder;
        if (folder ? !mixJarFolder(hash, path, false, work) : !jarHash(path, false, work, &jar))
            return false;
        if (!folder) *hash = mixNumber(*hash, jar);
    }
    unsigned long long named = 0;
    for (std::size_t i = 0; i < work->named.size(); ++i) {
        std::string path = work->named[i];
        if (!jarHash(path, true, work, &jar)) return false;
        named += jar;
    }
    *hash = mixNumber(*hash, named);
    return true;
}

/* Mixes the archive-relevant parameters of each option variable (split at
** blanks, as the runtime splits them) into hash. */
static unsigned long long mixOptionVariables(unsigned long long hash) {
    for (const char *variable : OPTION_VARIABLES) {
        std::string value;
        if (!platform::getEnvironment(variable, &value)) continue;
        std::vector<std::string> words;
        for (std::size_t at = 0; at < value.size();) {
            std::size_t first = value.find_first_not_of(" \t\r\n", at);
            if (first == std::string::npos) break;
            at = value.find_first_of(" \t\r\n", first);
            words.push_back(value.substr(first, at == std::string::npos ? at : at - first));
        }
        for (std::size_t i = 0; i < words.size(); ++i)
            if (isArchiveRelevant(words, i))
                hash = mixText(mixText(hash, variable), words[i].c_str());
    }
    return hash;
}

bool fastStartFingerprint(const JavaCommand &command, const std::string &home,
                          const std::string &version, std::string *fingerprint) {
    Fingerprinting work;
    work.base = settings.cwd;
    if (settings.workingDir != nullptr)
        work.base = resolvedPath(work.base, plainPath(settings.workingDir));
    unsigned long long hash = mixText(FNV_OFFSET, FINGERPRINT_FORMAT);
    hash = mixText(hash, applicationName(command.mainClass.c_str()));
    hash = mixText(mixText(hash, home.c_str()), version.c_str());
    hash = mixStamp(hash, joinPath(home, "release"));
    hash = mixStamp(hash, joinPath(joinPath(home, "lib"), "modules"));
    if (!mixClassPath(command.classPath, &hash, &work) || !mixOtherJars(command, &hash, &work)) {
        *fingerprint = work.why;
        return false;
    }
    for (std::size_t i = 0; i < command.jvmParameters.size(); ++i)
        if (isArchiveRelevant(command.jvmParameters, i))
            hash = mixText(hash, command.jvmParameters[i].c_str());
    hash = mixOptionVariables(hash);
    *fingerprint = hexDigits(hash);
    return true;
}
