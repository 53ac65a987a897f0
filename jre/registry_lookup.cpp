#include "jre/jre.h"

#include "core/settings.h"
#include "core/text.h"

#include <cstring>

/* The executable the token names: javaw, or java in debug mode. */
static const char *tokenExecutable() {
    return settings._debug ? platform::JAVA_CONSOLE_EXECUTABLE : platform::JAVA_WINDOWED_EXECUTABLE;
}

/* Whether the token of home is quoted: a blank in it, or Vista and later. */
static bool tokenQuoted(const char *home) {
    return settings._isVista || std::strchr(home, ' ') != nullptr;
}

bool javaExecutablePathFits(const char *home) {
    std::size_t needed = std::strlen(home) + std::strlen(platform::JAVA_BIN_FOLDER) +
                         std::strlen(tokenExecutable()) + (tokenQuoted(home) ? 2 : 0);
    return needed < JAVA_PATH_SIZE;
}

bool formJavaExecutablePath(char *path) {
    if (!javaExecutablePathFits(path)) return false;
    bool quote = tokenQuoted(path);
    std::size_t homeLength = std::strlen(path);

    if (quote) {
        debugBox(path, "Adding double quotes around");
        std::memmove(path + 1, path, homeLength + 1);
        path[0] = '"';
    }
    std::strcat(path, platform::JAVA_BIN_FOLDER);
    std::strcat(path, tokenExecutable());
    if (quote) std::strcat(path, "\"");
    return true;
}

/* How a step of the first key fails: its debug box (shown at once, in
** debug mode) and its error box (shown only when no further source has a
** runtime). */
struct LookupFailure {
    const char *debugText;
    const char *debugCaption;
    const char *errorText;
};

static LookupFailure lookupFailure(RegistryLookupStep step) {
    switch (step) {
    case LOOKUP_NO_BASE_KEY:
        return {platform::JAVA_RUNTIME_KEY, "Error Accessing Registry!",
                "No Java Installation Found"};
    case LOOKUP_NO_CURRENT_VERSION:
        return {"Java Current Version Key", "Error Reading Registry", "No Java Installation Found"};
    case LOOKUP_NO_VERSION_KEY:
        return {"Java Current Version", "Error Accessing Registry!",
                "No Java Installation (No Current Version) Found"};
    case LOOKUP_FOUND:
    case LOOKUP_NO_HOME: break;
    }
    return {"Java Home Directory", "Error Reading Registry!",
            "No Java Installation Home Directory Found"};
}

/* Asks the further sources in order; the first whose current runtime is
** there gives the executable token. */
static bool furtherRuntimePath(std::string *executable) {
    for (std::size_t i = 0; i < FURTHER_RUNTIME_SOURCE_COUNT; ++i) {
        const RuntimeSource &source = FURTHER_RUNTIME_SOURCES[i];
        char path[JAVA_PATH_SIZE];
        if (!currentRuntimeHome(source, path)) {
            traceRuntimeSource(source, "missing");
            continue;
        }
        traceRuntimeSource(source, formatText("found %s", path).c_str());
        if (formJavaExecutablePath(path)) {
            *executable = path;
            return true;
        }
    }
    return false;
}

bool getJavaPathFromRegistry(std::string *executable) {
    char path[JAVA_PATH_SIZE];
    std::string current;
    RegistryLookupStep step = registryCurrentHome(FIRST_RUNTIME_SOURCE, path, &current);
    /* A CurrentVersion left behind by an uninstaller gives way to the
    ** newest runtime registered under the same key. */
    if (replaceUnusableCurrent(FIRST_RUNTIME_SOURCE, step, current, path)) step = LOOKUP_FOUND;
    /* A runtime uninstalled without its key, with no other registered in
    ** its place: the further places are asked as if the key were missing.
    ** Only when they have nothing is the stale home started all the same,
    ** so that the user sees the system's own reason (the executable is
    ** missing) rather than none. */
    bool stale = step == LOOKUP_FOUND && javaExecutablePathFits(path) &&
                 !platform::holdsJavaExecutable(path);
    if (stale && furtherRuntimePath(executable)) return true;
    if (step == LOOKUP_FOUND && formJavaExecutablePath(path)) {
        *executable = path;
        return true;
    }
    if (step == LOOKUP_FOUND) step = LOOKUP_NO_HOME;

    LookupFailure failure = lookupFailure(step);
    debugBox(failure.debugText, failure.debugCaption, platform::MSGBOX_ICONERROR);
    if (!stale && furtherRuntimePath(executable)) return true;
    reportNoRuntime(failure.errorText);
    return false;
}
