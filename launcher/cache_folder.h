/*
** The folder of fast start's archives, and the files of one archive there.
** Each file's name begins with the application's prefix (see
** archivePrefix), then the fingerprint and the archive's kind:
**
**   Demo-1a2b3c4d-<16 hex digits>.aot    the archive (.jsa: a dynamic one)
**     ... .aot.made     what the launcher made: its size, time and a digest
**                       of its first bytes
**     ... .aot.failed   the mark of a making that failed, with why (a week)
**     ... .aot.poor     how many training starts in a row ended with an error
**     ... .aot.making   the job of the process that makes the cache
**     ... .aot.<process id>.config, .tmp   what a training start or the
**                       making run writes before it is put in place
*/
#ifndef TARNWICK_CACHE_FOLDER_H
#define TARNWICK_CACHE_FOLDER_H

#include "launcher/command_line.h"

#include <string>

extern const char MADE_SUFFIX[];
extern const char FAILED_SUFFIX[];
extern const char POOR_SUFFIX[];
extern const char MAKING_SUFFIX[];

/* The archives of one install of an application that stay: a few, so that
** two versions of it used side by side do not make each other's archive
** again. */
constexpr std::size_t ARCHIVES_KEPT = 3;

/* Training leftovers (a start killed, the machine switched off) are
** removed once they are this old; a training start still running at that
** age writes its file again when it ends. */
constexpr long long STALE_TRAINING_SECONDS = 24 * 60 * 60;

/* A making job this old belongs to a process that died (the making takes
** seconds); a start then no longer waits for it. */
constexpr long long STALE_MAKING_SECONDS = 10 * 60;

/* A mark of a failed making counts for a week: then the next start tries
** again (the runtime or the system may have been mended). */
constexpr long long MARK_SECONDS = 7 * 24 * 60 * 60;

/* The free space a training start needs on the cache's file system: the
** archives measured were 10 to 31 MB and the recorded configuration about
** as large, both on disk at once while the cache is made; twice that, so
** that a training neither fails for want of space nor fills the disk. */
constexpr unsigned long long SPACE_NEEDED = 128ULL * 1024 * 1024;

/* "Fast start: " and the formatted text as a line of the debug trail. */
void fastStartLine(const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

/* The user's cache folder for archives (<cache>/tarnwick/cds), made where
** missing; empty after a debug line saying why there is none to trust.
** Each folder from the user's cache folder down must be the user's (or the
** administrator's, above cds) and writable by nobody else (above cds: or
** only sticky); a missing one is made, for the user alone, only inside a
** folder of the user's own. */
std::string cacheFolder();

/* The start of the names of the application's files: its name (appname,
** else the main class) in the ASCII letters, digits, '.', '-' and '_' it
** has, a run of other bytes as one '_', then a digest of the name as
** written and of the launcher's folder, so that two names, or two installs
** in other folders, never share it: "Demo-1a2b3c4d-". */
std::string archivePrefix(const JavaCommand &command);

/* The free space of the folder's file system in MiB, when it is less than
** SPACE_NEEDED; -1 when there is enough, or the system cannot tell. */
long spaceShortMiB(const std::string &folder);

/* How long ago path was last changed, in seconds; -1 when it is missing. */
long long ageOf(const std::string &path);

/* The text of a small file of the folder (at most a few KiB); empty when it
** is missing. */
std::string smallFileText(const std::string &path);

/* Writes path anew with content; false when it could not be written. */
bool writeSmallFile(const std::string &path, const std::string &content);

/* What the launcher keeps about an archive it made (in <archive>.made):
** its size, its time and a digest of its first bytes; empty when it is
** missing. */
std::string madeFacts(const std::string &archive);

/* Puts written in place as archive, after keeping what it is (madeFacts);
** false, with written removed, when it cannot be (on Windows: while a
** runtime maps the archive it replaces). */
bool putArchiveInPlace(const std::string &written, const std::string &archive);

/* Tidies the application's files in folder: removes training leftovers
** and dead making jobs, and keeps the ARCHIVES_KEPT newest archives (keep,
** the archive of this start, among them) with their files. */
void tidyArchives(const std::string &folder, const std::string &prefix, const std::string &keep);

#endif
