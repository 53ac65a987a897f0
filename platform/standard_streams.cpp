/*
** The clock and the standard streams, through the C runtime, the same on
** every system the launcher runs on (the test double has its own).
*/
#include "platform/platform.h"
#include "platform/standard_streams.h"

#include <cstdio>
#include <ctime>

namespace platform {

/* Set by start-up from the -d option (after the quiet rule). */
static bool debugTrailOn = false;

/* Whole seconds since the epoch; only differences are used. */
long long wallClockSeconds() { return static_cast<long long>(std::time(nullptr)); }

void setDebugTrail(bool on) { debugTrailOn = on; }

bool debugTrailIsOn() { return debugTrailOn; }

/* The launcher's own lines stay off a terminal unless the debug trail asks
** for them. */
void writeLauncherOutput(const std::string &text) {
    std::FILE *stream = launcherOutputStream();
    if (!debugTrailOn && streamIsTerminal(stream)) return;
    writeToStream(stream, text);
}

void writeStandardError(const std::string &text) { writeToStream(stderr, text); }

} // namespace platform
