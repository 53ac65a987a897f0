/*
** Splitting one command line into its arguments by the rules of the Windows
** C runtime.  The POSIX platform starts its children through it, so a Java
** program receives the same arguments on every system; the tests use it as
** the oracle for the command lines the launcher assembles.
*/
#ifndef TARNWICK_COMMAND_LINE_SPLIT_H
#define TARNWICK_COMMAND_LINE_SPLIT_H

#include <string>
#include <vector>

/* The rules:
**  - the first argument (the program) runs to the first blank or tab outside
**    double quotes; its quotes are removed and backslashes are plain text;
**  - later arguments are separated by blanks and tabs outside double quotes;
**  - 2n backslashes before a double quote give n backslashes, and the quote
**    opens or closes a quoted part; 2n+1 backslashes before a double quote
**    give n backslashes and a literal quote;
**  - two double quotes inside a quoted part give one literal quote, and the
**    part stays open;
**  - backslashes not followed by a double quote are plain text;
**  - "" gives an empty argument. */
std::vector<std::string> splitWindowsCommandLine(const char *commandLine);

/* The words of text split as the arguments after a command line's program
** name are (text holds no program name); none for an empty text. */
std::vector<std::string> splitCommandLineArguments(const std::string &text);

/* The launcher's own command line split as splitWindowsCommandLine splits
** it, except where it begins with program, the launcher's own file, written
** without quotes (ASCII letters in any case) and followed by a blank, a tab
** or its end: program is then the first word whole, blanks and all.  A
** caller that wrote C:\p\My Apps\Demo.exe a without quotes (a Run key, a
** service's path) hands over that line, and the arguments are a alone, not
** Apps\Demo.exe before it. */
std::vector<std::string> splitLauncherCommandLine(const char *commandLine,
                                                  const std::string &program);

/* Appends text to a command line as one word that the split gives back
** exactly: enclosed in double quotes, a quote inside escaped with a
** backslash and the backslashes in front of a quote (the closing one
** included) doubled. */
void appendQuotedWord(std::string *commandLine, const char *text);

/* text as one word of a command line: as it is, or, when it is empty or
** holds a blank, a tab or a double quote, quoted as appendQuotedWord
** quotes it. */
std::string commandLineWord(const std::string &text);

#endif
