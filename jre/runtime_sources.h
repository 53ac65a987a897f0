/*
** The places where Java runtimes are recorded (runtime_sources.cpp), and
** what each offers: a current runtime's home, and version names each with a
** home.  The lower half of the runtime discovery: the lookups and the
** version selection (jre.h) ask these places and nothing here asks them.
** The further places are asked in the order of FURTHER_RUNTIME_SOURCES where
** platform::JAVA_RUNTIME_KEY in the launcher's own registry view yields
** nothing.
*/
#ifndef TARNWICK_RUNTIME_SOURCES_H
#define TARNWICK_RUNTIME_SOURCES_H

#include "platform/platform.h"

#include <cstddef>
#include <string>
#include <vector>

/* Sizes of the buffers the registry is read into. */
constexpr std::size_t REGISTRY_NAME_SIZE = 255;
constexpr std::size_t JAVA_PATH_SIZE = 2048;

/* Reads a registry value as text into buffer.  Succeeds only when the text
** and its terminator fit: a value stored without a terminator is ended
** within the bytes delivered, or refused when it fills the buffer. */
bool readRegistryText(platform::RegistryKey key, const char *valueName, char *buffer,
                      std::size_t capacity);

enum RuntimeSourceKind { RUNTIME_SOURCE_REGISTRY, RUNTIME_SOURCE_JAVA_HOME, RUNTIME_SOURCE_PATH };

struct RuntimeSource {
    RuntimeSourceKind kind;
    const char *baseKey; /* registry sources: a key laid out as JAVA_RUNTIME_KEY */
    platform::RegistryView view;
};

/* platform::JAVA_RUNTIME_KEY in the launcher's own view, always asked first. */
extern const RuntimeSource FIRST_RUNTIME_SOURCE;

extern const RuntimeSource FURTHER_RUNTIME_SOURCES[];
extern const std::size_t FURTHER_RUNTIME_SOURCE_COUNT;

/* A version name a source offers, with its place in the source's own
** enumeration (from 1, as the selection trace counts). */
struct RuntimeVersionName {
    unsigned long position;
    std::string name;
};

/* "SOFTWARE\JavaSoft\JDK (64-bit registry view)", "JAVA_HOME", "PATH". */
std::string describeRuntimeSource(const RuntimeSource &source);

/* Prints "Java runtime source <source>: <outcome>" among the launcher's own
** lines in debug mode. */
void traceRuntimeSource(const RuntimeSource &source, const char *outcome);

/* The steps of reading a registry source's current runtime, named by the
** first one that fails. */
enum RegistryLookupStep {
    LOOKUP_FOUND,
    LOOKUP_NO_BASE_KEY,
    LOOKUP_NO_CURRENT_VERSION,
    LOOKUP_NO_VERSION_KEY,
    LOOKUP_NO_HOME
};

/* Reads "CurrentVersion" of a registry source's base key (into *current
** when given), then "JavaHome" of that version's key into path
** (JAVA_PATH_SIZE bytes), the key path formed within REGISTRY_NAME_SIZE
** bytes.  The home is not checked. */
RegistryLookupStep registryCurrentHome(const RuntimeSource &source, char *path,
                                       std::string *current = nullptr);

/* Where a registry source's CurrentVersion is set but cannot be used (an
** uninstaller left it behind): it names no sub-key, one without a
** JavaHome, or a home without the executable (step and path as
** registryCurrentHome gave them, current the version it named).  The
** newest version registered under the same key whose home holds the
** executable then takes its place, its home into path.  A trace line says
** why and which ("CurrentVersion 21 is not registered; ...").  False, path
** unchanged, when CurrentVersion can be used, is not set (there is no
** current runtime to replace), or no registered version is there. */
bool replaceUnusableCurrent(const RuntimeSource &source, RegistryLookupStep step,
                            const std::string &current, char *path);

/* The home (into path, JAVA_PATH_SIZE bytes) of the runtime a source names
** as current: "CurrentVersion" then its "JavaHome" for a registry source,
** or the version replaceUnusableCurrent puts in its place.  False unless
** the home's executable exists. */
bool currentRuntimeHome(const RuntimeSource &source, char *path);

/* The version names a source offers, in its enumeration order; false when
** the source is not there at all (no base key, no runtime with a release
** version).  Names that cannot be enumerated are left out. */
bool listRuntimeVersions(const RuntimeSource &source, std::vector<RuntimeVersionName> *names);

/* Whether a runtime that a source offers under a version name is there. */
enum RuntimePresence {
    RUNTIME_PRESENT,      /* its home holds the windowed executable */
    RUNTIME_NO_HOME,      /* no such name, or no home recorded for it */
    RUNTIME_NO_EXECUTABLE /* a home without the executable: uninstalled */
};

/* The home (into path, JAVA_PATH_SIZE bytes) of the runtime a source offers
** under version, and whether it is there.  Path holds the home unless the
** answer is RUNTIME_NO_HOME. */
RuntimePresence runtimeVersionHome(const RuntimeSource &source, const char *version, char *path);

#endif
