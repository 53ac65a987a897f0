/*
** What posix_files.cpp shares with the other files of the POSIX platform.
** Not part of the platform interface.
*/
#ifndef TARNWICK_POSIX_FILES_H
#define TARNWICK_POSIX_FILES_H

#include <string>

namespace platform {

/* Writes all of bytes to fd, going on after short writes and
** interruptions.  False when a write fails. */
bool writeWhole(int fd, const std::string &bytes);

} // namespace platform

#endif
