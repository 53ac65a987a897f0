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

#endif
