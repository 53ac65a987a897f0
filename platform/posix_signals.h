/*
** Signals while a child runs, shared by the files of the POSIX platform:
** posix.cpp starts and waits for the child, posix_signals.cpp passes the
** launcher's signals on to it.
*/
#ifndef TARNWICK_POSIX_SIGNALS_H
#define TARNWICK_POSIX_SIGNALS_H

#include <sys/types.h>

namespace platform {

/* Called before the fork: from here on the signals to pass on are caught,
** and blocked until the wait takes them, so none is lost before it.  Does
** nothing while already on. */
void beginPassingSignals();

/* Called in the forked child before exec: the signals the launcher catches
** get their default actions again, and the mask is the launcher's original
** one, so the application starts as if it had been started directly. */
void resetSignalsInChild();

/* Waits until the child pid ends and stores its wait status, passing each
** signal sent to the launcher on to the child meanwhile.  False when the
** child cannot be waited for (already reaped, or not ours). */
bool waitPassingSignals(pid_t pid, int *status);

/* Gives back the actions and the mask the launcher had before
** beginPassingSignals; does nothing when it is off. */
void endPassingSignals();

} // namespace platform

#endif
