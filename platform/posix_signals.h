/*
** Signals while a child runs, shared by the files of the POSIX platform:
** posix_process.cpp starts and waits for the child, posix_signals.cpp
** passes the launcher's signals on to it.
*/
#ifndef TARNWICK_POSIX_SIGNALS_H
#define TARNWICK_POSIX_SIGNALS_H

#include <sys/types.h>

namespace platform {

/* A program killed by signal N ends, as a shell reports it, with 128 + N. */
constexpr int SIGNAL_EXIT_BASE = 128;

/* Called before the fork: from here on the signals to pass on are blocked
** until the wait takes them, so none is lost before it.  The first call
** installs the launcher's handlers, which then stay for its whole life: a
** signal between two starts is taken, not fatal.  Forgets what came for an
** earlier child.  Does nothing while already on. */
void beginPassingSignals();

/* Called in a forked child before it runs another program (the opener of
** a page or a file, the process that makes fast start's cache): the
** signals the launcher handles, SIGCHLD and SIGPIPE get the actions the
** launcher was started with again, and the mask is the launcher's original
** one, so the program starts as if it had been started directly. */
void restoreSignalsForExec();

/* Called in the forked child before exec: restoreSignalsForExec, so the
** application starts as if it had been started directly.  On Linux the
** child also asks for SIGTERM when the launcher dies, and ends at once when its parent is not
** launcherPid (the launcher died before the request was made). */
void resetSignalsInChild(pid_t launcherPid);

/* Waits until the child pid ends and stores its wait status, passing each
** signal sent to the launcher on to the child meanwhile.  A request to end
** that comes when the child has already ended, and that the child did not
** end by, ends the launcher here with 128 + the signal's number.  False
** when the child cannot be waited for (already reaped, or not ours). */
bool waitPassingSignals(pid_t pid, int *status);

/* Gives back the mask the launcher had before beginPassingSignals; the
** handlers stay.  Does nothing when it is off. */
void endPassingSignals();

} // namespace platform

#endif
