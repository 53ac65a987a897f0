#include "tools/brand/manifest.h"

#include <cstring>

static const char ELEMENT[] = "<requestedExecutionLevel";
static const char *const LEVELS[] = {"asInvoker", "highestAvailable", "requireAdministrator"};

bool isExecutionLevel(const std::string &level) {
    for (const char *known : LEVELS)
        if (level == known) return true;
    return false;
}

/* Whether c may end an XML name: the element's own name must not be the
** start of a longer one. */
static bool endsName(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '/' || c == '>';
}

/* Where the element starts, or npos; several (or none) are refused. */
static std::size_t findElement(const std::string &manifest, std::string *error) {
    std::size_t found = std::string::npos;
    std::size_t length = sizeof ELEMENT - 1;
    for (std::size_t at = manifest.find(ELEMENT); at != std::string::npos;
         at = manifest.find(ELEMENT, at + 1)) {
        if (at + length >= manifest.size() || !endsName(manifest[at + length])) continue;
        if (found != std::string::npos) {
            *error = "its manifest requests an execution level twice";
            return std::string::npos;
        }
        found = at;
    }
    if (found == std::string::npos)
        *error = "its manifest requests no execution level that could be set";
    return found;
}

/* The level attribute is looked for inside the element's tag only, as a
** name standing alone ("uiAccess" or "xlevel" are other attributes). */
bool setExecutionLevel(std::string *manifest, const std::string &level, std::string *error) {
    std::size_t element = findElement(*manifest, error);
    if (element == std::string::npos) return false;
    std::size_t tagEnd = manifest->find('>', element);
    if (tagEnd == std::string::npos) tagEnd = manifest->size();
    for (std::size_t at = element + sizeof ELEMENT - 1; at < tagEnd; ++at) {
        if (manifest->compare(at, 5, "level") != 0 ||
            std::strchr(" \t\r\n", (*manifest)[at - 1]) == nullptr)
            continue;
        std::size_t equals = at + 5;
        while (equals < tagEnd && std::strchr(" \t\r\n", (*manifest)[equals]) != nullptr) ++equals;
        if (equals >= tagEnd || (*manifest)[equals] != '=') continue;
        std::size_t quote = equals + 1;
        while (quote < tagEnd && std::strchr(" \t\r\n", (*manifest)[quote]) != nullptr) ++quote;
        if (quote >= tagEnd || ((*manifest)[quote] != '"' && (*manifest)[quote] != '\'')) break;
        std::size_t close = manifest->find((*manifest)[quote], quote + 1);
        if (close == std::string::npos || close > tagEnd) break;
        manifest->replace(quote + 1, close - quote - 1, level);
        return true;
    }
    *error = "its manifest's execution level is not a quoted value that could be set";
    return false;
}
