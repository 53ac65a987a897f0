/*
** The tools' files and arguments on Linux and macOS: arguments arrive in
** the user's encoding, taken to be UTF-8.
*/
#include "tools/brand/tool_io.h"
#include "tools/brand/tool_io_read.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tool_io {

/* Permissions of a new file before the umask, as for any file a user makes. */
static const mode_t NEW_FILE_MODE = 0666;

std::vector<std::string> toolArguments(int argc, char **argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(argv[i]);
    return args;
}

/* One read of at most capacity bytes, tried again when a signal interrupts
** it: the count read, 0 at the end, or -1 with the cause in *error. */
static long long readChunk(int fd, char *buffer, std::size_t capacity, int *error) {
    for (;;) {
        ssize_t got = read(fd, buffer, capacity);
        if (got >= 0) return got;
        if (errno != EINTR) break;
    }
    *error = errno;
    return -1;
}

/* The file is opened without blocking: a FIFO or device is refused after
** the open rather than waited on. */
ReadOutcome readWholeFile(const std::string &path, std::size_t limit, std::string *bytes,
                          std::string *systemError) {
    bytes->clear();
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK);
    if (fd < 0) {
        *systemError = std::strerror(errno);
        return READ_FAILED;
    }
    struct stat info;
    ReadOutcome outcome = READ_NOT_A_FILE;
    int error = 0;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        auto readNext = [&](char *buffer, std::size_t capacity) {
            return readChunk(fd, buffer, capacity, &error);
        };
        outcome =
            readInChunks(static_cast<unsigned long long>(info.st_size), limit, bytes, readNext);
    }
    if (outcome == READ_FAILED) *systemError = std::strerror(error);
    close(fd);
    return outcome;
}

bool sameFile(const std::string &first, const std::string &second) {
    struct stat a, b;
    if (stat(first.c_str(), &a) != 0 || stat(second.c_str(), &b) != 0) return false;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

/* Writes every byte, going on after partial writes and interruptions. */
static bool writeAll(int fd, const std::string &bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        std::size_t chunk = bytes.size() - done < IO_CHUNK ? bytes.size() - done : IO_CHUNK;
        ssize_t written = write(fd, bytes.data() + done, chunk);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        done += static_cast<std::size_t>(written);
    }
    return true;
}

/* The signals that end the tool at a user's or the system's request; a
** handler removes the temporary file, then the signal ends the tool as it
** would have.  A signal the tool was started ignoring (nohup) stays
** ignored. */
static const int ENDING_SIGNALS[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM};
static const std::size_t ENDING_SIGNAL_COUNT = sizeof ENDING_SIGNALS / sizeof ENDING_SIGNALS[0];

/* The temporary file while it exists, for the handler. */
static const char *volatile temporaryToRemove = nullptr;

static void removeTemporaryAndEnd(int signal) {
    const char *path = temporaryToRemove;
    if (path != nullptr) unlink(path);
    raise(signal); /* the default action is back (SA_RESETHAND) */
}

static void blockEndingSignals(sigset_t *previous) {
    sigset_t set;
    sigemptyset(&set);
    for (int signal : ENDING_SIGNALS) sigaddset(&set, signal);
    sigprocmask(SIG_BLOCK, &set, previous);
}

/* Names (or forgets) the temporary file with the ending signals blocked, so
** that no signal finds it half set. */
static void setTemporaryToRemove(const char *path) {
    sigset_t previous;
    blockEndingSignals(&previous);
    temporaryToRemove = path;
    sigprocmask(SIG_SETMASK, &previous, nullptr);
}

/* Beside path: its folder as written, then a name of mkstemp's kind. */
static std::string temporaryTemplate(const std::string &path) {
    std::size_t slash = path.rfind('/');
    return (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) +
           ".tarnwick-XXXXXX";
}

/* The permission bits of the output: those of the file it replaces, else
** those of modeFrom less the umask, as a copy would get them.  Set-id and
** sticky bits are never carried over. */
static mode_t outputMode(const std::string &path, const std::string &modeFrom) {
    static const mode_t PERMISSION_BITS = 0777;
    struct stat info;
    if (stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode))
        return info.st_mode & PERMISSION_BITS;
    mode_t mask = umask(0);
    umask(mask);
    mode_t mode = stat(modeFrom.c_str(), &info) == 0 ? info.st_mode : NEW_FILE_MODE;
    return mode & PERMISSION_BITS & ~mask;
}

/* A file size limit (ulimit -f) makes a write fail with EFBIG rather than
** end the tool, so that the failure is reported and the file removed. */
bool writeFileReplacing(const std::string &path, const std::string &bytes,
                        const std::string &modeFrom, std::string *systemError) {
    mode_t mode = outputMode(path, modeFrom);
    std::string temporary = temporaryTemplate(path);
    struct sigaction previous[ENDING_SIGNAL_COUNT], action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = removeTemporaryAndEnd;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    for (std::size_t i = 0; i < ENDING_SIGNAL_COUNT; ++i) {
        sigaction(ENDING_SIGNALS[i], nullptr, &previous[i]);
        if (previous[i].sa_handler != SIG_IGN) sigaction(ENDING_SIGNALS[i], &action, nullptr);
    }
    std::signal(SIGXFSZ, SIG_IGN);

    sigset_t unblocked;
    blockEndingSignals(&unblocked);
    int fd = mkstemp(&temporary[0]);
    int error = errno;
    if (fd >= 0) temporaryToRemove = temporary.c_str();
    sigprocmask(SIG_SETMASK, &unblocked, nullptr);

    bool done = fd >= 0;
    if (done && (fchmod(fd, mode) != 0 || !writeAll(fd, bytes) || fsync(fd) != 0)) {
        done = false;
        error = errno;
    }
    if (fd >= 0 && close(fd) != 0 && done) {
        done = false;
        error = errno;
    }
    if (done && std::rename(temporary.c_str(), path.c_str()) != 0) {
        done = false;
        error = errno;
    }
    if (!done && fd >= 0) unlink(temporary.c_str());
    setTemporaryToRemove(nullptr);
    for (std::size_t i = 0; i < ENDING_SIGNAL_COUNT; ++i)
        sigaction(ENDING_SIGNALS[i], &previous[i], nullptr);
    if (!done) *systemError = std::strerror(error);
    return done;
}

} // namespace tool_io
