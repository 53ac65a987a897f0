/*
** Java runtime discovery: the registry's current runtime, the selection of
** an installed runtime by version, and the download prompt.
*/
#ifndef TARNWICK_JRE_H
#define TARNWICK_JRE_H

#include "platform/platform.h"

#include <cstddef>

/* The registry key under which installed runtimes are recorded. */
extern const char *const RUNTIME_BASE_KEY;

/* Sizes of the buffers the registry is read into. */
constexpr std::size_t REGISTRY_NAME_SIZE = 255;
constexpr std::size_t JAVA_PATH_SIZE = 2048;

/* The current runtime's executable path (a kept copy), or null after an
** error box when the registry names none. */
char *getJavaPathFromRegistry();

/* Reads a registry value as text into buffer.  Succeeds only when the text
** and its terminator fit: a value stored without a terminator is ended
** within the bytes delivered, or refused when it fills the buffer. */
bool readRegistryText(platform::RegistryKey key, const char *valueName, char *buffer,
                      std::size_t capacity);

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

/* Opens the download page of the required version, for the two version
** families that have one; does nothing for the others. */
void downloadJre();

/* Replaces javaVersion by the best matching installed runtime's name where
** the requirement's form asks for a selection, printing its trace.  May end
** the process with exit code 11. */
void getLatestJreVersion();

/* The executable path of the runtime the requirement names (a kept copy),
** or null after telling the user.  May end the process (exit code 11). */
char *getJavaVersionPath();

/* The number after a version name's first "_", read like atoi but without
** overflow: leading digits only, saturated to the int range. */
int patchLevelOf(const char *textAfterUnderscore);

#endif
