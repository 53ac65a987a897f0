/*
** UTF-8 to UTF-16, for the texts of the version record: the command line
** hands them over in UTF-8, Windows keeps them in UTF-16.
*/
#ifndef TARNWICK_BRAND_UTF16_H
#define TARNWICK_BRAND_UTF16_H

#include <string>

/* Converts text; false when it is not well-formed UTF-8 (overlong forms,
** encoded surrogates and code points past U+10FFFF included). */
bool utf8ToUtf16(const std::string &text, std::u16string *utf16);

#endif
