#include "jre/jre.h"

#include "launcher/settings.h"
#include "launcher/text.h"

#include <cstring>

const char *const RUNTIME_BASE_KEY = "SOFTWARE\\JavaSoft\\Java Runtime Environment";

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

bool formJavaExecutablePath(char *path) {
    bool quote = settings._isVista || std::strchr(path, ' ') != nullptr;
    const char *executable =
        settings._debug ? platform::JAVA_CONSOLE_EXECUTABLE : platform::JAVA_WINDOWED_EXECUTABLE;
    std::size_t homeLength = std::strlen(path);
    std::size_t needed = homeLength + std::strlen(platform::JAVA_BIN_FOLDER) +
                         std::strlen(executable) + (quote ? 2 : 0);
    if (needed >= JAVA_PATH_SIZE) return false;

    if (quote) {
        debugBox(path, "Adding double quotes around");
        std::memmove(path + 1, path, homeLength + 1);
        path[0] = '"';
    }
    std::strcat(path, platform::JAVA_BIN_FOLDER);
    std::strcat(path, executable);
    if (quote) std::strcat(path, "\"");
    return true;
}

/* Shows the boxes of one failed step: the debug box first (debug mode
** only), then the error box, which quiet mode does not hide. */
static char *lookupFailure(const char *debugText, const char *debugCaption,
                           const char *errorText) {
    debugBox(debugText, debugCaption, platform::MSGBOX_ICONERROR);
    platform::messageBox(errorText, "Error!", platform::MSGBOX_ICONERROR);
    return nullptr;
}

char *getJavaPathFromRegistry() {
    platform::RegistryKey baseKey = nullptr;
    if (platform::registryOpenKey(RUNTIME_BASE_KEY, &baseKey) != 0)
        return lookupFailure(RUNTIME_BASE_KEY, "Error Accessing Registry!",
                             "No Java Installation Found");

    char version[REGISTRY_NAME_SIZE];
    bool haveVersion = readRegistryText(baseKey, "CurrentVersion", version, sizeof version);
    platform::registryCloseKey(baseKey);
    if (!haveVersion)
        return lookupFailure("Java Current Version Key", "Error Reading Registry",
                             "No Java Installation Found");

    std::string versionKeyPath =
        formatBounded(REGISTRY_NAME_SIZE, "%s\\%s", RUNTIME_BASE_KEY, version);
    platform::RegistryKey versionKey = nullptr;
    if (platform::registryOpenKey(versionKeyPath.c_str(), &versionKey) != 0)
        return lookupFailure("Java Current Version", "Error Accessing Registry!",
                             "No Java Installation (No Current Version) Found");

    char path[JAVA_PATH_SIZE];
    bool haveHome = readRegistryText(versionKey, "JavaHome", path, sizeof path);
    platform::registryCloseKey(versionKey);
    if (!haveHome || !formJavaExecutablePath(path))
        return lookupFailure("Java Home Directory", "Error Reading Registry!",
                             "No Java Installation Home Directory Found");
    return keepText(path);
}
