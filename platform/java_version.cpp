#include "platform/java_version.h"

#include <climits>

/* The numbers after the feature in the form of Java 9 and later. */
static constexpr int MAX_NUMBERS_AFTER_FEATURE = 3;

static bool isDigit(char c) { return c >= '0' && c <= '9'; }

/* Reads the decimal number at *text, saturated to INT_MAX, and moves *text
** past it.  Assumes *text is a digit. */
static int readNumber(const char **text) {
    long long value = 0;
    for (; isDigit(**text); ++*text)
        if (value <= INT_MAX) value = value * 10 + (**text - '0');
    return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

/* Moves *text past separator and reads the number after it into *number,
** when the separator is followed by a digit; false, with *text unchanged,
** otherwise. */
static bool readNumberAfter(const char **text, char separator, int *number) {
    if ((*text)[0] != separator || !isDigit((*text)[1])) return false;
    ++*text;
    *number = readNumber(text);
    return true;
}

bool readJavaVersion(const char *text, JavaVersion *version, const char **end) {
    *version = JavaVersion{0, 0, 0, 0};
    if (!isDigit(text[0])) return false;
    if (text[0] == '1' && text[1] == '.' && isDigit(text[2])) {
        /* 1.<feature>[.<interim>][_<update>] */
        text += 2;
        version->feature = readNumber(&text);
        readNumberAfter(&text, '.', &version->interim);
        readNumberAfter(&text, '_', &version->update);
    } else {
        version->feature = readNumber(&text);
        int *after[MAX_NUMBERS_AFTER_FEATURE] = {&version->interim, &version->update,
                                                 &version->patch};
        for (int *number : after)
            if (!readNumberAfter(&text, '.', number)) break;
    }
    if (end != nullptr) *end = text;
    return true;
}

int compareJavaVersions(const JavaVersion &a, const JavaVersion &b) {
    const int left[] = {a.feature, a.interim, a.update, a.patch};
    const int right[] = {b.feature, b.interim, b.update, b.patch};
    for (int i = 0; i < 4; ++i)
        if (left[i] != right[i]) return left[i] < right[i] ? -1 : 1;
    return 0;
}
