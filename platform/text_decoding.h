/*
** What the bytes of a configuration file mean as text.  On Windows the
** launcher's text is UTF-8 but files written so far are in the ANSI code
** page; on every system a file may be saved as UTF-16 (Windows PowerShell
** 5.1's ">" and Out-File, Notepad's "Unicode").  Portable, so that the rules
** are tested on every system.
*/
#ifndef TARNWICK_TEXT_DECODING_H
#define TARNWICK_TEXT_DECODING_H

#include <cstddef>
#include <string>

namespace platform {

enum FileEncoding {
    FILE_ENCODING_UTF8,
    FILE_ENCODING_ANSI,
    FILE_ENCODING_UTF16_LE,
    FILE_ENCODING_UTF16_BE
};

/* UTF-16 when the bytes start with its byte-order mark (FF FE, FE FF);
** UTF-8 when they start with a UTF-8 byte-order mark or are valid UTF-8
** throughout (pure ASCII is); the ANSI code page otherwise. */
FileEncoding configFileEncoding(const std::string &bytes);

/* The offset of the first byte that is not part of well-formed UTF-8, or
** std::string::npos when there is none. */
std::size_t firstNonUtf8Byte(const std::string &bytes);

/* "UTF-8", "the ANSI code page", "UTF-16 LE", "UTF-16 BE". */
const char *fileEncodingName(FileEncoding encoding);

/* The UTF-8 text of a file's bytes in UTF-16 (encoding is one of the two
** UTF-16 ones), its byte-order mark dropped and each CR LF turned into LF,
** as text mode reads a line.  A surrogate without its partner becomes
** U+FFFD; an odd last byte, half a character, is dropped. */
std::string utf16FileText(const std::string &bytes, FileEncoding encoding);

/* What the C runtime's text mode makes of a file's bytes when reading: the
** bytes before the first Ctrl-Z (0x1A), each CR LF turned into LF; a lone
** CR and a NUL stay. */
std::string textModeContent(const std::string &bytes);

/* Serves the line of text that starts at *next, with its line feed when it
** has one, and moves *next past it; false when the text is used up.  How a
** file decoded whole is read line by line on every system. */
bool nextTextLine(const std::string &text, std::size_t *next, std::string *line);

} // namespace platform

#endif
