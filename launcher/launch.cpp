#include "launcher/launch.h"

#include "core/settings.h"
#include "core/text.h"
#include "jre/jre.h"
#include "launcher/fast_start.h"
#include "platform/platform.h"

const char *const OUTPUT_FILE_NAME = "tarnwick.out";

/* Size of the buffer the abnormal-end messages are formatted into. */
static constexpr std::size_t MESSAGE_SIZE = 1024;

/* An end this quick (in whole seconds) means the runtime could not even
** start the application. */
static constexpr double QUICK_FAILURE_SECONDS = 3;

/* The version banner and the command line, as printed and as written. */
static std::string launchRecord(const std::string &commandLine) {
    return formatText("#Version %s\n#Command line=\n%s\n", LauncherSettings::_Version,
                      commandLine.c_str());
}

/* Writes the output file in the current directory.  A file that cannot be
** written (on POSIX also one that is no regular file) is skipped with a line
** on standard error and no box: the launch matters more. */
static void writeOutputFile(const std::string &record) {
    int error = 0;
    platform::TextFile *file = platform::openTextFile(OUTPUT_FILE_NAME, "w", &error);
    if (file == nullptr) {
        platform::writeStandardError(
            formatText("Cannot write %s: %s; the application starts without it.\n",
                       OUTPUT_FILE_NAME, platform::runtimeErrorText(error).c_str()));
        return;
    }
    platform::writeText(file, record);
    platform::closeTextFile(file);
}

/* Tells the user about an end other than 0 or the relaunch request: with a
** log file, offers to open it; without one, a quick end is reported as a
** launch error.  An end that a signal asked for is no surprise and is not
** reported, nor any end in tool mode: a tool says its own errors, and its
** exit code is passed on. */
static void reportAbnormalEnd(const JavaCommand &command, int exitCode, double elapsedSeconds) {
    if (exitCode == 0 || exitCode == platform::RELAUNCH_EXIT_CODE) return;
    if (platform::endRequestedBySignal() || settings.toolMode) return;
    if (settings._logFile != nullptr && settings._logFile[0] != '\0') {
        std::string text = formatBounded(
            MESSAGE_SIZE,
            "%s has closed in an unexpected way. Would you like to view the log "
            "file?\n\nLog file location:%s\n\nJava returned the following error code: %d",
            applicationName("Application"), settings._logFile, exitCode);
        if (settings._quietMode) return;
        int answer = platform::messageBox(text.c_str(), "Unexpected Close",
                                          platform::MSGBOX_ICONERROR | platform::MSGBOX_YESNO);
        if (answer == platform::MSGBOX_ANSWER_YES)
            platform::openWithAssociatedProgram(settings._logFile);
        return;
    }
    if (elapsedSeconds < QUICK_FAILURE_SECONDS && !settings._quietMode) {
        std::string text =
            formatBounded(MESSAGE_SIZE, "Error launching Class %s\n with Java %s.\nError=%d",
                          command.mainClass.c_str(), command.runtime.c_str(), exitCode);
        platform::messageBox(text.c_str(), "Error", platform::MSGBOX_ICONERROR);
    }
}

/* The exit code that stands for a child that could not be started: the
** system's error code, but never a value that means success or asks for a
** relaunch. */
static int startFailureCode(unsigned long error) {
    int code = static_cast<int>(error);
    if (code == 0 || code == platform::RELAUNCH_EXIT_CODE) return 1;
    return code;
}

/* The folder the child starts in: workingDir without the quotes an
** expansion puts around a folder with a blank (the system wants the folder
** itself), else in tool mode the caller's folder; null: the launcher's
** current folder. */
static const char *childDirectory(std::string *workingDirectory) {
    if (settings.workingDir == nullptr) return settings.toolMode ? settings.startDir : nullptr;
    for (const char *p = settings.workingDir; *p != '\0'; ++p)
        if (*p != '"') *workingDirectory += *p;
    return workingDirectory->c_str();
}

/* Starts the child of commandLine in directory and waits for it: its exit
** code, or the code that stands for a start that failed, after saying why.
** *started tells which. */
static int runChild(const std::string &commandLine, const JavaCommand &command,
                    const char *directory, bool *started) {
    unsigned long creationFlags = settings._showConsole ? 0 : platform::CREATE_NO_WINDOW_FLAG;
    const char *title = settings._showConsole ? settings.consoleTitle : nullptr;
    /* The system may write into the command line it is given. */
    std::string launchCopy = commandLine;

    platform::ChildProcess child = nullptr;
    unsigned long error = 0;
    *started =
        platform::startProcess(&launchCopy[0], creationFlags, directory, title, &child, &error);
    if (!*started) {
        std::string where = directory ? formatText(" in %s", directory) : std::string();
        platform::writeStandardError(formatText("Cannot start %s%s: error %lu: %s\n",
                                                command.runtime.c_str(), where.c_str(), error,
                                                platform::systemErrorText(error).c_str()));
        return startFailureCode(error);
    }
    /* The title is set once the child is up; nothing else waits for that,
    ** and the wait loads the system's window library. */
    if (settings._showConsole && settings.consoleTitle != nullptr &&
        settings.consoleTitle[0] != '\0') {
        platform::waitForInputIdle(child, platform::INPUT_IDLE_TIMEOUT_MS);
        platform::setConsoleTitle(settings.consoleTitle);
    }
    platform::waitForProcess(child);
    int exitCode = platform::processExitCode(child);
    platform::releaseProcess(child);
    return exitCode;
}

int execApp(const JavaCommand &command) {
    debugBox(command.runtime.c_str(), "Javapath is");

    /* Fast start's parameters belong to this start alone: a relaunch
    ** decides afresh. */
    FastStartRun fastStart = prepareFastStart(command);
    JavaCommand thisStart = command;
    thisStart.jvmParameters.insert(thisStart.jvmParameters.end(), fastStart.jvmParameters.begin(),
                                   fastStart.jvmParameters.end());
    std::string commandLine = buildJavaCommandLine(thisStart);

    std::string workingDirectory;
    const char *directory = childDirectory(&workingDirectory);
    debugBox(settings.workingDir != nullptr ? settings.workingDir : orEmpty(directory),
             "Starting dir");
    if (settings._logFile != nullptr && settings._logFile[0] != '\0')
        debugBox(settings._logFile, "LogFile");
    debugBox(commandLine.c_str(), "Command Line is");

    long long startTime = platform::wallClockSeconds();
    debugBox(settings._showConsole ? "true" : "false", "Show Console");
    if (settings._showConsole && command.runtime.find("javaw") == std::string::npos &&
        !settings._debug)
        platform::allocateConsole();

    std::string record = launchRecord(commandLine);
    if (settings._createOutput) writeOutputFile(record);
    printLauncherText(record);

    bool started = false;
    int exitCode = runChild(commandLine, command, directory, &started);
    double elapsed = static_cast<double>(platform::wallClockSeconds() - startTime);
    finishFastStart(fastStart, command, directory, exitCode);
    reportAbnormalEnd(command, exitCode, elapsed);
    debugPrint(formatText("CreateProcess ret %d, exitCode=%d\n", started ? 1 : 0, exitCode));
    return exitCode;
}

int runApplication(JavaCommand command) {
    if (settings.javapath == nullptr && !getJavaPathFromRegistry(&command.runtime)) return 2;
    /* An application asks for a relaunch by its exit code; once a signal
    ** has asked for the end, that end is final.  A tool's exit code is
    ** only ever passed on, as its start script passes it on. */
    int result;
    do {
        result = execApp(command);
    } while (result == platform::RELAUNCH_EXIT_CODE && !platform::endRequestedBySignal() &&
             !settings.toolMode);
    return result;
}
