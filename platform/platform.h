/*
** The platform-services layer: every operation the launcher logic needs from
** the operating system, and nothing else.  Three implementations exist and
** one is chosen at link time: the win32*.cpp files (the wide-character
** Windows APIs, with the launcher's text in UTF-8), the posix*.cpp files
** (Linux and macOS) and the test double under tests/.  The files without a
** system in their name (java_runtime.cpp, java_version.cpp, release_file.cpp,
** ...) hold rules that are the same on every system and go with each.
**
** The logic above this layer never asks which system it runs on.  Where the
** systems differ in a way the logic must honour (path separators, the name of
** the Java executable, the URL handler), the difference is a constant or a
** function declared here.
*/
#ifndef TARNWICK_PLATFORM_H
#define TARNWICK_PLATFORM_H

#include <cstddef>
#include <string>
#include <vector>

namespace platform {

/* ---------------------------------------------------------------------------
** Constants that differ between systems.
*/

/* The separator between a directory and a name in a program path and in the
** path of the Java executable ('\\' on Windows, '/' on POSIX). */
extern const char PATH_SEPARATOR;

/* True for a character that separates the names of a path: '/' on every
** system, and PATH_SEPARATOR ('\\' on Windows). */
inline bool isPathSeparator(char c) { return c == '/' || c == PATH_SEPARATOR; }

/* What stands between two class-path entries (";" on Windows, ":" on POSIX). */
extern const char *const CLASS_PATH_SEPARATOR;

/* True where a file name may hold a double quote or a tab (POSIX): a
** class-path entry then reaches Java with them, quoted and escaped.  False on
** Windows, whose names hold neither: there a double quote in an entry is
** only ever the quoting that an expanded folder with a blank brought. */
bool namesMayHoldQuotesAndTabs();

/* Appended to a runtime's home to reach its executable: the bin folder, then
** the console or the windowed executable.  The console exe (tarnwick-console)
** and POSIX have no use for a windowless runtime: both name java there. */
extern const char *const JAVA_BIN_FOLDER;
extern const char *const JAVA_CONSOLE_EXECUTABLE;
extern const char *const JAVA_WINDOWED_EXECUTABLE;

/* The exit code with which an application asks to be started again: 999 on
** Windows; 231, 999's low byte, on POSIX, where an exit status is 8 bits
** wide and System.exit(999) reaches the launcher as 231. */
extern const int RELAUNCH_EXIT_CODE;

/* Length of the directory part of a program path when the launcher was
** started by a fully qualified path (C:\apps\tool.exe or
** \\server\share\tool.exe on Windows, /opt/x/tool on POSIX);
** NO_PROGRAM_DIRECTORY otherwise.  On Windows the root of a drive gives "C:"
** (length 2) and the root of a share "\\server\share"; on POSIX the root
** gives "/" (length 1). */
constexpr std::size_t NO_PROGRAM_DIRECTORY = static_cast<std::size_t>(-1);
std::size_t programDirectoryLength(const char *programPath);

/* The path of the launcher's own file, as start-up uses it to find its
** directory and its configuration, so that a launcher started by a bare
** name found on PATH, by a relative path, by an unquoted path with a blank
** or through a symlink still finds its own folder and name.  On Windows
** the file the system loaded the launcher from, in its long form (a start
** by the 8.3 name C:\p\MY_A~R0F.EXE gives C:\p\My Application.exe); on
** Linux the real file behind /proc/self/exe, on macOS _NSGetExecutablePath
** with its links resolved.  argv0 itself where the system cannot tell. */
std::string launcherProgramPath(const char *argv0);

/* True where file names do not differ by letter case (Windows): there
** DEMO.EXE loses its ".EXE" for the configuration's name as Demo.exe loses
** its ".exe". */
extern const bool FILE_NAMES_IGNORE_CASE;

/* True for a path taken from the current folder: on Windows one with no
** drive (C:), no root (\x, /x) and no share (\\server); on POSIX one not
** beginning with '/'.  An empty path is relative. */
bool pathIsRelative(const char *path);

/* ---------------------------------------------------------------------------
** Message boxes.  Always without an owner window, always modal.
*/
constexpr unsigned MSGBOX_OK = 0x00;
constexpr unsigned MSGBOX_YESNO = 0x04;
constexpr unsigned MSGBOX_ICONERROR = 0x10;
constexpr int MSGBOX_ANSWER_YES = 6;

/* Shows a box and returns the button chosen (MSGBOX_ANSWER_YES for Yes).
** Where there is no window to show it in (POSIX, the console exe) it is a
** line on standard error, and a question nobody can answer is a No. */
int messageBox(const char *text, const char *caption, unsigned type);

/* True where a box is that line on standard error (POSIX, the console
** exe), so that an error told both ways is not written twice there. */
extern const bool BOXES_ARE_LINES_ON_STANDARD_ERROR;

/* ---------------------------------------------------------------------------
** Registry, read only, under HKEY_LOCAL_MACHINE.  A result of 0 is success,
** anything else failure, as the Windows registry functions answer.
*/
typedef void *RegistryKey;

/* The key under which Java's installers record the runtimes they install:
** one sub-key per version name, each with the value "JavaHome".  The POSIX
** platform answers it from the runtimes on disk. */
inline constexpr char JAVA_RUNTIME_KEY[] = "SOFTWARE\\JavaSoft\\Java Runtime Environment";

/* The two views of a 64-bit Windows registry.  The own view is the one of
** the launcher's own build (KEY_READ with no view flag, which is where the
** installers of a runtime of the launcher's bitness write); the other view
** is the 32-bit one from the 64-bit build and the 64-bit one from the
** 32-bit build. */
enum RegistryView { REGISTRY_OWN_VIEW, REGISTRY_OTHER_VIEW };

/* How the debug lines name each view ("64-bit registry view", ...). */
const char *registryViewName(RegistryView view);

/* Opens subKey for reading in the given view. */
long registryOpenKey(const char *subKey, RegistryKey *key, RegistryView view = REGISTRY_OWN_VIEW);

/* Reads a value's bytes into data.  *size holds the capacity of data on
** entry and the number of bytes delivered on success.  The bytes are not
** guaranteed to end in a NUL: callers that want text must check. */
long registryQueryValue(RegistryKey key, const char *valueName, char *data, unsigned long *size);

/* Number of sub-keys of an open key; 0 when it cannot be learned. */
unsigned long registrySubKeyCount(RegistryKey key);

/* Name of the sub-key at index.  *nameLength holds the capacity of name on
** entry, in bytes (of UTF-8 on Windows); on success name is NUL-terminated. */
long registryEnumSubKey(RegistryKey key, unsigned long index, char *name,
                        unsigned long *nameLength);

void registryCloseKey(RegistryKey key);

/* ---------------------------------------------------------------------------
** Processes, consoles, environment.
*/
constexpr unsigned long CREATE_NO_WINDOW_FLAG = 0x08000000;
constexpr unsigned long INPUT_IDLE_TIMEOUT_MS = 5000;

typedef void *ChildProcess;

/* Starts commandLine (a writable buffer the system may change) with the
** launcher's environment.  directory may be null (the child starts in the
** current directory); consoleTitle may be null.  On failure returns false
** and stores the system's error code in *error.
** On Windows the program is the command line's first token, as the system
** reads it, and is named to the system on its own as well; the child gets
** the launcher's standard handles when one of them is redirected, and no
** other handle of the launcher's (where the system can limit what is
** inherited: Windows Vista and later), and runs in a job object that ends
** it when the launcher ends; the console exe
** never hides the child's console (CREATE_NO_WINDOW_FLAG is dropped): the
** child shares the launcher's.  On POSIX the signals the launcher receives
** are passed on to it. */
bool startProcess(char *commandLine, unsigned long creationFlags, const char *directory,
                  const char *consoleTitle, ChildProcess *child, unsigned long *error);

/* Waits, at most milliseconds, until the child's window waits for input
** (at once for a console child).  On Windows it loads user32.dll. */
void waitForInputIdle(ChildProcess child, unsigned long milliseconds);
void waitForProcess(ChildProcess child);

/* The child's exit code as the system reports it, as a signed 32-bit value. */
int processExitCode(ChildProcess child);

/* Releases what startProcess handed out; the child itself lives on. */
void releaseProcess(ChildProcess child);

/* Starts commandLine (as startProcess reads it) as a process of its own that
** outlives the launcher: nothing of it is waited for, no signal or console
** event the launcher receives reaches it, and it gets no window.  On POSIX
** it runs in a session of its own, adopted by the system, with standard
** input, output and error on /dev/null; on Windows with a hidden console of
** its own, in a process group of its own and outside the job the launcher
** puts its child in (and outside any job the launcher runs in, where that
** job lets it), with no handle of the launcher's.  keepOutput: its standard
** output and error are the launcher's instead (for the debug trail).  Stores
** its process id; on failure the system's error code in *error. */
bool startDetachedProcess(char *commandLine, bool keepOutput, unsigned long *processId,
                          unsigned long *error);

/* True when the last child was asked to end and did: a request to end
** (SIGTERM, SIGINT, SIGHUP, ...; never SIGQUIT or SIGUSR1) came to it while
** it ran, passed on or from the terminal, and it ended by that signal or
** with 128 + its number.  Its end is then neither reported as abnormal nor
** followed by a relaunch.  A child that handled the signal and ran on, or a
** later child, counts as if no signal came.  In the console exe: Ctrl-C or
** the console's closing came while it ran (both reach the application
** through the shared console; the launcher waits on) and it ended with 130
** or 143, as Java ends on them, or as a program the system ended on
** Ctrl-C.  Always false in the windowed exe, which receives no such
** requests. */
bool endRequestedBySignal();

/* Ends the launcher by SIGINT when the user interrupted the last child with
** a key typed at the terminal (Ctrl-C) and it ended on it (by SIGINT, or
** with 130 as Java does): a shell that runs the launcher in a loop or a
** script then stops, as it stops for a program the key ended.  Returns
** otherwise, and always on Windows, where Ctrl-C is told by the exit code
** alone. */
void endLikeAnInterruptedChild();

/* The system's own text for an error code of startProcess. */
std::string systemErrorText(unsigned long error);

bool allocateConsole();
void setConsoleTitle(const char *title);

/* Opens a file with the program associated with it; does not wait. */
void openWithAssociatedProgram(const char *file);

/* Opens a web page in the user's browser (ShellExecuteW on Windows,
** xdg-open, or open on macOS, elsewhere); does not wait.  The caller has
** checked that url is an http or https address.  False when the system has
** no way to open it. */
bool openWebPage(const char *url);

/* Major version of the operating system as GetVersionEx reports it. */
unsigned long osMajorVersion();

unsigned long currentProcessId();

/* Looks up an environment variable as the system does at this moment, so a
** variable set with setEnvironment is seen.  False when it is not set. */
bool getEnvironment(const char *name, std::string *value);

/* Sets a variable of the launcher's environment, inherited by children; a
** null value removes it. */
void setEnvironment(const char *name, const char *value);

/* Finds fileName in the folders of the PATH variable, in their order, and
** stores the first match's full path (on POSIX with its links resolved, so
** that the folder is the program's real one).  Only a regular file counts:
** a folder of that name is passed over.  On Windows a folder may stand in
** double quotes, as cmd.exe allows.  False when no folder has it. */
bool findOnSearchPath(const char *fileName, std::string *path);

/* Ends the launcher through the runtime's normal exit (buffers are flushed). */
[[noreturn]] void exitProcess(int code);

/* ---------------------------------------------------------------------------
** Files, directories, clock, standard streams.
*/
struct TextFile;

/* True when path names something that exists (file or directory).  On
** Windows every name in the device namespace (\\.\NUL, \\.\pipe\x, \\?\COM1)
** counts as existing, as NUL does, so that it is refused when opened. */
bool fileExists(const char *path);

/* True when path names a regular file: not a folder, a device or a pipe. */
bool isRegularFile(const char *path);

/* True when path names a regular file the system may start as a program:
** on POSIX only one the user may execute. */
bool isExecutableFile(const char *path);

/* A text that is the same for two paths naming the same file however they
** are written (relative or absolute, letter case on Windows, links on
** POSIX); the path itself when the system cannot tell. */
std::string fileIdentity(const char *path);

/* Opens a text file with a stdio mode ("r" or "w").  Text mode: on Windows
** a line feed is written as CR LF, and a file read is decoded to UTF-8 (see
** text_decoding.h); on POSIX only a file with a UTF-16 byte-order mark is
** decoded.  A directory cannot be opened, and reading opens only a regular
** file (on Windows a disk file): a FIFO, a device or a pipe is refused at
** once, so nothing waits on it.  Returns null and stores the
** runtime's error number in *error on failure. */
TextFile *openTextFile(const char *path, const char *mode, int *error);

/* How a file opened for reading was decoded, for the debug trail: "UTF-8",
** "UTF-16 LE", "UTF-16 BE", on Windows "the ANSI code page" with the first
** line that is not UTF-8, on POSIX "UTF-8, bytes unchanged" for a file
** without a UTF-16 byte-order mark. */
std::string textFileEncoding(TextFile *file);

/* Reads the next line, whole, with its line feed when it has one; a carriage
** return before the line feed is dropped on every system.  False at the end
** of the file or on a read error. */
bool readTextLine(TextFile *file, std::string *line);

void writeText(TextFile *file, const std::string &text);

/* Flushes and closes. */
void closeTextFile(TextFile *file);

/* Reads the first bytes of a regular file, at most limit of them, as they
** are stored.  False when path is not a regular file or cannot be read, so
** a device, a pipe or a folder never makes the caller wait or fill memory. */
bool readFileStart(const char *path, std::size_t limit, std::string *bytes);

/* The version name that the "release" file of a runtime home gives as its
** JAVA_VERSION (17.0.15 for JAVA_VERSION="17.0.15"), read from the file's
** first RELEASE_FILE_LIMIT bytes.  False when there is none or it cannot
** name a registry key (empty, too long, a backslash or control character). */
constexpr std::size_t RELEASE_FILE_LIMIT = 4096;
bool runtimeReleaseVersion(const char *home, std::string *version);

/* The windowed executable of a runtime home: home\bin\javaw.exe on
** Windows, home/bin/java on POSIX. */
std::string javaExecutableOf(const char *home);

/* True when home is not empty and its windowed executable is a file the
** system may start (isExecutableFile). */
bool holdsJavaExecutable(const char *home);

/* The home of a runtime whose executable is at path (home/bin/java): the
** folder two names above it.  False when path has no two folders above its
** name; the root is no home. */
bool homeAboveExecutable(const std::string &executable, std::string *home);

/* The variable that names the user's Java runtime. */
extern const char *const JAVA_HOME_VARIABLE;

/* The runtime JAVA_HOME names, when it holds its executable: the home as
** written, without the double quotes around it that cmd.exe keeps in a value
** (set JAVA_HOME="C:\x y") and without separators at its end. */
bool javaHomeRuntime(std::string *home);

/* The runtime whose windowed executable is the first on PATH (found as
** findOnSearchPath finds it), when its home holds it. */
bool searchPathRuntime(std::string *home);

/* The runtime library's text for an error number, at most 79 characters. */
std::string runtimeErrorText(int error);

/* Changes the current directory; 0 on success. */
int changeDirectory(const char *directory);

/* Copies the current directory into buffer; false when it does not fit or
** cannot be read (buffer then holds an empty text). */
bool currentDirectory(char *buffer, std::size_t size);

/* Calendar time in whole seconds. */
long long wallClockSeconds();

/* Write at once (no buffering), so the launcher's lines stand before
** anything its child writes.  writeLauncherOutput takes the launcher's own
** lines (banner, command line, selection trace, debug lines): the windowed
** exe writes them on standard output, where they are seen only when it is
** redirected; POSIX and the console exe on standard error, so that the
** application's output stays the application's, and there they are left
** out while standard error is a terminal (a console), unless the debug
** trail is on: they would mix with the application's output at every
** start.  writeStandardError takes errors, which are always written. */
void writeLauncherOutput(const std::string &text);
void writeStandardError(const std::string &text);

/* Tells the platform whether the debug trail (-d) is on; start-up calls it
** once the options are known.  Off until then. */
void setDebugTrail(bool on);

/* ---------------------------------------------------------------------------
** The user's own files: the class-data archives of the fast start live in
** the user's cache folder.
*/

/* True where the Java runtime receives its arguments in the system's code
** page rather than in Unicode (Windows): a path with other letters may then
** reach it changed. */
extern const bool JAVA_ARGUMENTS_IN_CODE_PAGE;

/* The folder where the user's programs keep files they can make again:
** %LOCALAPPDATA% on Windows, $XDG_CACHE_HOME (when absolute) or ~/.cache on
** Linux, ~/Library/Caches on macOS.  False when the system names none. */
bool userCacheFolder(std::string *folder);

/* Who owns a folder and who else may change what it holds. */
struct FolderAccess {
    bool ownedByUser;      /* by the user the launcher runs as (its effective user) */
    bool ownedBySystem;    /* by the system's administrator: root (POSIX) */
    bool othersMayWrite;   /* another user may add, remove or rename names in it */
    bool othersMayOnlyAdd; /* sticky: a name may be removed or renamed only by its owner */
};

/* False when path is no folder (missing, or a file).  On Windows every
** folder counts as the user's alone: the cache folder is in the user's own
** profile, which other users cannot write, and an elevated launcher (whose
** folders the user's unelevated programs could change) uses none; neither
** its owner nor its access list is read. */
bool folderAccess(const char *path, FolderAccess *access);

/* Makes the folder path (its parent must exist) for the user alone: mode
** 0700 on POSIX whatever the umask; on Windows with an access list that
** grants the user alone, which what is made in it inherits.  False when it
** was not made (it may exist already). */
bool makeUserFolder(const char *path);

/* True when the launcher runs with more rights than its user has: on
** Windows an elevated token (an administrator's, after the elevation
** prompt); on POSIX an effective user other than the real one (set-user-id). */
bool runsElevated();

/* The bytes the user may still write on the file system that holds folder.
** False when the system cannot tell. */
bool freeSpace(const char *folder, unsigned long long *bytes);

/* What fileFacts tells about a file or folder: its size in bytes and its
** modification time in nanoseconds since 1970 (as fine as the system keeps
** it). */
struct FileFacts {
    bool isFolder;
    unsigned long long size;
    long long modified;
};

/* False when path names nothing (or cannot be looked at). */
bool fileFacts(const char *path, FileFacts *facts);

/* The names in a folder, "." and ".." left out, in no particular order.
** False when the folder cannot be read. */
bool listFolder(const char *path, std::vector<std::string> *names);

/* Creates a file that did not exist, holding content (bytes as they are,
** for the user alone on POSIX): false when it exists already or cannot be
** made and written whole, so two processes never both believe they made it. */
bool createNewFile(const char *path, const std::string &content = std::string());

/* Reads length bytes of a regular file from offset on, as they are stored.
** False unless all of them were read. */
bool readFileRange(const char *path, unsigned long long offset, std::size_t length,
                   std::string *bytes);

/* Puts the file from in the place of to in one step, replacing an older to:
** a reader sees the old file or the new one, never part of one. */
bool replaceFile(const char *from, const char *to);

/* Removes a file; false when it is not removed. */
bool removeFile(const char *path);

} // namespace platform

#endif
