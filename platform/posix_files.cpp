/*
** Files and folders on Linux and macOS.  Configurations and the launcher's
** output file are read and written only when they are regular files, so
** that a FIFO or a device never holds the launcher; a configuration with a
** UTF-16 byte-order mark is decoded as on Windows.  Besides: the current
** folder, and the user's cache folder with the files the fast start keeps
** there.
*/
#include "platform/platform.h"

#include "platform/posix_files.h"
#include "platform/text_decoding.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/types.h>
#include <unistd.h>

namespace platform {

/* strerror_s is given an 80-byte buffer on Windows. */
static const std::size_t RUNTIME_ERROR_TEXT_LENGTH = 79;

/* ---------------------------------------------------------------------------
** Files and directories.
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

/* Anything that exists counts, a folder included, as _waccess(path, 0). */
bool fileExists(const char *path) { return access(path, F_OK) == 0; }

/* Links are followed: a runtime's bin/java is often one. */
bool isRegularFile(const char *path) {
    struct stat info;
    return stat(path, &info) == 0 && S_ISREG(info.st_mode);
}

bool isExecutableFile(const char *path) { return isRegularFile(path) && access(path, X_OK) == 0; }

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
    if (size >= 2 && (*line)[size - 1] == '\n' && (*line)[size - 2] == '\r')
        line->erase(size - 2, 1);
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

/* At most length bytes of a regular file from offset on, into *bytes cut
** to what was read.  Opened without blocking, so that a FIFO with no writer
** cannot hold the launcher; anything but a regular file is refused before a
** byte is read.  False when the file cannot be opened or is not regular. */
static bool readRegularFile(const char *path, unsigned long long offset, std::size_t length,
                            std::string *bytes) {
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return false;
    }
    bytes->assign(length, '\0');
    std::size_t filled = 0;
    while (filled < length) {
        ssize_t got =
            pread(fd, &(*bytes)[filled], length - filled, static_cast<off_t>(offset + filled));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        filled += static_cast<std::size_t>(got);
    }
    close(fd);
    bytes->resize(filled);
    return true;
}

bool readFileStart(const char *path, std::size_t limit, std::string *bytes) {
    return readRegularFile(path, 0, limit, bytes);
}

/* strerror, cut as the 80-byte buffer of strerror_s would cut it. */
std::string runtimeErrorText(int error) {
    std::string text = std::strerror(error);
    if (text.size() > RUNTIME_ERROR_TEXT_LENGTH) text.resize(RUNTIME_ERROR_TEXT_LENGTH);
    return text;
}

/* 0 on success, -1 otherwise, as _wchdir answers. */
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

/* stat follows links: what counts is the folder a path leads to.  Group
** write counts as others': the launcher cannot tell who is in the group. */
bool folderAccess(const char *path, FolderAccess *access) {
    struct stat info;
    if (stat(path, &info) != 0 || !S_ISDIR(info.st_mode)) return false;
    access->ownedByUser = info.st_uid == geteuid();
    access->ownedBySystem = info.st_uid == 0;
    access->othersMayWrite = (info.st_mode & (S_IWGRP | S_IWOTH)) != 0;
    access->othersMayOnlyAdd = (info.st_mode & S_ISVTX) != 0;
    return true;
}

/* 0700, as the XDG rules ask of a cache folder: mkdir applies the umask,
** which may take even the user's bits away, so the mode is set again. */
bool makeUserFolder(const char *path) { return mkdir(path, 0700) == 0 && chmod(path, 0700) == 0; }

/* What an unprivileged user may still write (f_bavail, not f_bfree). */
bool freeSpace(const char *folder, unsigned long long *bytes) {
    struct statvfs info;
    if (statvfs(folder, &info) != 0) return false;
    *bytes = static_cast<unsigned long long>(info.f_bavail) * info.f_frsize;
    return true;
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

bool writeWhole(int fd, const std::string &bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t written = write(fd, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        done += static_cast<std::size_t>(written);
    }
    return true;
}

/* O_EXCL: the system makes the file or refuses, whoever else tries.  A file
** that could not be written whole is removed again. */
bool createNewFile(const char *path, const std::string &content) {
    int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    bool written = writeWhole(fd, content);
    if (close(fd) != 0) written = false;
    if (!written) unlink(path);
    return written;
}

bool readFileRange(const char *path, unsigned long long offset, std::size_t length,
                   std::string *bytes) {
    return readRegularFile(path, offset, length, bytes) && bytes->size() == length;
}

bool replaceFile(const char *from, const char *to) { return rename(from, to) == 0; }

bool removeFile(const char *path) { return unlink(path) == 0; }

} // namespace platform
