/*
** The windowed launcher (tarnwick.exe): a GUI program without a console of
** its own.  It talks to the user in message boxes, starts the windowless
** runtime (javaw.exe), hides a console runtime's console, and its own lines
** go to standard output, where they are seen only when it is redirected.
*/
#include "platform/platform.h"
#include "platform/standard_streams.h"
#include "platform/win32_system_library.h"
#include "platform/win32_variant.h"

#include <windows.h>

namespace platform {

const char *const JAVA_CONSOLE_EXECUTABLE = "\\java.exe";
const char *const JAVA_WINDOWED_EXECUTABLE = "\\javaw.exe";

/* A box is a window of its own. */
const bool BOXES_ARE_LINES_ON_STANDARD_ERROR = false;

typedef int(WINAPI *MessageBoxFunction)(HWND, LPCWSTR, LPCWSTR, UINT);

/* user32.dll is loaded with the first box.  Where it cannot be, the text
** goes to standard error, and a question counts as not answered Yes. */
int messageBox(const char *text, const char *caption, unsigned type) {
    MessageBoxFunction showBox =
        systemFunction<MessageBoxFunction>(SYSTEM_LIBRARY_USER32, "MessageBoxW");
    if (showBox == nullptr) {
        writeStandardError(std::string(text) + "\n");
        return 0;
    }
    WideText wideCaption;
    return showBox(nullptr, wideText(text).data(), optionalText(caption, &wideCaption), type);
}

/* Its lines go wherever its standard output leads: a windowed program has
** no console, so they are seen only when redirected, and a redirection of
** standard error alone keeps errors apart from them. */
std::FILE *launcherOutputStream() { return stdout; }

bool streamIsTerminal(std::FILE *) { return false; }

void writeToStream(std::FILE *stream, const std::string &text) {
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

unsigned long childCreationFlags(unsigned long requested) { return requested; }

void childStarting() {}

/* Nothing asks the windowed launcher to end while it waits: it has no
** console, and a console's Ctrl-C reaches the application alone. */
bool endRequestedThroughConsole(int) { return false; }

} // namespace platform
