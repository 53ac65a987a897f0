/*
** The Windows platform: the wide-character Windows APIs and the msvcrt
** runtime.  The launcher's text is UTF-8: it becomes UTF-16 on its way into
** the system and UTF-8 again on its way out, so that folders, arguments,
** variables and registry values outside the ANSI code page arrive whole.
**
** This file holds the constants, the text conversions that the Windows
** files share (win32_text.h), the launcher's own file, files and folders,
** and the user's cache.  The registry is in win32_registry.cpp; the child,
** the console and the environment in win32_process.cpp; what differs
** between tarnwick.exe and tarnwick-console.exe in win32_windowed.cpp and
** win32_console.cpp.
*/
#include "platform/platform.h"
#include "platform/text_decoding.h"
#include "platform/win32_text.h"
#include "platform/windows_paths.h"

#include <windows.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <direct.h>
#include <io.h>
#include <string>
#include <vector>

namespace platform {

/* ---------------------------------------------------------------------------
** Constants.
*/

const char PATH_SEPARATOR = '\\';
const char *const CLASS_PATH_SEPARATOR = ";";
const char *const JAVA_BIN_FOLDER = "\\bin";
const int RELAUNCH_EXIT_CODE = 999;

/* Windows names hold neither a double quote nor a tab. */
bool namesMayHoldQuotesAndTabs() { return false; }

/* Size of the runtime's error text, terminator included. */
static constexpr std::size_t ERROR_TEXT_SIZE = 80;

/* A file is read for a configuration in pieces of this many bytes. */
static constexpr std::size_t FILE_READ_CHUNK = 64 * 1024;

/* The longest path the system hands out, in UTF-16 units. */
static constexpr DWORD LONGEST_PATH_UNITS = 32768;

/* ---------------------------------------------------------------------------
** UTF-8 and UTF-16.
*/

/* A text the system cannot convert becomes the empty text. */
WideText wideText(const char *text) {
    int units = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    WideText wide(units > 0 ? static_cast<std::size_t>(units) : 1, L'\0');
    if (units > 0) MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), units);
    return wide;
}

/* Null stays null. */
wchar_t *optionalText(const char *text, WideText *wide) {
    if (text == nullptr) return nullptr;
    *wide = wideText(text);
    return wide->data();
}

/* Empty for a text longer than the conversion functions take (INT_MAX units). */
std::string utf8Text(const wchar_t *text, std::size_t length) {
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

/* ---------------------------------------------------------------------------
** The launcher's own file.
*/

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

/* path in its long form, every 8.3 name in it (MY_A~R0F.EXE) replaced by
** the long name it stands for.  path itself when it holds no '~', the mark
** of an 8.3 name (so that the letter case the caller wrote stays, which
** Wine's long form would change), or when the system cannot tell (a folder
** on the way that may not be listed). */
static WideText longPathName(const WideText &path) {
    if (wcschr(path.data(), L'~') == nullptr) return path;
    DWORD size = GetLongPathNameW(path.data(), nullptr, 0);
    if (size == 0) return path;
    WideText longer(size);
    DWORD length = GetLongPathNameW(path.data(), longer.data(), size);
    if (length == 0 || length >= size) return path;
    longer.resize(length + 1);
    return longer;
}

/* The launcher's own file as the system loaded it, in its long form, with
** the \\?\ prefix of a long path taken off (\\?\C:\x becomes C:\x,
** \\?\UNC\srv\x becomes \\srv\x) so that its folder is found as for
** any other path. */
static bool moduleFileName(std::string *path) {
    for (DWORD units = 256; units <= LONGEST_PATH_UNITS; units *= 2) {
        WideText loaded(units);
        DWORD length = GetModuleFileNameW(nullptr, loaded.data(), units);
        if (length == 0) return false;
        if (length >= units) continue; /* cut: try a larger buffer */
        loaded.resize(length + 1);
        WideText name = longPathName(loaded);
        wchar_t *start = name.data();
        if (wcsncmp(start, L"\\\\?\\UNC\\", 8) == 0) {
            start += 6;
            *start = L'\\';
        } else if (wcsncmp(start, L"\\\\?\\", 4) == 0) {
            start += 4;
        }
        *path = utf8Text(start, wcslen(start));
        return true;
    }
    return false;
}

/* C:x is taken from the current folder of drive C:, not from this one. */
bool pathIsRelative(const char *path) {
    if (path[0] == '\\' || path[0] == '/') return false;
    return path[0] == '\0' || path[1] != ':';
}

/* The file Windows loaded decides, never the command line's first word: a
** caller that wrote C:\p\My Apps\Demo.exe without quotes hands over C:\p\My
** as that word. */
std::string launcherProgramPath(const char *argv0) {
    std::string path;
    if (!moduleFileName(&path)) return argv0;
    return path;
}

const bool FILE_NAMES_IGNORE_CASE = true;

/* ---------------------------------------------------------------------------
** Files and directories.
*/

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

/* Any regular file may be started: whether it is a program is the system's
** to say when it is. */
bool isExecutableFile(const char *path) { return isRegularFile(path); }

/* The full path in upper case: file names do not differ by case here.  The
** invariant mapping, as the file system's own does not depend on the user's
** language. */
std::string fileIdentity(const char *path) {
    WideText name = wideText(path);
    DWORD size = GetFullPathNameW(name.data(), 0, nullptr, nullptr);
    if (size == 0) return path;
    WideText full(size);
    DWORD length = GetFullPathNameW(name.data(), size, full.data(), nullptr);
    if (length == 0 || length >= size) return path;
    WideText upper(length);
    int mapped = LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, full.data(),
                              static_cast<int>(length), upper.data(), static_cast<int>(length));
    if (mapped != static_cast<int>(length)) return path;
    return utf8Text(upper.data(), length);
}

/* Reads a configuration whole and decodes it (see text_decoding.h).  Only
** a disk file is read: a device such as COM1 or AUX, or a pipe, could make
** the read wait for ever, so it fails to open with EACCES, as a folder
** does; a name in the device namespace is refused before it is opened,
** since opening a pipe connects to it.  A read error ends the text where
** it happened: what came before it is read. */
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
    TextFile *file =
        new TextFile{nullptr, textModeContent(bytes), 0, fileEncodingName(FILE_ENCODING_UTF8)};
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
bool readTextLine(TextFile *file, std::string *line) {
    return nextTextLine(file->text, &file->next, line);
}

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

/* At most length bytes of a disk file from offset on, into *bytes cut to
** what was read, while other processes may do what sharing lets them.
** Only a disk file counts: a device such as COM1 or a pipe could make the
** read wait for ever.  False when the file cannot be opened or is no disk
** file. */
static bool readDiskFile(const char *path, unsigned long long offset, std::size_t length,
                         DWORD sharing, std::string *bytes) {
    if (isDeviceNamespacePath(path)) return false;
    HANDLE file = CreateFileW(wideText(path).data(), GENERIC_READ, sharing, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    if (GetFileType(file) != FILE_TYPE_DISK || !SetFilePointerEx(file, at, nullptr, FILE_BEGIN)) {
        CloseHandle(file);
        return false;
    }
    bytes->assign(length, '\0');
    std::size_t filled = 0;
    while (filled < length) {
        DWORD got = 0;
        if (!ReadFile(file, &(*bytes)[filled], static_cast<DWORD>(length - filled), &got,
                      nullptr) ||
            got == 0)
            break;
        filled += got;
    }
    CloseHandle(file);
    bytes->resize(filled);
    return true;
}

bool readFileStart(const char *path, std::size_t limit, std::string *bytes) {
    return readDiskFile(path, 0, limit, FILE_SHARE_READ | FILE_SHARE_WRITE, bytes);
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

/* ---------------------------------------------------------------------------
** The user's own files.
*/

/* java.exe and javaw.exe take their arguments in the ANSI code page. */
const bool JAVA_ARGUMENTS_IN_CODE_PAGE = true;

/* FILETIME counts 100 ns from 1601; this many of them lie before 1970. */
static constexpr long long FILETIME_UNITS_BEFORE_1970 = 116444736000000000LL;

bool userCacheFolder(std::string *folder) {
    return getEnvironment("LOCALAPPDATA", folder) && !folder->empty();
}

/* The security identifier of the user the launcher runs as, from its
** token, in a buffer of DWORDs (aligned as a SID must be). */
static bool userSid(std::vector<DWORD> *sid) {
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<DWORD> user(size / sizeof(DWORD) + 1);
    bool known = GetTokenInformation(token, TokenUser, user.data(), size, &size) != 0;
    CloseHandle(token);
    if (!known) return false;
    PSID own = reinterpret_cast<TOKEN_USER *>(user.data())->User.Sid;
    sid->assign(GetLengthSid(own) / sizeof(DWORD) + 1, 0);
    return CopySid(static_cast<DWORD>(sid->size() * sizeof(DWORD)), sid->data(), own) != 0;
}

/* Neither the owner nor the access list is read (see platform.h). */
bool folderAccess(const char *path, FolderAccess *access) {
    DWORD attributes = GetFileAttributesW(wideText(path).data());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        return false;
    *access = FolderAccess{true, false, false, false};
    return true;
}

/* One entry, the user's, inherited by every file and folder made inside;
** protected, so that the entries of the folders above are not added. */
bool makeUserFolder(const char *path) {
    std::vector<DWORD> sid;
    if (!userSid(&sid)) return false;
    DWORD aclSize = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(sid.data());
    std::vector<DWORD> aclBuffer(aclSize / sizeof(DWORD) + 1);
    PACL acl = reinterpret_cast<PACL>(aclBuffer.data());
    SECURITY_DESCRIPTOR descriptor;
    if (!InitializeAcl(acl, aclSize, ACL_REVISION) ||
        !AddAccessAllowedAceEx(acl, ACL_REVISION, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE,
                               FILE_ALL_ACCESS, sid.data()) ||
        !InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE) ||
        !SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
        return false;
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, &descriptor, FALSE};
    return CreateDirectoryW(wideText(path).data(), &attributes) != 0;
}

bool freeSpace(const char *folder, unsigned long long *bytes) {
    ULARGE_INTEGER available;
    if (!GetDiskFreeSpaceExW(wideText(folder).data(), &available, nullptr, nullptr)) return false;
    *bytes = available.QuadPart;
    return true;
}

bool fileFacts(const char *path, FileFacts *facts) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(wideText(path).data(), GetFileExInfoStandard, &data)) return false;
    facts->isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    facts->size = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    long long units = static_cast<long long>(
        (static_cast<unsigned long long>(data.ftLastWriteTime.dwHighDateTime) << 32) |
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

/* CREATE_NEW: the system makes the file or refuses, whoever else tries.  A
** file that could not be written whole is removed again. */
bool createNewFile(const char *path, const std::string &content) {
    WideText wide = wideText(path);
    HANDLE file = CreateFileW(wide.data(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool whole =
        content.empty() ||
        (WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
         written == content.size());
    if (!CloseHandle(file)) whole = false;
    if (!whole) DeleteFileW(wide.data());
    return whole;
}

/* The file may also be deleted or renamed while it is read. */
bool readFileRange(const char *path, unsigned long long offset, std::size_t length,
                   std::string *bytes) {
    DWORD sharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    return readDiskFile(path, offset, length, sharing, bytes) && bytes->size() == length;
}

/* Fails while another process has it open (a runtime that maps it): the
** caller then keeps the file that is there. */
bool replaceFile(const char *from, const char *to) {
    return MoveFileExW(wideText(from).data(), wideText(to).data(), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool removeFile(const char *path) { return DeleteFileW(wideText(path).data()) != 0; }

} // namespace platform
