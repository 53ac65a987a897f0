#include "platform/windows_paths.h"

#include <cstring>

namespace platform {

static bool isSlash(char c) { return c == '\\' || c == '/'; }

/* ASCII letters in lower case; other bytes as they are, or close enough:
** only compared with lower-case letters and '{'. */
static char lowerCase(char c) { return static_cast<char>(c | 0x20); }

/* True when text begins with word (lower case), letter case ignored. */
static bool beginsWithWord(const char *text, const char *word) {
    for (; *word != '\0'; ++text, ++word)
        if (lowerCase(*text) != *word) return false;
    return true;
}

bool isDeviceNamespacePath(const char *path) {
    if (!isSlash(path[0]) || !isSlash(path[1]) || (path[2] != '.' && path[2] != '?') ||
        !isSlash(path[3]))
        return false;
    const char *rest = path + 4;
    if (lowerCase(rest[0]) >= 'a' && lowerCase(rest[0]) <= 'z' && rest[1] == ':' &&
        isSlash(rest[2]))
        return false;
    if (beginsWithWord(rest, "unc") && isSlash(rest[3])) return false;
    if (beginsWithWord(rest, "volume{")) {
        const char *close = std::strchr(rest, '}');
        if (close != nullptr && isSlash(close[1])) return false;
    }
    return true;
}

std::vector<std::string> searchPathFolders(const std::string &value) {
    std::vector<std::string> folders;
    std::string folder;
    bool quoted = false;
    for (char c : value) {
        if (c == '"') {
            quoted = !quoted;
        } else if (c == ';' && !quoted) {
            if (!folder.empty()) folders.push_back(folder);
            folder.clear();
        } else {
            folder += c;
        }
    }
    if (!folder.empty()) folders.push_back(folder);
    return folders;
}

} // namespace platform
