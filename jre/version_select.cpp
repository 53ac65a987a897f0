#include "jre/jre.h"

#include "core/settings.h"
#include "core/text.h"
#include "platform/platform.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

/* The base version (the requirement cut at its first "_") is held in a
** buffer of this size, so at most 19 characters of it are compared. */
static constexpr std::size_t BASE_VERSION_SIZE = 20;

int patchLevelOf(const char *text) {
    long long value = 0;
    bool negative = false;
    /* The white space that atoi skips. */
    while (std::isspace(static_cast<unsigned char>(*text))) ++text;
    if (*text == '+' || *text == '-') negative = *text++ == '-';
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + (*text - '0');
        if (value > INT_MAX) {
            value = static_cast<long long>(INT_MAX) + 1;
            break;
        }
    }
    if (negative) return value > INT_MAX ? INT_MIN : static_cast<int>(-value);
    return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

/* Fills base with the requirement cut at its first "_" and cut again to
** what the buffer holds; returns the required patch level (0 without "_"). */
static int splitRequirement(const char *requirement, char base[BASE_VERSION_SIZE]) {
    const char *underscore = std::strchr(requirement, '_');
    std::size_t length = underscore ? static_cast<std::size_t>(underscore - requirement)
                                    : std::strlen(requirement);
    if (length > BASE_VERSION_SIZE - 1) length = BASE_VERSION_SIZE - 1;
    std::memcpy(base, requirement, length);
    base[length] = '\0';
    return underscore ? patchLevelOf(underscore + 1) : 0;
}

/* What one selection over a source came to. */
enum SelectionOutcome {
    SELECTION_KEPT,        /* no name above patch level 0: javaVersion stays */
    SELECTION_CHOSEN,      /* javaVersion now names the best runtime */
    SELECTION_NO_SOURCE,   /* the source is not there at all */
    SELECTION_BELOW_LEVEL  /* nothing reaches the required patch level */
};

/* Chooses among the names a source offers the one with the highest patch
** level of at least the required one (the later of equals), printing the
** selection trace, and puts it in javaVersion. */
static SelectionOutcome getLatestJreVersion(const RuntimeSource &source) {
    std::vector<RuntimeVersionName> names;
    if (!listRuntimeVersions(source, &names)) return SELECTION_NO_SOURCE;

    char base[BASE_VERSION_SIZE];
    int bestPatchLevel = splitRequirement(settings.javaVersion, base);
    std::size_t baseLength = std::strlen(base);
    char chosen[REGISTRY_NAME_SIZE] = "";
    platform::writeStandardOutput(
        formatText("javaVersion=%s, javaVer=%s\n", settings.javaVersion, base));

    for (const RuntimeVersionName &entry : names) {
        const char *name = entry.name.c_str();
        platform::writeStandardOutput(formatText("checking (%lu) %s\n", entry.position, name));
        if (std::strncmp(name, base, baseLength) != 0) continue;
        platform::writeStandardOutput(
            formatText("found correct java version %s. checking patch level\n", name));
        const char *underscore = std::strchr(name, '_');
        if (underscore == nullptr) {
            platform::writeStandardOutput(formatText("No patch level found in %s\n", name));
            continue;
        }
        int patchLevel = patchLevelOf(underscore + 1);
        platform::writeStandardOutput(
            formatText("checking patch level %d against %d\n", patchLevel, bestPatchLevel));
        if (patchLevel >= bestPatchLevel) {
            bestPatchLevel = patchLevel;
            std::snprintf(chosen, sizeof chosen, "%s", name);
            platform::writeStandardOutput(formatText("found latest java version %s\n", chosen));
        }
    }

    if (bestPatchLevel <= 0) return SELECTION_KEPT;
    if (chosen[0] == '\0') return SELECTION_BELOW_LEVEL;
    settings.javaVersion = keepText(chosen);
    return SELECTION_CHOSEN;
}

/* True when the requirement's form asks for a selection: no "_", or a "+". */
static bool requirementSelects(const char *requirement) {
    return std::strchr(requirement, '_') == nullptr || std::strchr(requirement, '+') != nullptr;
}

/* Reports a version key without a usable "JavaHome". */
static void homeFailure(const std::string &keyPath) {
    std::string text =
        formatBounded(JAVA_PATH_SIZE, "No Java Home Directory Found for %s ", keyPath.c_str());
    if (!settings._quietMode)
        platform::messageBox(text.c_str(), "Error!", platform::MSGBOX_ICONERROR);
}

/* How the first source failed to give the required runtime, told to the
** user only when no further source gives it either. */
enum FirstSourceFailure {
    FIRST_NO_BASE_KEY,    /* question, exit code 11 */
    FIRST_BELOW_LEVEL,    /* question, exit code 11 */
    FIRST_NO_VERSION_KEY, /* question, no path */
    FIRST_NO_HOME         /* "No Java Home Directory Found", no path */
};

/* The runtime the requirement names under RUNTIME_BASE_KEY in the own view:
** the executable path (a kept copy), or null with *failure set.  The debug
** boxes of each step are shown as it is taken. */
static char *firstSourcePath(FirstSourceFailure *failure, std::string *keyPath) {
    if (requirementSelects(settings.javaVersion)) {
        SelectionOutcome outcome = getLatestJreVersion(FIRST_RUNTIME_SOURCE);
        if (outcome == SELECTION_NO_SOURCE) {
            debugBox("Java Current Version", "Error Accessing Registry!", platform::MSGBOX_ICONERROR);
            *failure = FIRST_NO_BASE_KEY;
            return nullptr;
        }
        if (outcome == SELECTION_BELOW_LEVEL) {
            *failure = FIRST_BELOW_LEVEL;
            return nullptr;
        }
    }

    *keyPath = formatBounded(REGISTRY_NAME_SIZE, "%s\\%s", RUNTIME_BASE_KEY, settings.javaVersion);
    debugBox(keyPath->c_str(), "JavaInstallRegPath");

    platform::RegistryKey versionKey = nullptr;
    if (platform::registryOpenKey(keyPath->c_str(), &versionKey) != 0) {
        debugBox("Java Current Version", "Error Accessing Registry!", platform::MSGBOX_ICONERROR);
        *failure = FIRST_NO_VERSION_KEY;
        return nullptr;
    }
    char path[JAVA_PATH_SIZE];
    bool haveHome = readRegistryText(versionKey, "JavaHome", path, sizeof path);
    platform::registryCloseKey(versionKey);
    if (!haveHome || !formJavaExecutablePath(path)) {
        debugBox("Java Home Directory", "Error Reading Registry!", platform::MSGBOX_ICONERROR);
        *failure = FIRST_NO_HOME;
        return nullptr;
    }
    return keepText(path);
}

/* The same selection over one further source, from the requirement as the
** configuration gave it: the executable path (a kept copy) or null. */
static char *furtherSourcePath(const RuntimeSource &source, char *requirement) {
    settings.javaVersion = requirement;
    if (requirementSelects(requirement)) {
        SelectionOutcome outcome = getLatestJreVersion(source);
        if (outcome == SELECTION_NO_SOURCE || outcome == SELECTION_BELOW_LEVEL) return nullptr;
    }
    char path[JAVA_PATH_SIZE];
    if (!runtimeVersionHome(source, settings.javaVersion, path) || !formJavaExecutablePath(path))
        return nullptr;
    return keepText(path);
}

char *getJavaVersionPath() {
    if (settings.javaVersion == nullptr || settings.javaVersion[0] == '\0') return nullptr;
    char *requirement = settings.javaVersion;

    FirstSourceFailure failure = FIRST_NO_BASE_KEY;
    std::string keyPath;
    char *path = firstSourcePath(&failure, &keyPath);
    if (path != nullptr) return path;
    char *firstVersion = settings.javaVersion;

    for (std::size_t i = 0; i < FURTHER_RUNTIME_SOURCE_COUNT; ++i) {
        const RuntimeSource &source = FURTHER_RUNTIME_SOURCES[i];
        path = furtherSourcePath(source, requirement);
        traceRuntimeSource(source, path ? formatText("found %s", settings.javaVersion).c_str()
                                        : "no match");
        if (path != nullptr) return path;
    }

    /* Nothing anywhere: what the first source would have said alone. */
    settings.javaVersion = firstVersion;
    switch (failure) {
    case FIRST_NO_BASE_KEY: needJavaMessage("Java Runtime Environment Not Found");
    case FIRST_BELOW_LEVEL: needJavaMessage("Incompatible JRE Version Found");
    case FIRST_NO_VERSION_KEY: askDownloadQuestion("Java Runtime Environment Not Found"); break;
    case FIRST_NO_HOME: homeFailure(keyPath); break;
    }
    return nullptr;
}
