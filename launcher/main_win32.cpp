/*
** The Windows entry point: a windowed program with no window of its own.
** The options come from the system's wide command line, turned into UTF-8
** and split by the C runtime's rules (command_line_split.h), so that an
** argument or a program folder outside the ANSI code page arrives whole.
*/
#include "launcher/startup.h"
#include "platform/command_line_split.h"
#include "platform/platform.h"

#include <windows.h>

#include <string>
#include <vector>

/* The launcher's own arguments are never file patterns: "*.config" reaches
** the application as written.  The runtime still builds an argument vector
** of its own before WinMain, unused, and this keeps it from matching
** patterns against the disk. */
extern "C" {
int _dowildcard = 0;
}

/* The command line in UTF-8, as the system holds it. */
static std::string commandLineText() {
    const wchar_t *line = GetCommandLineW();
    int bytes = WideCharToMultiByte(CP_UTF8, 0, line, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 1) return std::string();
    std::string text(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, line, -1, &text[0], bytes, nullptr, nullptr);
    text.resize(static_cast<std::size_t>(bytes) - 1);
    return text;
}

/* The arguments stay alive, and writable, for as long as the launcher runs.
** A path to the launcher written without quotes is its first word whole
** (see splitLauncherCommandLine). */
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    std::vector<std::string> arguments =
        splitLauncherCommandLine(commandLineText().c_str(), platform::launcherProgramPath(""));
    std::vector<char *> argv;
    for (std::string &argument : arguments) argv.push_back(&argument[0]);
    argv.push_back(nullptr);
    return launcherMain(static_cast<int>(arguments.size()), argv.data());
}
