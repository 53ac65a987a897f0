/*
** The Java child and the rest of the launcher's dealings with processes on
** Linux and macOS: the child started from the Windows-style command line
** the launcher assembled, waited for while the launcher's signals are
** passed on to it (posix_signals.cpp), and its end read as Windows reports
** one; the opener of files and web pages; the environment and the PATH
** search the child inherits and is found by.  Everything here runs on the
** launcher's one thread.
*/
#include "platform/platform.h"

#include "platform/command_line_split.h"
#include "platform/posix_handles.h"
#include "platform/posix_signals.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace platform {

#ifdef __APPLE__
#define TARNWICK_URL_OPENER "open"
#else
#define TARNWICK_URL_OPENER "xdg-open"
#endif

/* What osMajorVersion answers; see there. */
static const unsigned long MODERN_SYSTEM_MAJOR_VERSION = 10;

/* execvp's own fallback when PATH is not set. */
static const char *const DEFAULT_SEARCH_PATH = "/usr/bin:/bin";

/* ---------------------------------------------------------------------------
** Starting, waiting, the end.
*/

namespace {

/* A started child: its id and, once it has ended, its wait status. */
struct PosixChild {
    pid_t pid;
    bool ended;
    int status;
};

} // namespace

/* Every child handed out by startProcess and not yet released. */
static HandleTable<PosixChild> openChildren;

/* waitpid that is not cut short by a signal.  False when the child cannot
** be waited for (already reaped, or not ours). */
static bool waitForChild(pid_t pid, int *status) {
    for (;;) {
        if (waitpid(pid, status, 0) == pid) return true;
        if (errno != EINTR) return false;
    }
}

/* A pipe whose ends are closed on exec, through which a forked process
** reports why its program could not be run: it ends without a byte once
** the exec succeeds. */
static bool openReportPipe(int ends[2]) {
    if (pipe(ends) != 0) return false;
    fcntl(ends[0], F_SETFD, FD_CLOEXEC);
    fcntl(ends[1], F_SETFD, FD_CLOEXEC);
    return true;
}

/* Reads one report of size bytes from the pipe; false when it ended before
** a whole one came. */
static bool readReport(int fd, void *report, std::size_t size) {
    ssize_t got;
    do {
        got = read(fd, report, size);
    } while (got < 0 && errno == EINTR);
    return got == static_cast<ssize_t>(size);
}

/* Runs in the forked child: reports errno through the pipe and ends without
** running the parent's exit handlers or flushing its copied buffers. */
[[noreturn]] static void reportStartFailure(int pipeFd, int error) {
    ssize_t ignored = write(pipeFd, &error, sizeof error);
    (void)ignored;
    _exit(127);
}

/* The command line is split by the Windows rules and argv[0] run with PATH
** search, in directory when one is given.  A relative program path with a
** '/' in it (a runtime shipped with the application, jre/bin/java) names a
** file from the launcher's own folder, as on Windows; the child changes into
** directory before it runs the program, so it is given the full path.  A
** failed chdir or exec in the child comes back through a close-on-exec
** pipe: it is closed without a byte when the exec succeeds.  The signals to
** pass on are caught from before the fork until waitForProcess has seen the
** end.  creationFlags and consoleTitle mean nothing here. */
bool startProcess(char *commandLine, unsigned long creationFlags, const char *directory,
                  const char *consoleTitle, ChildProcess *child, unsigned long *error) {
    (void)creationFlags;
    (void)consoleTitle;
    *child = nullptr;
    std::vector<std::string> arguments = splitWindowsCommandLine(commandLine);
    if (arguments.empty()) {
        *error = EINVAL;
        return false;
    }
    std::string &program = arguments[0];
    if (directory != nullptr && program[0] != '/' && program.find('/') != std::string::npos) {
        char *here = getcwd(nullptr, 0);
        if (here != nullptr) program = std::string(here) + "/" + program;
        std::free(here);
    }
    std::vector<char *> argv;
    for (std::string &argument : arguments) argv.push_back(&argument[0]);
    argv.push_back(nullptr);

    int reportPipe[2];
    if (!openReportPipe(reportPipe)) {
        *error = static_cast<unsigned long>(errno);
        return false;
    }

    /* Whatever is buffered would otherwise be written twice or lost. */
    std::fflush(stdout);
    std::fflush(stderr);
    beginPassingSignals();
    pid_t launcherPid = getpid();
    pid_t pid = fork();
    if (pid < 0) {
        *error = static_cast<unsigned long>(errno);
        endPassingSignals();
        close(reportPipe[0]);
        close(reportPipe[1]);
        return false;
    }
    if (pid == 0) {
        resetSignalsInChild(launcherPid);
        close(reportPipe[0]);
        if (directory != nullptr && chdir(directory) != 0) reportStartFailure(reportPipe[1], errno);
        execvp(argv[0], argv.data());
        reportStartFailure(reportPipe[1], errno);
    }

    close(reportPipe[1]);
    int childError = 0;
    bool failed = readReport(reportPipe[0], &childError, sizeof childError);
    close(reportPipe[0]);
    if (failed) {
        int status;
        waitForChild(pid, &status);
        endPassingSignals();
        *error = static_cast<unsigned long>(childError);
        return false;
    }
    *child = openChildren.add(std::unique_ptr<PosixChild>(new PosixChild{pid, false, 0}));
    return true;
}

/* Nothing to wait for: a POSIX program has no input-idle state. */
void waitForInputIdle(ChildProcess child, unsigned long milliseconds) {
    (void)child;
    (void)milliseconds;
}

/* Waits until the child ends, passing signals on to it meanwhile, and keeps
** its status for processExitCode. */
void waitForProcess(ChildProcess child) {
    PosixChild *posixChild = openChildren.find(child);
    if (posixChild == nullptr) return;
    if (!posixChild->ended)
        posixChild->ended = waitPassingSignals(posixChild->pid, &posixChild->status);
    endPassingSignals();
}

/* The exit status, or 128 + the signal for a child killed by one, as a shell
** reports it.  A child still running answers 259, Windows' STILL_ACTIVE. */
int processExitCode(ChildProcess child) {
    static const int STILL_ACTIVE_CODE = 259;
    PosixChild *posixChild = openChildren.find(child);
    if (posixChild == nullptr) return 0;
    if (!posixChild->ended) {
        int status;
        if (waitpid(posixChild->pid, &status, WNOHANG) != posixChild->pid) return STILL_ACTIVE_CODE;
        posixChild->ended = true;
        posixChild->status = status;
    }
    if (WIFEXITED(posixChild->status)) return WEXITSTATUS(posixChild->status);
    if (WIFSIGNALED(posixChild->status)) return SIGNAL_EXIT_BASE + WTERMSIG(posixChild->status);
    return 0;
}

/* Forgets the child; a child still running goes on by itself, without the
** launcher's signals passed on to it (a request to end then ends the
** launcher, as between two starts). */
void releaseProcess(ChildProcess child) {
    endPassingSignals();
    openChildren.remove(child);
}

namespace {

/* What the pipe of a start in a session of its own carries: the id of the
** process started, or why it could not be, from the intermediate process
** or from the process itself when its program cannot be run. */
struct DetachedReport {
    bool started;
    long value; /* the process id, or errno */
};

/* What a process started in a session of its own keeps of the launcher's
** standard streams; the others lead to /dev/null. */
enum KeptStreams { NO_STREAM_KEPT, OUTPUT_KEPT, ALL_STREAMS_KEPT };

} // namespace

/* Runs in the forked process that becomes the program: the streams not
** kept on /dev/null, the signals as the launcher was started with them
** (SIGPIPE at its own action, not ignored as the launcher's), then the
** program, found on PATH when search is set. */
[[noreturn]] static void runInOwnSession(char *const *argv, bool search, KeptStreams kept,
                                         int reportFd) {
    int nowhere = kept == ALL_STREAMS_KEPT ? -1 : open("/dev/null", O_RDWR | O_CLOEXEC);
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO && nowhere >= 0; ++fd)
        if (fd == STDIN_FILENO || kept == NO_STREAM_KEPT) dup2(nowhere, fd);
    restoreSignalsForExec();
    if (search)
        execvp(argv[0], argv);
    else
        execv(argv[0], argv);
    DetachedReport failure = {false, errno};
    ssize_t ignored = write(reportFd, &failure, sizeof failure);
    (void)ignored;
    _exit(127);
}

/* Starts argv in two forks: the intermediate process makes a session of
** its own before the program exists (no terminal, so no key typed there
** and no hangup reaches what it starts, not even the one the launcher
** leaves as it ends when it leads its terminal's session), starts the
** program in it and ends at once, so that the system adopts the program
** and the launcher never waits for it. */
static DetachedReport startInOwnSession(char *const *argv, bool search, KeptStreams kept) {
    int reportPipe[2];
    if (!openReportPipe(reportPipe)) return DetachedReport{false, errno};
    std::fflush(stdout);
    std::fflush(stderr);
    pid_t middle = fork();
    if (middle == 0) {
        close(reportPipe[0]);
        setsid();
        pid_t detached = fork();
        if (detached == 0) runInOwnSession(argv, search, kept, reportPipe[1]);
        DetachedReport report = {detached > 0, detached > 0 ? detached : errno};
        ssize_t ignored = write(reportPipe[1], &report, sizeof report);
        (void)ignored;
        _exit(0);
    }
    close(reportPipe[1]);
    DetachedReport report = {false, middle < 0 ? errno : EPIPE}, next;
    int status;
    if (middle > 0) waitForChild(middle, &status);
    /* The id comes first; a failed exec of the program adds its error. */
    for (int i = 0; middle > 0 && i < 2 && readReport(reportPipe[0], &next, sizeof next); ++i)
        if (i == 0 || !next.started) report = next;
    close(reportPipe[0]);
    return report;
}

/* The program is argv[0] of the command line, a full path. */
bool startDetachedProcess(char *commandLine, bool keepOutput, unsigned long *processId,
                          unsigned long *error) {
    std::vector<std::string> arguments = splitWindowsCommandLine(commandLine);
    if (arguments.empty()) {
        *error = EINVAL;
        return false;
    }
    std::vector<char *> argv;
    for (std::string &argument : arguments) argv.push_back(&argument[0]);
    argv.push_back(nullptr);
    DetachedReport report =
        startInOwnSession(argv.data(), false, keepOutput ? OUTPUT_KEPT : NO_STREAM_KEPT);
    if (report.started)
        *processId = static_cast<unsigned long>(report.value);
    else
        *error = static_cast<unsigned long>(report.value);
    return report.started;
}

/* startProcess reports errno values, so their text is strerror's. */
std::string systemErrorText(unsigned long error) { return std::strerror(static_cast<int>(error)); }

/* ---------------------------------------------------------------------------
** Consoles, the opener, the system.
*/

/* There are no consoles to create or name: the launcher runs in whatever
** terminal it was started from. */
bool allocateConsole() { return false; }

void setConsoleTitle(const char *title) { (void)title; }

/* Starts xdg-open (open on macOS) on target without waiting for it, in a
** session of its own (startInOwnSession): the end of the launcher's
** terminal does not end it, nor the browser it starts.  It keeps the
** launcher's standard streams and gets the signals as the launcher was
** started with them, as the application does. */
static void startOpener(const char *target) {
    char *const argv[] = {const_cast<char *>(TARNWICK_URL_OPENER), const_cast<char *>(target),
                          nullptr};
    startInOwnSession(argv, true, ALL_STREAMS_KEPT);
}

void openWithAssociatedProgram(const char *file) {
    if (file != nullptr) startOpener(file);
}

/* Without the opener on PATH (a server without a desktop) the page cannot
** be opened, and the caller says so. */
bool openWebPage(const char *url) {
    std::string opener;
    if (!findOnSearchPath(TARNWICK_URL_OPENER, &opener)) return false;
    startOpener(url);
    return true;
}

/* The launcher uses the version only to tell Windows before and after Vista;
** after Vista it quotes the runtime path and every argument.  The POSIX start
** removes those quotes again by the Windows splitting rules, so the child sees
** the same arguments either way; answering a modern system makes every system
** take the road that today's Windows takes. */
unsigned long osMajorVersion() { return MODERN_SYSTEM_MAJOR_VERSION; }

/* The id the "pid" name of the configuration values stands for. */
unsigned long currentProcessId() { return static_cast<unsigned long>(getpid()); }

/* A set-user-id launcher runs with its owner's rights, not its user's. */
bool runsElevated() { return geteuid() != getuid(); }

/* exit flushes stdio as well; the explicit flushes make the order plain. */
void exitProcess(int code) {
    std::fflush(stdout);
    std::fflush(stderr);
    std::exit(code);
}

/* ---------------------------------------------------------------------------
** The environment and the search path.
*/

/* getenv sees what setEnvironment set, as the launcher expects. */
bool getEnvironment(const char *name, std::string *value) {
    const char *found = std::getenv(name);
    if (found == nullptr) return false;
    *value = found;
    return true;
}

/* A null value removes the variable, as SetEnvironmentVariableW does. */
void setEnvironment(const char *name, const char *value) {
    if (value == nullptr)
        unsetenv(name);
    else
        setenv(name, value, 1);
}

/* Looks as execvp does: an empty entry is the current folder, and a PATH
** that is not set is execvp's own default.  Only an executable regular file
** counts (isExecutableFile). */
bool findOnSearchPath(const char *fileName, std::string *path) {
    const char *searchPath = std::getenv("PATH");
    if (searchPath == nullptr) searchPath = DEFAULT_SEARCH_PATH;
    std::string list(searchPath);
    std::size_t start = 0;
    for (;;) {
        std::size_t end = list.find(':', start);
        std::size_t length = end == std::string::npos ? std::string::npos : end - start;
        std::string folder = list.substr(start, length);
        if (folder.empty()) folder = ".";
        std::string candidate = folder + "/" + fileName;
        if (isExecutableFile(candidate.c_str())) {
            char *real = realpath(candidate.c_str(), nullptr);
            if (real == nullptr) return false;
            *path = real;
            std::free(real);
            return true;
        }
        if (end == std::string::npos) return false;
        start = end + 1;
    }
}

} // namespace platform
