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

#endif
