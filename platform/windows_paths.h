/*
** How Windows reads two kinds of path text: a name in the device namespace,
** and the folder list of PATH.  Portable, so that the rules are tested on
** every system; the Windows platform and the test double use them.
*/
#ifndef TARNWICK_WINDOWS_PATHS_H
#define TARNWICK_WINDOWS_PATHS_H

#include <string>
#include <vector>

namespace platform {

/* True when path begins with \\.\ or \\?\ (either slash) and what follows
** is not a drive-qualified path (C:\...), a UNC path (UNC\server\...) or a
** path on a volume (Volume{...}\...): a device or a pipe such as \\.\NUL,
** \\.\COM1, \\?\NUL or \\.\pipe\name, never a file on a disk. */
bool isDeviceNamespacePath(const char *path);

/* The folders of a PATH value as cmd.exe reads them: ';' separates them
** except between double quotes, the quotes themselves are removed, and
** empty folders are left out. */
std::vector<std::string> searchPathFolders(const std::string &value);

} // namespace platform

#endif
