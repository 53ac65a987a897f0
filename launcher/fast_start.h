/*
** The fast start ("fastStart on"): the launcher lets the Java runtime keep
** the application's class data between starts, in an archive in the user's
** cache folder.  Java 25 and later get the ahead-of-time cache (a training
** start records, then a process of the launcher's own makes the cache from
** the record, after the launcher has ended), Java 19 to 24 the dynamic
** archive.  The archive's name carries a fingerprint of everything that
** makes an archive unusable or wrong (launcher/fingerprint.h), so any change
** gives a new one.  Nothing here may make a start fail or change what it
** ends with: whatever stands in the way, the start goes on without an
** archive, and with -d a line says why.
*/
#ifndef TARNWICK_FAST_START_H
#define TARNWICK_FAST_START_H

#include "launcher/command_line.h"
#include "launcher/fingerprint.h"

#include <string>
#include <vector>

/* Training starts in a row that end with an error (or by a signal) after
** which the application starts without fast start until its fingerprint
** changes: a tool that fails at every start would otherwise record at every
** start, for nothing. */
constexpr int POOR_TRAININGS_LIMIT = 3;

/* What one start does about the archive, from prepareFastStart to
** finishFastStart. */
struct FastStartRun {
    bool aheadOfTime = false;               /* the cache of Java 25+, not the dynamic archive */
    std::string archive;                    /* the archive used or to be made; empty: none */
    std::string training;                   /* what a training start writes under a name of its
                                            ** own (the recorded configuration, or the dynamic
                                            ** archive); empty when the archive is used */
    std::vector<std::string> jvmParameters; /* what this start adds to the command's */
};

/* Decides whether this start of command uses or makes an archive, and what
** it adds to the command's JVM parameters for it (after the configured
** ones); tidies the application's files in the cache folder on the way.  Adds
** nothing without "fastStart on".  command.runtime must be set. */
FastStartRun prepareFastStart(const JavaCommand &command);

/* After the child ended with exitCode: a training start that ended well
** has its dynamic archive put in place, or (Java 25) hands the making of
** the cache to a process of its own (see launcher/cache_maker.h) and does
** not wait for it; one that ended with an error or by a signal makes
** nothing and is counted.  directory is where the child started (null: the
** current folder). */
void finishFastStart(const FastStartRun &run, const JavaCommand &command, const char *directory,
                     int exitCode);

#endif
