#include "launcher/tool_mode.h"

#include "core/settings.h"
#include "platform/command_line_split.h"
#include "platform/platform.h"

#include <cstring>
#include <string>

const char *const TOOL_OPTIONS_VARIABLE = "TARNWICK_OPTIONS";

/* The splitter reads its first word as a program name, by other rules: a
** stand-in program name goes first and is dropped. */
std::vector<char *> toolModeOptions() {
    std::vector<char *> options;
    std::string value;
    if (!platform::getEnvironment(TOOL_OPTIONS_VARIABLE, &value)) return options;
    std::vector<std::string> words = splitWindowsCommandLine(("tarnwick " + value).c_str());
    for (std::size_t i = 1; i < words.size(); ++i) options.push_back(keepText(words[i]));
    return options;
}

/* The launcher's directory and the entry with one separator between them;
** an empty entry stands for the directory itself. */
static std::string anchoredEntry(const char *entry) {
    std::string path = settings.cwd;
    std::size_t length = path.size();
    bool separated = length > 0 && (path[length - 1] == platform::PATH_SEPARATOR || path[length - 1] == '/');
    if (*entry != '\0' && !separated) path += platform::PATH_SEPARATOR;
    return path + entry;
}

void anchorClassPath() {
    for (int i = 0; i < settings.vmpathsCnt; ++i) {
        const char *entry = settings.vmpaths[i];
        bool quoted = entry[0] == '"';
        if (!platform::pathIsRelative(entry + (quoted ? 1 : 0))) continue;
        std::string anchored = quoted ? "\"" + anchoredEntry(entry + 1) : anchoredEntry(entry);
        settings.vmpaths[i] = keepText(anchored);
    }
}
