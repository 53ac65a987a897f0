#include "config/config.h"

#include "platform/platform.h"

#include <string>

/* Reading configuration lines is not built yet: only a missing file, which
** is no error, is handled.  An existing file is named on standard error so
** nobody mistakes it for having been applied. */
int readAppConfig(const char *path) {
    if (!platform::fileExists(path)) return 0;
    platform::writeStandardError(std::string("Configuration files are not read by this "
                                             "build yet; ignored: ") + path + "\n");
    return 0;
}
