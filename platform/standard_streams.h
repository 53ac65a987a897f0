/*
** What the shared standard-stream functions (standard_streams.cpp) ask of
** each system's own platform file.  Not part of the platform interface.
*/
#ifndef TARNWICK_STANDARD_STREAMS_H
#define TARNWICK_STANDARD_STREAMS_H

#include <cstdio>
#include <string>

namespace platform {

/* The stream of the launcher's own lines: standard output of the windowed
** exe, standard error elsewhere. */
std::FILE *launcherOutputStream();

/* True when stream leads to the user's terminal (a console), where the
** launcher's own lines would mix with the application's output. */
bool streamIsTerminal(std::FILE *stream);

/* Writes text to stream and flushes it. */
void writeToStream(std::FILE *stream, const std::string &text);

/* True once start-up has turned the debug trail (-d) on, for the platform's
** own debug lines. */
bool debugTrailIsOn();

} // namespace platform

#endif
