/*
** The Windows platform: the ANSI Windows APIs and the msvcrt runtime, with
** exactly the flags and sizes the launcher has always passed.
*/
#include "platform/platform.h"
#include "platform/standard_streams.h"

#include <windows.h>
#include <shellapi.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <direct.h>
#include <io.h>
#include <sys/stat.h>

namespace platform {

const char PATH_SEPARATOR = '\\';
const char *const CLASS_PATH_SEPARATOR = ";";
const char *const JAVA_BIN_FOLDER = "\\bin";
const char *const JAVA_CONSOLE_EXECUTABLE = "\\java.exe";
const char *const JAVA_WINDOWED_EXECUTABLE = "\\javaw.exe";
const char *const URL_HANDLER_FORMAT = "rundll32 url.dll,FileProtocolHandler \"%s\"";
const int RELAUNCH_EXIT_CODE = 999;

/* Size of the runtime's error text, terminator included. */
static constexpr std::size_t ERROR_TEXT_SIZE = 80;

/* A drive-qualified path (second character a colon) with a backslash. */
std::size_t programDirectoryLength(const char *programPath) {
    if (programPath[0] == '\0' || programPath[1] != ':') return NO_PROGRAM_DIRECTORY;
    const char *last = std::strrchr(programPath, '\\');
    if (last == nullptr) return NO_PROGRAM_DIRECTORY;
    return static_cast<std::size_t>(last - programPath);
}

int messageBox(const char *text, const char *caption, unsigned type) {
    return MessageBoxA(nullptr, text, caption, type);
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
    LONG result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey, 0, access, &opened);
    *key = opened;
    return result;
}

long registryQueryValue(RegistryKey key, const char *valueName, char *data, unsigned long *size) {
    DWORD length = *size;
    LONG result = RegQueryValueExA(static_cast<HKEY>(key), valueName, nullptr, nullptr,
                                   reinterpret_cast<LPBYTE>(data), &length);
    *size = length;
    return result;
}

unsigned long registrySubKeyCount(RegistryKey key) {
    char className[260];
    DWORD classLength = sizeof className;
    DWORD subKeys = 0, maxSubKeyLength, maxClassLength, values, maxValueNameLength,
          maxValueLength, securityDescriptor;
    FILETIME lastWriteTime;
    /* The result is not tested: a failed query leaves the count at 0. */
    RegQueryInfoKeyA(static_cast<HKEY>(key), className, &classLength, nullptr, &subKeys,
                     &maxSubKeyLength, &maxClassLength, &values, &maxValueNameLength,
                     &maxValueLength, &securityDescriptor, &lastWriteTime);
    return subKeys;
}

long registryEnumSubKey(RegistryKey key, unsigned long index, char *name,
                        unsigned long *nameLength) {
    DWORD length = *nameLength;
    FILETIME lastWriteTime;
    LONG result = RegEnumKeyExA(static_cast<HKEY>(key), index, name, &length, nullptr, nullptr,
                                nullptr, &lastWriteTime);
    *nameLength = length;
    return result;
}

void registryCloseKey(RegistryKey key) {
    if (key != nullptr) RegCloseKey(static_cast<HKEY>(key));
}

bool startProcess(char *commandLine, unsigned long creationFlags, const char *directory,
                  const char *consoleTitle, ChildProcess *child, unsigned long *error) {
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    startup.lpTitle = const_cast<char *>(consoleTitle);
    PROCESS_INFORMATION info;
    std::memset(&info, 0, sizeof info);
    if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, TRUE, creationFlags, nullptr,
                        directory, &startup, &info)) {
        *error = GetLastError();
        *child = nullptr;
        return false;
    }
    PROCESS_INFORMATION *kept = new PROCESS_INFORMATION(info);
    *child = kept;
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
    return static_cast<int>(code);
}

void releaseProcess(ChildProcess child) {
    PROCESS_INFORMATION *info = static_cast<PROCESS_INFORMATION *>(child);
    if (info == nullptr) return;
    CloseHandle(info->hThread);
    CloseHandle(info->hProcess);
    delete info;
}

/* Nothing on Windows asks the launcher to end while it waits: a console's
** Ctrl-C reaches the application itself, and the launcher has no console. */
bool endRequestedBySignal() { return false; }

std::string systemErrorText(unsigned long error) {
    char *text = nullptr;
    DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, error, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    std::string result = length > 0 && text != nullptr ? std::string(text, length) : "unknown error";
    if (text != nullptr) LocalFree(text);
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r' ||
                               result.back() == ' ' || result.back() == '.'))
        result.pop_back();
    return result;
}

bool allocateConsole() { return AllocConsole() != 0; }

void setConsoleTitle(const char *title) { SetConsoleTitleA(title); }

void openWithAssociatedProgram(const char *file) {
    ShellExecuteA(nullptr, "open", file, "", nullptr, SW_SHOW);
}

unsigned long osMajorVersion() {
    OSVERSIONINFOA info;
    std::memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    GetVersionExA(&info);
    return info.dwMajorVersion;
}

unsigned long currentProcessId() { return GetCurrentProcessId(); }

/* GetEnvironmentVariableA, not getenv: msvcrt's getenv works on a copy taken
** at start-up and would miss what setEnvironment set since. */
bool getEnvironment(const char *name, std::string *value) {
    DWORD size = GetEnvironmentVariableA(name, nullptr, 0);
    if (size == 0) {
        if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return false;
        value->clear();
        return true;
    }
    for (;;) {
        std::string buffer(size, '\0');
        DWORD length = GetEnvironmentVariableA(name, &buffer[0], size);
        if (length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) return false;
        if (length < size) {
            buffer.resize(length);
            *value = buffer;
            return true;
        }
        size = length; /* it grew meanwhile: try again with the new size */
    }
}

void setEnvironment(const char *name, const char *value) { SetEnvironmentVariableA(name, value); }

/* SearchPathA over the PATH variable alone: with no folders given it would
** look in the launcher's folder, the current folder and the system folders
** first. */
bool findOnSearchPath(const char *fileName, std::string *path) {
    std::string folders;
    if (!getEnvironment("PATH", &folders) || folders.empty()) return false;
    DWORD size = SearchPathA(folders.c_str(), fileName, nullptr, 0, nullptr, nullptr);
    if (size == 0) return false;
    std::string found(size, '\0');
    DWORD length = SearchPathA(folders.c_str(), fileName, nullptr, size, &found[0], nullptr);
    if (length == 0 || length >= size) return false;
    found.resize(length);
    *path = found;
    return true;
}

void exitProcess(int code) { std::exit(code); }

/* A GUI program: its lines go wherever its standard output leads, as they
** always have (they are seen only when redirected). */
bool standardOutputIsTerminal() { return false; }

struct TextFile {
    FILE *stream;
};

bool fileExists(const char *path) { return _access(path, 0) == 0; }

/* The full path in upper case: file names do not differ by case here. */
std::string fileIdentity(const char *path) {
    DWORD size = GetFullPathNameA(path, 0, nullptr, nullptr);
    if (size == 0) return path;
    std::string full(size, '\0');
    DWORD length = GetFullPathNameA(path, size, &full[0], nullptr);
    if (length == 0 || length >= size) return path;
    full.resize(length);
    CharUpperBuffA(&full[0], length);
    return full;
}

TextFile *openTextFile(const char *path, const char *mode, int *error) {
    FILE *stream = nullptr;
    errno_t result = fopen_s(&stream, path, mode);
    if (result != 0 || stream == nullptr) {
        *error = result != 0 ? result : errno;
        return nullptr;
    }
    return new TextFile{stream};
}

/* Reads byte by byte so a NUL inside a line cannot merge it with the next;
** text mode has already turned CR LF into LF. */
bool readTextLine(TextFile *file, std::string *line) {
    line->clear();
    int c;
    while ((c = std::getc(file->stream)) != EOF) {
        *line += static_cast<char>(c);
        if (c == '\n') break;
    }
    return !line->empty();
}

void writeText(TextFile *file, const std::string &text) {
    std::fwrite(text.data(), 1, text.size(), file->stream);
}

void closeTextFile(TextFile *file) {
    std::fflush(file->stream);
    std::fclose(file->stream);
    delete file;
}

/* Only a disk file counts: a device such as COM1 or a pipe could make the
** read wait for ever. */
bool readFileStart(const char *path, std::size_t limit, std::string *bytes) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
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

int changeDirectory(const char *directory) { return _chdir(directory); }

bool currentDirectory(char *buffer, std::size_t size) {
    if (_getcwd(buffer, static_cast<int>(size)) == nullptr) {
        if (size > 0) buffer[0] = '\0';
        return false;
    }
    return true;
}

} // namespace platform
