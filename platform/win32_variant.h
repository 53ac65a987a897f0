/*
** What differs between the two Windows launchers, chosen at link time:
** win32_windowed.cpp makes tarnwick.exe (a windowed program that talks in
** message boxes), win32_console.cpp makes tarnwick-console.exe (a console
** program for command-line tools, whose child shares its console).  Besides
** these, each defines the parts of the platform interface that differ:
** messageBox, the runtime's executable names and the stream of the
** launcher's own lines (standard_streams.h).  Not part of the platform
** interface.
*/
#ifndef TARNWICK_WIN32_VARIANT_H
#define TARNWICK_WIN32_VARIANT_H

/* Both variants write through the wide functions too. */
#include "platform/win32_text.h"

namespace platform {

/* The creation flags a child is started with, from those the caller asks
** for. */
unsigned long childCreationFlags(unsigned long requested);

/* Called just before each child is started. */
void childStarting();

/* Whether the end of the last child, with exitCode, was asked for through
** the console while it ran. */
bool endRequestedThroughConsole(int exitCode);

} // namespace platform

#endif
