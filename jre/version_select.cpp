#include "jre/jre.h"

#include "jre/java_version.h"

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

/* How a requirement is met.  The forms that carry a "_" or begin with
** "1." (but for "1.N+") keep the rules they have always had; the others
** name a version the way Java 9 and later write it. */
enum RequirementForm {
    REQUIRE_EXACT_NAME,  /* 1.6.0_20: exactly that key, no selection */
    REQUIRE_PATCH_LEVEL, /* 1.6, 1.6.0_20+: names beginning with the base, by patch level */
    REQUIRE_FEATURE,     /* 17, 8: the newest of that feature release */
    REQUIRE_VERSION,     /* 17.0.9: exactly that version */
    REQUIRE_AT_LEAST     /* 17+, 17.0.9+, 1.8+: the newest of that version or later */
};

struct Requirement {
    RequirementForm form;
    JavaVersion version;     /* the last three forms */
    std::string description; /* what the selection trace says it looks for */
};

/* Reads the form of a requirement (see RequirementForm).  A text that is
** not made of version numbers alone, such as 17.0.9+7 or a name of one's
** own, keeps the old rule: names beginning with it compete. */
static Requirement readRequirement(const char *text) {
    Requirement requirement{REQUIRE_PATCH_LEVEL, JavaVersion{0, 0, 0, 0}, std::string()};
    if (std::strchr(text, '_') != nullptr) {
        if (std::strchr(text, '+') == nullptr) requirement.form = REQUIRE_EXACT_NAME;
        return requirement;
    }
    std::string numbers = text;
    bool orLater = !numbers.empty() && numbers.back() == '+';
    if (orLater) numbers.pop_back();
    bool oldForm = startsWith(text, "1.");
    const char *end = nullptr;
    if ((oldForm && !orLater) || !readJavaVersion(numbers.c_str(), &requirement.version, &end) ||
        *end != '\0')
        return requirement;

    std::size_t dots = 0;
    for (char c : numbers) dots += c == '.';
    bool featureOnly = dots == (oldForm ? 1u : 0u);
    requirement.form = orLater ? REQUIRE_AT_LEAST : featureOnly ? REQUIRE_FEATURE : REQUIRE_VERSION;
    requirement.description = featureOnly ? formatText("feature %d", requirement.version.feature)
                                          : "version " + numbers;
    if (orLater) requirement.description += " or later";
    return requirement;
}

/* True when a runtime of this version meets one of the last three forms. */
static bool meetsRequirement(const Requirement &requirement, const JavaVersion &version) {
    switch (requirement.form) {
    case REQUIRE_FEATURE: return version.feature == requirement.version.feature;
    case REQUIRE_VERSION: return compareJavaVersions(version, requirement.version) == 0;
    case REQUIRE_AT_LEAST: return compareJavaVersions(version, requirement.version) >= 0;
    case REQUIRE_EXACT_NAME:
    case REQUIRE_PATCH_LEVEL: break;
    }
    return false;
}

/* What one selection over a source came to. */
enum SelectionOutcome {
    SELECTION_KEPT,      /* no name above patch level 0: javaVersion stays */
    SELECTION_CHOSEN,    /* javaVersion now names the best runtime */
    SELECTION_NO_SOURCE, /* the source is not there at all */
    SELECTION_UNMET      /* nothing reaches the required patch level or version */
};

/* True when the runtime a source offers under name may compete: its home
** holds the windowed executable, so an uninstalled runtime whose key was
** left behind hides none that is there.  In the first place a name without
** a recorded home still competes, and its missing home is reported as it
** always was. */
static bool runtimeCompetes(const RuntimeSource &source, const char *name, bool firstPlace) {
    char home[JAVA_PATH_SIZE];
    RuntimePresence presence = runtimeVersionHome(source, name, home);
    if (presence == RUNTIME_PRESENT || (presence == RUNTIME_NO_HOME && firstPlace)) return true;
    if (presence == RUNTIME_NO_EXECUTABLE)
        printText("No java executable found for %s: %s is missing\n", name,
                  runtimeExecutable(home).c_str());
    else
        printText("No java home found for %s\n", name);
    return false;
}

/* The old rule: of the names that begin with the base, the one with the
** highest patch level of at least the required one (the later of equals),
** printing the selection trace, goes into javaVersion. */
static SelectionOutcome selectByPatchLevel(const RuntimeSource &source,
                                           const std::vector<RuntimeVersionName> &names,
                                           bool firstPlace) {
    char base[BASE_VERSION_SIZE];
    int bestPatchLevel = splitRequirement(settings.javaVersion, base);
    std::size_t baseLength = std::strlen(base);
    char chosen[REGISTRY_NAME_SIZE] = "";
    printText("javaVersion=%s, javaVer=%s\n", settings.javaVersion, base);

    for (const RuntimeVersionName &entry : names) {
        const char *name = entry.name.c_str();
        printText("checking (%lu) %s\n", entry.position, name);
        if (std::strncmp(name, base, baseLength) != 0) continue;
        printText("found correct java version %s. checking patch level\n", name);
        const char *underscore = std::strchr(name, '_');
        if (underscore == nullptr) {
            printText("No patch level found in %s\n", name);
            continue;
        }
        int patchLevel = patchLevelOf(underscore + 1);
        printText("checking patch level %d against %d\n", patchLevel, bestPatchLevel);
        if (patchLevel >= bestPatchLevel && runtimeCompetes(source, name, firstPlace)) {
            bestPatchLevel = patchLevel;
            std::snprintf(chosen, sizeof chosen, "%s", name);
            printText("found latest java version %s\n", chosen);
        }
    }

    if (bestPatchLevel <= 0) return SELECTION_KEPT;
    if (chosen[0] == '\0') return SELECTION_UNMET;
    settings.javaVersion = keepText(chosen);
    return SELECTION_CHOSEN;
}

/* Versions read as versions: of the names that meet the requirement, the
** newest (the later of equals), printing a trace in the same style, goes
** into javaVersion. */
static SelectionOutcome selectNewest(const RuntimeSource &source,
                                     const std::vector<RuntimeVersionName> &names,
                                     const Requirement &requirement, bool firstPlace) {
    printText("javaVersion=%s, javaVer=%s\n", settings.javaVersion,
              requirement.description.c_str());
    const char *chosen = nullptr;
    JavaVersion newest{0, 0, 0, 0};
    for (const RuntimeVersionName &entry : names) {
        const char *name = entry.name.c_str();
        printText("checking (%lu) %s\n", entry.position, name);
        JavaVersion version;
        if (!readJavaVersion(name, &version) || !meetsRequirement(requirement, version)) continue;
        printText("found correct java version %s. checking version\n", name);
        printText("checking version %s against %s\n", name, chosen ? chosen : settings.javaVersion);
        if (chosen != nullptr && compareJavaVersions(version, newest) < 0) continue;
        if (!runtimeCompetes(source, name, firstPlace)) continue;
        chosen = name;
        newest = version;
        printText("found latest java version %s\n", chosen);
    }
    if (chosen == nullptr) return SELECTION_UNMET;
    settings.javaVersion = keepText(chosen);
    return SELECTION_CHOSEN;
}

/* Chooses among the names a source offers the one that best meets the
** requirement, and puts it in javaVersion. */
static SelectionOutcome getLatestJreVersion(const RuntimeSource &source,
                                            const Requirement &requirement, bool firstPlace) {
    std::vector<RuntimeVersionName> names;
    if (!listRuntimeVersions(source, &names)) return SELECTION_NO_SOURCE;
    if (requirement.form == REQUIRE_PATCH_LEVEL)
        return selectByPatchLevel(source, names, firstPlace);
    return selectNewest(source, names, requirement, firstPlace);
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
    FIRST_UNMET,          /* question, exit code 11 */
    FIRST_NO_VERSION_KEY, /* question, no path */
    FIRST_NO_HOME,        /* "No Java Home Directory Found", no path */
    FIRST_NO_EXECUTABLE   /* its home, whose executable is missing, as before */
};

/* The runtime the requirement names under RUNTIME_BASE_KEY in the own view:
** the executable path (a kept copy), or null with *failure set (and for
** FIRST_NO_EXECUTABLE the home in staleHome, JAVA_PATH_SIZE bytes).  The
** debug boxes of each step are shown as it is taken. */
static char *firstSourcePath(const Requirement &requirement, FirstSourceFailure *failure,
                             std::string *keyPath, char *staleHome) {
    if (requirement.form != REQUIRE_EXACT_NAME) {
        SelectionOutcome outcome = getLatestJreVersion(FIRST_RUNTIME_SOURCE, requirement, true);
        if (outcome == SELECTION_NO_SOURCE) {
            debugBox("Java Current Version", "Error Accessing Registry!", platform::MSGBOX_ICONERROR);
            *failure = FIRST_NO_BASE_KEY;
            return nullptr;
        }
        if (outcome == SELECTION_UNMET) {
            *failure = FIRST_UNMET;
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
    if (haveHome && javaExecutablePathFits(path) && !runtimeExecutableExists(path)) {
        traceRuntimeSource(FIRST_RUNTIME_SOURCE,
                           formatText("%s is missing", runtimeExecutable(path).c_str()).c_str());
        std::memcpy(staleHome, path, sizeof path);
        *failure = FIRST_NO_EXECUTABLE;
        return nullptr;
    }
    if (!haveHome || !formJavaExecutablePath(path)) {
        debugBox("Java Home Directory", "Error Reading Registry!", platform::MSGBOX_ICONERROR);
        *failure = FIRST_NO_HOME;
        return nullptr;
    }
    return keepText(path);
}

/* The same selection over one further source, from the requirement as the
** configuration gave it: the executable path (a kept copy) or null. */
static char *furtherSourcePath(const RuntimeSource &source, char *requirementText,
                               const Requirement &requirement) {
    settings.javaVersion = requirementText;
    if (requirement.form != REQUIRE_EXACT_NAME) {
        SelectionOutcome outcome = getLatestJreVersion(source, requirement, false);
        if (outcome == SELECTION_NO_SOURCE || outcome == SELECTION_UNMET) return nullptr;
    }
    char path[JAVA_PATH_SIZE];
    if (runtimeVersionHome(source, settings.javaVersion, path) != RUNTIME_PRESENT ||
        !formJavaExecutablePath(path))
        return nullptr;
    return keepText(path);
}

char *getJavaVersionPath() {
    if (settings.javaVersion == nullptr || settings.javaVersion[0] == '\0') return nullptr;
    char *requirementText = settings.javaVersion;
    Requirement requirement = readRequirement(requirementText);

    FirstSourceFailure failure = FIRST_NO_BASE_KEY;
    std::string keyPath;
    char staleHome[JAVA_PATH_SIZE];
    char *path = firstSourcePath(requirement, &failure, &keyPath, staleHome);
    if (path != nullptr) return path;
    char *firstVersion = settings.javaVersion;

    for (std::size_t i = 0; i < FURTHER_RUNTIME_SOURCE_COUNT; ++i) {
        const RuntimeSource &source = FURTHER_RUNTIME_SOURCES[i];
        path = furtherSourcePath(source, requirementText, requirement);
        traceRuntimeSource(source, path ? formatText("found %s", settings.javaVersion).c_str()
                                        : "no match");
        if (path != nullptr) return path;
    }

    /* Nothing anywhere: what the first source would have said alone. */
    settings.javaVersion = firstVersion;
    switch (failure) {
    case FIRST_NO_BASE_KEY: needJavaMessage("Java Runtime Environment Not Found");
    case FIRST_UNMET: needJavaMessage("Incompatible JRE Version Found");
    case FIRST_NO_VERSION_KEY: askDownloadQuestion("Java Runtime Environment Not Found"); break;
    case FIRST_NO_EXECUTABLE:
        /* Started as before, to fail with the system's own reason (the
        ** token fits: that was tested before the executable). */
        if (formJavaExecutablePath(staleHome)) return keepText(staleHome);
        break;
    case FIRST_NO_HOME: homeFailure(keyPath); break;
    }
    return nullptr;
}
