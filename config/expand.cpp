#include "config/config.h"

#include "core/settings.h"
#include "core/text.h"
#include "platform/platform.h"

#include <algorithm>
#include <cstring>

/* A variable's name holds at most this many characters, terminator
** included; a longer name is not looked up. */
static constexpr std::size_t NAME_SIZE = 1024;

/* The text a pass produces holds at most this many characters, terminator
** included; a pass that would produce more is not made. */
static constexpr std::size_t PASS_TEXT_SIZE = 2048;

/* The debug message of a pass is cut to this many bytes. */
static constexpr std::size_t DEBUG_MESSAGE_SIZE = 3036;

/* Passes are bounded so a variable that refers to itself, directly or
** through others, cannot make the expansion run forever. */
static constexpr int MAX_PASSES = 100;

void exchangeSlashes(char *text) {
    if (text == nullptr) return;
    for (; *text != '\0'; ++text)
        if (*text == '\\') *text = '/';
}

/* The expansion's own separators, on every system: a name ends at either,
** and the expansion turns one into the other. */
static bool isSlash(char c) { return c == '\\' || c == '/'; }

/* The outcome of one pass: either the expanded text, or no expansion (the
** text stays as it stands and the passes end). */
struct PassResult {
    bool expanded;
    std::string text;
};

/* One pass over text: the first reference is replaced by its value.
** *quoteFlag may be forced to 1 by an '=' in front of the '$'. */
static PassResult expandFirstReference(const std::string &text, int *quoteFlag) {
    std::size_t dollar = text.find('$');
    if (dollar == std::string::npos) return {false, text};

    /* The name runs to the first backslash after the '$', else the first
    ** slash, else the end. */
    std::size_t spanEnd = text.find('\\', dollar + 1);
    if (spanEnd == std::string::npos) spanEnd = text.find('/', dollar + 1);
    bool endsAtSeparator = spanEnd != std::string::npos;
    if (!endsAtSeparator) spanEnd = text.size();

    std::size_t equals = text.find('=');
    if (equals != std::string::npos && equals < dollar) *quoteFlag = 1;

    /* A double quote ends the name and is kept: it belongs to the text
    ** around the reference, such as -Dx="$TEMP". */
    std::size_t nameEnd = text.find('"', dollar + 1);
    bool endsAtQuote = nameEnd != std::string::npos && nameEnd < spanEnd;
    if (!endsAtQuote) nameEnd = spanEnd;
    if (nameEnd - (dollar + 1) > NAME_SIZE - 1) return {false, text};
    std::string name = text.substr(dollar + 1, nameEnd - (dollar + 1));
    debugBox(name.c_str(), "Found variable");

    std::string value;
    if (!platform::getEnvironment(name.c_str(), &value)) {
        if (name != "pid") {
            debugBox(name.c_str(), "Can't find variable");
            return {false, text};
        }
        value = formatText("%lu", platform::currentProcessId());
    }

    /* A reference that already stands inside written double quotes is
    ** enclosed by them; quoting it again would split it apart. */
    bool insideQuotes = std::count(text.begin(), text.begin() + dollar, '"') % 2 == 1;
    bool quote = *quoteFlag && !insideQuotes && value.find(' ') != std::string::npos;
    bool hasEquals = equals != std::string::npos;
    std::size_t restStart = nameEnd;
    if (!endsAtQuote && endsAtSeparator && !value.empty() && isSlash(value.back())) ++restStart;

    std::string result;
    if (quote && !hasEquals) result += '"';
    result.append(text, 0, dollar);
    if (quote && hasEquals) result += '"';
    result += value;
    if (restStart < text.size()) result.append(text, restStart, std::string::npos);
    if (quote) result += '"';

    if (result.size() > PASS_TEXT_SIZE - 1) return {false, text};
    if (settings._debug)
        debugBox(formatBounded(DEBUG_MESSAGE_SIZE, "arg [%s] expanded to [%s]\n", text.c_str(),
                               result.c_str())
                     .c_str(),
                 "Parse Path");
    exchangeSlashes(&result[0]);
    return {true, result};
}

std::string parsePath(const char *text, int quoteFlag) {
    std::string current = orEmpty(text);
    for (int pass = 0; pass < MAX_PASSES && !current.empty(); ++pass) {
        PassResult result = expandFirstReference(current, &quoteFlag);
        if (!result.expanded) break;
        current = result.text;
    }
    return current;
}
