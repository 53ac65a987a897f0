/*
** Where a Java runtime's files stand in its home, seen from the system.
** Shared by every platform: only the separators differ.
*/
#include "platform/platform.h"

#include <string>

namespace platform {

/* A home holds its executables in bin: home, bin, the executable. */
static constexpr int NAMES_ABOVE_HOME = 2;

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

} // namespace platform
