/*
** The Windows platform: the wide-character Windows APIs and the msvcrt
** runtime, with exactly the flags and sizes the launcher has always passed.
** The launcher's text is UTF-8: it becomes UTF-16 on its way into the system
** and UTF-8 again on its way out, so that folders, arguments, variables and
** registry values outside the ANSI code page arrive whole.
*/
#include "platform/platform.h"
#include "platform/standard_streams.h"
#include "platform/text_decoding.h"
#include "platform/win32_variant.h"
#include "platform/windows_paths.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <cwchar>
#include <direct.h>
#include <io.h>
#include <sys/stat.h>
#include <vector>

namespace platform {

const char PATH_SEPARATOR = '\\';
const char *const CLASS_PATH_SEPARATOR = ";";
const char *const JAVA_BIN_FOLDER = "\\bin";
const int RELAUNCH_EXIT_CODE = 999;

/* Windows names hold neither a double quote nor a tab. */
bool namesMayHoldQuotesAndTabs() { return false; }

/* Size of the runtime's error text, terminator included. */
static constexpr std::size_t ERROR_TEXT_SIZE = 80;

/* The longest registry key name in UTF-16 units, with its terminator. */
static constexpr DWORD REGISTRY_KEY_NAME_UNITS = 255 + 1;

/* The longest command line a process can be given, in UTF-16 units with
** its terminator. */
static constexpr std::size_t COMMAND_LINE_LIMIT = 32767;

/* A file is read for a configuration in pieces of this many bytes. */
static constexpr std::size_t FILE_READ_CHUNK = 64 * 1024;

WideText wideText(const char *text) {
    int units = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    WideText wide(units > 0 ? static_cast<std::size_t>(units) : 1, L'\0');
    if (units > 0) MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), units);
    return wide;
}

/* The same for a text that may be missing: null stays null. */
static wchar_t *optionalText(const char *text, WideText *wide) {
    if (text == nullptr) return nullptr;
    *wide = wideText(text);
    return wide->data();
}

/* The launcher's UTF-8 text from length UTF-16 units, NULs included as they
** stand; a lone surrogate becomes U+FFFD. */
static std::string utf8Text(const wchar_t *text, std::size_t length) {
    if (length == 0 || length > INT_MAX) return std::string();
    int units = static_cast<int>(length);
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text, units, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return std::string();
    std::string utf8(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, units, &utf8[0], bytes, nullptr, nullptr);
    return utf8;
}

/* UTF-8 from text in the ANSI code page (length bytes, NULs included).
** False when the text is too long for the conversion functions. */
static bool utf8FromAnsi(const std::string &ansi, std::string *utf8) {
    utf8->clear();
    if (ansi.empty()) return true;
    if (ansi.size() > INT_MAX) return false;
    int bytes = static_cast<int>(ansi.size());
    int units = MultiByteToWideChar(CP_ACP, 0, ansi.data(), bytes, nullptr, 0);
    if (units <= 0) return false;
    WideText wide(static_cast<std::size_t>(units));
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), bytes, wide.data(), units);
    *utf8 = utf8Text(wide.data(), wide.size());
    return true;
}

/* A drive-qualified path (second character a colon) with a backslash, or a
** UNC path \\server\share\...\file whose folder is at least the share.
** The device forms (\\?\, \\.\) name no folder of their own. */
std::size_t programDirectoryLength(const char *programPath) {
    const char *last = std::strrchr(programPath, '\\');
    if (last == nullptr) return NO_PROGRAM_DIRECTORY;
    std::size_t length = static_cast<std::size_t>(last - programPath);
    if (programPath[0] != '\0' && programPath[1] == ':') return length;
    if (programPath[0] != '\\' || programPath[1] != '\\') return NO_PROGRAM_DIRECTORY;
    const char *server = programPath + 2;
    if (*server == '\0' || *server == '?' || *server == '.' || *server == '\\')
        return NO_PROGRAM_DIRECTORY;
    const char *share = std::strchr(server, '\\');
    if (share == nullptr || share[1] == '\\' || share[1] == '\0' || share == last)
        return NO_PROGRAM_DIRECTORY;
    return length;
}

/* The longest path the system hands out, in UTF-16 units. */
static constexpr DWORD LONGEST_PATH_UNITS = 32768;

/* The launcher's own file as the system loaded it, with the \\?\ prefix of
** a long path taken off (\\?\C:\x becomes C:\x, \\?\UNC\srv\x becomes
** \\srv\x) so that its folder is found as for any other path. */
static bool moduleFileName(std::string *path) {
    for (DWORD units = 256; units <= LONGEST_PATH_UNITS; units *= 2) {
        WideText name(units);
        DWORD length = GetModuleFileNameW(nullptr, name.data(), units);
        if (length == 0) return false;
        if (length >= units) continue; /* cut: try a larger buffer */
        wchar_t *start = name.data();
        if (wcsncmp(start, L"\\\\?\\UNC\\", 8) == 0) {
            start += 6;
            *start = L'\\';
        } else if (wcsncmp(start, L"\\\\?\\", 4) == 0) {
            start += 4;
        }
        *path = utf8Text(start, length - static_cast<DWORD>(start - name.data()));
        return true;
    }
    return false;
}

/* C:x is taken from the current folder of drive C:, not from this one. */
bool pathIsRelative(const char *path) {
    if (path[0] == '\\' || path[0] == '/') return false;
    return path[0] == '\0' || path[1] != ':';
}

std::string launcherProgramPath(const char *argv0) {
    std::string path;
    if (programDirectoryLength(argv0) != NO_PROGRAM_DIRECTORY || !moduleFileName(&path))
        return argv0;
    return path;
}

/* The view flag that reaches the other view from this build. */
static const REGSAM OTHER_VIEW_FLAG = sizeof(void *) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;

const char *registryViewName(RegistryView view) {
    bool is64 = sizeof(void *) == 8;
    if (view == REGISTRY_OWN_VIEW) return is64 ? "64-bit registry view" : "32-bit registry view";
    return is64 ? "32-bit registry view" : "64-bit registry view";
}

/* The own view gets KEY_READ alone, as keys have always been opened. */
long registryOpenKey(const char *subKey, RegistryKey *key, RegistryView view) {
    HKEY opened = nullptr;
    REGSAM access = view == REGISTRY_OWN_VIEW ? KEY_READ : KEY_READ | OTHER_VIEW_FLAG;
    LONG result = RegOpenKeyExW(HKEY_LOCAL_MACHINE, wideText(subKey).data(), 0, access, &opened);
    *key = opened;
    return result;
}

/* The bytes a value stores and its type; read again while the value grows
** between the calls. */
static LONG storedValue(HKEY key, const wchar_t *name, std::string *bytes, DWORD *type) {
    DWORD length = 0;
    LONG result = RegQueryValueExW(key, name, nullptr, type, nullptr, &length);
    while (result == ERROR_SUCCESS && length > bytes->size()) {
        bytes->resize(length);
        result = RegQueryValueExW(key, name, nullptr, type,
                                  reinterpret_cast<LPBYTE>(&(*bytes)[0]), &length);
        if (result == ERROR_MORE_DATA) result = ERROR_SUCCESS; /* length is the new size */
    }
    if (result == ERROR_SUCCESS) bytes->resize(length);
    return result;
}

/* A REG_EXPAND_SZ text with its %VARIABLE% references expanded from the
** launcher's environment (in the 32-bit build %ProgramFiles% is the "(x86)"
** folder, as Windows gives it to a 32-bit program), ended by its NUL.  A
** text that cannot be expanded stays as it is. */
static void expandVariables(WideText *units) {
    WideText text(units->begin(), units->end());
    text.push_back(L'\0'); /* a value stored without its terminator */
    DWORD size = ExpandEnvironmentStringsW(text.data(), nullptr, 0);
    if (size == 0) return;
    WideText expanded(size);
    DWORD length = ExpandEnvironmentStringsW(text.data(), expanded.data(), size);
    if (length == 0 || length > size) return;
    expanded.resize(length); /* the NUL included */
    units->swap(expanded);
}

/* What RegQueryValueExA delivered, in UTF-8: a text value (REG_SZ and its
** kin) is converted with its terminator where it has one, an odd last byte
** being half a character and dropped, and a REG_EXPAND_SZ is expanded (as
** RegGetValue does); any other value is delivered as stored.  A value that does not fit the caller's buffer fails with
** ERROR_MORE_DATA, as the ANSI function fails. */
long registryQueryValue(RegistryKey key, const char *valueName, char *data, unsigned long *size) {
    WideText name;
    std::string stored;
    DWORD type = REG_NONE;
    LONG result = storedValue(static_cast<HKEY>(key), optionalText(valueName, &name), &stored, &type);
    if (result != ERROR_SUCCESS) return result;
    if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) {
        WideText units(stored.size() / sizeof(wchar_t));
        if (!units.empty()) std::memcpy(units.data(), stored.data(), units.size() * sizeof(wchar_t));
        if (type == REG_EXPAND_SZ) expandVariables(&units);
        stored = utf8Text(units.data(), units.size());
    }
    if (stored.size() > *size) {
        *size = static_cast<unsigned long>(stored.size());
        return ERROR_MORE_DATA;
    }
    if (!stored.empty()) std::memcpy(data, stored.data(), stored.size());
    *size = static_cast<unsigned long>(stored.size());
    return ERROR_SUCCESS;
}

/* The result is not tested: a failed query leaves the count at 0. */
unsigned long registrySubKeyCount(RegistryKey key) {
    DWORD subKeys = 0;
    RegQueryInfoKeyW(static_cast<HKEY>(key), nullptr, nullptr, nullptr, &subKeys, nullptr,
                     nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    return subKeys;
}

/* *nameLength counts UTF-8 bytes: the capacity on entry, the name's length
** without its terminator on success.  A name that does not fit fails with
** ERROR_MORE_DATA, as the ANSI function fails. */
long registryEnumSubKey(RegistryKey key, unsigned long index, char *name,
                        unsigned long *nameLength) {
    wchar_t wideName[REGISTRY_KEY_NAME_UNITS];
    DWORD units = REGISTRY_KEY_NAME_UNITS;
    FILETIME lastWriteTime;
    LONG result = RegEnumKeyExW(static_cast<HKEY>(key), index, wideName, &units, nullptr, nullptr,
                                nullptr, &lastWriteTime);
    if (result != ERROR_SUCCESS) return result;
    std::string text = utf8Text(wideName, units);
    if (text.size() >= *nameLength) return ERROR_MORE_DATA;
    std::memcpy(name, text.c_str(), text.size() + 1);
    *nameLength = static_cast<unsigned long>(text.size());
    return ERROR_SUCCESS;
}

void registryCloseKey(RegistryKey key) {
    if (key != nullptr) RegCloseKey(static_cast<HKEY>(key));
}

/* The program the system runs for a command line: its first token, read as
** CreateProcessW reads it (a quoted path up to the closing quote, else up
** to the first blank or tab), made a full path, with ".exe" added to a name
** without an extension as the system adds it.  Named on its own, it is the
** only file the system tries: never a shorter path cut at a blank
** (C:\Apps\My.exe for an unquoted C:\Apps\My App\jre\bin\javaw.exe).
** False for a bare name, which the system's own search (the launcher's
** folder, the current one, the system folders, PATH) finds as before, and
** for a path of MAX_PATH characters or more, which the system cannot start
** and refuses as before (Wine would overrun a buffer on it). */
static bool programName(const wchar_t *line, WideText *program) {
    static const wchar_t EXE_EXTENSION[] = L".exe";
    bool quoted = *line == L'"';
    const wchar_t *start = line + (quoted ? 1 : 0);
    std::size_t length = wcscspn(start, quoted ? L"\"" : L" \t");
    WideText token(length + sizeof EXE_EXTENSION / sizeof EXE_EXTENSION[0], L'\0');
    wmemcpy(token.data(), start, length);
    const wchar_t *name = token.data() + length;
    while (name > token.data() && name[-1] != L'\\' && name[-1] != L'/') --name;
    if (name == token.data()) return false;
    if (wcschr(name, L'.') == nullptr) wcscat(token.data(), EXE_EXTENSION);
    DWORD size = GetFullPathNameW(token.data(), 0, nullptr, nullptr);
    if (size == 0) return false;
    program->assign(size, L'\0');
    DWORD full = GetFullPathNameW(token.data(), size, program->data(), nullptr);
    return full > 0 && full < size && full < MAX_PATH;
}

/* Hands the child the launcher's standard handles when one of them leads
** to a file or a pipe (the launcher's output redirected): a console
** runtime (java.exe) then writes there, and reads its input from there,
** instead of from a hidden console of its own that nobody sees or types
** into.  Otherwise the child gets its handles as it always has. */
static void passStandardHandles(STARTUPINFOW *startup) {
    static const DWORD STANDARD_HANDLES[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    HANDLE handles[3];
    bool redirected = false;
    for (int i = 0; i < 3; ++i) {
        handles[i] = GetStdHandle(STANDARD_HANDLES[i]);
        if (handles[i] == INVALID_HANDLE_VALUE) handles[i] = nullptr;
        if (handles[i] == nullptr) continue;
        DWORD type = GetFileType(handles[i]);
        if (type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE) redirected = true;
    }
    if (!redirected) return;
    for (HANDLE handle : handles)
        if (handle != nullptr) SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    startup->dwFlags |= STARTF_USESTDHANDLES;
    startup->hStdInput = handles[0];
    startup->hStdOutput = handles[1];
    startup->hStdError = handles[2];
}

/* The job the Java child runs in, made at the first start and kept open
** (and not inherited) until the launcher ends: however the launcher ends,
** the system then closes it, and closing it ends the child, which would
** otherwise hold the application's files open.  Processes the child starts
** itself leave the job silently, so an updater or helper of the
** application outlives both, as before.  Null when no job can be made. */
static HANDLE childJob() {
    static HANDLE job = nullptr;
    static bool made = false;
    if (made) return job;
    made = true;
    job = CreateJobObjectW(nullptr, nullptr);
    if (job == nullptr) return nullptr;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits;
    std::memset(&limits, 0, sizeof limits);
    limits.BasicLimitInformation.LimitFlags =
        JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_SILENT_BREAKAWAY_OK;
    if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        CloseHandle(job);
        job = nullptr;
    }
    return job;
}

/* Puts the suspended child into the job.  Where that is refused (a
** launcher that runs in a job of its own which allows no nested job, as
** before Windows 8) the start goes on without it, and the debug trail
** says so. */
static void joinChildJob(HANDLE process) {
    HANDLE job = childJob();
    if (job != nullptr && AssignProcessToJobObject(job, process)) return;
    DWORD error = GetLastError();
    if (!debugTrailIsOn()) return;
    char code[16];
    std::snprintf(code, sizeof code, "%lu", static_cast<unsigned long>(error));
    writeLauncherOutput(std::string("The application runs without a job object (error ") + code +
                        ": " + systemErrorText(error) + "): it may outlive the launcher\n");
}

/* The exit code of the last child, for endRequestedBySignal. */
static int lastExitCode;

/* The system receives a wide copy of the command line; the caller's buffer
** is left as it is.  A line over the system's limit is refused with the
** error Windows gives for it, also where the system would take it (Wine
** does), so that it fails the same everywhere.  The child is made
** suspended and runs once it is in its job. */
bool startProcess(char *commandLine, unsigned long creationFlags, const char *directory,
                  const char *consoleTitle, ChildProcess *child, unsigned long *error) {
    *child = nullptr;
    WideText line = wideText(commandLine);
    if (line.size() > COMMAND_LINE_LIMIT) {
        *error = ERROR_FILENAME_EXCED_RANGE;
        return false;
    }
    WideText title, folder, program;
    STARTUPINFOW startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    startup.lpTitle = optionalText(consoleTitle, &title);
    passStandardHandles(&startup);
    PROCESS_INFORMATION info;
    std::memset(&info, 0, sizeof info);
    childStarting();
    lastExitCode = 0;
    if (!CreateProcessW(programName(line.data(), &program) ? program.data() : nullptr, line.data(),
                        nullptr, nullptr, TRUE, childCreationFlags(creationFlags) | CREATE_SUSPENDED,
                        nullptr, optionalText(directory, &folder), &startup, &info)) {
        *error = GetLastError();
        return false;
    }
    joinChildJob(info.hProcess);
    if (ResumeThread(info.hThread) == static_cast<DWORD>(-1)) {
        *error = GetLastError();
        TerminateProcess(info.hProcess, 1);
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
        return false;
    }
    *child = new PROCESS_INFORMATION(info);
    return true;
}

void waitForInputIdle(ChildProcess child, unsigned long milliseconds) {
    WaitForInputIdle(static_cast<PROCESS_INFORMATION *>(child)->hProcess, milliseconds);
}

void waitForProcess(ChildProcess child) {
    WaitForSingleObject(static_cast<PROCESS_INFORMATION *>(child)->hProcess, INFINITE);
}

int processExitCode(ChildProcess child) {
    DWORD code = 0;
    GetExitCodeProcess(static_cast<PROCESS_INFORMATION *>(child)->hProcess, &code);
    lastExitCode = static_cast<int>(code);
    return lastExitCode;
}

void releaseProcess(ChildProcess child) {
    PROCESS_INFORMATION *info = static_cast<PROCESS_INFORMATION *>(child);
    if (info == nullptr) return;
    CloseHandle(info->hThread);
    CloseHandle(info->hProcess);
    delete info;
}

bool endRequestedBySignal() { return endRequestedThroughConsole(lastExitCode); }

std::string systemErrorText(unsigned long error) {
    wchar_t *text = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, error, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::string result = length > 0 && text != nullptr ? utf8Text(text, length) : "unknown error";
    if (text != nullptr) LocalFree(text);
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r' ||
                               result.back() == ' ' || result.back() == '.'))
        result.pop_back();
    return result;
}

bool allocateConsole() { return AllocConsole() != 0; }

void setConsoleTitle(const char *title) { SetConsoleTitleW(wideText(title).data()); }

void openWithAssociatedProgram(const char *file) {
    ShellExecuteW(nullptr, L"open", wideText(file).data(), L"", nullptr, SW_SHOW);
}

/* The shell hands the address to the browser the user chose; a result above
** 32 means it was handed on. */
bool openWebPage(const char *url) {
    HINSTANCE result =
        ShellExecuteW(nullptr, L"open", wideText(url).data(), nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(result) > 32;
}

/* The version as the launcher's manifest lets the system tell it (without
** one, Windows 10 and 11 say 6.2); the debug trail shows it whole. */
unsigned long osMajorVersion() {
    OSVERSIONINFOW info;
    std::memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    GetVersionExW(&info);
    if (debugTrailIsOn()) {
        char text[64];
        std::snprintf(text, sizeof text, "Windows version %lu.%lu (build %lu)\n", info.dwMajorVersion,
                      info.dwMinorVersion, info.dwBuildNumber);
        writeLauncherOutput(text);
    }
    return info.dwMajorVersion;
}

unsigned long currentProcessId() { return GetCurrentProcessId(); }

/* GetEnvironmentVariableW, not getenv: msvcrt's getenv works on a copy
** taken at start-up and would miss what setEnvironment set since.  It
** answers 0 both for a missing variable and for an empty one, and says
** which only by the last error, which it leaves alone when the variable
** exists: so the last error is cleared before each call. */
static bool environmentValue(const wchar_t *name, WideText *value) {
    SetLastError(ERROR_SUCCESS);
    DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    for (;;) {
        if (size == 0) {
            if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return false;
            value->assign(1, L'\0');
            return true;
        }
        value->assign(size, L'\0');
        SetLastError(ERROR_SUCCESS);
        DWORD length = GetEnvironmentVariableW(name, value->data(), size);
        if (length < size) {
            if (length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) return false;
            value->resize(length + 1);
            return true;
        }
        size = length; /* it grew meanwhile: try again with the new size */
    }
}

bool getEnvironment(const char *name, std::string *value) {
    WideText wide;
    if (!environmentValue(wideText(name).data(), &wide)) return false;
    *value = utf8Text(wide.data(), wide.size() - 1);
    return true;
}

void setEnvironment(const char *name, const char *value) {
    WideText wideValue;
    SetEnvironmentVariableW(wideText(name).data(), optionalText(value, &wideValue));
}

/* The folders of PATH alone, as cmd.exe reads them (SearchPathW would
** look in the launcher's folder, the current folder and the system folders
** first, take a folder named fileName for a match, and not know quotes). */
bool findOnSearchPath(const char *fileName, std::string *path) {
    std::string folders;
    if (!getEnvironment("PATH", &folders)) return false;
    for (const std::string &folder : searchPathFolders(folders)) {
        std::string candidate = folder;
        if (candidate.back() != '\\' && candidate.back() != '/') candidate += '\\';
        candidate += fileName;
        if (!isRegularFile(candidate.c_str())) continue;
        WideText name = wideText(candidate.c_str());
        DWORD size = GetFullPathNameW(name.data(), 0, nullptr, nullptr);
        if (size == 0) continue;
        WideText full(size);
        DWORD length = GetFullPathNameW(name.data(), size, full.data(), nullptr);
        if (length == 0 || length >= size) continue;
        *path = utf8Text(full.data(), length);
        return true;
    }
    return false;
}

void exitProcess(int code) { std::exit(code); }

/* A file open for writing has its stream; a file open for reading has its
** whole text, already decoded, the position of the next line and how it
** was decoded. */
struct TextFile {
    FILE *stream;
    std::string text;
    std::size_t next;
    std::string encoding;
};

/* _waccess does not see a name in the device namespace; it exists as NUL
** does, and reading refuses it. */
bool fileExists(const char *path) {
    return isDeviceNamespacePath(path) || _waccess(wideText(path).data(), 0) == 0;
}

bool isRegularFile(const char *path) {
    if (isDeviceNamespacePath(path)) return false;
    DWORD attributes = GetFileAttributesW(wideText(path).data());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

/* The full path in upper case: file names do not differ by case here. */
std::string fileIdentity(const char *path) {
    WideText name = wideText(path);
    DWORD size = GetFullPathNameW(name.data(), 0, nullptr, nullptr);
    if (size == 0) return path;
    WideText full(size);
    DWORD length = GetFullPathNameW(name.data(), size, full.data(), nullptr);
    if (length == 0 || length >= size) return path;
    CharUpperBuffW(full.data(), length);
    return utf8Text(full.data(), length);
}

/* Reads a configuration whole and decodes it (see text_decoding.h).  Only
** a disk file is read: a device such as COM1 or AUX, or a pipe, could make
** the read wait for ever, so it fails to open with EACCES, as a folder
** does; a name in the device namespace is refused before it is opened,
** since opening a pipe connects to it.  A read error ends the text where
** it happened, as it ended the lines read in text mode. */
static TextFile *openForReading(const char *path, int *error) {
    if (isDeviceNamespacePath(path)) {
        *error = EACCES;
        return nullptr;
    }
    FILE *stream = _wfopen(wideText(path).data(), L"rb");
    if (stream == nullptr) {
        *error = errno;
        return nullptr;
    }
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        std::fclose(stream);
        *error = EACCES;
        return nullptr;
    }
    std::string bytes;
    std::size_t got;
    do {
        std::size_t filled = bytes.size();
        bytes.resize(filled + FILE_READ_CHUNK);
        got = std::fread(&bytes[filled], 1, FILE_READ_CHUNK, stream);
        bytes.resize(filled + got);
    } while (got == FILE_READ_CHUNK);
    std::fclose(stream);

    FileEncoding encoding = configFileEncoding(bytes);
    if (encoding == FILE_ENCODING_UTF16_LE || encoding == FILE_ENCODING_UTF16_BE)
        return new TextFile{nullptr, utf16FileText(bytes, encoding), 0, fileEncodingName(encoding)};
    TextFile *file = new TextFile{nullptr, textModeContent(bytes), 0, fileEncodingName(FILE_ENCODING_UTF8)};
    if (configFileEncoding(file->text) == FILE_ENCODING_ANSI) {
        std::string converted;
        if (!utf8FromAnsi(file->text, &converted)) {
            delete file;
            *error = EFBIG;
            return nullptr;
        }
        /* Says which line made the whole file ANSI: often one stray byte. */
        std::size_t notUtf8 = firstNonUtf8Byte(file->text);
        unsigned long line = 1;
        for (std::size_t i = 0; i < notUtf8; ++i) line += file->text[i] == '\n';
        char reason[64];
        std::snprintf(reason, sizeof reason, " (line %lu is not UTF-8)", line);
        file->encoding = std::string(fileEncodingName(FILE_ENCODING_ANSI)) + reason;
        file->text.swap(converted);
    }
    return file;
}

TextFile *openTextFile(const char *path, const char *mode, int *error) {
    if (mode[0] == 'r') return openForReading(path, error);
    WideText name = wideText(path);
    FILE *stream = _wfopen(name.data(), wideText(mode).data());
    if (stream == nullptr) {
        *error = errno;
        return nullptr;
    }
    return new TextFile{stream, std::string(), 0, std::string()};
}

std::string textFileEncoding(TextFile *file) { return file->encoding; }

/* Serves the next line of the decoded text, with its line feed. */
bool readTextLine(TextFile *file, std::string *line) { return nextTextLine(file->text, &file->next, line); }

void writeText(TextFile *file, const std::string &text) {
    std::fwrite(text.data(), 1, text.size(), file->stream);
}

void closeTextFile(TextFile *file) {
    if (file->stream != nullptr) {
        std::fflush(file->stream);
        std::fclose(file->stream);
    }
    delete file;
}

/* Only a disk file counts: a device such as COM1 or a pipe could make the
** read wait for ever. */
bool readFileStart(const char *path, std::size_t limit, std::string *bytes) {
    if (isDeviceNamespacePath(path)) return false;
    HANDLE file = CreateFileW(wideText(path).data(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    if (GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        return false;
    }
    bytes->assign(limit, '\0');
    std::size_t filled = 0;
    while (filled < limit) {
        DWORD got = 0;
        if (!ReadFile(file, &(*bytes)[filled], static_cast<DWORD>(limit - filled), &got, nullptr) ||
            got == 0)
            break;
        filled += got;
    }
    CloseHandle(file);
    bytes->resize(filled);
    return true;
}

std::string runtimeErrorText(int error) {
    char text[ERROR_TEXT_SIZE];
    if (strerror_s(text, sizeof text, error) != 0) text[0] = '\0';
    return text;
}

int changeDirectory(const char *directory) { return _wchdir(wideText(directory).data()); }

/* The directory is copied in UTF-8: size counts bytes. */
bool currentDirectory(char *buffer, std::size_t size) {
    if (size > 0) buffer[0] = '\0';
    DWORD units = GetCurrentDirectoryW(0, nullptr);
    if (units == 0) return false;
    WideText wide(units);
    DWORD length = GetCurrentDirectoryW(units, wide.data());
    if (length == 0 || length >= units) return false;
    std::string text = utf8Text(wide.data(), length);
    if (text.size() >= size) return false;
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return true;
}

/* java.exe and javaw.exe take their arguments in the ANSI code page. */
const bool JAVA_ARGUMENTS_IN_CODE_PAGE = true;

/* FILETIME counts 100 ns from 1601; this many of them lie before 1970. */
static constexpr long long FILETIME_UNITS_BEFORE_1970 = 116444736000000000LL;

bool userCacheFolder(std::string *folder) {
    return getEnvironment("LOCALAPPDATA", folder) && !folder->empty();
}

/* The shell makes every missing folder on the way (it wants backslashes).
** The user's local application data is the user's own: no test of the
** access list is made. */
bool makePrivateFolders(const char *path) {
    WideText wide = wideText(path);
    for (wchar_t &c : wide)
        if (c == L'/') c = L'\\';
    SHCreateDirectoryExW(nullptr, wide.data(), nullptr);
    DWORD attributes = GetFileAttributesW(wide.data());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool fileFacts(const char *path, FileFacts *facts) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(wideText(path).data(), GetFileExInfoStandard, &data)) return false;
    facts->isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    facts->size = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    long long units = static_cast<long long>((static_cast<unsigned long long>(
                                                  data.ftLastWriteTime.dwHighDateTime) << 32) |
                                             data.ftLastWriteTime.dwLowDateTime);
    facts->modified = (units - FILETIME_UNITS_BEFORE_1970) * 100;
    return true;
}

bool listFolder(const char *path, std::vector<std::string> *names) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(wideText((std::string(path) + "\\*").c_str()).data(), &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    names->clear();
    do {
        std::string name = utf8Text(found.cFileName, wcslen(found.cFileName));
        if (name != "." && name != "..") names->push_back(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return true;
}

bool createNewFile(const char *path) {
    HANDLE file = CreateFileW(wideText(path).data(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

/* Fails while another process has it open (a runtime that maps it): the
** caller then keeps the file that is there. */
bool replaceFile(const char *from, const char *to) {
    return MoveFileExW(wideText(from).data(), wideText(to).data(), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool removeFile(const char *path) { return DeleteFileW(wideText(path).data()) != 0; }

} // namespace platform
