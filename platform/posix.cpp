/*
** The platform services on Linux and macOS.
**
** The launcher logic asks the platform for what Windows offers (one command
** line for a child, message boxes, a registry); the POSIX files give the
** same answers from a POSIX system:
**
**  - a child is started from the one command line the launcher assembled,
**    split by the Windows C-runtime rules, so the Java program receives the
**    same arguments here as on Windows (posix_process.cpp);
**  - while the child runs, the signals sent to the launcher are passed on
**    to it (posix_signals.cpp);
**  - message boxes go to standard error, and a question is asked on the
**    terminal when there is one; the launcher's own lines go to standard
**    error too, and stay off a terminal unless the debug trail is on (this
**    file);
**  - only regular files are read and written, so that a FIFO or a device
**    never holds the launcher (posix_files.cpp);
**  - the registry is emulated, read only, from the Java runtimes the user
**    actually has (posix_registry.cpp).
**
** This file holds the constants, the launcher's own file, message boxes and
** the launcher's own lines.  Everything here runs on the launcher's one
** thread.
*/
#include "platform/platform.h"

#include "platform/posix_files.h"
#include "platform/standard_streams.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

#ifdef __APPLE__
#include <mach-o/dyld.h>
#endif

namespace platform {

/* ---------------------------------------------------------------------------
** Constants.
*/

const char PATH_SEPARATOR = '/';

/* A POSIX name is any bytes but '/' and NUL: a class-path entry may hold
** quotes and tabs. */
const char *const CLASS_PATH_SEPARATOR = ":";
bool namesMayHoldQuotesAndTabs() { return true; }

/* There is no windowless runtime on POSIX: both launch modes run java. */
const char *const JAVA_BIN_FOLDER = "/bin";
const char *const JAVA_CONSOLE_EXECUTABLE = "/java";
const char *const JAVA_WINDOWED_EXECUTABLE = "/java";

/* An exit status has 8 bits: System.exit(999) ends with 231. */
const int RELAUNCH_EXIT_CODE = 999 & 0xFF;

/* ---------------------------------------------------------------------------
** The launcher's own file.
*/

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

/* Demo.EXE and Demo.exe are two names here. */
const bool FILE_NAMES_IGNORE_CASE = false;

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
** Message boxes and the launcher's own lines.
*/

/* IDOK and IDNO, the answers of a box that is not a Yes. */
static const int MSGBOX_ANSWER_OK = 1;
static const int MSGBOX_ANSWER_NO = 7;

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

/* A box is "caption: text" on standard error (messageBox below). */
const bool BOXES_ARE_LINES_ON_STANDARD_ERROR = true;

/* A box becomes "caption: text" on standard error, the text's own line
** breaks kept (a failed write is not reported: there is nowhere left to
** report it).  A question (the YESNO bits) is put to the user when standard
** input is a terminal; without one nobody can answer, and it counts as No,
** as a box that cannot be shown does on Windows. */
int messageBox(const char *text, const char *caption, unsigned type) {
    std::fflush(stdout);
    std::fflush(stderr);
    std::string message = std::string(caption ? caption : "") + ": " + (text ? text : "") + "\n";
    writeWhole(STDERR_FILENO, message);
    if ((type & MSGBOX_YESNO) != MSGBOX_YESNO) return MSGBOX_ANSWER_OK;

    if (!isatty(STDIN_FILENO)) {
        writeWhole(STDERR_FILENO, "(answered No: standard input is not a terminal)\n");
        return MSGBOX_ANSWER_NO;
    }
    writeWhole(STDERR_FILENO, "Yes or No? [y/N] ");
    std::string answer;
    if (!readAnswerLine(&answer)) return MSGBOX_ANSWER_NO;
    return isYesAnswer(answer) ? MSGBOX_ANSWER_YES : MSGBOX_ANSWER_NO;
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

} // namespace platform
