/*
** Start-up: the option scan, the quiet rule, the launcher directory, the
** configuration, the relaunch loop and the exit code.
*/
#ifndef TARNWICK_STARTUP_H
#define TARNWICK_STARTUP_H

/* The launcher's whole run.  The Windows entry point hands it the system's
** wide command line in UTF-8, split by the C runtime's rules; the POSIX one
** main's arguments.  Returns the exit code, or ends the process itself where
** an exit code is fixed. */
int launcherMain(int argc, char **argv);

/* 1 when the operating system is Windows Vista or later (major version
** above 5), else 0. */
int isVista();

#endif
