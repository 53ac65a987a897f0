/*
** Fuzz target: parsePath over arbitrary texts and environments.
**
** Input layout: the first byte holds switches (bit 0 the quoting flag, bit 1
** the debug trail); the rest is cut at each 0x1E byte.  The last piece is the
** text to expand; every piece before it is one environment variable written
** NAME=VALUE (up to sixteen of them).  Variables may refer to themselves or to
** each other, and names and values may be of any length.
**
** Besides ending without a sanitizer report, every result must obey what
** holds for any expansion, whatever the variables say:
**  - a text without '$' comes back unchanged, and so does a text whose first
**    reference names no variable (and is not "pid");
**  - a result that differs from the text went through at least one pass, so
**    it holds no backslash;
**  - the result is no longer than the text or one pass's 2047 characters;
**  - double quotes appear only when some value holds a blank and quoting was
**    asked for or forced by an '='.
*/
#include "config/config.h"
#include "core/settings.h"
#include "tests/unit/platform_double.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

const char PIECE_SEPARATOR = '\x1e';
constexpr std::size_t MAX_VARIABLES = 16;
constexpr std::size_t PASS_TEXT_LIMIT = 2047;
constexpr std::size_t NAME_LIMIT = 1023;

[[noreturn]] void fail(const char *what, const std::string &text, const std::string &result) {
    std::fprintf(stderr, "fuzz_parse_path: %s\n  text:   [%s]\n  result: [%s]\n", what,
                 text.c_str(), result.c_str());
    std::abort();
}

/* Environment texts end at their first NUL, as on every real system. */
std::string cutAtNul(const std::string &text) { return text.substr(0, text.find('\0')); }

std::string upper(std::string text) {
    for (char &c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

/* The name of the text's first reference: from after the first '$' to the
** next backslash, else the next slash, else the end, and cut at a double
** quote. */
std::string firstReferenceName(const std::string &text) {
    std::size_t dollar = text.find('$');
    std::size_t spanEnd = text.find('\\', dollar + 1);
    if (spanEnd == std::string::npos) spanEnd = text.find('/', dollar + 1);
    if (spanEnd == std::string::npos) spanEnd = text.size();
    std::string name = text.substr(dollar + 1, spanEnd - dollar - 1);
    return name.substr(0, name.find('"'));
}

bool contains(const std::string &text, char c) { return text.find(c) != std::string::npos; }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size == 0) return 0;
    fake::reset();
    int quoteFlag = data[0] & 1;
    settings._debug = data[0] & 2 ? 1 : 0;

    std::string rest(reinterpret_cast<const char *>(data + 1), size - 1);
    std::size_t textStart = rest.rfind(PIECE_SEPARATOR);
    textStart = textStart == std::string::npos ? 0 : textStart + 1;
    const std::string text = cutAtNul(rest.substr(textStart));

    bool valueHasBlank = false, valueHasQuote = false, valueHasEquals = false;
    std::size_t pieceStart = 0, variables = 0;
    while (pieceStart < textStart && variables < MAX_VARIABLES) {
        std::size_t pieceEnd = rest.find(PIECE_SEPARATOR, pieceStart);
        std::string piece = cutAtNul(rest.substr(pieceStart, pieceEnd - pieceStart));
        pieceStart = pieceEnd + 1;
        std::size_t equals = piece.find('=');
        if (equals == 0 || equals == std::string::npos) continue;
        std::string value = piece.substr(equals + 1);
        fake::state.environment[upper(piece.substr(0, equals))] = value;
        ++variables;
    }
    for (const auto &variable : fake::state.environment) {
        valueHasBlank |= contains(variable.second, ' ');
        valueHasQuote |= contains(variable.second, '"');
        valueHasEquals |= contains(variable.second, '=');
    }

    const std::string result = parsePath(text.c_str(), quoteFlag);

    if (contains(result, '\0')) fail("NUL in the result", text, result);
    if (result.size() > std::max(text.size(), PASS_TEXT_LIMIT))
        fail("result longer than the text and one pass", text, result);
    if (!contains(text, '$') && result != text) fail("text without '$' changed", text, result);
    if (contains(text, '$')) {
        std::string name = firstReferenceName(text);
        bool known = fake::state.environment.count(upper(name)) > 0 || name == "pid";
        if (!known && name.size() <= NAME_LIMIT && result != text)
            fail("unresolved first reference changed the text", text, result);
    }
    if (result != text && contains(result, '\\')) fail("backslash left after a pass", text, result);
    if (!contains(text, '"') && !valueHasQuote && contains(result, '"')) {
        bool quotingPossible = quoteFlag == 1 || contains(text, '=') || valueHasEquals;
        if (!valueHasBlank || !quotingPossible) fail("double quote from nowhere", text, result);
    }
    return 0;
}
