/*
** The registry of the POSIX platform: emulated, read only, from the Java
** runtimes installed on this machine.
**
** The launcher reads "SOFTWARE\\JavaSoft\\Java Runtime Environment", as the
** Windows installers of Java leave it.  Here the same keys are answered from
** the runtimes found on disk:
**
**  - the base key exists when at least one runtime with a version name (see
**    below) is known.  Its value
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
**    an executable bin/java and a release file with a JAVA_VERSION (read only
**    from a regular file, at most RELEASE_FILE_LIMIT bytes of it); each real
**    home (after symlinks) counts once.
**  - the environment variable TARNWICK_JAVA_ROOTS, when set, replaces the
**    list of folders to scan: a colon-separated list of folders whose child
**    folders are runtime homes (empty entries are ignored; set but empty,
**    nothing is scanned).  The current runtime (JAVA_HOME or PATH) is still
**    added: the variable replaces only the scanned folders.
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
#include "platform/platform.h"

#include "platform/java_version.h"
#include "platform/posix_handles.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <dirent.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace platform {

/* Windows error codes the registry emulation answers with, so that the
** callers see the same kind of result as from the real registry. */
static const long REGISTRY_SUCCESS = 0;
static const long REGISTRY_FILE_NOT_FOUND = 2;     /* ERROR_FILE_NOT_FOUND */
static const long REGISTRY_INVALID_HANDLE = 6;     /* ERROR_INVALID_HANDLE */
static const long REGISTRY_INVALID_PARAMETER = 87; /* ERROR_INVALID_PARAMETER */
static const long REGISTRY_MORE_DATA = 234;        /* ERROR_MORE_DATA */
static const long REGISTRY_NO_MORE_ITEMS = 259;    /* ERROR_NO_MORE_ITEMS */

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
static int upperByte(char c) { return std::toupper(static_cast<unsigned char>(c)); }

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

/* The JAVA_VERSION of a home's release file; empty when it has none. */
static std::string readReleaseVersion(const std::string &home) {
    std::string version;
    return runtimeReleaseVersion(home.c_str(), &version) ? version : std::string();
}

/* The current runtime's real home: JAVA_HOME when it holds bin/java, else the
** home of the java on PATH.  False when there is none. */
static bool findCurrentHome(std::string *home) {
    std::string found;
    if (!javaHomeRuntime(&found) && !searchPathRuntime(&found)) return false;
    *home = realPath(found);
    return !home->empty();
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
        std::string root =
            list.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!root.empty()) roots.push_back(root);
        if (end == std::string::npos) return roots;
        start = end + 1;
    }
}

/* Adds the runtime at home when it counts and its real home is not known yet. */
static void addRuntime(const std::string &home, std::vector<JavaRuntime> *runtimes) {
    if (!holdsJavaExecutable(home.c_str())) return;
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
        if (holdsJavaExecutable(child.c_str()))
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
    while (digits < version.size() && std::isdigit(static_cast<unsigned char>(version[digits])))
        ++digits;
    if (digits == 0) return std::string();
    if (version.compare(0, digits, "1") == 0 && version.size() > 2 && version[1] == '.' &&
        std::isdigit(static_cast<unsigned char>(version[2]))) {
        std::size_t end = 2;
        while (end < version.size() && std::isdigit(static_cast<unsigned char>(version[end])))
            ++end;
        return version.substr(0, end);
    }
    return version.substr(0, digits);
}

/* Orders versions as Java does: 17.0.15 above 17.0.2, 1.8.0_392 above
** 1.8.0_99. */
static int compareVersions(const std::string &a, const std::string &b) {
    JavaVersion left, right;
    readJavaVersion(a.c_str(), &left);
    readJavaVersion(b.c_str(), &right);
    return compareJavaVersions(left, right);
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

/* Looks at the disk and fills the base key.  False when no runtime with a
** version name is known: then the base key does not exist, as on a Windows
** without Java.  A java without one (macOS's /usr/bin/java stub, a home
** without a release file) is no runtime here. */
static bool readJavaBaseKey(EmulatedKey *key) {
    std::vector<JavaRuntime> runtimes;
    std::string currentHome;
    bool haveCurrent = findCurrentHome(&currentHome);
    std::string currentVersion = haveCurrent ? readReleaseVersion(currentHome) : std::string();
    if (!currentVersion.empty()) runtimes.push_back(JavaRuntime{currentHome, currentVersion, true});
    for (const std::string &root : javaRoots()) scanRoot(root, &runtimes);
    if (runtimes.empty()) return false;

    key->isBase = true;
    key->hasCurrentVersion = !currentVersion.empty();
    key->currentVersion = currentVersion;
    key->subKeys = nameSubKeys(runtimes);
    return true;
}

/* There is one view here, the own one: the other view has no keys. */
const char *registryViewName(RegistryView view) {
    return view == REGISTRY_OWN_VIEW ? "emulated registry" : "other registry view (none here)";
}

/* Opens the base key or one of its version keys, reading the disk afresh.
** Any other path does not exist, and no key exists when no runtime is known. */
long registryOpenKey(const char *subKey, RegistryKey *key, RegistryView view) {
    if (key == nullptr) return REGISTRY_INVALID_PARAMETER;
    *key = nullptr;
    if (subKey == nullptr || view != REGISTRY_OWN_VIEW) return REGISTRY_FILE_NOT_FOUND;
    std::string path(subKey);
    std::string base(JAVA_RUNTIME_KEY);
    bool wantsBase = equalsIgnoringCase(path, base);
    bool wantsVersion = path.size() > base.size() + 1 &&
                        equalsIgnoringCase(path.substr(0, base.size()), base) &&
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
        std::unique_ptr<EmulatedKey> versionKey(
            new EmulatedKey{false, false, std::string(), {}, entry.home});
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
long registryEnumSubKey(RegistryKey key, unsigned long index, char *name,
                        unsigned long *nameLength) {
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
void registryCloseKey(RegistryKey key) { openKeys.remove(key); }

} // namespace platform
