/*
** Fast start's fingerprint: a digest of everything that makes an archive
** unusable or wrong for a start (see docs/fast-start.md), and the small
** path helpers the files of fast start share.
*/
#ifndef TARNWICK_FINGERPRINT_H
#define TARNWICK_FINGERPRINT_H

#include "launcher/command_line.h"

#include <cstddef>
#include <string>
#include <vector>

/* The most jars that manifests may name (Class-Path, followed from jar to
** jar): more than any application ships, and a bound on a chain of
** manifests that would otherwise be read at every start. */
constexpr std::size_t NAMED_JARS_LIMIT = 1000;

/* Where the runtime takes further parameters from besides its command line. */
extern const char *const OPTION_VARIABLES[3];

/* The fingerprint of command's archive for the runtime at home with the
** given version: 16 hex digits.  It covers the runtime, the application's
** name, every jar the runtime reads (the class path and the jars of its
** folders, the jar of "-jar", the jars that their manifests' Class-Path
** names, the module path's jars) by path, size, time and a digest of its
** central directory, and the archive-relevant parameters of the
** configuration and of the option variables.  False when no archive can be
** made or trusted for the command (a folder of classes, a jar that cannot
** be read, a bound passed): *fingerprint then says why. */
bool fastStartFingerprint(const JavaCommand &command, const std::string &home,
                          const std::string &version, std::string *fingerprint);

/* Whether parameter i of the list goes into the fingerprint and into the
** run that makes the cache; a module option written as two parameters
** ("--add-opens", then its value) takes its value along. */
bool isArchiveRelevant(const std::vector<std::string> &parameters, std::size_t i);

/* Where the last separator of path stands; npos when it has none. */
std::size_t lastSeparator(const std::string &path);

/* folder, the system's separator and name. */
std::string joinPath(const std::string &folder, const char *name);

/* A path as the system takes it: without the quotes an expansion may have
** put in, every '/' the system's separator. */
std::string plainPath(const std::string &text);

#endif
