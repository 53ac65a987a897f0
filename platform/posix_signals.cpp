/*
** Signals while the child runs (POSIX).
**
** A service manager, a desktop session or a script ends a program by
** signalling it.  Were the launcher to end at once, its Java application
** would run on orphaned and its shutdown hooks would never run.  So while a
** child runs, the launcher catches SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGUSR1
** and SIGUSR2, passes each on to the child and goes on waiting: the child
** ends as it chooses, and the launcher ends after it.
**
** A key typed at the terminal (Ctrl-C, Ctrl-\) signals the whole foreground
** process group, the child included.  Only what a process sent to the
** launcher itself (kill, sigqueue: si_code SI_USER, SI_QUEUE, or SI_TKILL
** on Linux) is passed on, so the child receives each signal once.
**
** No signal is lost between the start and the wait: the signals are blocked
** before the fork and taken only inside sigsuspend, where the child's
** SIGCHLD wakes the wait too.  A signal the launcher was started with
** ignored (nohup's SIGHUP) or blocked is left alone, for the child as well.
*/
#include "platform/platform.h"
#include "platform/posix_signals.h"

#include <cerrno>
#include <csignal>
#include <cstring>

#include <sys/wait.h>
#include <unistd.h>

namespace platform {

namespace {

/* A signal the launcher passes on, and whether the end that follows it was
** asked for (no abnormal-end report, no relaunch).  Every one does but
** SIGQUIT: the JVM answers it with a thread dump and runs on, and a dump
** taken to look inside must not turn off a later relaunch or report. */
struct PassedSignal {
    int number;
    bool asksForEnd;
};

} // namespace

static const PassedSignal PASSED_SIGNALS[] = {
    {SIGTERM, true}, {SIGINT, true},  {SIGHUP, true},
    {SIGQUIT, false}, {SIGUSR1, true}, {SIGUSR2, true},
};
static constexpr std::size_t PASSED_SIGNAL_COUNT = sizeof PASSED_SIGNALS / sizeof PASSED_SIGNALS[0];

/* Set by the handler, read and cleared by the wait: a signal a process sent
** that is still to be passed on, and a request to end that has come. */
static volatile sig_atomic_t toPass[PASSED_SIGNAL_COUNT];
static volatile sig_atomic_t endAsked = 0;

/* What beginPassingSignals changed, to be given back. */
static bool passing = false;
static bool caught[PASSED_SIGNAL_COUNT];
static struct sigaction originalActions[PASSED_SIGNAL_COUNT];
static struct sigaction originalChildAction;
static sigset_t originalMask;

/* True for a signal that a process sent to the launcher alone, as opposed
** to one the terminal (or the kernel) raised. */
static bool sentByProcess(const siginfo_t *info) {
    if (info == nullptr) return false;
    if (info->si_code == SI_USER || info->si_code == SI_QUEUE) return true;
#ifdef SI_TKILL
    if (info->si_code == SI_TKILL) return true;
#endif
    return false;
}

/* Only notes what came (async-signal-safe); the wait does the rest.  The
** SIGCHLD that this handler also catches needs no note: it only ends the
** sigsuspend, and the wait then asks for the child's status. */
static void onSignal(int number, siginfo_t *info, void *context) {
    (void)context;
    for (std::size_t i = 0; i < PASSED_SIGNAL_COUNT; ++i) {
        if (PASSED_SIGNALS[i].number != number) continue;
        if (sentByProcess(info)) toPass[i] = 1;
        if (PASSED_SIGNALS[i].asksForEnd) endAsked = 1;
    }
}

/* Blocks before installing, so no handler runs before all is in place. */
void beginPassingSignals() {
    if (passing) return;
    sigprocmask(SIG_SETMASK, nullptr, &originalMask);
    sigset_t blocked;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGCHLD);
    for (std::size_t i = 0; i < PASSED_SIGNAL_COUNT; ++i) {
        toPass[i] = 0;
        int number = PASSED_SIGNALS[i].number;
        struct sigaction current;
        sigaction(number, nullptr, &current);
        bool ignored = (current.sa_flags & SA_SIGINFO) == 0 && current.sa_handler == SIG_IGN;
        caught[i] = !ignored && !sigismember(&originalMask, number);
        if (caught[i]) sigaddset(&blocked, number);
    }
    sigprocmask(SIG_BLOCK, &blocked, nullptr);

    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_sigaction = onSignal;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < PASSED_SIGNAL_COUNT; ++i)
        if (caught[i]) sigaction(PASSED_SIGNALS[i].number, &action, &originalActions[i]);
    action.sa_flags = SA_SIGINFO | SA_NOCLDSTOP;
    sigaction(SIGCHLD, &action, &originalChildAction);
    passing = true;
}

/* SIGCHLD too gets its default action: one ignored would make the
** application's own children vanish before it can wait for them. */
void resetSignalsInChild() {
    if (!passing) return;
    struct sigaction defaults;
    std::memset(&defaults, 0, sizeof defaults);
    defaults.sa_handler = SIG_DFL;
    sigemptyset(&defaults.sa_mask);
    for (std::size_t i = 0; i < PASSED_SIGNAL_COUNT; ++i)
        if (caught[i]) sigaction(PASSED_SIGNALS[i].number, &defaults, nullptr);
    sigaction(SIGCHLD, &defaults, nullptr);
    sigprocmask(SIG_SETMASK, &originalMask, nullptr);
}

/* Passes on what processes sent meanwhile.  The child has not been reaped
** yet, so its id cannot belong to another process. */
static void passPendingSignals(pid_t pid) {
    for (std::size_t i = 0; i < PASSED_SIGNAL_COUNT; ++i) {
        if (!toPass[i]) continue;
        toPass[i] = 0;
        kill(pid, PASSED_SIGNALS[i].number);
    }
}

/* Outside sigsuspend every caught signal stays blocked, so the notes cannot
** change under the loop, and a signal or the child's end that comes between
** two looks is taken by the next sigsuspend at once. */
bool waitPassingSignals(pid_t pid, int *status) {
    sigset_t waitMask = originalMask;
    sigdelset(&waitMask, SIGCHLD);
    for (;;) {
        passPendingSignals(pid);
        pid_t got = waitpid(pid, status, passing ? WNOHANG : 0);
        if (got == pid) return true;
        if (got < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        sigsuspend(&waitMask);
    }
}

/* The mask goes back first: a signal that came after the child's end is
** then taken by the handler (a request to end still counts), and only later
** ones meet the launcher's original actions. */
void endPassingSignals() {
    if (!passing) return;
    sigprocmask(SIG_SETMASK, &originalMask, nullptr);
    for (std::size_t i = 0; i < PASSED_SIGNAL_COUNT; ++i)
        if (caught[i]) sigaction(PASSED_SIGNALS[i].number, &originalActions[i], nullptr);
    sigaction(SIGCHLD, &originalChildAction, nullptr);
    passing = false;
}

bool endRequestedBySignal() { return endAsked != 0; }

} // namespace platform
