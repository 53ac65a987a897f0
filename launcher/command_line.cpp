#include "launcher/command_line.h"

#include "core/settings.h"
#include "core/text.h"
#include "platform/platform.h"

#include <cstring>

static bool needsEnclosing(const char *arg) {
    return settings._isVista || *arg == '\0' || std::strpbrk(arg, " \t\"") != nullptr;
}

void appendApplicationArgument(std::string *commandLine, const char *arg) {
    if (!needsEnclosing(arg)) {
        *commandLine += arg;
        *commandLine += ' ';
        return;
    }
    debugBox(arg, "Adding double quotes around");
    *commandLine += '"';
    std::size_t backslashes = 0;
    for (const char *p = arg; *p != '\0'; ++p) {
        if (*p == '\\') {
            ++backslashes;
            continue;
        }
        if (*p == '"') {
            commandLine->append(2 * backslashes + 1, '\\');
        } else {
            commandLine->append(backslashes, '\\');
        }
        *commandLine += *p;
        backslashes = 0;
    }
    /* Backslashes before the closing quote would escape it: double them. */
    commandLine->append(2 * backslashes, '\\');
    *commandLine += "\" ";
}

/* Inside the one pair of quotes around the whole class path, an entry's own
** quotes (an expanded folder with a blank comes quoted) would end the pair
** early and split the class path; the outer pair protects its blanks. */
static void appendWithoutQuotes(std::string *line, const char *entry) {
    for (; *entry != '\0'; ++entry)
        if (*entry != '"') *line += *entry;
}

/* The class path is quoted as a whole, and only for a blank (tabs do not
** count), whatever the system. */
static bool classPathHasBlank() {
    for (int i = 0; i < settings.vmpathsCnt; ++i)
        if (std::strchr(settings.vmpaths[i], ' ') != nullptr) return true;
    return false;
}

/* The runtime's path as the first token.  A path with a blank or a tab and
** no quotes of its own is enclosed in quotes: unquoted, the system would
** take C:\Apps\My.exe for C:\Apps\My App\jre\bin\javaw.exe if such a file
** were there.  A path that holds quotes is left as written. */
static void appendJavaPath(std::string *line) {
    const char *path = settings.javapath;
    bool enclose = std::strpbrk(path, " \t") != nullptr && std::strchr(path, '"') == nullptr;
    if (enclose) *line += '"';
    *line += path;
    if (enclose) *line += '"';
}

std::string buildJavaCommandLine() {
    bool quoteClassPath = classPathHasBlank();
    std::string line;
    appendJavaPath(&line);
    line += ' ';
    for (int i = 0; i < settings.vmparamsCnt; ++i) {
        line += settings.vmparams[i];
        line += ' ';
    }
    line += "-classpath ";
    if (quoteClassPath) line += '"';
    for (int i = 0; i < settings.vmpathsCnt; ++i) {
        if (i > 0) line += platform::CLASS_PATH_SEPARATOR;
        if (quoteClassPath)
            appendWithoutQuotes(&line, settings.vmpaths[i]);
        else
            line += settings.vmpaths[i];
    }
    if (quoteClassPath) {
        /* A folder ending in a backslash would escape the closing quote. */
        std::size_t trailing = 0;
        while (line[line.size() - 1 - trailing] == '\\') ++trailing;
        line.append(trailing, '\\');
        line += '"';
    }
    line += ' ';
    if (settings.mainClass != nullptr) line += settings.mainClass;
    if (settings.argsCnt > 0) line += ' ';
    for (int i = 0; i < settings.argsCnt; ++i)
        appendApplicationArgument(&line, settings.args[i]);
    return line;
}
