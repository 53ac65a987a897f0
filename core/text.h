/*
** Text formatting helpers shared by every part of the launcher.
*/
#ifndef TARNWICK_TEXT_H
#define TARNWICK_TEXT_H

#include <cstddef>
#include <string>

/* printf into a std::string of any length. */
std::string formatText(const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

/* printf as into a buffer of bufferSize bytes: the result is cut to at
** most bufferSize - 1 bytes, as snprintf would cut it, but never inside a
** UTF-8 letter: a letter that does not fit whole is left out. */
std::string formatBounded(std::size_t bufferSize, const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

/* Writes text onto the stream of the launcher's own lines (standard output
** of the windowed exe, standard error elsewhere), for the lines every start
** prints (the banner and the command line, the runtime selection's trace).
** In tool mode only with the debug trail: a tool's standard error is its
** own (ant 2>errors.txt, a build log), and the command line may hold a
** secret the user passed as an argument. */
void printLauncherText(const std::string &text);

/* printf through printLauncherText. */
void printText(const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

/* True when text begins with prefix (case-sensitive). */
bool startsWith(const char *text, const char *prefix);

/* True when text begins with prefix, ASCII letters compared without their
** case.  Reads text no further than prefix's length or its first mismatch. */
bool startsWithIgnoringCase(const char *text, const char *prefix);

/* A null text reads as empty. */
inline const char *orEmpty(const char *text) { return text ? text : ""; }

/* Shows a box only when the debug trail is on. */
void debugBox(const char *text, const char *caption, unsigned type = 0);

/* Prints a line among the launcher's own lines only when the debug trail is
** on. */
void debugPrint(const std::string &line);

/* Tells the user of a problem: text in a box with caption and type unless
** the launcher is quiet, and as a line on standard error; once where a box
** is such a line (POSIX, the console exe). */
void reportError(const std::string &text, const char *caption, unsigned type);

#endif
