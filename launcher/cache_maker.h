/*
** The process that makes fast start's ahead-of-time cache.  When a training
** start has ended well, the launcher writes a job beside the archive
** (<archive>.making, which also tells other starts that the cache is being
** made) and starts a copy of itself, detached (platform.h:
** startDetachedProcess), with the job's path in CACHE_JOB_VARIABLE; then it
** ends, or starts the application again, without waiting.  That copy reads
** no configuration and no option but "-d": it runs the making run, puts
** the cache in place, removes the job and the record, and ends.
**
** Only a launcher that finds the variable set at its start takes this
** role, and only for a job it can trust: a file named <archive>.making in
** the user's checked cache folder that begins with the job's own mark.  No
** command line or configuration line can ask for it (a "setenv" line sets
** variables for the application, after start-up has looked).
*/
#ifndef TARNWICK_CACHE_MAKER_H
#define TARNWICK_CACHE_MAKER_H

#include <string>

/* Names the job of a launcher started to make a cache. */
extern const char CACHE_JOB_VARIABLE[];

/* What the making process is to do. */
struct CacheJob {
    std::string prefix;      /* the application's files begin with it */
    std::string archive;     /* the cache to make */
    std::string record;      /* the training start's recorded configuration */
    std::string output;      /* what the making run writes, put in place as archive */
    std::string directory;   /* where the making run starts; empty: where the launcher was */
    std::string commandLine; /* the making run's command line */
};

/* Writes the job and starts the process that carries it out; when the job
** cannot be written (another process makes the cache already) or the
** process cannot start, removes what the training start left. */
void startCacheMaker(const CacheJob &job);

/* The launcher started as that process, with the job at jobPath: carries it
** out and returns the exit code (2 for a job it does not take). */
int runCacheJob(const std::string &jobPath);

#endif
