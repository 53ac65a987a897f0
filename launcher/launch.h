/*
** One run of the Java application.
*/
#ifndef TARNWICK_LAUNCH_H
#define TARNWICK_LAUNCH_H

/* The name of the output file that "-o" writes. */
extern const char *const OUTPUT_FILE_NAME;

#include "launcher/command_line.h"

/* One start of command, whose runtime is known: adds what fast start asks
** for, assembles the command line, prints it (and writes the output file on
** "-o"), starts the child, waits for it, reports an abnormal end and returns
** the child's exit code.  When the child cannot be started at all, returns
** the system's error code (never 0 or the relaunch request, so the relaunch
** loop cannot spin). */
int execApp(const JavaCommand &command);

/* Starts command again for as long as the application asks for it by its
** exit code (never in tool mode), and returns the last exit code.  When the configuration names
** no runtime (no javapath), command's runtime is first the registry's
** current one, looked up once for every start: 2 when it names none. */
int runApplication(JavaCommand command);

#endif
