/*
** What the shared standard-stream functions (standard_streams.cpp) ask of
** each system's own platform file.  Not part of the platform interface.
*/
#ifndef TARNWICK_STANDARD_STREAMS_H
#define TARNWICK_STANDARD_STREAMS_H

namespace platform {

/* True when the launcher's own standard-output lines would land in the
** user's terminal, mixed with the application's output. */
bool standardOutputIsTerminal();

/* True once start-up has turned the debug trail (-d) on, for the platform's
** own debug lines. */
bool debugTrailIsOn();

} // namespace platform

#endif
