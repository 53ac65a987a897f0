/*
** Java runtime discovery: the registry's current runtime, the selection of
** an installed runtime by version, and the download prompt.
*/
#ifndef TARNWICK_JRE_H
#define TARNWICK_JRE_H

#include "jre/runtime_sources.h"

/* The current runtime's executable path (a kept copy), or null after an
** error box when the registry names none. */
char *getJavaPathFromRegistry();

/* True when formJavaExecutablePath can make the token of this home within
** JAVA_PATH_SIZE bytes. */
bool javaExecutablePathFits(const char *home);

/* Turns the runtime home in path (JAVA_PATH_SIZE bytes) into the Java
** executable's command-line token, in place: quoted when the home holds a
** blank or on Vista and later, then the bin folder and javaw (java in debug
** mode).  False, with path unchanged, when the result would not fit. */
bool formJavaExecutablePath(char *path);

/* Asks the download question for the required version under caption (unless
** quiet), opens the download page on Yes, and ends with exit code 11. */
[[noreturn]] void needJavaMessage(const char *caption);

/* Asks the download question without ending the process; a Yes opens the
** download page.  Nothing is shown in quiet mode. */
void askDownloadQuestion(const char *caption);

/* Opens the application's own download page (downloadurl) when one is
** configured; otherwise the download page of the required version, for the
** two version families that have one, and nothing for the others.  A page
** that cannot be opened is reported. */
void downloadJre();

/* Tells the user that no place gave a runtime: errorText in an error box
** ("Error!"), or, when the application names its download page and the
** launcher is not quiet, the question "<name> needs Java, ..." under the
** same caption, a Yes opening the page. */
void reportNoRuntime(const char *errorText);

/* True for an address the launcher hands to the browser: http:// or
** https:// (any letter case) and a host, with no blank, double quote or
** control character.  Anything else (file://, a program's path) could make
** the system run something instead of showing a page. */
bool isWebPageAddress(const char *url);

/* The executable path of the runtime the requirement in javaVersion names
** (a kept copy), or null after telling the user.  Where the requirement's
** form asks for it, javaVersion is first replaced by the best matching
** installed runtime's name, with the selection trace printed.  The first
** source is asked first; only when it has no match are the further sources
** asked, each with the same selection.  May end the process (exit code 11). */
char *getJavaVersionPath();

/* The number after a version name's first "_", read like atoi but without
** overflow: leading digits only, saturated to the int range. */
int patchLevelOf(const char *textAfterUnderscore);

#endif
