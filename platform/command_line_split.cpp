#include "platform/command_line_split.h"

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
