/*
** Signals of the POSIX launcher.
**
** A service manager, a desktop session or a script ends a program by
** signalling it.  Were the launcher to end at once, its Java application
** would run on orphaned and its shutdown hooks would never run.  So from the
** first start on, the launcher handles the signals of HANDLED_SIGNALS below:
** while a child runs it passes each on to it and goes on waiting (the child
** ends as it chooses, and the launcher ends after it); between two starts a
** request to end ends the launcher at once, with 128 + the signal's number.
**
** Whether the end was asked for is decided per child: only when the child
** then ends by a request it received, or with 128 + its number.  A child
** that handles the signal and runs on (SIGHUP to reopen its logs), or a
** later child, is treated as if no signal came: its relaunch request and
** its abnormal end count.
**
** A key typed at the terminal (Ctrl-C, Ctrl-\, Ctrl-Z) signals the whole
** foreground process group, the child included.  Only what a process sent
** to the launcher itself (kill, sigqueue: si_code SI_USER, SI_QUEUE, or
** SI_TKILL on Linux) is passed on, so the child receives each signal once;
** the terminal's signal still counts as having come to the child.  A child
** that ended on the terminal's SIGINT (Ctrl-C) leaves the launcher to end
** by SIGINT too, once it is done, so that a shell running it in a loop or
** a script stops as it stops for a program the key ended.
**
** No signal is lost between the start and the wait: the signals are blocked
** before the fork and taken only inside sigsuspend, where the child's
** SIGCHLD wakes the wait too.  A signal the launcher was started with
** ignored (nohup's SIGHUP) or blocked is left alone, for the child as well.
**
** SIGPIPE is ignored from before main: the launcher's own lines may go to a
** pipe whose reader has gone (demo | head -1), and a write there then fails
** with EPIPE, which the launcher takes as silence, instead of ending it.
*/
#include "platform/platform.h"
#include "platform/posix_signals.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include <sys/wait.h>
#include <unistd.h>

#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace platform {

namespace {

/* What the launcher does with a signal it handles. */
enum SignalRole {
    /* Passed on; a child that ends by it (or with 128 + its number) ended
    ** on request.  With no child running, the launcher ends with 128 + its
    ** number. */
    END_REQUEST,
    /* Passed on, never a request to end: the JVM answers SIGQUIT with a
    ** thread dump and runs on, SIGUSR1 is the application's own, SIGCONT
    ** resumes a stopped child. */
    PASSED_ONLY,
    /* SIGTSTP: the child is stopped (SIGSTOP, which an orphaned process
    ** group cannot discard), then the launcher (SIGTSTP, see
    ** stopLauncher); SIGCONT resumes both. */
    STOP_BOTH,
    /* SIGUSR2: HotSpot uses it internally and crashes on it; ignored. */
    RESERVED_BY_THE_JVM,
};

struct HandledSignal {
    int number;
    SignalRole role;
};

} // namespace

static const HandledSignal HANDLED_SIGNALS[] = {
    {SIGTERM, END_REQUEST}, {SIGINT, END_REQUEST},          {SIGHUP, END_REQUEST},
    {SIGALRM, END_REQUEST}, {SIGVTALRM, END_REQUEST},
#ifdef SIGPWR
    {SIGPWR, END_REQUEST},
#endif
    {SIGQUIT, PASSED_ONLY}, {SIGUSR1, PASSED_ONLY},         {SIGCONT, PASSED_ONLY},
    {SIGTSTP, STOP_BOTH},   {SIGUSR2, RESERVED_BY_THE_JVM},
};
static constexpr std::size_t HANDLED_SIGNAL_COUNT =
    sizeof HANDLED_SIGNALS / sizeof HANDLED_SIGNALS[0];

/* Set by the handler, read and cleared by the wait.  While a child runs:
** each signal that came to it (from anyone), those that came since the wait
** last looked, and of these the ones a process sent, to be passed on. */
static volatile sig_atomic_t childRunning = 0;
static volatile sig_atomic_t came[HANDLED_SIGNAL_COUNT];
static volatile sig_atomic_t fresh[HANDLED_SIGNAL_COUNT];
static volatile sig_atomic_t sentToUs[HANDLED_SIGNAL_COUNT];
/* Of the signals that came to the child, those the terminal raised (a key
** typed: Ctrl-C), not a process. */
static volatile sig_atomic_t fromTerminal[HANDLED_SIGNAL_COUNT];

/* Whether the last child's end was asked for (see endRequestedBySignal),
** and whether by a Ctrl-C typed at the terminal. */
static bool lastEndAsked = false;
static bool lastEndInterrupted = false;

/* The handlers, installed once; which signals they took over and what the
** launcher was started with. */
static bool installed = false;
static bool handled[HANDLED_SIGNAL_COUNT];
static struct sigaction originalActions[HANDLED_SIGNAL_COUNT];
static sigset_t originalMask;

/* What beginPassingSignals changed for one child, to be given back. */
static bool passing = false;
static struct sigaction originalChildAction;

/* SIGPIPE as the launcher was started with it, for the child. */
static struct sigaction originalPipeAction;

/* An action of handler (SIG_DFL or SIG_IGN) with no flags and nothing
** blocked.  Async-signal-safe. */
static struct sigaction plainAction(void (*handler)(int)) {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    return action;
}

static bool ignoreBrokenPipes() {
    struct sigaction ignore = plainAction(SIG_IGN);
    return sigaction(SIGPIPE, &ignore, &originalPipeAction) == 0;
}

/* Before main, so that not even the first line can end the launcher. */
static const bool brokenPipesIgnored = ignoreBrokenPipes();

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

/* Stops the launcher as a key typed at the terminal (Ctrl-Z) stops a
** program, by SIGTSTP: a shell then says "Stopped", where SIGSTOP makes it
** say "Stopped (signal)".  Returns once the launcher is continued.
** Meanwhile SIGTSTP has its default action and the other handled signals,
** SIGCONT among them, stay blocked, so a SIGCONT that continues the
** launcher stays pending.  In an orphaned process group the system discards
** a SIGTSTP: when no SIGCONT is pending afterwards, SIGSTOP stops the
** launcher instead.  Async-signal-safe: the handler calls it too. */
static void stopLauncher() {
    struct sigaction defaults = plainAction(SIG_DFL), own;
    sigset_t stop, pending;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTSTP);
    sigpending(&pending);
    bool continuedBefore = sigismember(&pending, SIGCONT) == 1;
    sigaction(SIGTSTP, &defaults, &own);
    raise(SIGTSTP);
    sigprocmask(SIG_UNBLOCK, &stop, nullptr);
    sigprocmask(SIG_BLOCK, &stop, nullptr);
    sigaction(SIGTSTP, &own, nullptr);
    sigpending(&pending);
    if (!continuedBefore && sigismember(&pending, SIGCONT) != 1) raise(SIGSTOP);
}

/* With a child running it only notes what came (the wait does the rest);
** the mask lets it run only inside the wait's sigsuspend.  Between two
** starts it acts at once, with async-signal-safe calls only.  The SIGCHLD
** it also catches needs no note: it only ends the sigsuspend. */
static void onSignal(int number, siginfo_t *info, void *context) {
    (void)context;
    int savedErrno = errno;
    for (std::size_t i = 0; i < HANDLED_SIGNAL_COUNT; ++i) {
        if (HANDLED_SIGNALS[i].number != number) continue;
        if (childRunning) {
            came[i] = 1;
            fresh[i] = 1;
            if (sentByProcess(info))
                sentToUs[i] = 1;
            else
                fromTerminal[i] = 1;
        } else if (HANDLED_SIGNALS[i].role == END_REQUEST) {
            _exit(SIGNAL_EXIT_BASE + number);
        } else if (HANDLED_SIGNALS[i].role == STOP_BOTH) {
            stopLauncher();
        }
    }
    errno = savedErrno;
}

/* Takes over the signals for the rest of the launcher's life, leaving
** alone those it was started with ignored or blocked.  SA_RESTART: a signal
** taken between two starts must not make a read or write fail. */
static void installHandlers() {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_sigaction = onSignal;
    action.sa_flags = SA_SIGINFO | SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (const HandledSignal &entry : HANDLED_SIGNALS) sigaddset(&action.sa_mask, entry.number);

    struct sigaction ignore = plainAction(SIG_IGN);
    for (std::size_t i = 0; i < HANDLED_SIGNAL_COUNT; ++i) {
        int number = HANDLED_SIGNALS[i].number;
        struct sigaction current;
        sigaction(number, nullptr, &current);
        bool ignored = (current.sa_flags & SA_SIGINFO) == 0 && current.sa_handler == SIG_IGN;
        handled[i] = !ignored && !sigismember(&originalMask, number);
        if (!handled[i]) continue;
        bool reserved = HANDLED_SIGNALS[i].role == RESERVED_BY_THE_JVM;
        sigaction(number, reserved ? &ignore : &action, &originalActions[i]);
    }
    installed = true;
}

/* Blocks before the handlers exist, so none runs before all is in place;
** the mask the launcher was started with is kept first. */
void beginPassingSignals() {
    if (passing) return;
    if (!installed) sigprocmask(SIG_SETMASK, nullptr, &originalMask);
    sigset_t blocked;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGCHLD);
    for (const HandledSignal &entry : HANDLED_SIGNALS) sigaddset(&blocked, entry.number);
    sigprocmask(SIG_BLOCK, &blocked, nullptr);
    if (!installed) installHandlers();

    for (std::size_t i = 0; i < HANDLED_SIGNAL_COUNT; ++i)
        came[i] = fresh[i] = sentToUs[i] = fromTerminal[i] = 0;
    lastEndAsked = false;
    lastEndInterrupted = false;
    childRunning = 1;

    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_sigaction = onSignal;
    action.sa_flags = SA_SIGINFO | SA_NOCLDSTOP;
    sigemptyset(&action.sa_mask);
    sigaction(SIGCHLD, &action, &originalChildAction);
    passing = true;
}

/* SIGCHLD too gets its default action: one ignored would make the
** program's own children vanish before it can wait for them.  The mask the
** launcher was started with is known once the handlers are installed;
** before, the mask is still that one. */
void restoreSignalsForExec() {
    struct sigaction defaults = plainAction(SIG_DFL);
    for (std::size_t i = 0; i < HANDLED_SIGNAL_COUNT; ++i)
        if (installed && handled[i]) sigaction(HANDLED_SIGNALS[i].number, &defaults, nullptr);
    sigaction(SIGCHLD, &defaults, nullptr);
    if (brokenPipesIgnored) sigaction(SIGPIPE, &originalPipeAction, nullptr);
    if (installed) sigprocmask(SIG_SETMASK, &originalMask, nullptr);
}

void resetSignalsInChild(pid_t launcherPid) {
    if (!passing) return;
    restoreSignalsForExec();
#ifdef __linux__
    /* Even a launcher killed by SIGKILL leaves no JVM behind: the JVM gets
    ** SIGTERM and runs its shutdown hooks.  The launcher may have died
    ** between the fork and this request; its child then has a new parent. */
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != launcherPid) _exit(SIGNAL_EXIT_BASE + SIGTERM);
#else
    (void)launcherPid;
#endif
}

/* Passes on what processes sent since the last look; a stop stops the
** child, then the launcher.  The child has not been reaped yet, so its id
** cannot belong to another process. */
static void settleFreshSignals(pid_t pid) {
    bool stopBoth = false;
    for (std::size_t i = 0; i < HANDLED_SIGNAL_COUNT; ++i) {
        if (!fresh[i]) continue;
        fresh[i] = 0;
        bool pass = sentToUs[i] != 0;
        sentToUs[i] = 0;
        if (HANDLED_SIGNALS[i].role == STOP_BOTH) {
            stopBoth = true;
            if (pass) kill(pid, SIGSTOP);
        } else if (pass) {
            kill(pid, HANDLED_SIGNALS[i].number);
        }
    }
    if (stopBoth) stopLauncher();
}

/* The end was asked for when the child ended by a request to end that came
** to it, or exited with 128 + its number (as a shell or the JVM does): the
** index of that signal in HANDLED_SIGNALS, or HANDLED_SIGNAL_COUNT. */
static std::size_t signalThatAsked(int status) {
    int number = 0;
    if (WIFSIGNALED(status)) number = WTERMSIG(status);
    if (WIFEXITED(status) && WEXITSTATUS(status) > SIGNAL_EXIT_BASE)
        number = WEXITSTATUS(status) - SIGNAL_EXIT_BASE;
    for (std::size_t i = 0; i < HANDLED_SIGNAL_COUNT; ++i)
        if (HANDLED_SIGNALS[i].number == number && HANDLED_SIGNALS[i].role == END_REQUEST &&
            came[i])
            return i;
    return HANDLED_SIGNAL_COUNT;
}

/* Outside sigsuspend every handled signal stays blocked, so the notes
** cannot change under the loop, and a signal or the child's end that comes
** between two looks is taken by the next sigsuspend at once.  The child's
** end is looked at before anything is passed on: what came once it had
** ended reached no child, and a request to end among it ends the launcher
** (with no relaunch) unless the child ended by it anyway. */
bool waitPassingSignals(pid_t pid, int *status) {
    sigset_t waitMask = originalMask;
    sigdelset(&waitMask, SIGCHLD);
    for (;;) {
        pid_t got = waitpid(pid, status, passing ? WNOHANG : 0);
        if (got == pid) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        settleFreshSignals(pid);
        sigsuspend(&waitMask);
    }
    std::size_t asking = signalThatAsked(*status);
    lastEndAsked = asking < HANDLED_SIGNAL_COUNT;
    lastEndInterrupted = lastEndAsked && HANDLED_SIGNALS[asking].number == SIGINT &&
                         fromTerminal[asking];
    if (lastEndAsked) return true;
    for (std::size_t i = 0; i < HANDLED_SIGNAL_COUNT; ++i)
        if (fresh[i] && HANDLED_SIGNALS[i].role == END_REQUEST)
            exitProcess(SIGNAL_EXIT_BASE + HANDLED_SIGNALS[i].number);
    return true;
}

/* No child runs from here on: a request to end that is still pending ends
** the launcher as soon as the mask lets it through. */
void endPassingSignals() {
    if (!passing) return;
    childRunning = 0;
    sigaction(SIGCHLD, &originalChildAction, nullptr);
    sigprocmask(SIG_SETMASK, &originalMask, nullptr);
    passing = false;
}

bool endRequestedBySignal() { return lastEndAsked; }

/* SIGINT with its default action ends the launcher as the key ended the
** child; the buffers are flushed first, as an exit would. */
void endLikeAnInterruptedChild() {
    if (!lastEndInterrupted) return;
    std::fflush(stdout);
    std::fflush(stderr);
    struct sigaction defaults = plainAction(SIG_DFL);
    sigaction(SIGINT, &defaults, nullptr);
    sigset_t interrupt;
    sigemptyset(&interrupt);
    sigaddset(&interrupt, SIGINT);
    sigprocmask(SIG_UNBLOCK, &interrupt, nullptr);
    raise(SIGINT);
}

} // namespace platform
