#include "jre/jre.h"

#include "platform/java_version.h"

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
** "1." (but for "1.N+") follow the rules of the Java 8 installers' names,
** where the patch level after "_" orders runtimes of one family; the others
** name a version the way Java 9 and later write it. */
enum RequirementForm {
    REQUIRE_EXACT_NAME,  /* 1.6.0_20: exactly that key, no selection */
    REQUIRE_PATCH_LEVEL, /* 1.6, 1.6.0_20+: names beginning with the base, by patch level */
    REQUIRE_FEATURE,     /* 17, 8: the newest of that feature release */
    REQUIRE_VERSION,     /* 17.0.9: exactly that version */
    REQUIRE_AT_LEAST     /* 17+, 17.0.9+, 1.8+: the newest of that version or later */
};

struct Requirement {
    const char *text; /* as the configuration gave it */
    RequirementForm form;
    JavaVersion version;     /* the last three forms */
    std::string description; /* what the selection trace says it looks for */
};

/* Reads the form of a requirement (see RequirementForm).  A text that is
** not made of version numbers alone, such as 17.0.9+7 or a name of one's
** own, is matched as a prefix: names beginning with it compete. */
static Requirement readRequirement(const char *text) {
    Requirement requirement{text, REQUIRE_PATCH_LEVEL, JavaVersion{0, 0, 0, 0}, std::string()};
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
    SELECTION_KEPT,      /* no name above patch level 0: the requirement names the key */
    SELECTION_CHOSEN,    /* the best runtime's name is chosen */
    SELECTION_NO_SOURCE, /* the source is not there at all */
    SELECTION_UNMET      /* nothing reaches the required patch level or version */
};

/* True when the runtime a source offers under name may compete: its home
** holds the windowed executable, so an uninstalled runtime whose key was
** left behind hides none that is there.  In the first place a name without
** a recorded home still competes, so that the user is told which key lacks
** its home ("No Java Home Directory Found"). */
static bool runtimeCompetes(const RuntimeSource &source, const char *name, bool firstPlace) {
    char home[JAVA_PATH_SIZE];
    RuntimePresence presence = runtimeVersionHome(source, name, home);
    if (presence == RUNTIME_PRESENT || (presence == RUNTIME_NO_HOME && firstPlace)) return true;
    if (presence == RUNTIME_NO_EXECUTABLE)
        printText("No java executable found for %s: %s is missing\n", name,
                  platform::javaExecutableOf(home).c_str());
    else
        printText("No java home found for %s\n", name);
    return false;
}

/* Of the names that begin with the base, the one with the highest patch
** level of at least the required one (the later of equals) goes into
** *chosenName, printing the selection trace. */
static SelectionOutcome selectByPatchLevel(const RuntimeSource &source,
                                           const std::vector<RuntimeVersionName> &names,
                                           const char *requirement, bool firstPlace,
                                           std::string *chosenName) {
    char base[BASE_VERSION_SIZE];
    int bestPatchLevel = splitRequirement(requirement, base);
    std::size_t baseLength = std::strlen(base);
    const char *chosen = nullptr;
    printText("javaVersion=%s, javaVer=%s\n", requirement, base);

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
            chosen = name;
            printText("found latest java version %s\n", chosen);
        }
    }

    if (bestPatchLevel <= 0) return SELECTION_KEPT;
    if (chosen == nullptr) return SELECTION_UNMET;
    *chosenName = chosen;
    return SELECTION_CHOSEN;
}

/* Versions read as versions: of the names that meet the requirement, the
** newest (the later of equals) goes into *chosenName, printing a trace in
** the same style. */
static SelectionOutcome selectNewest(const RuntimeSource &source,
                                     const std::vector<RuntimeVersionName> &names,
                                     const Requirement &requirement, bool firstPlace,
                                     std::string *chosenName) {
    printText("javaVersion=%s, javaVer=%s\n", requirement.text, requirement.description.c_str());
    const char *chosen = nullptr;
    JavaVersion newest{0, 0, 0, 0};
    for (const RuntimeVersionName &entry : names) {
        const char *name = entry.name.c_str();
        printText("checking (%lu) %s\n", entry.position, name);
        JavaVersion version;
        if (!readJavaVersion(name, &version) || !meetsRequirement(requirement, version)) continue;
        printText("found correct java version %s. checking version\n", name);
        printText("checking version %s against %s\n", name, chosen ? chosen : requirement.text);
        if (chosen != nullptr && compareJavaVersions(version, newest) < 0) continue;
        if (!runtimeCompetes(source, name, firstPlace)) continue;
        chosen = name;
        newest = version;
        printText("found latest java version %s\n", chosen);
    }
    if (chosen == nullptr) return SELECTION_UNMET;
    *chosenName = chosen;
    return SELECTION_CHOSEN;
}

/* Chooses among the names a source offers the one that best meets the
** requirement, into *chosenName. */
static SelectionOutcome getLatestJreVersion(const RuntimeSource &source,
                                            const Requirement &requirement, bool firstPlace,
                                            std::string *chosenName) {
    std::vector<RuntimeVersionName> names;
    if (!listRuntimeVersions(source, &names)) return SELECTION_NO_SOURCE;
    if (requirement.form == REQUIRE_PATCH_LEVEL)
        return selectByPatchLevel(source, names, requirement.text, firstPlace, chosenName);
    return selectNewest(source, names, requirement, firstPlace, chosenName);
}

/* Reports a version key without a usable "JavaHome". */
static void homeFailure(const std::string &keyPath) {
    std::string text =
        formatBounded(JAVA_PATH_SIZE, "No Java Home Directory Found for %s ", keyPath.c_str());
    if (!settings._quietMode)
        platform::messageBox(text.c_str(), "Error!", platform::MSGBOX_ICONERROR);
}

/* Forms the executable token of home into runtime, with the home; false,
** runtime unchanged, when the token would not fit. */
static bool takeRuntime(const std::string &home, SelectedRuntime *runtime) {
    char path[JAVA_PATH_SIZE];
    std::snprintf(path, sizeof path, "%s", home.c_str());
    if (!formJavaExecutablePath(path)) return false;
    runtime->home = home;
    runtime->executable = path;
    return true;
}

/* How the first source failed to give the required runtime, told to the
** user only when no further source gives it either. */
enum FirstSourceFailure {
    FIRST_NO_BASE_KEY,    /* question, exit code 11 */
    FIRST_UNMET,          /* question, exit code 11 */
    FIRST_NO_VERSION_KEY, /* question, no runtime */
    FIRST_NO_HOME,        /* "No Java Home Directory Found", no runtime */
    FIRST_NO_EXECUTABLE   /* a home whose executable is missing */
};

/* The runtime the requirement names under JAVA_RUNTIME_KEY in the own view,
** into *runtime, or false with *failure set; runtime->versionName is then
** the name the selection settled on, and for FIRST_NO_EXECUTABLE
** runtime->home the home without its executable.  The debug boxes of each
** step are shown as it is taken. */
static bool firstSourceRuntime(const Requirement &requirement, SelectedRuntime *runtime,
                               FirstSourceFailure *failure, std::string *keyPath) {
    runtime->versionName = requirement.text;
    if (requirement.form != REQUIRE_EXACT_NAME) {
        SelectionOutcome outcome =
            getLatestJreVersion(FIRST_RUNTIME_SOURCE, requirement, true, &runtime->versionName);
        if (outcome == SELECTION_NO_SOURCE) {
            debugBox("Java Current Version", "Error Accessing Registry!",
                     platform::MSGBOX_ICONERROR);
            *failure = FIRST_NO_BASE_KEY;
            return false;
        }
        if (outcome == SELECTION_UNMET) {
            *failure = FIRST_UNMET;
            return false;
        }
    }

    *keyPath = formatBounded(REGISTRY_NAME_SIZE, "%s\\%s", platform::JAVA_RUNTIME_KEY,
                             runtime->versionName.c_str());
    debugBox(keyPath->c_str(), "JavaInstallRegPath");

    platform::RegistryKey versionKey = nullptr;
    if (platform::registryOpenKey(keyPath->c_str(), &versionKey) != 0) {
        debugBox("Java Current Version", "Error Accessing Registry!", platform::MSGBOX_ICONERROR);
        *failure = FIRST_NO_VERSION_KEY;
        return false;
    }
    char path[JAVA_PATH_SIZE];
    bool haveHome = readRegistryText(versionKey, "JavaHome", path, sizeof path);
    platform::registryCloseKey(versionKey);
    if (haveHome && javaExecutablePathFits(path) && !platform::holdsJavaExecutable(path)) {
        traceRuntimeSource(
            FIRST_RUNTIME_SOURCE,
            formatText("%s is missing", platform::javaExecutableOf(path).c_str()).c_str());
        runtime->home = path;
        *failure = FIRST_NO_EXECUTABLE;
        return false;
    }
    if (!haveHome || !takeRuntime(path, runtime)) {
        debugBox("Java Home Directory", "Error Reading Registry!", platform::MSGBOX_ICONERROR);
        *failure = FIRST_NO_HOME;
        return false;
    }
    return true;
}

/* The same selection over one further source, from the requirement as the
** configuration gave it, into *runtime. */
static bool furtherSourceRuntime(const RuntimeSource &source, const Requirement &requirement,
                                 SelectedRuntime *runtime) {
    runtime->versionName = requirement.text;
    if (requirement.form != REQUIRE_EXACT_NAME) {
        SelectionOutcome outcome =
            getLatestJreVersion(source, requirement, false, &runtime->versionName);
        if (outcome == SELECTION_NO_SOURCE || outcome == SELECTION_UNMET) return false;
    }
    char path[JAVA_PATH_SIZE];
    return runtimeVersionHome(source, runtime->versionName.c_str(), path) == RUNTIME_PRESENT &&
           takeRuntime(path, runtime);
}

/* True when some place offers a runtime that is there (its home holds the
** executable), whatever its version: a requirement none of them met then
** asks for an "incompatible" version rather than for Java itself. */
static bool someRuntimeIsInstalled() {
    std::vector<const RuntimeSource *> sources = {&FIRST_RUNTIME_SOURCE};
    for (std::size_t i = 0; i < FURTHER_RUNTIME_SOURCE_COUNT; ++i)
        sources.push_back(&FURTHER_RUNTIME_SOURCES[i]);
    for (const RuntimeSource *source : sources) {
        std::vector<RuntimeVersionName> names;
        if (!listRuntimeVersions(*source, &names)) continue;
        for (const RuntimeVersionName &entry : names) {
            char home[JAVA_PATH_SIZE];
            if (runtimeVersionHome(*source, entry.name.c_str(), home) == RUNTIME_PRESENT)
                return true;
        }
    }
    return false;
}

/* The caption of the download question: "Incompatible JRE Version Found"
** where a runtime is installed that did not meet the requirement. */
static const char *missingRuntimeCaption(bool unmet) {
    return unmet || someRuntimeIsInstalled() ? "Incompatible JRE Version Found"
                                             : "Java Runtime Environment Not Found";
}

/* Tells the user that no place has the runtime, as the first place's
** failure calls for: the download question (ending the process where the
** selection found nothing), or the missing home.  A stale home of the first
** place is started all the same, so that the user sees the system's own
** reason (the executable is missing): true then, with its token. */
static bool reportMissingRuntime(FirstSourceFailure failure, const std::string &keyPath,
                                 SelectedRuntime *runtime) {
    const char *version = runtime->versionName.c_str();
    switch (failure) {
    case FIRST_NO_BASE_KEY:
    case FIRST_UNMET: needJavaMessage(missingRuntimeCaption(failure == FIRST_UNMET), version);
    case FIRST_NO_VERSION_KEY: askDownloadQuestion(missingRuntimeCaption(false), version); break;
    case FIRST_NO_EXECUTABLE:
        /* The token fits: that was tested before the executable. */
        if (!takeRuntime(runtime->home, runtime)) break;
        return true;
    case FIRST_NO_HOME: homeFailure(keyPath); break;
    }
    return false;
}

bool getJavaVersionPath(const char *requirementText, SelectedRuntime *runtime) {
    *runtime = SelectedRuntime();
    if (requirementText == nullptr || requirementText[0] == '\0') return false;
    Requirement requirement = readRequirement(requirementText);

    FirstSourceFailure failure = FIRST_NO_BASE_KEY;
    std::string keyPath;
    if (firstSourceRuntime(requirement, runtime, &failure, &keyPath)) return true;

    for (std::size_t i = 0; i < FURTHER_RUNTIME_SOURCE_COUNT; ++i) {
        const RuntimeSource &source = FURTHER_RUNTIME_SOURCES[i];
        SelectedRuntime further;
        bool found = furtherSourceRuntime(source, requirement, &further);
        traceRuntimeSource(source, found
                                       ? formatText("found %s", further.versionName.c_str()).c_str()
                                       : "no match");
        if (found) {
            *runtime = further;
            return true;
        }
    }
    return reportMissingRuntime(failure, keyPath, runtime);
}
