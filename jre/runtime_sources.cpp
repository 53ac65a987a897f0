/*
** The places where a Java runtime may be recorded besides the key that the
** installers of Java 8 and older write in the launcher's own registry view:
** that key in the other view, the keys of Java 9 and later ("JDK") and of
** older JDKs ("Java Development Kit") in both views, JAVA_HOME, and the
** first javaw.exe on PATH.  The default lookup and the version selection
** ask them, in this order, only where the first key yields nothing.
**
** A source offers what the registry keys offer: a current runtime's home,
** and a list of version names each with a home.  JAVA_HOME and PATH offer
** their one runtime, named by the JAVA_VERSION of its release file.
*/
#include "jre/runtime_sources.h"

#include "core/settings.h"
#include "core/text.h"
#include "platform/java_version.h"

#include <cctype>
#include <cstring>

static const char JDK_KEY[] = "SOFTWARE\\JavaSoft\\JDK";
static const char DEVELOPMENT_KIT_KEY[] = "SOFTWARE\\JavaSoft\\Java Development Kit";

const RuntimeSource FIRST_RUNTIME_SOURCE = {RUNTIME_SOURCE_REGISTRY, platform::JAVA_RUNTIME_KEY,
                                            platform::REGISTRY_OWN_VIEW};

const RuntimeSource FURTHER_RUNTIME_SOURCES[] = {
    {RUNTIME_SOURCE_REGISTRY, platform::JAVA_RUNTIME_KEY, platform::REGISTRY_OTHER_VIEW},
    {RUNTIME_SOURCE_REGISTRY, JDK_KEY, platform::REGISTRY_OWN_VIEW},
    {RUNTIME_SOURCE_REGISTRY, JDK_KEY, platform::REGISTRY_OTHER_VIEW},
    {RUNTIME_SOURCE_REGISTRY, DEVELOPMENT_KIT_KEY, platform::REGISTRY_OWN_VIEW},
    {RUNTIME_SOURCE_REGISTRY, DEVELOPMENT_KIT_KEY, platform::REGISTRY_OTHER_VIEW},
    {RUNTIME_SOURCE_JAVA_HOME, nullptr, platform::REGISTRY_OWN_VIEW},
    {RUNTIME_SOURCE_PATH, nullptr, platform::REGISTRY_OWN_VIEW},
};
const std::size_t FURTHER_RUNTIME_SOURCE_COUNT =
    sizeof FURTHER_RUNTIME_SOURCES / sizeof FURTHER_RUNTIME_SOURCES[0];

bool readRegistryText(platform::RegistryKey key, const char *valueName, char *buffer,
                      std::size_t capacity) {
    unsigned long size = static_cast<unsigned long>(capacity);
    if (platform::registryQueryValue(key, valueName, buffer, &size) != 0) return false;
    if (size > capacity) return false;
    if (std::memchr(buffer, '\0', size) != nullptr) return true;
    if (size == capacity) return false;
    buffer[size] = '\0';
    return true;
}

std::string describeRuntimeSource(const RuntimeSource &source) {
    switch (source.kind) {
    case RUNTIME_SOURCE_REGISTRY: break;
    case RUNTIME_SOURCE_JAVA_HOME: return platform::JAVA_HOME_VARIABLE;
    case RUNTIME_SOURCE_PATH: return "PATH";
    }
    return formatText("%s (%s)", source.baseKey, platform::registryViewName(source.view));
}

void traceRuntimeSource(const RuntimeSource &source, const char *outcome) {
    debugPrint(
        formatText("Java runtime source %s: %s\n", describeRuntimeSource(source).c_str(), outcome));
}

/* Copies home into path (JAVA_PATH_SIZE bytes) when it fits. */
static bool copyHome(const std::string &home, char *path) {
    if (home.empty() || home.size() >= JAVA_PATH_SIZE) return false;
    std::memcpy(path, home.c_str(), home.size() + 1);
    return true;
}

/* The one runtime of JAVA_HOME or PATH, its home into path. */
static bool environmentRuntime(const RuntimeSource &source, char *path) {
    std::string home;
    bool found = source.kind == RUNTIME_SOURCE_JAVA_HOME ? platform::javaHomeRuntime(&home)
                                                         : platform::searchPathRuntime(&home);
    return found && copyHome(home, path);
}

/* The home of one version key under a registry source's base key.  The key
** path is formed within REGISTRY_NAME_SIZE bytes, as for the first key. */
static bool registryVersionHome(const RuntimeSource &source, const char *version, char *path) {
    std::string keyPath = formatBounded(REGISTRY_NAME_SIZE, "%s\\%s", source.baseKey, version);
    platform::RegistryKey key = nullptr;
    if (platform::registryOpenKey(keyPath.c_str(), &key, source.view) != 0) return false;
    bool haveHome = readRegistryText(key, "JavaHome", path, JAVA_PATH_SIZE);
    platform::registryCloseKey(key);
    return haveHome;
}

RegistryLookupStep registryCurrentHome(const RuntimeSource &source, char *path,
                                       std::string *current) {
    platform::RegistryKey baseKey = nullptr;
    if (platform::registryOpenKey(source.baseKey, &baseKey, source.view) != 0)
        return LOOKUP_NO_BASE_KEY;
    char version[REGISTRY_NAME_SIZE];
    bool haveVersion = readRegistryText(baseKey, "CurrentVersion", version, sizeof version);
    platform::registryCloseKey(baseKey);
    if (!haveVersion) return LOOKUP_NO_CURRENT_VERSION;
    if (current != nullptr) *current = version;

    std::string keyPath = formatBounded(REGISTRY_NAME_SIZE, "%s\\%s", source.baseKey, version);
    platform::RegistryKey versionKey = nullptr;
    if (platform::registryOpenKey(keyPath.c_str(), &versionKey, source.view) != 0)
        return LOOKUP_NO_VERSION_KEY;
    bool haveHome = readRegistryText(versionKey, "JavaHome", path, JAVA_PATH_SIZE);
    platform::registryCloseKey(versionKey);
    return haveHome ? LOOKUP_FOUND : LOOKUP_NO_HOME;
}

/* The name of the windowed executable, without its separator. */
static const char *executableName() { return platform::JAVA_WINDOWED_EXECUTABLE + 1; }

/* Why CurrentVersion cannot be used, for the trace; empty when it can, or
** when it is not set at all: then there is nothing to replace (on POSIX the
** emulated key has none while JAVA_HOME names a runtime without a release
** file, and JAVA_HOME, a further place, is to decide). */
static std::string currentVersionProblem(RegistryLookupStep step, const std::string &current,
                                         const char *home) {
    switch (step) {
    case LOOKUP_NO_VERSION_KEY:
        return formatText("CurrentVersion %s is not registered", current.c_str());
    case LOOKUP_NO_HOME:
        return formatText("CurrentVersion %s has no JavaHome that can be read", current.c_str());
    case LOOKUP_FOUND: break;
    case LOOKUP_NO_BASE_KEY:
    case LOOKUP_NO_CURRENT_VERSION: return std::string();
    }
    if (platform::holdsJavaExecutable(home)) return std::string();
    return formatText("CurrentVersion %s has no %s (%s is missing)", current.c_str(),
                      executableName(), platform::javaExecutableOf(home).c_str());
}

/* Of the versions registered under a registry source's key, the newest by
** its numbers (the later listed of equals) whose home holds the
** executable: its home into path, its name into *version; path unchanged
** when there is none.  Names that do not read as versions do not compete. */
static bool newestRegisteredHome(const RuntimeSource &source, char *path, std::string *version) {
    std::vector<RuntimeVersionName> names;
    if (!listRuntimeVersions(source, &names)) return false;
    bool found = false;
    JavaVersion newest{0, 0, 0, 0};
    for (const RuntimeVersionName &entry : names) {
        JavaVersion candidate;
        char home[JAVA_PATH_SIZE];
        if (!readJavaVersion(entry.name.c_str(), &candidate) ||
            (found && compareJavaVersions(candidate, newest) < 0) ||
            runtimeVersionHome(source, entry.name.c_str(), home) != RUNTIME_PRESENT)
            continue;
        found = true;
        newest = candidate;
        *version = entry.name;
        std::memcpy(path, home, std::strlen(home) + 1);
    }
    return found;
}

bool replaceUnusableCurrent(const RuntimeSource &source, RegistryLookupStep step,
                            const std::string &current, char *path) {
    std::string problem = currentVersionProblem(step, current, path);
    if (problem.empty()) return false;
    std::string version;
    bool replaced = newestRegisteredHome(source, path, &version);
    traceRuntimeSource(
        source,
        (problem + (replaced ? formatText("; the newest registered version with %s is %s",
                                          executableName(), version.c_str())
                             : formatText("; no registered version has %s", executableName())))
            .c_str());
    return replaced;
}

bool currentRuntimeHome(const RuntimeSource &source, char *path) {
    if (source.kind != RUNTIME_SOURCE_REGISTRY) return environmentRuntime(source, path);
    std::string current;
    RegistryLookupStep step = registryCurrentHome(source, path, &current);
    if (step == LOOKUP_FOUND && platform::holdsJavaExecutable(path)) return true;
    return replaceUnusableCurrent(source, step, current, path);
}

/* The one runtime of JAVA_HOME or PATH, when its release file names it. */
static bool singleRuntime(const RuntimeSource &source, std::string *version, char *path) {
    return environmentRuntime(source, path) && platform::runtimeReleaseVersion(path, version);
}

bool listRuntimeVersions(const RuntimeSource &source, std::vector<RuntimeVersionName> *names) {
    names->clear();
    if (source.kind != RUNTIME_SOURCE_REGISTRY) {
        char path[JAVA_PATH_SIZE];
        std::string version;
        if (!singleRuntime(source, &version, path)) return false;
        names->push_back({1, version});
        return true;
    }
    platform::RegistryKey baseKey = nullptr;
    if (platform::registryOpenKey(source.baseKey, &baseKey, source.view) != 0) return false;
    unsigned long subKeyCount = platform::registrySubKeyCount(baseKey);
    for (unsigned long index = 0; index < subKeyCount; ++index) {
        char name[REGISTRY_NAME_SIZE];
        unsigned long nameLength = sizeof name;
        if (platform::registryEnumSubKey(baseKey, index, name, &nameLength) != 0) continue;
        names->push_back({index + 1, name});
    }
    platform::registryCloseKey(baseKey);
    return true;
}

/* Registry names are compared as the registry compares them: letter case
** does not count. */
static bool sameVersionName(const char *a, const char *b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b)
        if (std::toupper(static_cast<unsigned char>(*a)) !=
            std::toupper(static_cast<unsigned char>(*b)))
            return false;
    return *a == *b;
}

RuntimePresence runtimeVersionHome(const RuntimeSource &source, const char *version, char *path) {
    if (source.kind == RUNTIME_SOURCE_REGISTRY) {
        if (!registryVersionHome(source, version, path)) return RUNTIME_NO_HOME;
        return platform::holdsJavaExecutable(path) ? RUNTIME_PRESENT : RUNTIME_NO_EXECUTABLE;
    }
    std::string name;
    if (singleRuntime(source, &name, path) && sameVersionName(name.c_str(), version))
        return RUNTIME_PRESENT;
    return RUNTIME_NO_HOME;
}
