/*
** One run of the Java application.
*/
#ifndef TARNWICK_LAUNCH_H
#define TARNWICK_LAUNCH_H

/* The name of the output file that "-o" writes. */
extern const char *const OUTPUT_FILE_NAME;

/* Makes sure a runtime is known, assembles the command line, prints it (and
** writes the output file on "-o"), starts the child, waits for it, reports
** an abnormal end and returns the child's exit code.  Returns 2 when no
** runtime was found.  When the child cannot be started at all, returns the
** system's error code (never 0 or the relaunch request, so the relaunch
** loop cannot spin). */
int execApp();

#endif
