#include "platform/command_line_split.h"

#include <cctype>
#include <cstring>

static bool isBlank(char c) { return c == ' ' || c == '\t'; }

/* The program name: quotes toggle, nothing is escaped. */
static const char *splitProgramName(const char *p, std::vector<std::string> *out) {
    std::string name;
    bool inQuotes = false;
    for (; *p != '\0'; ++p) {
        if (*p == '"') {
            inQuotes = !inQuotes;
        } else if (isBlank(*p) && !inQuotes) {
            break;
        } else {
            name += *p;
        }
    }
    out->push_back(name);
    return p;
}

std::vector<std::string> splitWindowsCommandLine(const char *commandLine) {
    std::vector<std::string> args;
    if (commandLine == nullptr || *commandLine == '\0') return args;
    const char *p = splitProgramName(commandLine, &args);

    for (;;) {
        while (isBlank(*p)) ++p;
        if (*p == '\0') break;

        std::string arg;
        bool inQuotes = false;
        while (*p != '\0' && (inQuotes || !isBlank(*p))) {
            std::size_t backslashes = 0;
            while (*p == '\\') {
                ++backslashes;
                ++p;
            }
            if (*p == '"') {
                arg.append(backslashes / 2, '\\');
                if (backslashes % 2 == 1) {
                    arg += '"';
                } else if (inQuotes && p[1] == '"') {
                    arg += '"';
                    ++p;
                } else {
                    inQuotes = !inQuotes;
                }
                ++p;
            } else {
                arg.append(backslashes, '\\');
                if (*p != '\0' && (inQuotes || !isBlank(*p))) arg += *p++;
            }
        }
        args.push_back(arg);
    }
    return args;
}

/* Whether line begins with program, ASCII letters compared in any case,
** and goes on with a blank, a tab or its end. */
static bool beginsWithProgram(const char *line, const std::string &program) {
    std::size_t length = program.size();
    if (length == 0 || std::strlen(line) < length) return false;
    for (std::size_t i = 0; i < length; ++i)
        if (std::tolower(static_cast<unsigned char>(line[i])) !=
            std::tolower(static_cast<unsigned char>(program[i])))
            return false;
    return line[length] == '\0' || isBlank(line[length]);
}

/* A stand-in program name goes first and is dropped: the splitter reads
** its first word by the program name's rules. */
std::vector<std::string> splitCommandLineArguments(const std::string &text) {
    std::vector<std::string> words = splitWindowsCommandLine(("x " + text).c_str());
    words.erase(words.begin());
    return words;
}

std::vector<std::string> splitLauncherCommandLine(const char *commandLine,
                                                  const std::string &program) {
    if (commandLine == nullptr || !beginsWithProgram(commandLine, program))
        return splitWindowsCommandLine(commandLine);
    std::vector<std::string> args = splitCommandLineArguments(commandLine + program.size());
    args.insert(args.begin(), program);
    return args;
}

void appendQuotedWord(std::string *commandLine, const char *text) {
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

std::string commandLineWord(const std::string &text) {
    if (!text.empty() && text.find_first_of(" \t\"") == std::string::npos) return text;
    std::string word;
    appendQuotedWord(&word, text.c_str());
    return word;
}
