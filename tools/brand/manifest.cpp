#include "tools/brand/manifest.h"

#include <cstring>

static const char ELEMENT_NAME[] = "requestedExecutionLevel";
static const char LEVEL_ATTRIBUTE[] = "level";
static const char *const LEVELS[] = {"asInvoker", "highestAvailable", "requireAdministrator"};

/* What the manifest holds that is not an element, from its opening to its
** closing text, skipped whole: nothing in it is markup. */
struct SkippedPart {
    const char *open;
    const char *close;
    const char *name; /* for the message of one left open */
};
static const SkippedPart SKIPPED_PARTS[] = {
    {"<!--", "-->", "a comment"},
    {"<![CDATA[", "]]>", "a CDATA section"},
    {"<?", "?>", "a processing instruction"},
};

bool isExecutionLevel(const std::string &level) {
    for (const char *known : LEVELS)
        if (level == known) return true;
    return false;
}

static bool isXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

/* Whether c ends a name: a blank, the end of a tag, or the '=' after an
** attribute's name. */
static bool endsName(char c) { return isXmlSpace(c) || c == '/' || c == '>' || c == '='; }

/* Reads the manifest as XML, as far as finding one element and one attribute
** of it needs: the markup that is not an element skipped (comments, CDATA
** sections, processing instructions, a document type), each element's name
** and attributes read in turn, the quoted values allowing '>' and '<'. */
struct ManifestReader {
    const std::string &text;
    std::size_t at;
    std::string *error;
};

static bool notReadable(ManifestReader *reader, const std::string &what) {
    *reader->error =
        "its manifest cannot be read as XML (" + what + "), so its execution level cannot be set";
    return false;
}

static void skipSpace(ManifestReader *reader) {
    while (reader->at < reader->text.size() && isXmlSpace(reader->text[reader->at])) ++reader->at;
}

/* The name that starts at the reader's place; empty when none does. */
static std::string readName(ManifestReader *reader) {
    std::size_t start = reader->at;
    while (reader->at < reader->text.size() && !endsName(reader->text[reader->at])) ++reader->at;
    return reader->text.substr(start, reader->at - start);
}

/* A name without its namespace prefix (asmv3:requestedExecutionLevel). */
static std::string localName(const std::string &name) {
    std::size_t colon = name.rfind(':');
    return colon == std::string::npos ? name : name.substr(colon + 1);
}

/* Skips a comment, CDATA section or processing instruction that starts at
** the reader's place.  False when none does (*skipped false) or one is left
** open. */
static bool skipPart(ManifestReader *reader, bool *skipped) {
    *skipped = false;
    for (const SkippedPart &part : SKIPPED_PARTS) {
        if (reader->text.compare(reader->at, std::strlen(part.open), part.open) != 0) continue;
        std::size_t close = reader->text.find(part.close, reader->at + std::strlen(part.open));
        if (close == std::string::npos)
            return notReadable(reader, std::string(part.name) + " left open");
        reader->at = close + std::strlen(part.close);
        *skipped = true;
        return true;
    }
    return true;
}

/* Skips a declaration (<!DOCTYPE ...>) with its internal subset in square
** brackets, or an end tag. */
static bool skipToTagEnd(ManifestReader *reader) {
    int brackets = 0;
    for (; reader->at < reader->text.size(); ++reader->at) {
        char c = reader->text[reader->at];
        if (c == '[') ++brackets;
        if (c == ']') --brackets;
        if (c == '>' && brackets <= 0) {
            ++reader->at;
            return true;
        }
    }
    return notReadable(reader, "a tag left open");
}

/* Reads the attributes of a start tag up to its end, keeping where the
** quoted value of the level attribute starts and ends (npos when the tag
** has none). */
static bool readAttributes(ManifestReader *reader, std::size_t *valueStart, std::size_t *valueEnd) {
    const std::string &text = reader->text;
    *valueStart = *valueEnd = std::string::npos;
    for (;;) {
        skipSpace(reader);
        if (text.compare(reader->at, 2, "/>") == 0 || text.compare(reader->at, 1, ">") == 0) {
            reader->at += text[reader->at] == '/' ? 2 : 1;
            return true;
        }
        std::string name = readName(reader);
        if (name.empty())
            return notReadable(reader, "a tag left open or an attribute without a name");
        skipSpace(reader);
        if (reader->at >= text.size() || text[reader->at] != '=')
            return notReadable(reader, "the attribute " + name + " without a value");
        ++reader->at;
        skipSpace(reader);
        char quote = reader->at < text.size() ? text[reader->at] : '\0';
        std::size_t close = quote == '"' || quote == '\'' ? text.find(quote, reader->at + 1)
                                                          : std::string::npos;
        if (close == std::string::npos)
            return notReadable(reader, "the attribute " + name + " without a quoted value");
        if (name == LEVEL_ATTRIBUTE) {
            *valueStart = reader->at + 1;
            *valueEnd = close;
        }
        reader->at = close + 1;
    }
}

/* Where the level attribute's value of the one requestedExecutionLevel
** element starts and ends.  False, with the reason, when the manifest
** cannot be read, has no such element or more than one, or the element has
** no level attribute. */
static bool findLevelValue(ManifestReader *reader, std::size_t *start, std::size_t *end) {
    const std::string &text = reader->text;
    int elements = 0;
    while ((reader->at = text.find('<', reader->at)) != std::string::npos) {
        bool skipped = false;
        if (!skipPart(reader, &skipped)) return false;
        if (skipped) continue;
        if (text.compare(reader->at, 2, "</") == 0 || text.compare(reader->at, 2, "<!") == 0) {
            if (!skipToTagEnd(reader)) return false;
            continue;
        }
        ++reader->at;
        std::string name = readName(reader);
        if (name.empty()) return notReadable(reader, "a '<' that begins no tag");
        bool wanted = localName(name) == ELEMENT_NAME;
        std::size_t valueStart, valueEnd;
        if (!readAttributes(reader, &valueStart, &valueEnd)) return false;
        if (!wanted) continue;
        if (++elements > 1) {
            *reader->error = "its manifest has two requestedExecutionLevel elements, so which "
                             "execution level counts is not clear";
            return false;
        }
        *start = valueStart;
        *end = valueEnd;
    }
    if (elements == 0) {
        *reader->error = "its manifest requests no execution level that could be set";
        return false;
    }
    if (*start == std::string::npos) {
        *reader->error = "its manifest's execution level is not a quoted value that could be set";
        return false;
    }
    return true;
}

/* Only the level attribute's value changes: every other byte stays. */
bool setExecutionLevel(std::string *manifest, const std::string &level, std::string *error) {
    ManifestReader reader{*manifest, 0, error};
    std::size_t start = std::string::npos, end = std::string::npos;
    if (!findLevelValue(&reader, &start, &end)) return false;
    manifest->replace(start, end - start, level);
    return true;
}
