/*
** The platform services on Linux and macOS.
**
** The launcher logic was written against the ANSI Windows interfaces; this
** file gives the same answers from a POSIX system:
**
**  - a child is started from the one command line the launcher assembled,
**    split by the Windows C-runtime rules, so the Java program receives the
**    same arguments here as on Windows;
**  - while the child runs, the signals sent to the launcher are passed on
**    to it (posix_signals.cpp);
**  - message boxes go to standard error, and a question is asked on the
**    terminal when there is one; the launcher's own lines go to standard
**    error too, and stay off a terminal unless the debug trail is on;
**  - the registry is emulated, read only, from the Java runtimes the user
**    actually has (posix_registry.cpp).
**
** Everything here runs on the launcher's one thread.
*/
#include "platform/platform.h"

#include "platform/command_line_split.h"
#include "platform/posix_handles.h"
#include "platform/posix_signals.h"
#include "platform/standard_streams.h"
#include "platform/text_decoding.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#ifdef __APPLE__
#include <mach-o/dyld.h>
#endif

namespace platform {

/* ---------------------------------------------------------------------------
** Constants.
*/

const char PATH_SEPARATOR = '/';
const char *const CLASS_PATH_SEPARATOR = ":";
const char *const JAVA_BIN_FOLDER = "/bin";
/* There is no windowless runtime on POSIX: both launch modes run java. */
const char *const JAVA_CONSOLE_EXECUTABLE = "/java";
const char *const JAVA_WINDOWED_EXECUTABLE = "/java";

#ifdef __APPLE__
#define TARNWICK_URL_OPENER "open"
#else
#define TARNWICK_URL_OPENER "xdg-open"
#endif


/* An exit status has 8 bits: System.exit(999) ends with 231. */
const int RELAUNCH_EXIT_CODE = 999 & 0xFF;

/* A POSIX name is any bytes but '/' and NUL. */
bool namesMayHoldQuotesAndTabs() { return true; }

/* IDOK and IDNO, the answers of a box that is not a Yes. */
static const int MSGBOX_ANSWER_OK = 1;
static const int MSGBOX_ANSWER_NO = 7;

/* strerror_s is given an 80-byte buffer on Windows. */
static const std::size_t RUNTIME_ERROR_TEXT_LENGTH = 79;

/* What osMajorVersion answers; see there. */
static const unsigned long MODERN_SYSTEM_MAJOR_VERSION = 10;

/* execvp's own fallback when PATH is not set. */
static const char *const DEFAULT_SEARCH_PATH = "/usr/bin:/bin";

/* A program path that begins with '/' is the POSIX form of a drive-qualified
** path: its directory is everything before the last '/', and "/" itself for
** a program in the root. */
std::size_t programDirectoryLength(const char *programPath) {
    if (programPath == nullptr || programPath[0] != '/') return NO_PROGRAM_DIRECTORY;
    const char *lastSlash = std::strrchr(programPath, '/');
    std::size_t length = static_cast<std::size_t>(lastSlash - programPath);
    return length == 0 ? 1 : length;
}

bool pathIsRelative(const char *path) { return path[0] != '/'; }

/* argv[0] is only what the starter chose to write: a bare name found on
** PATH, a path relative to a folder the user happens to be in, a symlink in
** /usr/local/bin.  The system knows the running file: Linux shows it as the
** link /proc/self/exe, macOS tells it by _NSGetExecutablePath (maybe through
** a link).  realpath reads either down to the real file; a file deleted
** since it started has no path, and argv0 is all there is. */
std::string launcherProgramPath(const char *argv0) {
    std::string fallback = argv0 != nullptr ? argv0 : "";
#ifdef __APPLE__
    std::uint32_t size = PATH_MAX;
    std::vector<char> reported(size);
    if (_NSGetExecutablePath(reported.data(), &size) != 0) {
        reported.resize(size);
        if (_NSGetExecutablePath(reported.data(), &size) != 0) return fallback;
    }
    const char *running = reported.data();
#else
    const char *running = "/proc/self/exe";
#endif
    char *real = realpath(running, nullptr);
    if (real == nullptr) return fallback;
    std::string path = real;
    std::free(real);
    return path;
}

/* ---------------------------------------------------------------------------
** Message boxes.
*/

/* Writes all of text to a file descriptor, going on after short writes and
** interruptions.  Errors are ignored: there is nowhere left to report them. */
static void writeAll(int fd, const std::string &text) {
    const char *p = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        ssize_t written = write(fd, p, left);
        if (written < 0) {
            if (errno == EINTR) continue;
            return;
        }
        p += written;
        left -= static_cast<std::size_t>(written);
    }
}

/* Reads one line from standard input, a byte at a time so that nothing past
** the line feed is taken from the child, which shares the same input.  False
** at the end of the input before any byte. */
static bool readAnswerLine(std::string *line) {
    line->clear();
    for (;;) {
        char c;
        ssize_t got = read(STDIN_FILENO, &c, 1);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return !line->empty();
        if (c == '\n') return true;
        *line += c;
    }
}

/* True for the answers that mean Yes: y or yes in any case, blanks around
** them allowed. */
static bool isYesAnswer(const std::string &answer) {
    std::size_t first = answer.find_first_not_of(" \t\r");
    if (first == std::string::npos) return false;
    std::size_t last = answer.find_last_not_of(" \t\r");
    std::string word = answer.substr(first, last - first + 1);
    for (char &c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return word == "y" || word == "yes";
}

/* A box becomes "caption: text" on standard error, the text's own line
** breaks kept.  A question (the YESNO bits) is put to the user when standard
** input is a terminal; without one nobody can answer, and it counts as No,
** as a box that cannot be shown does on Windows. */
int messageBox(const char *text, const char *caption, unsigned type) {
    std::fflush(stdout);
    std::fflush(stderr);
    std::string message = std::string(caption ? caption : "") + ": " + (text ? text : "") + "\n";
    writeAll(STDERR_FILENO, message);
    if ((type & MSGBOX_YESNO) != MSGBOX_YESNO) return MSGBOX_ANSWER_OK;

    if (!isatty(STDIN_FILENO)) {
        writeAll(STDERR_FILENO, "(answered No: standard input is not a terminal)\n");
        return MSGBOX_ANSWER_NO;
    }
    writeAll(STDERR_FILENO, "Yes or No? [y/N] ");
    std::string answer;
    if (!readAnswerLine(&answer)) return MSGBOX_ANSWER_NO;
    return isYesAnswer(answer) ? MSGBOX_ANSWER_YES : MSGBOX_ANSWER_NO;
}

/* ---------------------------------------------------------------------------
** Processes, consoles, environment.
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
** directory before it runs the program, so it is given the full path.  A failed chdir or exec in the child
** comes back through a close-on-exec pipe: it is closed without a byte when
** the exec succeeds.  The signals to pass on are caught from before the fork
** until waitForProcess has seen the end.  creationFlags and consoleTitle
** mean nothing here. */
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
    if (pipe(reportPipe) != 0) {
        *error = static_cast<unsigned long>(errno);
        return false;
    }
    fcntl(reportPipe[0], F_SETFD, FD_CLOEXEC);
    fcntl(reportPipe[1], F_SETFD, FD_CLOEXEC);

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
    ssize_t got;
    do {
        got = read(reportPipe[0], &childError, sizeof childError);
    } while (got < 0 && errno == EINTR);
    close(reportPipe[0]);
    if (got == static_cast<ssize_t>(sizeof childError)) {
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
    if (!posixChild->ended) posixChild->ended = waitPassingSignals(posixChild->pid, &posixChild->status);
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

/* Forgets the child; a child still running goes on by itself, and its
** signals are no longer passed on (a request to end then ends the launcher,
** as between two starts). */
void releaseProcess(ChildProcess child) {
    endPassingSignals();
    openChildren.remove(child);
}

/* startProcess reports errno values, so their text is strerror's. */
std::string systemErrorText(unsigned long error) {
    return std::strerror(static_cast<int>(error));
}

/* There are no consoles to create or name: the launcher runs in whatever
** terminal it was started from. */
bool allocateConsole() { return false; }

void setConsoleTitle(const char *title) { (void)title; }

/* Starts xdg-open (open on macOS) on target without waiting for it.  The
** opener runs as a grandchild that init adopts, so it never lingers as a
** zombie of the launcher; only the short-lived middle child is waited for.
** It runs in a session of its own: the end of the launcher's terminal does
** not end it, nor the browser it starts. */
static void startOpener(const char *target) {
    std::fflush(stdout);
    std::fflush(stderr);
    pid_t middle = fork();
    if (middle < 0) return;
    if (middle == 0) {
        pid_t opener = fork();
        if (opener == 0) {
            setsid();
            execlp(TARNWICK_URL_OPENER, TARNWICK_URL_OPENER, target, static_cast<char *>(nullptr));
            _exit(127);
        }
        _exit(0);
    }
    int status;
    waitForChild(middle, &status);
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

/* getenv sees what setEnvironment set, as the launcher expects. */
bool getEnvironment(const char *name, std::string *value) {
    const char *found = std::getenv(name);
    if (found == nullptr) return false;
    *value = found;
    return true;
}

/* A null value removes the variable, as SetEnvironmentVariableA does. */
void setEnvironment(const char *name, const char *value) {
    if (value == nullptr)
        unsetenv(name);
    else
        setenv(name, value, 1);
}

/* Looks as execvp does: an empty entry is the current folder, and a PATH
** that is not set is execvp's own default.  Only an executable regular file
** counts. */
bool findOnSearchPath(const char *fileName, std::string *path) {
    const char *searchPath = std::getenv("PATH");
    if (searchPath == nullptr) searchPath = DEFAULT_SEARCH_PATH;
    std::string list(searchPath);
    std::size_t start = 0;
    for (;;) {
        std::size_t end = list.find(':', start);
        std::string folder = list.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (folder.empty()) folder = ".";
        std::string candidate = folder + "/" + fileName;
        struct stat info;
        if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            access(candidate.c_str(), X_OK) == 0) {
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

/* Standard output is the application's alone. */
std::FILE *launcherOutputStream() { return stderr; }

/* Asked at every line, so a launcher whose output is redirected meanwhile
** follows. */
bool streamIsTerminal(std::FILE *stream) { return isatty(fileno(stream)) == 1; }

void writeToStream(std::FILE *stream, const std::string &text) {
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

/* exit flushes stdio as well; the explicit flushes make the order plain. */
void exitProcess(int code) {
    std::fflush(stdout);
    std::fflush(stderr);
    std::exit(code);
}

/* ---------------------------------------------------------------------------
** Files, directories, clock, standard streams.
*/

/* The stdio stream behind an open text file; or, for a file read from
** UTF-16, no stream but its whole text, decoded, and the position of the
** next line. */
struct TextFile {
    std::FILE *file;
    std::string text;
    std::size_t next;
    FileEncoding encoding;
};

/* Anything that exists counts, a folder included, as _access(path, 0). */
bool fileExists(const char *path) { return access(path, F_OK) == 0; }

/* Links are followed: a runtime's bin/java is often one. */
bool isRegularFile(const char *path) {
    struct stat info;
    return stat(path, &info) == 0 && S_ISREG(info.st_mode);
}

/* The real path, links resolved. */
std::string fileIdentity(const char *path) {
    char *real = realpath(path, nullptr);
    if (real == nullptr) return path;
    std::string identity = real;
    std::free(real);
    return identity;
}

/* The error for what is not a regular file: EISDIR for a folder, as on
** Windows; ENOTSUP for anything else (a FIFO, a terminal, a device). */
static int notRegularFileError(const struct stat &info) {
    return S_ISDIR(info.st_mode) ? EISDIR : ENOTSUP;
}

/* A file that starts with a UTF-16 byte-order mark (as Windows PowerShell
** 5.1 and Notepad save one) is read whole and decoded, so that the file
** that starts an application on Windows starts it here too; any other file
** is read line by line, its bytes as they are. */
static TextFile *readUtf16File(TextFile *opened) {
    char start[2];
    std::size_t got = std::fread(start, 1, sizeof start, opened->file);
    FileEncoding encoding = configFileEncoding(std::string(start, got));
    if (encoding != FILE_ENCODING_UTF16_LE && encoding != FILE_ENCODING_UTF16_BE) {
        std::rewind(opened->file);
        return opened;
    }
    std::string bytes(start, got);
    char chunk[4096];
    while ((got = std::fread(chunk, 1, sizeof chunk, opened->file)) > 0) bytes.append(chunk, got);
    std::fclose(opened->file);
    opened->file = nullptr;
    opened->text = utf16FileText(bytes, encoding);
    opened->encoding = encoding;
    return opened;
}

/* Only a regular file is read: a FIFO without a writer, a terminal or
** another device would hold the launcher, waiting for bytes that may never
** come.  The file is looked at before it is opened, so a device is never
** even opened, and opened without blocking and looked at again, so one put
** in its place meanwhile cannot hold the launcher either. */
static TextFile *openRegularFileForReading(const char *path, int *error) {
    struct stat info;
    if (stat(path, &info) != 0) {
        *error = errno;
        return nullptr;
    }
    if (!S_ISREG(info.st_mode)) {
        *error = notRegularFileError(info);
        return nullptr;
    }
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *error = errno;
        return nullptr;
    }
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        *error = notRegularFileError(info);
        close(fd);
        return nullptr;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE *file = fdopen(fd, "r");
    if (file == nullptr) {
        *error = errno;
        close(fd);
        return nullptr;
    }
    return readUtf16File(new TextFile{file, std::string(), 0, FILE_ENCODING_UTF8});
}

/* Only a regular file, or a new one, is written: opening a FIFO for
** writing waits for a reader that may never come, and a terminal or another
** device would take what was meant for a file.  As for reading, the path is
** looked at first, opened without blocking (and without becoming a
** controlling terminal) and looked at again; an existing file is emptied
** only once it is known to be regular.  A folder fails with EISDIR, as on
** Windows. */
static TextFile *openRegularFileForWriting(const char *path, int *error) {
    struct stat info;
    if (stat(path, &info) == 0 && !S_ISREG(info.st_mode)) {
        *error = notRegularFileError(info);
        return nullptr;
    }
    int fd = open(path, O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) {
        *error = errno;
        return nullptr;
    }
    int refusal = 0;
    if (fstat(fd, &info) != 0)
        refusal = errno;
    else if (!S_ISREG(info.st_mode))
        refusal = notRegularFileError(info);
    else if (ftruncate(fd, 0) != 0)
        refusal = errno;
    std::FILE *file = nullptr;
    if (refusal == 0) {
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        file = fdopen(fd, "w");
        if (file == nullptr) refusal = errno;
    }
    if (file == nullptr) {
        *error = refusal;
        close(fd);
        return nullptr;
    }
    return new TextFile{file, std::string(), 0, FILE_ENCODING_UTF8};
}

std::string textFileEncoding(TextFile *file) {
    if (file->encoding == FILE_ENCODING_UTF8) return "UTF-8, bytes unchanged";
    return fileEncodingName(file->encoding);
}

/* "r" reads, anything else writes; both take regular files only (see
** above). */
TextFile *openTextFile(const char *path, const char *mode, int *error) {
    if (std::strcmp(mode, "r") == 0) return openRegularFileForReading(path, error);
    return openRegularFileForWriting(path, error);
}

/* getline takes a line of any length; CR LF becomes LF as in Windows text
** mode, so files written on Windows read the same here.  A decoded file's
** lines come from its text, where that was done already. */
bool readTextLine(TextFile *file, std::string *line) {
    if (file == nullptr) return false;
    if (file->file == nullptr) return nextTextLine(file->text, &file->next, line);
    char *buffer = nullptr;
    std::size_t capacity = 0;
    ssize_t length = getline(&buffer, &capacity, file->file);
    if (length < 0) {
        std::free(buffer);
        return false;
    }
    line->assign(buffer, static_cast<std::size_t>(length));
    std::free(buffer);
    std::size_t size = line->size();
    if (size >= 2 && (*line)[size - 1] == '\n' && (*line)[size - 2] == '\r') line->erase(size - 2, 1);
    return true;
}

/* Writes the bytes as they are: POSIX text files have no CR LF. */
void writeText(TextFile *file, const std::string &text) {
    if (file == nullptr || file->file == nullptr) return;
    std::fwrite(text.data(), 1, text.size(), file->file);
}

/* Flushes, closes and frees; a null file is ignored. */
void closeTextFile(TextFile *file) {
    if (file == nullptr) return;
    if (file->file != nullptr) {
        std::fflush(file->file);
        std::fclose(file->file);
    }
    delete file;
}

/* Opened without blocking, so that a FIFO with no writer cannot hold the
** launcher; anything but a regular file is refused before a byte is read. */
bool readFileStart(const char *path, std::size_t limit, std::string *bytes) {
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return false;
    }
    bytes->assign(limit, '\0');
    std::size_t filled = 0;
    while (filled < limit) {
        ssize_t got = read(fd, &(*bytes)[filled], limit - filled);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        filled += static_cast<std::size_t>(got);
    }
    close(fd);
    bytes->resize(filled);
    return true;
}

/* strerror, cut as the 80-byte buffer of strerror_s would cut it. */
std::string runtimeErrorText(int error) {
    std::string text = std::strerror(error);
    if (text.size() > RUNTIME_ERROR_TEXT_LENGTH) text.resize(RUNTIME_ERROR_TEXT_LENGTH);
    return text;
}

/* 0 on success, -1 otherwise, as _chdir answers. */
int changeDirectory(const char *directory) { return chdir(directory) == 0 ? 0 : -1; }

/* getcwd into the caller's buffer; on failure (too small, unreadable) the
** buffer holds an empty text so that nothing stale is used. */
bool currentDirectory(char *buffer, std::size_t size) {
    if (buffer == nullptr || size == 0) return false;
    if (getcwd(buffer, size) != nullptr) return true;
    buffer[0] = '\0';
    return false;
}

/* ---------------------------------------------------------------------------
** The user's own files.
*/

/* The runtime takes its arguments as the bytes they are (UTF-8 in practice). */
const bool JAVA_ARGUMENTS_IN_CODE_PAGE = false;

/* The XDG base-directory rule: a relative $XDG_CACHE_HOME is to be ignored. */
bool userCacheFolder(std::string *folder) {
#ifndef __APPLE__
    const char *cache = std::getenv("XDG_CACHE_HOME");
    if (cache != nullptr && cache[0] == '/') {
        *folder = cache;
        return true;
    }
#endif
    const char *home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/') return false;
#ifdef __APPLE__
    *folder = std::string(home) + "/Library/Caches";
#else
    *folder = std::string(home) + "/.cache";
#endif
    return true;
}

/* Each missing folder is made for the user alone (0700), as the XDG rules
** ask of a cache folder.  A folder that cannot be made shows in the end:
** the last one is then missing too. */
bool makePrivateFolders(const char *path) {
    std::string text(path);
    for (std::size_t slash = text.find('/', 1);; slash = text.find('/', slash + 1)) {
        mkdir(text.substr(0, slash).c_str(), 0700);
        if (slash == std::string::npos) break;
    }
    struct stat info;
    return stat(path, &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == geteuid() &&
           (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

bool fileFacts(const char *path, FileFacts *facts) {
    struct stat info;
    if (stat(path, &info) != 0) return false;
    facts->isFolder = S_ISDIR(info.st_mode);
    facts->size = static_cast<unsigned long long>(info.st_size);
#ifdef __APPLE__
    const struct timespec &modified = info.st_mtimespec;
#else
    const struct timespec &modified = info.st_mtim;
#endif
    facts->modified = static_cast<long long>(modified.tv_sec) * 1000000000LL + modified.tv_nsec;
    return true;
}

bool listFolder(const char *path, std::vector<std::string> *names) {
    DIR *folder = opendir(path);
    if (folder == nullptr) return false;
    names->clear();
    while (struct dirent *entry = readdir(folder)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names->push_back(entry->d_name);
    }
    closedir(folder);
    return true;
}

/* O_EXCL: the system makes the file or refuses, whoever else tries. */
bool createNewFile(const char *path) {
    int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    close(fd);
    return true;
}

bool replaceFile(const char *from, const char *to) { return rename(from, to) == 0; }

bool removeFile(const char *path) { return unlink(path) == 0; }

} // namespace platform
