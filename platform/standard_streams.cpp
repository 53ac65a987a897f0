/*
** The clock and the standard streams, through the C runtime, the same on
** every system the launcher runs on (the test double has its own).
*/
#include "platform/platform.h"

#include <cstdio>
#include <ctime>

namespace platform {

/* Whole seconds since the epoch; only differences are used. */
long long wallClockSeconds() { return static_cast<long long>(std::time(nullptr)); }

/* Both are flushed at once, so they keep their order with anything else the
** launcher prints and stand before the child's output. */
void writeStandardOutput(const std::string &text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

void writeStandardError(const std::string &text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

} // namespace platform
