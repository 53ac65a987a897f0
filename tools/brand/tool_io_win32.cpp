/*
** The tools' files and arguments on Windows: the command line is read in
** UTF-16 and handed on in UTF-8, and every path goes back to UTF-16 for the
** wide-character file functions, so names outside the ANSI code page work.
*/
#include "tools/brand/tool_io.h"
#include "tools/brand/tool_io_read.h"

#include <windows.h>
#include <shellapi.h>

#include <cwchar>

namespace tool_io {

/* length UTF-16 units to UTF-8; an empty result when they cannot be
** converted. */
static std::string narrow(const wchar_t *text, int length) {
    if (length == 0) return std::string();
    int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return std::string();
    std::string result(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, &result[0], size, nullptr, nullptr);
    return result;
}

/* An empty result for text that is not UTF-8, which no file is named. */
static std::wstring widen(const std::string &text) {
    if (text.empty()) return std::wstring();
    int length = static_cast<int>(text.size());
    int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, nullptr, 0);
    if (size <= 0) return std::wstring();
    std::wstring result(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, &result[0], size);
    return result;
}

/* The system's text for an error code, without the line break it ends in. */
static std::string errorText(DWORD error) {
    wchar_t *buffer = nullptr;
    DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t *>(&buffer), 0, nullptr);
    std::string text = length != 0 ? narrow(buffer, static_cast<int>(length))
                                   : "system error " + std::to_string(error);
    if (buffer != nullptr) LocalFree(buffer);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

/* The ANSI argv stands in only if the wide command line cannot be split. */
std::vector<std::string> toolArguments(int argc, char **argv) {
    std::vector<std::string> args;
    int count = 0;
    wchar_t **wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) {
        for (int i = 1; i < argc; ++i) args.push_back(argv[i]);
        return args;
    }
    for (int i = 1; i < count; ++i)
        args.push_back(narrow(wide[i], static_cast<int>(std::wcslen(wide[i]))));
    LocalFree(wide);
    return args;
}

/* One read of at most capacity bytes: the count read, 0 at the end, or -1
** with the cause in *error. */
static long long readChunk(HANDLE file, char *buffer, std::size_t capacity, DWORD *error) {
    DWORD got = 0;
    if (ReadFile(file, buffer, static_cast<DWORD>(capacity), &got, nullptr)) return got;
    *error = GetLastError();
    return -1;
}

ReadOutcome readWholeFile(const std::string &path, std::size_t limit, std::string *bytes,
                          std::string *systemError) {
    bytes->clear();
    std::wstring name = widen(path);
    DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return READ_NOT_A_FILE;
    HANDLE file = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *systemError = errorText(GetLastError());
        return READ_FAILED;
    }
    LARGE_INTEGER size;
    ReadOutcome outcome = READ_NOT_A_FILE;
    DWORD error = ERROR_SUCCESS;
    if (GetFileType(file) == FILE_TYPE_DISK && GetFileSizeEx(file, &size)) {
        auto readNext = [&](char *buffer, std::size_t capacity) {
            return readChunk(file, buffer, capacity, &error);
        };
        outcome =
            readInChunks(static_cast<unsigned long long>(size.QuadPart), limit, bytes, readNext);
    }
    if (outcome == READ_FAILED) *systemError = errorText(error);
    CloseHandle(file);
    return outcome;
}

/* A file is known by its volume and its index on the volume. */
static bool fileIndex(const std::string &path, BY_HANDLE_FILE_INFORMATION *info) {
    HANDLE file = CreateFileW(widen(path).c_str(), 0,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool known = GetFileInformationByHandle(file, info) != 0;
    CloseHandle(file);
    return known;
}

bool sameFile(const std::string &first, const std::string &second) {
    BY_HANDLE_FILE_INFORMATION a, b;
    if (!fileIndex(first, &a) || !fileIndex(second, &b)) return false;
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

/* Writes every byte, going on after partial writes. */
static bool writeAll(HANDLE file, const std::string &bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD chunk =
            static_cast<DWORD>(bytes.size() - done < IO_CHUNK ? bytes.size() - done : IO_CHUNK);
        DWORD written = 0;
        if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0)
            return false;
        done += written;
    }
    return true;
}

/* The temporary file while it exists, for the console handler. */
static const wchar_t *volatile temporaryToRemove = nullptr;

/* Ctrl-C, Ctrl-Break or a closing console: the file, opened for sharing
** deletion, goes when the tool's handle closes as the tool ends. */
static BOOL WINAPI removeTemporary(DWORD) {
    const wchar_t *path = temporaryToRemove;
    if (path != nullptr) DeleteFileW(path);
    return FALSE;
}

/* How many names are tried before giving up on a folder where each exists
** already: far more than two tools writing one folder at once could use. */
static const unsigned TEMPORARY_NAME_ATTEMPTS = 64;

/* Beside path: its folder as written (a drive's current folder for "C:x"),
** then ".tarnwick-" and eight hexadecimal digits. */
static std::wstring temporaryName(const std::string &path, unsigned attempt) {
    std::size_t slash = path.find_last_of("\\/");
    std::string folder = slash != std::string::npos           ? path.substr(0, slash + 1)
                         : path.size() >= 2 && path[1] == ':' ? path.substr(0, 2)
                                                              : std::string();
    DWORD mixed = (GetCurrentProcessId() * 2654435761u) ^ GetTickCount() ^ (attempt * 40503u);
    std::wstring name = widen(folder) + L".tarnwick-";
    for (int shift = 28; shift >= 0; shift -= 4)
        name += L"0123456789abcdef"[(mixed >> shift) & 0xF];
    return name;
}

/* CREATE_NEW never takes over a file that exists.  The data reach the disk
** before the file takes the output's name. */
bool writeFileReplacing(const std::string &path, const std::string &bytes, const std::string &,
                        std::string *systemError) {
    std::wstring target = widen(path);
    std::wstring temporary;
    HANDLE file = INVALID_HANDLE_VALUE;
    DWORD error = ERROR_FILE_EXISTS;
    SetConsoleCtrlHandler(removeTemporary, TRUE);
    for (unsigned attempt = 0; attempt < TEMPORARY_NAME_ATTEMPTS && error == ERROR_FILE_EXISTS;
         ++attempt) {
        temporary = temporaryName(path, attempt);
        file = CreateFileW(temporary.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        error = file == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
    }
    bool done = file != INVALID_HANDLE_VALUE;
    if (done) {
        temporaryToRemove = temporary.c_str();
        if (!writeAll(file, bytes) || !FlushFileBuffers(file)) {
            done = false;
            error = GetLastError();
        }
        if (!CloseHandle(file) && done) {
            done = false;
            error = GetLastError();
        }
        if (done && !MoveFileExW(temporary.c_str(), target.c_str(),
                                 MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            done = false;
            error = GetLastError();
        }
        if (!done) DeleteFileW(temporary.c_str());
        temporaryToRemove = nullptr;
    }
    SetConsoleCtrlHandler(removeTemporary, FALSE);
    if (!done) *systemError = errorText(error);
    return done;
}

} // namespace tool_io
