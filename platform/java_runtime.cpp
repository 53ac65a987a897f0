/*
** Where a Java runtime stands, seen from the system: its executable in its
** home, and the runtimes that JAVA_HOME and PATH name.  Shared by every
** platform: the system's own names come from the platform's constants.
*/
#include "platform/platform.h"

#include <string>

namespace platform {

/* A home holds its executables in bin: home, bin, the executable. */
static constexpr int NAMES_ABOVE_HOME = 2;

const char *const JAVA_HOME_VARIABLE = "JAVA_HOME";

std::string javaExecutableOf(const char *home) {
    return std::string(home) + JAVA_BIN_FOLDER + JAVA_WINDOWED_EXECUTABLE;
}

/* An empty home would name the executable of the root's bin folder. */
bool holdsJavaExecutable(const char *home) {
    return home[0] != '\0' && isExecutableFile(javaExecutableOf(home).c_str());
}

bool homeAboveExecutable(const std::string &executable, std::string *home) {
    std::string path = executable;
    for (int level = 0; level < NAMES_ABOVE_HOME; ++level) {
        std::size_t cut = path.size();
        while (cut > 0 && !isPathSeparator(path[cut - 1])) --cut;
        if (cut <= 1) return false;
        path.resize(cut - 1);
    }
    *home = path;
    return true;
}

/* A separator at the end (C:\jdk\) would be doubled before bin. */
bool javaHomeRuntime(std::string *home) {
    std::string value;
    if (!getEnvironment(JAVA_HOME_VARIABLE, &value)) return false;
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
    while (value.size() > 1 && isPathSeparator(value.back())) value.pop_back();
    if (!holdsJavaExecutable(value.c_str())) return false;
    *home = value;
    return true;
}

bool searchPathRuntime(std::string *home) {
    std::string found, above;
    const char *name = JAVA_WINDOWED_EXECUTABLE + 1; /* without its separator */
    if (!findOnSearchPath(name, &found) || !homeAboveExecutable(found, &above) ||
        !holdsJavaExecutable(above.c_str()))
        return false;
    *home = above;
    return true;
}

} // namespace platform
