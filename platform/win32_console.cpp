/*
** The console launcher (tarnwick-console.exe), for command-line tools: a
** console program, so cmd.exe and PowerShell wait for it.  Its child is the
** console runtime (java.exe), which shares the launcher's console and
** standard handles; Ctrl-C and Ctrl-Break reach it through that console
** while the launcher waits on.  What the windowed launcher shows in boxes is
** written to standard error, as are the launcher's own lines, so that the
** application's standard output is the application's alone.
*/
#include "platform/platform.h"
#include "platform/standard_streams.h"
#include "platform/win32_variant.h"

#include <windows.h>

namespace platform {

/* There is no window to hide: both launch modes run java.exe. */
const char *const JAVA_CONSOLE_EXECUTABLE = "\\java.exe";
const char *const JAVA_WINDOWED_EXECUTABLE = "\\java.exe";

/* IDOK and IDNO. */
static const int ANSWER_OK = 1;
static const int ANSWER_NO = 7;

/* A box is "caption: text" on standard error (messageBox below). */
const bool BOXES_ARE_LINES_ON_STANDARD_ERROR = true;

/* "caption: text" on standard error, as on POSIX.  A question is answered
** No: the launcher shares its standard input with the application and
** takes nothing from it. */
int messageBox(const char *text, const char *caption, unsigned type) {
    writeStandardError(std::string(caption ? caption : "") + ": " + (text ? text : "") + "\n");
    if ((type & MSGBOX_YESNO) != MSGBOX_YESNO) return ANSWER_OK;
    writeStandardError("(answered No: the console launcher asks no questions)\n");
    return ANSWER_NO;
}

std::FILE *launcherOutputStream() { return stderr; }

/* The system's handle of standard output or standard error, and whether it
** is a console. */
static HANDLE consoleOf(std::FILE *stream) {
    HANDLE handle = GetStdHandle(stream == stdout ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    DWORD mode;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode))
        return nullptr;
    return handle;
}

bool streamIsTerminal(std::FILE *stream) { return consoleOf(stream) != nullptr; }

/* A console is written in UTF-16, so that every letter shows whatever its
** code page; a file or a pipe gets the UTF-8 bytes. */
void writeToStream(std::FILE *stream, const std::string &text) {
    std::fflush(stream);
    if (HANDLE console = consoleOf(stream)) {
        WideText wide = wideText(text.c_str());
        DWORD written = 0;
        WriteConsoleW(console, wide.data(), static_cast<DWORD>(wide.size() - 1), &written, nullptr);
        return;
    }
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

/* A hidden console of its own would take the child away from the user's. */
unsigned long childCreationFlags(unsigned long requested) {
    return requested & ~static_cast<unsigned long>(CREATE_NO_WINDOW);
}

/* Set by the control handler, on a thread of its own, when Ctrl-C or the
** console's end came since the last child started. */
static HANDLE endAsked;

/* The application receives every console event itself, through the shared
** console, and decides.  The launcher waits on: Ctrl-C and Ctrl-Break are
** taken as handled (also when the event reaches the launcher only after
** the application has ended on it, which may happen); on the console's
** closing, the user's logoff or the system's shutdown the system ends the
** launcher once this returns, so it does not return, and the launcher ends
** after the application (or when the system's patience ends). */
static BOOL WINAPI onConsoleEvent(DWORD event) {
    if (event == CTRL_BREAK_EVENT) return TRUE; /* Java prints its threads and runs on */
    SetEvent(endAsked);
    if (event == CTRL_C_EVENT) return TRUE;
    Sleep(INFINITE);
    return TRUE;
}

/* Until the first start a console event ends the launcher, as it ends any
** console program.  A handler routine, not SetConsoleCtrlHandler(NULL,
** TRUE): that flag would be inherited, and the application would ignore
** Ctrl-C too. */
void childStarting() {
    if (endAsked == nullptr) {
        endAsked = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (endAsked != nullptr) SetConsoleCtrlHandler(onConsoleEvent, TRUE);
    }
    if (endAsked != nullptr) ResetEvent(endAsked);
}

/* How long an end by Ctrl-C waits for the launcher's own notice of it: the
** system tells every process of the console on a thread of its own, and an
** application may end on it before the launcher has heard. */
static const DWORD CONSOLE_NOTICE_PATIENCE_MS = 250;

/* Java ends with 128 + the signal it maps the event to (SIGINT for Ctrl-C,
** SIGTERM for the closing); a program without a handler of its own is ended
** by the system with STATUS_CONTROL_C_EXIT.  Other codes are no such end. */
bool endRequestedThroughConsole(int exitCode) {
    static const int JAVA_INTERRUPTED = 130;
    static const int JAVA_TERMINATED = 143;
    bool endCode = exitCode == JAVA_INTERRUPTED || exitCode == JAVA_TERMINATED ||
                   static_cast<DWORD>(exitCode) == static_cast<DWORD>(STATUS_CONTROL_C_EXIT);
    return endCode && endAsked != nullptr &&
           WaitForSingleObject(endAsked, CONSOLE_NOTICE_PATIENCE_MS) == WAIT_OBJECT_0;
}

} // namespace platform
