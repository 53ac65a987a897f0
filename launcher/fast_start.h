/*
** The fast start ("fastStart on"): the launcher lets the Java runtime keep
** the application's class data between starts, in an archive in the user's
** cache folder.  Java 25 and later get the ahead-of-time cache (a training
** start records, the launcher then has the runtime make the cache), Java 19
** to 24 the dynamic archive.  The archive's name carries a fingerprint of
** everything that makes an archive unusable, so any change gives a new one.
** Nothing here may make a start fail: whatever stands in the way, the start
** goes on without an archive, and with -d a line says why.
*/
#ifndef TARNWICK_FAST_START_H
#define TARNWICK_FAST_START_H

#include "launcher/command_line.h"

#include <string>
#include <vector>

/* What one start does about the archive, from prepareFastStart to
** finishFastStart. */
struct FastStartRun {
    bool aheadOfTime = false;               /* the cache of Java 25+, not the dynamic archive */
    std::string archive;                    /* the archive used or to be made; empty: none */
    std::string training;                   /* what a training start writes under a name of its
                              ** own (the recorded configuration, or the dynamic
                              ** archive); empty when the archive exists */
    std::vector<std::string> jvmParameters; /* what this start adds to the command's */
};

/* Decides whether this start of command uses or makes an archive, and what
** it adds to the command's JVM parameters for it (after the configured
** ones).  Adds nothing without "fastStart on".  command.runtime must be
** set. */
FastStartRun prepareFastStart(const JavaCommand &command);

/* After the child ended: puts what a training start of command wrote in
** place as the archive (on Java 25 first making the cache from the recorded
** configuration, with one more run of the runtime in directory, which may be
** null: the same runtime, class path and archive-relevant parameters, never
** the main class or an application argument), and removes the older
** archives of the application. */
void finishFastStart(const FastStartRun &run, const JavaCommand &command, const char *directory);

/* The fingerprint of command's archive for the runtime at home with the
** given version: 16 hex digits.  False when a class-path entry is a folder,
** which no archive can hold; *fingerprint then names that folder. */
bool fastStartFingerprint(const JavaCommand &command, const std::string &home,
                          const std::string &version, std::string *fingerprint);

#endif
