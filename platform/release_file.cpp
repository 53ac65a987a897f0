/*
** The version name of a Java runtime home, from the "release" file that
** every runtime since Java 9 (and most builds of Java 8) carries beside its
** bin folder.  Shared by every platform: only readFileStart differs.
*/
#include "platform/platform.h"

#include <cctype>
#include <string>

namespace platform {

/* The longest registry key name Windows allows. */
static constexpr std::size_t MAX_KEY_NAME_LENGTH = 255;

static const char RELEASE_FILE_NAME[] = "release";
static const char VERSION_PREFIX[] = "JAVA_VERSION=";

/* A version name must be usable as a registry key name: not empty, within
** the key name limit, no backslash and no control character. */
static bool isUsableVersionName(const std::string &name) {
    if (name.empty() || name.size() > MAX_KEY_NAME_LENGTH) return false;
    for (char c : name)
        if (c == '\\' || std::iscntrl(static_cast<unsigned char>(c))) return false;
    return true;
}

/* The file is shell-style lines such as JAVA_VERSION="17.0.15"; the first
** JAVA_VERSION line counts, with its quotes and trailing blanks removed.  A
** line cut by the read limit does not count. */
bool runtimeReleaseVersion(const char *home, std::string *version) {
    std::string path = std::string(home) + PATH_SEPARATOR + RELEASE_FILE_NAME;
    std::string content;
    if (!readFileStart(path.c_str(), RELEASE_FILE_LIMIT, &content)) return false;
    std::size_t start = 0;
    while (start < content.size()) {
        std::size_t end = content.find('\n', start);
        if (end == std::string::npos) {
            if (content.size() == RELEASE_FILE_LIMIT) return false;
            end = content.size();
        }
        std::string line = content.substr(start, end - start);
        start = end + 1;
        if (line.compare(0, sizeof VERSION_PREFIX - 1, VERSION_PREFIX) != 0) continue;
        std::string value = line.substr(sizeof VERSION_PREFIX - 1);
        while (!value.empty() && std::isspace(static_cast<unsigned char>(value.back())))
            value.pop_back();
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        if (!isUsableVersionName(value)) return false;
        *version = value;
        return true;
    }
    return false;
}

} // namespace platform
