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

#include <string>

/* What one start does about the archive, from prepareFastStart to
** finishFastStart. */
struct FastStartRun {
    bool aheadOfTime = false; /* the cache of Java 25+, not the dynamic archive */
    std::string archive;      /* the archive used or to be made; empty: none */
    std::string training;     /* what a training start writes under a name of its
                              ** own (the recorded configuration, or the dynamic
                              ** archive); empty when the archive exists */
};

/* Decides whether this start uses or makes an archive and appends the JVM
** parameters for it to settings.vmparams, after the configured ones.  The
** caller takes them off again once the command line is built, so that a
** relaunch decides afresh.  Does nothing without "fastStart on".  javapath
** must be set. */
void prepareFastStart(FastStartRun *run);

/* After the child ended: puts what a training start wrote in place as the
** archive (on Java 25 first making the cache from the recorded
** configuration, with one more run of the runtime in directory, which may
** be null), and removes the older archives of the application. */
void finishFastStart(const FastStartRun &run, const char *directory);

/* The fingerprint of the archive for the runtime at home with the given
** version and the settings as they stand: 16 hex digits.  False when a
** class-path entry is a folder, which no archive can hold; *fingerprint
** then names that folder. */
bool fastStartFingerprint(const std::string &home, const std::string &version,
                          std::string *fingerprint);

#endif
