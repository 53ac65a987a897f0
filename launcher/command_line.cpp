#include "launcher/command_line.h"

#include "core/settings.h"
#include "core/text.h"
#include "platform/platform.h"

#include <cstring>

static bool needsEnclosing(const char *arg) {
    return settings._isVista || *arg == '\0' || std::strpbrk(arg, " \t\"") != nullptr;
}

/* Appends text enclosed in double quotes and escaped so that the Windows C
** runtime's split (and the POSIX start, which splits by the same rules)
** gives back exactly text: a quote is escaped with a backslash, and the
** backslashes in front of a quote, the closing one included, are doubled. */
static void appendEnclosed(std::string *commandLine, const char *text) {
    *commandLine += '"';
    std::size_t backslashes = 0;
    for (const char *p = text; *p != '\0'; ++p) {
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
    commandLine->append(2 * backslashes, '\\');
    *commandLine += '"';
}

void appendApplicationArgument(std::string *commandLine, const char *arg) {
    if (!needsEnclosing(arg)) {
        *commandLine += arg;
        *commandLine += ' ';
        return;
    }
    debugBox(arg, "Adding double quotes around");
    appendEnclosed(commandLine, arg);
    *commandLine += ' ';
}

char *jvmOptionToken(char *option) {
    if (std::strpbrk(option, " \t\"") == nullptr) return option;
    std::string enclosed;
    appendEnclosed(&enclosed, option);
    return keepText(enclosed);
}

/* Inside the one pair of quotes around the whole class path, an entry's own
** quotes (an expanded folder with a blank comes quoted) would end the pair
** early and split the class path; the outer pair protects its blanks. */
static void appendWithoutQuotes(std::string *line, const char *entry) {
    for (; *entry != '\0'; ++entry)
        if (*entry != '"') *line += *entry;
}

/* The class path is quoted as a whole when an entry holds a blank; where
** names may hold them (POSIX), a tab or a double quote too.  On Windows a
** tab does not count. */
static bool classPathNeedsQuotes() {
    const char *special = platform::namesMayHoldQuotesAndTabs() ? " \t\"" : " ";
    for (int i = 0; i < settings.vmpathsCnt; ++i)
        if (std::strpbrk(settings.vmpaths[i], special) != nullptr) return true;
    return false;
}

/* Whether an entry's double quotes only group it: always on Windows, whose
** names hold none; on POSIX only in an entry with a blank, which is how an
** expanded folder with a blank comes quoted.  Elsewhere they are part of the
** name and reach Java escaped. */
static bool quotesOnlyGroup(const char *entry) {
    return !platform::namesMayHoldQuotesAndTabs() || std::strchr(entry, ' ') != nullptr;
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
    bool quoteClassPath = classPathNeedsQuotes();
    std::string classPath;
    for (int i = 0; i < settings.vmpathsCnt; ++i) {
        if (i > 0) classPath += platform::CLASS_PATH_SEPARATOR;
        if (quoteClassPath && quotesOnlyGroup(settings.vmpaths[i]))
            appendWithoutQuotes(&classPath, settings.vmpaths[i]);
        else
            classPath += settings.vmpaths[i];
    }

    std::string line;
    appendJavaPath(&line);
    line += ' ';
    for (int i = 0; i < settings.vmparamsCnt; ++i) {
        line += settings.vmparams[i];
        line += ' ';
    }
    /* An empty class path would take the main class's place after
    ** "-classpath": without it, Java uses its own default. */
    if (!classPath.empty()) {
        line += "-classpath ";
        if (quoteClassPath)
            appendEnclosed(&line, classPath.c_str());
        else
            line += classPath;
        line += ' ';
    }
    if (settings.mainClass != nullptr) line += settings.mainClass;
    if (settings.passedArgsCnt + settings.argsCnt > 0) line += ' ';
    for (int i = 0; i < settings.passedArgsCnt; ++i)
        appendApplicationArgument(&line, settings.passedArgs[i]);
    for (int i = 0; i < settings.argsCnt; ++i)
        appendApplicationArgument(&line, settings.args[i]);
    return line;
}
