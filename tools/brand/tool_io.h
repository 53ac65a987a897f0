/*
** What tarnwick-brand needs from the system: its arguments in UTF-8 and
** whole files read and written.  The launcher does not use this, so it lives
** with the tool; tool_io_posix.cpp and tool_io_win32.cpp are chosen at link
** time.
**
** Every path and argument is UTF-8, so a name like "Müller App.exe" is the
** same on every system (on Windows the wide-character interfaces are used
** underneath).
*/
#ifndef TARNWICK_TOOL_IO_H
#define TARNWICK_TOOL_IO_H

#include <cstddef>
#include <string>
#include <vector>

namespace tool_io {

/* The arguments after the program's name, in UTF-8. */
std::vector<std::string> toolArguments(int argc, char **argv);

enum ReadOutcome { READ_DONE, READ_FAILED, READ_NOT_A_FILE, READ_TOO_LARGE };

/* Reads a whole regular file of at most limit bytes into *bytes.  On
** READ_FAILED *systemError holds the system's text for the cause; a folder
** or device gives READ_NOT_A_FILE, a larger file READ_TOO_LARGE. */
ReadOutcome readWholeFile(const std::string &path, std::size_t limit, std::string *bytes,
                          std::string *systemError);

/* True when both paths name one existing file, however they are written
** (links, letter case, relative or absolute). */
bool sameFile(const std::string &first, const std::string &second);

/* Writes bytes to path as a whole or not at all: into a new temporary file
** with a short unique name in path's folder (so that any name path may have
** still leaves room for it), flushed to disk, which then replaces path.  The
** new file keeps the permission bits of a file it replaces, or takes those
** of modeFrom, less the umask (Linux and macOS).  On failure the temporary
** file is removed, path is as it was, and *systemError holds the system's
** text for the cause; an interrupt or a request to end (Ctrl-C, SIGTERM,
** SIGHUP, closing the console) removes it too before the tool ends. */
bool writeFileReplacing(const std::string &path, const std::string &bytes,
                        const std::string &modeFrom, std::string *systemError);

} // namespace tool_io

#endif
