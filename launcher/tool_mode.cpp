#include "launcher/tool_mode.h"

#include "core/settings.h"
#include "platform/command_line_split.h"
#include "platform/platform.h"

#include <cstring>
#include <string>

const char *const TOOL_OPTIONS_VARIABLE = "TARNWICK_OPTIONS";

std::vector<char *> toolModeOptions() {
    std::vector<char *> options;
    std::string value;
    if (!platform::getEnvironment(TOOL_OPTIONS_VARIABLE, &value)) return options;
    for (const std::string &word : splitCommandLineArguments(value))
        options.push_back(keepText(word));
    return options;
}

/* The directory and the entry with one separator between them; an empty
** entry stands for the directory itself. */
static std::string anchoredEntry(const char *entry, const char *directory) {
    std::string path = directory;
    bool separated = !path.empty() && platform::isPathSeparator(path.back());
    if (*entry != '\0' && !separated) path += platform::PATH_SEPARATOR;
    return path + entry;
}

std::string anchoredClassPathEntry(const char *entry, const char *launcherDirectory) {
    bool quoted = entry[0] == '"';
    if (!platform::pathIsRelative(entry + (quoted ? 1 : 0))) return entry;
    if (!quoted) return anchoredEntry(entry, launcherDirectory);
    return "\"" + anchoredEntry(entry + 1, launcherDirectory);
}
