/*
** The tools' files and arguments on Linux and macOS: arguments arrive in
** the user's encoding, taken to be UTF-8.
*/
#include "tools/brand/tool_io.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tool_io {

/* Bytes read or written per call. */
static const std::size_t IO_CHUNK = 64 * 1024;

/* Permissions of a new file before the umask, as for any file a user makes. */
static const mode_t NEW_FILE_MODE = 0666;

std::vector<std::string> toolArguments(int argc, char **argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; i++) args.push_back(argv[i]);
    return args;
}

/* Reads at most limit + 1 bytes, so a file that grows while it is read is
** still caught at the limit. */
ReadOutcome readWholeFile(const std::string &path, std::size_t limit, std::string *bytes,
                          std::string *systemError) {
    bytes->clear();
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK);
    if (fd < 0) {
        *systemError = std::strerror(errno);
        return READ_FAILED;
    }
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return READ_NOT_A_FILE;
    }
    if (static_cast<unsigned long long>(info.st_size) > limit) {
        close(fd);
        return READ_TOO_LARGE;
    }
    char buffer[IO_CHUNK];
    for (;;) {
        ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            *systemError = std::strerror(errno);
            close(fd);
            return READ_FAILED;
        }
        if (got == 0) break;
        bytes->append(buffer, static_cast<std::size_t>(got));
        if (bytes->size() > limit) {
            close(fd);
            return READ_TOO_LARGE;
        }
    }
    close(fd);
    return READ_DONE;
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

/* The temporary name carries the process id, so two tools writing the
** same output never share one; O_EXCL never takes over a file that exists. */
bool writeFileReplacing(const std::string &path, const std::string &bytes, std::string *systemError) {
    std::string temporary = path + ".tmp" + std::to_string(static_cast<long>(getpid()));
    int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL, NEW_FILE_MODE);
    if (fd < 0) {
        *systemError = std::strerror(errno);
        return false;
    }
    bool written = writeAll(fd, bytes);
    int error = errno;
    if (close(fd) != 0 && written) {
        written = false;
        error = errno;
    }
    if (written && std::rename(temporary.c_str(), path.c_str()) == 0) return true;
    if (written) error = errno;
    *systemError = std::strerror(error);
    unlink(temporary.c_str());
    return false;
}

} // namespace tool_io
