#include "config/config.h"

#include "core/settings.h"
#include "core/text.h"
#include "platform/platform.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

/* The debug text "[path]" is formatted into a buffer of this size. */
static constexpr std::size_t DEBUG_PATH_TEXT_SIZE = 2048;

/* Room for the separator, ".config", the terminator and some slack. */
static constexpr std::size_t CONFIG_PATH_EXTRA = 17;

static const char EXE_SUFFIX[] = ".exe";
static const char CONFIG_SUFFIX[] = ".config";

/* Whether name ends in ".exe": in any letter case where file names ignore
** it (DEMO.EXE is Demo.exe on Windows), else as written. */
static bool endsWithExeSuffix(const char *name, std::size_t length) {
    std::size_t suffixLength = sizeof EXE_SUFFIX - 1;
    if (length < suffixLength) return false;
    const char *suffix = name + length - suffixLength;
    for (std::size_t i = 0; i < suffixLength; ++i) {
        char c = suffix[i];
        if (platform::FILE_NAMES_IGNORE_CASE)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (c != EXE_SUFFIX[i]) return false;
    }
    return true;
}

/* Forms "dir<sep>base.config" from the program path, removing one ".exe"
** (see endsWithExeSuffix) from the program path in place.  Returns a
** malloc'd path, or null when no storage could be had. */
static char *deriveConfigPath(char *exePath, const char *dir) {
    char *base = std::strrchr(exePath, platform::PATH_SEPARATOR);
    base = base != nullptr ? base + 1 : exePath;
    std::size_t baseLength = std::strlen(base);
    std::size_t suffixLength = sizeof EXE_SUFFIX - 1;
    if (endsWithExeSuffix(base, baseLength)) {
        baseLength -= suffixLength;
        base[baseLength] = '\0';
    }
    std::size_t dirLength = std::strlen(dir);
    std::size_t size = dirLength + baseLength + CONFIG_PATH_EXTRA;
    char *path = static_cast<char *>(std::malloc(size));
    if (path == nullptr) return nullptr;
    std::snprintf(path, size, "%s%c%s%s", dir, platform::PATH_SEPARATOR, base, CONFIG_SUFFIX);
    return path;
}

int readAppConfig(char *exePath, const char *dir) {
    char *derived = nullptr;
    const char *path = settings._configFile;
    if (path == nullptr) {
        derived = deriveConfigPath(exePath, dir);
        path = derived;
    }
    if (path == nullptr) {
        platform::writeLauncherOutput("no Application config file\n");
        if (!settings._quietMode)
            platform::messageBox("No Application config file", "Error", platform::MSGBOX_OK);
        return 1;
    }
    debugPrint(formatText("reading app config %s\n", path));
    debugBox(formatBounded(DEBUG_PATH_TEXT_SIZE, "[%s]", path).c_str(), "Reading App Config file");
    int result = readAppConfig(path);
    std::free(derived);
    return result;
}

/* A copy of the program path: the name is formed as for the reading. */
bool ownConfigAsksToolMode(const char *exePath, const char *dir) {
    std::string program(exePath);
    char *path = deriveConfigPath(&program[0], dir);
    if (path == nullptr) return false;
    bool on = readToolMode(path);
    std::free(path);
    return on;
}
