/*
** Tool mode ("toolMode on" in the configuration named after the launcher):
** the launcher behaves as a command-line tool's start script does.  Every
** argument goes to the application as given, the launcher's own options
** come from the environment, the application starts in the caller's folder
** and its exit code is passed on.
*/
#ifndef TARNWICK_TOOL_MODE_H
#define TARNWICK_TOOL_MODE_H

#include <string>
#include <vector>

/* The variable that holds the launcher's options in tool mode. */
extern const char *const TOOL_OPTIONS_VARIABLE;

/* The words of TOOL_OPTIONS_VARIABLE, split as a command line is, as kept
** texts (they live as long as the process); none when it is not set. */
std::vector<char *> toolModeOptions();

/* A class-path entry as the tool's command holds it: a relative entry made
** absolute from the launcher's directory, so that it is found from the
** caller's folder too; an absolute one as it is.  A quoted entry (an
** expanded folder with a blank) is judged, and extended, inside its
** quotes. */
std::string anchoredClassPathEntry(const char *entry, const char *launcherDirectory);

#endif
