/*
** The Java child and the rest of the launcher's dealings with processes on
** Windows: starting the child (the program named to the system on its own,
** the standard handles passed on, a job object that ends it with the
** launcher), waiting for it and reading its end; the console, the shell's
** open verb and the system's version; the environment and the PATH search
** the child inherits and is found by.
*/
#include "platform/platform.h"
#include "platform/standard_streams.h"
#include "platform/win32_system_library.h"
#include "platform/win32_variant.h"
#include "platform/windows_paths.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace platform {

/* The longest command line a process can be given, in UTF-16 units with
** its terminator. */
static constexpr std::size_t COMMAND_LINE_LIMIT = 32767;

/* ---------------------------------------------------------------------------
** What the child is started with.
*/

/* The program the system runs for a command line: its first token, read as
** CreateProcessW reads it (a quoted path up to the closing quote, else up
** to the first blank or tab), made a full path, with ".exe" added to a name
** without an extension as the system adds it.  Named on its own, it is the
** only file the system tries: never a shorter path cut at a blank
** (C:\Apps\My.exe for an unquoted C:\Apps\My App\jre\bin\javaw.exe).
** False for a bare name, left to the system's own search (the launcher's
** folder, the current one, the system folders, PATH), and for a path of
** MAX_PATH characters or more, left to the system to refuse from the
** command line alone (named on its own, Wine would overrun a buffer on
** it). */
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
** into.  Otherwise the child's handles are left to the system: a console
** runtime gets those of its console.  The handles passed, each once, go
** into inherited (at most three): the only ones the child is to inherit.
** A console handle of Windows 7 and before is no handle of the process
** (its low two bits are set) and is valid in the child as it is; it is
** passed but not listed.  Returns how many were listed. */
static DWORD passStandardHandles(STARTUPINFOW *startup, HANDLE *inherited) {
    static const DWORD STANDARD_HANDLES[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    static const ULONG_PTR CONSOLE_PSEUDO_HANDLE_BITS = 3;
    HANDLE handles[3];
    bool redirected = false;
    for (int i = 0; i < 3; ++i) {
        handles[i] = GetStdHandle(STANDARD_HANDLES[i]);
        if (handles[i] == INVALID_HANDLE_VALUE) handles[i] = nullptr;
        if (handles[i] == nullptr) continue;
        DWORD type = GetFileType(handles[i]);
        if (type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE) redirected = true;
    }
    if (!redirected) return 0;
    DWORD count = 0;
    for (HANDLE handle : handles) {
        ULONG_PTR bits = reinterpret_cast<ULONG_PTR>(handle) & CONSOLE_PSEUDO_HANDLE_BITS;
        if (handle == nullptr || bits == CONSOLE_PSEUDO_HANDLE_BITS) continue;
        if (std::find(inherited, inherited + count, handle) != inherited + count) continue;
        SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
        inherited[count++] = handle;
    }
    startup->dwFlags |= STARTF_USESTDHANDLES;
    startup->hStdInput = handles[0];
    startup->hStdOutput = handles[1];
    startup->hStdError = handles[2];
    return count;
}

/* The functions of the extended startup information's attribute list
** (Windows Vista and later), looked up when first needed, so that the exe
** still starts on a system without them.  Null where one is missing. */
typedef BOOL(WINAPI *InitializeList)(LPPROC_THREAD_ATTRIBUTE_LIST, DWORD, DWORD, PSIZE_T);
typedef BOOL(WINAPI *UpdateList)(LPPROC_THREAD_ATTRIBUTE_LIST, DWORD, DWORD_PTR, PVOID, SIZE_T,
                                 PVOID, PSIZE_T);
typedef VOID(WINAPI *DeleteList)(LPPROC_THREAD_ATTRIBUTE_LIST);
struct AttributeListFunctions {
    InitializeList initialize;
    UpdateList update;
    DeleteList remove;
};

/* The functions, looked up in kernel32 at the first call; null unless all
** three are there. */
static const AttributeListFunctions *attributeListFunctions() {
    static AttributeListFunctions functions;
    static bool looked = false;
    if (!looked) {
        looked = true;
        functions.initialize = systemFunction<InitializeList>(SYSTEM_LIBRARY_KERNEL32,
                                                              "InitializeProcThreadAttributeList");
        functions.update =
            systemFunction<UpdateList>(SYSTEM_LIBRARY_KERNEL32, "UpdateProcThreadAttribute");
        functions.remove =
            systemFunction<DeleteList>(SYSTEM_LIBRARY_KERNEL32, "DeleteProcThreadAttributeList");
    }
    bool all = functions.initialize && functions.update && functions.remove;
    return all ? &functions : nullptr;
}

/* What the child inherits.  With no handles to pass, nothing (a console
** child still gets its console's handles from the system).  With handles,
** only those, through the handle list of the extended startup information
** held in storage; where the system lacks it, every inheritable handle of
** the launcher, as the system's plain start gives them.  Returns whether
** the child inherits any handle, and *extended whether the list is made
** (the caller deletes it after the start). */
static bool limitInheritance(STARTUPINFOEXW *startup, HANDLE *handles, DWORD count,
                             std::vector<unsigned char> *storage, bool *extended) {
    *extended = false;
    if (count == 0) return false;
    const AttributeListFunctions *list = attributeListFunctions();
    SIZE_T size = 0;
    if (list == nullptr) return true;
    list->initialize(nullptr, 1, 0, &size);
    storage->assign(size, 0);
    auto attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage->data());
    if (size == 0 || !list->initialize(attributes, 1, 0, &size)) return true;
    if (!list->update(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles,
                      count * sizeof(HANDLE), nullptr, nullptr)) {
        list->remove(attributes);
        return true;
    }
    startup->StartupInfo.cb = sizeof *startup;
    startup->lpAttributeList = attributes;
    *extended = true;
    return true;
}

/* Makes the process of line (its program named to the system on its own,
** see programName) with creation flags, in directory and with
** consoleTitle (either may be null).  It inherits the launcher's standard
** handles when passHandles and they are redirected (passStandardHandles),
** and no other handle (limitInheritance).  False with the system's error
** in *error. */
static bool createProcess(WideText *line, DWORD flags, const char *directory,
                          const char *consoleTitle, bool passHandles, PROCESS_INFORMATION *info,
                          unsigned long *error) {
    WideText title, folder, program;
    STARTUPINFOEXW startup;
    std::memset(&startup, 0, sizeof startup);
    startup.StartupInfo.cb = sizeof startup.StartupInfo;
    startup.StartupInfo.lpTitle = optionalText(consoleTitle, &title);
    HANDLE handles[3];
    DWORD handleCount = passHandles ? passStandardHandles(&startup.StartupInfo, handles) : 0;
    std::vector<unsigned char> attributes;
    bool extended = false;
    BOOL inherit = limitInheritance(&startup, handles, handleCount, &attributes, &extended);
    if (extended) flags |= EXTENDED_STARTUPINFO_PRESENT;
    const wchar_t *name = programName(line->data(), &program) ? program.data() : nullptr;
    bool created = CreateProcessW(name, line->data(), nullptr, nullptr, inherit, flags, nullptr,
                                  optionalText(directory, &folder), &startup.StartupInfo,
                                  info) != 0;
    if (!created) *error = GetLastError();
    if (extended) attributeListFunctions()->remove(startup.lpAttributeList);
    return created;
}

/* ---------------------------------------------------------------------------
** The job object.
*/

/* The job the Java child runs in, made at the first start and kept open
** (and not inherited) until the launcher ends: however the launcher ends,
** the system then closes it, and closing it ends the child, which would
** otherwise hold the application's files open.  Processes the child starts
** itself leave the job silently, so that an updater or helper of the
** application outlives both (an updater replaces files the application
** held).  Null when no job can be made. */
static HANDLE childJob() {
    static HANDLE job = nullptr;
    static bool made = false;
    if (made) return job;
    made = true;
    job = CreateJobObjectW(nullptr, nullptr);
    if (job == nullptr) return nullptr;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits;
    std::memset(&limits, 0, sizeof limits);
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE |
                                              JOB_OBJECT_LIMIT_SILENT_BREAKAWAY_OK;
    if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        CloseHandle(job);
        job = nullptr;
    }
    return job;
}

/* Puts the suspended child into the job.  Where that is refused (a
** launcher that runs in a job of its own on a Windows older than 8, which
** allows no nested job) the start goes on without it, and the debug trail
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

/* ---------------------------------------------------------------------------
** Starting, waiting, the end.
*/

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
    childStarting();
    lastExitCode = 0;
    PROCESS_INFORMATION info;
    std::memset(&info, 0, sizeof info);
    if (!createProcess(&line, childCreationFlags(creationFlags) | CREATE_SUSPENDED, directory,
                       consoleTitle, true, &info, error))
        return false;
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

/* Not joined to the child's job, and asked out of any job the launcher runs
** in (a job that does not allow it refuses: the start is made again without
** the request).  A hidden console of its own (for the console exe, whose
** child shares it) and a process group of its own: no console event of the
** launcher's reaches it.  Its handles are the launcher's standard ones only
** when kept. */
bool startDetachedProcess(char *commandLine, bool keepOutput, unsigned long *processId,
                          unsigned long *error) {
    WideText line = wideText(commandLine);
    PROCESS_INFORMATION info;
    DWORD flags = CREATE_NO_WINDOW | CREATE_NEW_PROCESS_GROUP;
    unsigned long startError = ERROR_SUCCESS;
    bool started = false;
    for (DWORD away : {static_cast<DWORD>(CREATE_BREAKAWAY_FROM_JOB), static_cast<DWORD>(0)}) {
        started =
            createProcess(&line, flags | away, nullptr, nullptr, keepOutput, &info, &startError);
        if (started || startError != ERROR_ACCESS_DENIED) break;
    }
    if (!started) {
        *error = startError;
        return false;
    }
    *processId = info.dwProcessId;
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return true;
}

typedef DWORD(WINAPI *WaitForInputIdleFunction)(HANDLE, DWORD);
typedef HINSTANCE(WINAPI *ShellExecuteFunction)(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT);

/* Waits, at most milliseconds, until the child waits for the user's input;
** user32.dll is loaded for it then. */
void waitForInputIdle(ChildProcess child, unsigned long milliseconds) {
    WaitForInputIdleFunction waitIdle =
        systemFunction<WaitForInputIdleFunction>(SYSTEM_LIBRARY_USER32, "WaitForInputIdle");
    if (waitIdle != nullptr)
        waitIdle(static_cast<PROCESS_INFORMATION *>(child)->hProcess, milliseconds);
}

void waitForProcess(ChildProcess child) {
    WaitForSingleObject(static_cast<PROCESS_INFORMATION *>(child)->hProcess, INFINITE);
}

/* Kept as the last child's code, for endRequestedBySignal. */
int processExitCode(ChildProcess child) {
    DWORD code = 0;
    GetExitCodeProcess(static_cast<PROCESS_INFORMATION *>(child)->hProcess, &code);
    lastExitCode = static_cast<int>(code);
    return lastExitCode;
}

/* Closes the launcher's handles; the child runs on in its job. */
void releaseProcess(ChildProcess child) {
    PROCESS_INFORMATION *info = static_cast<PROCESS_INFORMATION *>(child);
    if (info == nullptr) return;
    CloseHandle(info->hThread);
    CloseHandle(info->hProcess);
    delete info;
}

/* Only the console exe is asked to end through its console (see
** win32_variant.h). */
bool endRequestedBySignal() { return endRequestedThroughConsole(lastExitCode); }

/* A console program's end on Ctrl-C is told by its exit code alone. */
void endLikeAnInterruptedChild() {}

/* The system's message for error, without the line break and the full stop
** it ends with, so that it stands inside a sentence. */
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

/* ---------------------------------------------------------------------------
** Consoles, the shell, the system.
*/

bool allocateConsole() { return AllocConsole() != 0; }

void setConsoleTitle(const char *title) { SetConsoleTitleW(wideText(title).data()); }

/* Hands target to the shell to open (shell32.dll loaded for it then); true
** when the shell took it on: a result above 32. */
static bool shellOpen(const char *target, const wchar_t *parameters, int show) {
    ShellExecuteFunction execute =
        systemFunction<ShellExecuteFunction>(SYSTEM_LIBRARY_SHELL32, "ShellExecuteW");
    if (execute == nullptr) return false;
    HINSTANCE result =
        execute(nullptr, L"open", wideText(target).data(), parameters, nullptr, show);
    return reinterpret_cast<INT_PTR>(result) > 32;
}

void openWithAssociatedProgram(const char *file) { shellOpen(file, L"", SW_SHOW); }

/* The shell hands the address to the browser the user chose. */
bool openWebPage(const char *url) { return shellOpen(url, nullptr, SW_SHOWNORMAL); }

/* The version as the launcher's manifest lets the system tell it (without
** one, Windows 10 and 11 say 6.2); the debug trail shows it whole. */
unsigned long osMajorVersion() {
    OSVERSIONINFOW info;
    std::memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    GetVersionExW(&info);
    if (debugTrailIsOn()) {
        char text[64];
        std::snprintf(text, sizeof text, "Windows version %lu.%lu (build %lu)\n",
                      info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber);
        writeLauncherOutput(text);
    }
    return info.dwMajorVersion;
}

unsigned long currentProcessId() { return GetCurrentProcessId(); }

/* A token that cannot be read counts as elevated: the caller then does
** without what is only safe for the user's own rights. */
bool runsElevated() {
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return true;
    TOKEN_ELEVATION elevation = {0};
    DWORD size = 0;
    BOOL known = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size);
    CloseHandle(token);
    return !known || elevation.TokenIsElevated != 0;
}

/* msvcrt's exit, so that its buffers are flushed. */
void exitProcess(int code) { std::exit(code); }

/* ---------------------------------------------------------------------------
** The environment and the search path.
*/

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

} // namespace platform
