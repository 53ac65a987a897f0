#include "jre/jre.h"

#include "launcher/settings.h"
#include "launcher/text.h"
#include "platform/platform.h"

#include <climits>
#include <cstring>

/* The base version (the requirement cut at its first "_") is held in a
** buffer of this size, so at most 19 characters of it are compared. */
static constexpr std::size_t BASE_VERSION_SIZE = 20;

int patchLevelOf(const char *text) {
    long long value = 0;
    bool negative = false;
    while (*text == ' ' || *text == '\t') ++text;
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

void getLatestJreVersion() {
    if (settings.javaVersion == nullptr || settings.javaVersion[0] == '\0') return;

    platform::RegistryKey baseKey = nullptr;
    if (platform::registryOpenKey(RUNTIME_BASE_KEY, &baseKey) != 0) {
        debugBox("Java Current Version", "Error Accessing Registry!", platform::MSGBOX_ICONERROR);
        needJavaMessage("Java Runtime Environment Not Found");
    }
    unsigned long subKeyCount = platform::registrySubKeyCount(baseKey);

    char base[BASE_VERSION_SIZE];
    int bestPatchLevel = splitRequirement(settings.javaVersion, base);
    std::size_t baseLength = std::strlen(base);
    char chosen[REGISTRY_NAME_SIZE] = "";
    platform::writeStandardOutput(
        formatText("javaVersion=%s, javaVer=%s\n", settings.javaVersion, base));

    for (unsigned long index = 0; index < subKeyCount; ++index) {
        char name[REGISTRY_NAME_SIZE];
        unsigned long nameLength = sizeof name;
        if (platform::registryEnumSubKey(baseKey, index, name, &nameLength) != 0) continue;
        platform::writeStandardOutput(formatText("checking (%lu) %s\n", index + 1, name));
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
            std::memcpy(chosen, name, sizeof chosen);
            platform::writeStandardOutput(formatText("found latest java version %s\n", chosen));
        }
    }
    platform::registryCloseKey(baseKey);

    if (bestPatchLevel <= 0) return;
    if (chosen[0] == '\0') needJavaMessage("Incompatible JRE Version Found");
    settings.javaVersion = keepText(chosen);
}

/* Reports a version key without a usable "JavaHome". */
static char *homeFailure(const std::string &keyPath) {
    debugBox("Java Home Directory", "Error Reading Registry!", platform::MSGBOX_ICONERROR);
    std::string text =
        formatBounded(JAVA_PATH_SIZE, "No Java Home Directory Found for %s ", keyPath.c_str());
    if (!settings._quietMode)
        platform::messageBox(text.c_str(), "Error!", platform::MSGBOX_ICONERROR);
    return nullptr;
}

char *getJavaVersionPath() {
    const char *requirement = settings.javaVersion;
    if (requirement == nullptr || requirement[0] == '\0') return nullptr;
    if (std::strchr(requirement, '_') == nullptr || std::strchr(requirement, '+') != nullptr)
        getLatestJreVersion();

    std::string keyPath =
        formatBounded(REGISTRY_NAME_SIZE, "%s\\%s", RUNTIME_BASE_KEY, settings.javaVersion);
    debugBox(keyPath.c_str(), "JavaInstallRegPath");

    platform::RegistryKey versionKey = nullptr;
    if (platform::registryOpenKey(keyPath.c_str(), &versionKey) != 0) {
        debugBox("Java Current Version", "Error Accessing Registry!", platform::MSGBOX_ICONERROR);
        askDownloadQuestion("Java Runtime Environment Not Found");
        return nullptr;
    }
    char path[JAVA_PATH_SIZE];
    bool haveHome = readRegistryText(versionKey, "JavaHome", path, sizeof path);
    platform::registryCloseKey(versionKey);
    if (!haveHome || !formJavaExecutablePath(path)) return homeFailure(keyPath);
    return keepText(path);
}
