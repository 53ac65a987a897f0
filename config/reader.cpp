#include "config/config.h"

#include "core/settings.h"
#include "core/text.h"
#include "jre/jre.h"
#include "platform/command_line_split.h"
#include "platform/platform.h"

#include <cctype>
#include <cstring>
#include <vector>

/* The open-failure message is formatted into a buffer of this size. */
static constexpr std::size_t MESSAGE_SIZE = 1024;

/* Includes nest at most this deep; deeper is surely a mistake (or a loop
** through differently written paths). */
static constexpr int MAX_INCLUDE_DEPTH = 16;

/* At most this many included files are read for one configuration: files
** that include the next one several times would otherwise multiply into
** millions of reads.  Only files actually read count; a missing or
** unreadable include is no read. */
static constexpr int MAX_INCLUDED_FILES = 256;

static constexpr int UNRESOLVED_VERSION_EXIT_CODE = 5;

static const char UTF8_BYTE_ORDER_MARK[] = "\xEF\xBB\xBF";
static const char LOG_FILE_PARAMETER[] = "-DLOGFILE";

/* The identities of the files being read, outermost first, to recognise an
** include loop however its paths are written. */
static std::vector<std::string> filesBeingRead;

/* Included files read so far for this configuration, and whether the cap
** on them has been reported (it is, once). */
static int includedFilesRead;
static bool includeCapReported;

static void reportConfigProblem(const std::string &message) {
    reportError(message, "Error Reading Config File", platform::MSGBOX_OK);
}

void addJars(const char *folder) {
    appendToList(LIST_VMPATHS, keepText(std::string(folder) + "/*"));
}

static char *expandedCopy(const char *value, int quoteFlag) {
    return keepText(parsePath(value, quoteFlag));
}

static void applyVmparam(const char *value) {
    char *parameter = expandedCopy(value, 1);
    std::size_t prefixLength = sizeof LOG_FILE_PARAMETER - 1;
    if (std::strncmp(parameter, LOG_FILE_PARAMETER, prefixLength) == 0) {
        /* What follows "-DLOGFILE" and one more character (the '='); a bare
        ** "-DLOGFILE" has nothing there and names no log file. */
        std::size_t length = std::strlen(parameter);
        settings._logFile = keepText(length > prefixLength ? parameter + prefixLength + 1 : "");
    }
    appendToList(LIST_VMPARAMS, parameter);
}

/* Blanks and tabs at the end of a value, which no editor shows, go. */
static std::string withoutTrailingBlanks(const char *value) {
    std::string text = value;
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.pop_back();
    return text;
}

/* The JVM parameters an environment variable holds, as a start script
** reads ANT_OPTS: its value split as a command line's arguments are, each
** word one parameter (written again as one word of the command line), and
** nothing when it is unset or empty.  The value names the variable as
** $NAME, blanks after it aside; the variable's own value is taken as it
** is, never expanded further.  Any other value is reported and adds
** nothing. */
static void applyVmoptions(const char *value) {
    std::string name = withoutTrailingBlanks(value);
    if (name.size() < 2 || name[0] != '$' || name.find_first_of(" \t$", 1) != std::string::npos) {
        reportConfigProblem(formatText("vmoptions %s is ignored: it takes one variable, as in "
                                       "vmoptions $ANT_OPTS\n",
                                       value));
        return;
    }
    std::string options;
    if (!platform::getEnvironment(name.c_str() + 1, &options)) return;
    for (const std::string &word : splitCommandLineArguments(options))
        appendToList(LIST_VMPARAMS, keepText(commandLineWord(word)));
}

/* The requirement is kept as written; the runtime it names becomes javapath
** at once, so that a later "javapath" line still wins over it. */
static void applyJavaVersion(const char *value) {
    settings.javaVersion = expandedCopy(value, 0);
    SelectedRuntime runtime;
    if (!getJavaVersionPath(settings.javaVersion, &runtime) || runtime.executable.empty())
        platform::exitProcess(UNRESOLVED_VERSION_EXIT_CODE);
    settings.javapath = keepText(runtime.executable);
}

static void applySetenv(const char *value) {
    const char *equals = std::strchr(value, '=');
    if (equals == nullptr) return;
    std::string name(value, static_cast<std::size_t>(equals - value));
    debugBox(equals + 1, name.c_str());
    platform::setEnvironment(name.c_str(), parsePath(equals + 1, 0).c_str());
}

/* The word "on" in any letter case, alone or before a blank or a tab. */
static bool isOn(const char *value) {
    return std::tolower(static_cast<unsigned char>(value[0])) == 'o' &&
           std::tolower(static_cast<unsigned char>(value[1])) == 'n' &&
           (value[2] == '\0' || value[2] == ' ' || value[2] == '\t');
}

/* "on" turns the fast start on; any other value turns it off (a later line
** or an include may). */
static void applyFastStart(const char *value) { settings.fastStart = isOn(value); }

/* The application's own download page.  Only a web address is kept: any
** other value is reported, and the line counts for nothing. */
static void applyDownloadUrl(const char *value) {
    std::string url = withoutTrailingBlanks(value);
    if (isWebPageAddress(url.c_str())) {
        settings.downloadUrl = keepText(url);
        return;
    }
    reportConfigProblem(formatText("downloadurl %s is refused: only http:// and https:// "
                                   "addresses are opened\n",
                                   value));
}

static int readConfigFile(const char *path, int depth);

static void applyInclude(const char *value, int depth) {
    std::string path = parsePath(value, 0);
    std::string identity = platform::fileIdentity(path.c_str());
    for (const std::string &open : filesBeingRead) {
        if (open == identity) {
            reportConfigProblem(formatText("Can't include %s: it is already being read "
                                           "(the configuration includes itself)\n",
                                           path.c_str()));
            return;
        }
    }
    if (depth + 1 > MAX_INCLUDE_DEPTH) {
        reportConfigProblem(formatText("Can't include %s: includes are nested more than %d "
                                       "deep\n",
                                       path.c_str(), MAX_INCLUDE_DEPTH));
        return;
    }
    if (includedFilesRead >= MAX_INCLUDED_FILES) {
        if (!includeCapReported)
            reportConfigProblem(formatText("Can't include %s: more than %d included files are "
                                           "read for one configuration\n",
                                           path.c_str(), MAX_INCLUDED_FILES));
        includeCapReported = true;
        return;
    }
    readConfigFile(path.c_str(), depth + 1);
}

/* Applies one setting line: the first keyword the line begins with
** decides, in this fixed order ("addjars" before "addjar"). */
static void applyLine(const char *line, const char *value, int depth) {
    if (startsWith(line, "vmparam")) {
        applyVmparam(value);
    } else if (startsWith(line, "vmoptions")) {
        applyVmoptions(value);
    } else if (startsWith(line, "javapath")) {
        settings.javapath = expandedCopy(value, 1);
    } else if (startsWith(line, "addpath")) {
        appendToList(LIST_VMPATHS, expandedCopy(value, 1));
    } else if (startsWith(line, "mainclass")) {
        settings.mainClass = expandedCopy(value, 0);
    } else if (startsWith(line, "appname")) {
        settings.appname = expandedCopy(value, 0);
    } else if (startsWith(line, "javaVersion")) {
        applyJavaVersion(value);
    } else if (startsWith(line, "addjars")) {
        addJars(parsePath(value, 1).c_str());
    } else if (startsWith(line, "argument")) {
        appendToList(LIST_ARGS, keepText(value));
    } else if (startsWith(line, "addjar")) {
        appendToList(LIST_VMPATHS, expandedCopy(value, 1));
    } else if (startsWith(line, "include")) {
        applyInclude(value, depth);
    } else if (startsWith(line, "consoleTitle")) {
        settings.consoleTitle = expandedCopy(value, 1);
    } else if (startsWith(line, "workingDir")) {
        settings.workingDir = expandedCopy(value, 1);
    } else if (startsWith(line, "outputFile")) {
        settings.outputFile = expandedCopy(value, 1);
    } else if (startsWith(line, "showConsole")) {
        if (startsWith(value, "true") || startsWith(value, "TRUE")) settings._showConsole = 1;
    } else if (startsWith(line, "setenv")) {
        applySetenv(value);
    } else if (startsWith(line, "fastStart")) {
        applyFastStart(value);
    } else if (startsWith(line, "downloadurl")) {
        applyDownloadUrl(value);
    } else if (startsWith(line, "toolMode")) {
        /* Decided before the options were scanned (readToolMode). */
        debugPrint(formatText("toolMode %s in %s: only the configuration named after the "
                              "launcher decides it, before the options (tool mode is %s)\n",
                              value, filesBeingRead.back().c_str(),
                              settings.toolMode ? "on" : "off"));
    }
}

/* The value of a setting line, after its first blank and without its line
** feed, or null for a line that is no setting (a comment, no blank).  The
** line is taken as text up to its first NUL. */
static char *settingValue(std::string *raw) {
    char *line = &(*raw)[0];
    if (line[0] == '#' || line[0] == '/' || line[0] == '\0') return nullptr;
    char *space = std::strchr(line, ' ');
    if (space == nullptr) return nullptr;
    char *value = space + 1;
    std::size_t length = std::strlen(value);
    if (length > 0 && value[length - 1] == '\n') value[length - 1] = '\0';
    return value;
}

/* Reads the next line, without the byte-order mark of a file's first
** line, which would hide the first setting from its keyword. */
static bool readConfigLine(platform::TextFile *file, std::string *line, bool *firstLine) {
    if (!platform::readTextLine(file, line)) return false;
    if (*firstLine && line->compare(0, 3, UTF8_BYTE_ORDER_MARK) == 0) line->erase(0, 3);
    *firstLine = false;
    return true;
}

/* Classifies one line and applies it when it is a setting. */
static void processLine(std::string *raw, int depth) {
    char *value = settingValue(raw);
    if (value != nullptr) applyLine(raw->c_str(), value, depth);
}

static int readConfigFile(const char *path, int depth) {
    if (!platform::fileExists(path)) return 0;
    debugBox(path, "Reading Config file");
    int error = 0;
    platform::TextFile *file = platform::openTextFile(path, "r", &error);
    if (file == nullptr) {
        reportConfigProblem(formatBounded(MESSAGE_SIZE, "Can't open %s Error %s\n", path,
                                          platform::runtimeErrorText(error).c_str()));
        return 1;
    }
    /* Closes the file and forgets it however the reading ends. */
    struct OpenFile {
        platform::TextFile *file;
        ~OpenFile() {
            filesBeingRead.pop_back();
            platform::closeTextFile(file);
        }
    } open{file};
    /* A stray byte that is not UTF-8 makes a whole Windows file ANSI: say
    ** how each file was read, so that the user can see why. */
    debugPrint(formatText("Reading config file %s as %s\n", path,
                          platform::textFileEncoding(file).c_str()));
    filesBeingRead.push_back(platform::fileIdentity(path));
    if (depth > 0) ++includedFilesRead;
    std::string line;
    bool firstLine = true;
    while (readConfigLine(file, &line, &firstLine)) processLine(&line, depth);
    return 0;
}

int readAppConfig(const char *path) {
    filesBeingRead.clear();
    includedFilesRead = 0;
    includeCapReported = false;
    return readConfigFile(path, 0);
}

/* Only "toolMode" lines are looked at, by the same rules as every line
** (no other keyword begins like it); nothing is applied, expanded or
** included.  A file that cannot be read says nothing here: the reading
** proper reports it. */
bool readToolMode(const char *path) {
    int error = 0;
    platform::TextFile *file = platform::openTextFile(path, "r", &error);
    if (file == nullptr) return false;
    bool on = false;
    std::string line;
    bool firstLine = true;
    while (readConfigLine(file, &line, &firstLine)) {
        char *value = settingValue(&line);
        if (value != nullptr && startsWith(line.c_str(), "toolMode")) on = isOn(value);
    }
    platform::closeTextFile(file);
    return on;
}
