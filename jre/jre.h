/*
** Java runtime discovery: the registry's current runtime, the selection of
** an installed runtime by version, and the download prompt.
*/
#ifndef TARNWICK_JRE_H
#define TARNWICK_JRE_H

#include "jre/runtime_sources.h"

#include <string>

/* The runtime a lookup settled on. */
struct SelectedRuntime {
    std::string versionName; /* the name it is recorded under; without a runtime,
                             ** the name the lookup looked for */
    std::string home;        /* its home folder; empty without a runtime */
    std::string executable;  /* the Java executable's command-line token (quoted
                             ** where needed); empty without a runtime */
};

/* The current runtime's executable token into *executable, or false after an
** error box when no place names one. */
bool getJavaPathFromRegistry(std::string *executable);

/* True when formJavaExecutablePath can make the token of this home within
** JAVA_PATH_SIZE bytes. */
bool javaExecutablePathFits(const char *home);

/* Turns the runtime home in path (JAVA_PATH_SIZE bytes) into the Java
** executable's command-line token, in place: quoted when the home holds a
** blank or on Vista and later, then the bin folder and javaw (java in debug
** mode).  False, with path unchanged, when the result would not fit. */
bool formJavaExecutablePath(char *path);

/* Asks the download question for version under caption (unless quiet),
** opens the download page on Yes, and ends with exit code 11. */
[[noreturn]] void needJavaMessage(const char *caption, const char *version);

/* Asks the download question for version without ending the process; a Yes
** opens the download page.  Nothing is shown in quiet mode. */
void askDownloadQuestion(const char *caption, const char *version);

/* Opens the application's own download page (downloadurl) when one is
** configured; otherwise the download page of version, for the two version
** families that have one, and nothing for the others.  A page that cannot
** be opened is reported. */
void downloadJre(const char *version);

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

/* The runtime that requirement (a "javaVersion" value) names, into
** *runtime, printing the selection trace where the requirement's form asks
** for a selection among the installed runtimes.  The first place is asked
** first; only when it has no match are the further places asked, each with
** the same selection.  False after telling the user when none has the
** runtime; *runtime then names the version the first place looked for.
** May end the process (exit code 11). */
bool getJavaVersionPath(const char *requirement, SelectedRuntime *runtime);

/* The number after a version name's first "_", read like atoi but without
** overflow: leading digits only, saturated to the int range. */
int patchLevelOf(const char *textAfterUnderscore);

#endif
