#include "config/config.h"

#include "core/settings.h"
#include "core/text.h"
#include "platform/platform.h"

const char *const SAMPLE_CONFIG_NAME = "sample.config";

/* Everything after the first line, which names the version.  Kept byte for
** byte, its typing slips included ("text.config", "instanceof"): users and
** scripts compare their files with it. */
static const char SAMPLE_BODY[] =
    "\n"
    "# Remove the '#' to uncomment a line\n"
    "\n"
    "# Rename this file to the same name as the .exe (if test.exe then rename to text.config\n"
    "\n"
    "# To set what the main class to run is, use:\n"
    "#mainclass <main class>\n"
    "\n"
    "# Configuring the class path\n"
    "# To add a folder to the classpath, use:\n"
    "#addpath <folder>\n"
    "# To add all jars in a folder, use:\n"
    "#addjars <folder>\n"
    "# To add a single jar, use:\n"
    "#addjar <jarfile>\n"
    "\n"
    "# To set VM parameters like -D options use:\n"
    "#vmparam <-Dsomething=true>\n"
    "\n"
    "# To set what instanceof of Java (or JavaW) to run with, use:\n"
    "#javapath <absolute or relative path to java or just 'java' or 'javaw'>\n"
    "\n"
    "# To make a console window show, use:\n"
    "#showConsole true\n"
    "# To set the Console Title (used with 'showConsole true'), use\n"
    "#consoleTitle <title of Console>\n"
    "\n"
    "# To include another config file in this one, use:\n"
    "#include <another config file>\n"
    "\n"
    "# To add an argument that's passed to the JVM on the command line, use:\n"
    "#argument <arg>\n"
    "\n"
    "# To set the minimum Java version to use:\n"
    "#javaVersion <java version>\n"
    "# To Set the Application Name used in messages and such, use:\n"
    "#appname <application name>\n"
    "\n"
    "# To Set the working directory of the JVM, use:\n"
    "#workingDir <working directory>\n"
    "# To set the outputfile for debug info, use:\n"
    "#outputFile <output file>\n";

void writeSampleConfig() {
    int error = 0;
    platform::TextFile *file = platform::openTextFile(SAMPLE_CONFIG_NAME, "w", &error);
    if (file == nullptr) {
        platform::writeStandardError(formatText("Cannot write %s: %s\n", SAMPLE_CONFIG_NAME,
                                                platform::runtimeErrorText(error).c_str()));
        platform::exitProcess(1);
    }
    platform::writeText(file, formatText("#Created with version %s\n", LauncherSettings::_Version));
    platform::writeText(file, SAMPLE_BODY);
    platform::closeTextFile(file);
}
