/*
** The part of reading a whole file that every system shares: the size the
** system reports checked against the limit, then the file read chunk by
** chunk to its end, the limit checked again as the bytes arrive.
** tool_io_posix.cpp and tool_io_win32.cpp open the file and do the reads.
*/
#ifndef TARNWICK_TOOL_IO_READ_H
#define TARNWICK_TOOL_IO_READ_H

#include "tools/brand/tool_io.h"

#include <cstddef>
#include <string>

namespace tool_io {

/* Bytes read or written per call. */
constexpr std::size_t IO_CHUNK = 64 * 1024;

/* Reads into *bytes (empty) a regular file whose size the system reports as
** reportedSize, through readChunk(buffer, capacity), which reads at most
** capacity bytes into buffer and returns how many, 0 at the end of the file,
** or a negative number when the read fails (READ_FAILED).  A file reported
** larger than limit is not read at all; one that grows past limit while it
** is read stops at the chunk that takes it past: READ_TOO_LARGE either way. */
template <typename ReadChunk>
ReadOutcome readInChunks(unsigned long long reportedSize, std::size_t limit, std::string *bytes,
                         ReadChunk readChunk) {
    if (reportedSize > limit) return READ_TOO_LARGE;
    bytes->reserve(static_cast<std::size_t>(reportedSize));
    std::string buffer(IO_CHUNK, '\0');
    for (;;) {
        long long got = readChunk(&buffer[0], buffer.size());
        if (got < 0) return READ_FAILED;
        if (got == 0) return READ_DONE;
        bytes->append(buffer, 0, static_cast<std::size_t>(got));
        if (bytes->size() > limit) return READ_TOO_LARGE;
    }
}

} // namespace tool_io

#endif
