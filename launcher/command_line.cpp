#include "launcher/command_line.h"

#include "core/text.h"
#include "launcher/tool_mode.h"
#include "platform/command_line_split.h"
#include "platform/platform.h"

#include <cstring>

static bool needsEnclosing(const char *arg) {
    return settings._isVista || commandLineWord(arg) != arg;
}

void appendApplicationArgument(std::string *commandLine, const char *arg) {
    if (!needsEnclosing(arg)) {
        *commandLine += arg;
        *commandLine += ' ';
        return;
    }
    debugBox(arg, "Adding double quotes around");
    appendQuotedWord(commandLine, arg);
    *commandLine += ' ';
}

std::string quotedArgument(const std::string &text) {
    std::string enclosed;
    appendQuotedWord(&enclosed, text.c_str());
    return enclosed;
}

char *jvmOptionToken(char *option) {
    std::string word = commandLineWord(option);
    return word == option ? option : keepText(word);
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
static bool classPathNeedsQuotes(const std::vector<std::string> &classPath) {
    const char *special = platform::namesMayHoldQuotesAndTabs() ? " \t\"" : " ";
    for (const std::string &entry : classPath)
        if (entry.find_first_of(special) != std::string::npos) return true;
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
static void appendJavaPath(std::string *line, const std::string &path) {
    bool enclose = path.find_first_of(" \t") != std::string::npos &&
                   path.find('"') == std::string::npos;
    if (enclose) *line += '"';
    *line += path;
    if (enclose) *line += '"';
}

/* The entries joined by the system's separator, each without the quotes
** that only group it when the whole class path is quoted. */
static std::string joinedClassPath(const std::vector<std::string> &entries, bool quoted) {
    std::string classPath;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (i > 0) classPath += platform::CLASS_PATH_SEPARATOR;
        if (quoted && quotesOnlyGroup(entries[i].c_str()))
            appendWithoutQuotes(&classPath, entries[i].c_str());
        else
            classPath += entries[i];
    }
    return classPath;
}

JavaCommand javaCommandOf(const LauncherSettings &config) {
    JavaCommand command;
    command.runtime = orEmpty(config.javapath);
    command.jvmParameters.assign(config.vmparams, config.vmparams + config.vmparamsCnt);
    for (int i = 0; i < config.vmpathsCnt; ++i)
        command.classPath.push_back(config.toolMode
                                        ? anchoredClassPathEntry(config.vmpaths[i], config.cwd)
                                        : std::string(config.vmpaths[i]));
    command.mainClass = orEmpty(config.mainClass);
    command.arguments.assign(config.passedArgs, config.passedArgs + config.passedArgsCnt);
    command.arguments.insert(command.arguments.end(), config.args, config.args + config.argsCnt);
    return command;
}

std::string buildJavaCommandLine(const JavaCommand &command) {
    bool quoteClassPath = classPathNeedsQuotes(command.classPath);
    std::string classPath = joinedClassPath(command.classPath, quoteClassPath);

    std::string line;
    appendJavaPath(&line, command.runtime);
    line += ' ';
    for (const std::string &parameter : command.jvmParameters) {
        line += parameter;
        line += ' ';
    }
    /* An empty class path would take the main class's place after
    ** "-classpath": without it, Java uses its own default. */
    if (!classPath.empty()) {
        line += "-classpath ";
        if (quoteClassPath)
            appendQuotedWord(&line, classPath.c_str());
        else
            line += classPath;
        line += ' ';
    }
    line += command.mainClass;
    if (!command.arguments.empty()) line += ' ';
    for (const std::string &argument : command.arguments)
        appendApplicationArgument(&line, argument.c_str());
    return line;
}
