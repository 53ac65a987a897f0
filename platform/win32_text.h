/*
** The launcher's UTF-8 text on its way into the wide-character Windows
** functions and back, shared by the files of the Windows platform (defined
** in win32.cpp).  Not part of the platform interface.
*/
#ifndef TARNWICK_WIN32_TEXT_H
#define TARNWICK_WIN32_TEXT_H

#include <cstddef>
#include <string>
#include <vector>

namespace platform {

/* UTF-16 text for the wide functions, always ended by a NUL.  A vector,
** not the library's wide string, which would add 30 KiB to the exe. */
typedef std::vector<wchar_t> WideText;

/* The launcher's UTF-8 text for the wide functions; bytes that are not
** UTF-8 become U+FFFD. */
WideText wideText(const char *text);

/* The same for a text that may be missing: null stays null, else *wide
** holds the text and its data is returned. */
wchar_t *optionalText(const char *text, WideText *wide);

/* The launcher's UTF-8 text from length UTF-16 units, NULs included as they
** stand; a lone surrogate becomes U+FFFD. */
std::string utf8Text(const wchar_t *text, std::size_t length);

} // namespace platform

#endif
