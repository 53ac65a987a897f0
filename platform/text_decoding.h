/*
** What the bytes of a configuration file mean as text on Windows, where the
** launcher's text is UTF-8 but files written so far are in the ANSI code
** page.  Portable, so that the rules are tested on every system; only the
** Windows platform uses them.
*/
#ifndef TARNWICK_TEXT_DECODING_H
#define TARNWICK_TEXT_DECODING_H

#include <cstddef>
#include <string>

namespace platform {

enum FileEncoding { FILE_ENCODING_UTF8, FILE_ENCODING_ANSI };

/* UTF-8 when the bytes start with a UTF-8 byte-order mark or are valid
** UTF-8 throughout (pure ASCII is); the ANSI code page otherwise. */
FileEncoding configFileEncoding(const std::string &bytes);

/* What the C runtime's text mode makes of a file's bytes when reading: the
** bytes before the first Ctrl-Z (0x1A), each CR LF turned into LF; a lone
** CR and a NUL stay. */
std::string textModeContent(const std::string &bytes);

} // namespace platform

#endif
