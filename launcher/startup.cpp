#include "launcher/startup.h"

#include "config/config.h"
#include "core/settings.h"
#include "core/text.h"
#include "launcher/cache_maker.h"
#include "launcher/command_line.h"
#include "launcher/launch.h"
#include "launcher/tool_mode.h"
#include "platform/platform.h"

#include <cstring>
#include <new>
#include <vector>

/* The program path in square brackets, as the debug boxes show it. */
static constexpr std::size_t PROGRAM_PATH_TEXT_SIZE = 1024;

/* The longest folder the launcher takes as the one it was started in, in
** bytes with the terminator: more than any system hands out. */
static constexpr std::size_t START_DIRECTORY_SIZE = 65536;

/* The variables that tell the configuration and the application where the
** launcher is and where it was started. */
static const char APP_DIR_VARIABLE[] = "TARNWICK_APP_DIR";
static const char START_DIR_VARIABLE[] = "TARNWICK_START_DIR";

/* The first option argument that did not fit its list.  It is reported
** only after the whole scan, so that a "-q" or "-sample" anywhere on the
** command line counts; nothing is added to a list after it. */
static SettingsList heldList;
static const char *heldEntry;

/* Appends entry, the list's form of the command-line argument arg, to a
** list, or holds arg when the list is full. */
static void appendOption(SettingsList list, char *arg, char *entry) {
    if (heldEntry != nullptr) return;
    if (!listHasRoom(list)) {
        heldList = list;
        heldEntry = arg;
        return;
    }
    appendToList(list, entry);
}

/* Applies one command-line argument to the settings.  The first matching
** test decides; every comparison is case-sensitive and "-d" is the only
** option that must match whole.  "-sample" writes the sample file and ends
** the process, so later arguments are never looked at. */
static void scanOption(char *arg) {
    if (std::strcmp(arg, "-d") == 0) {
        settings._debug = 1;
    } else if (startsWith(arg, "-D")) {
        appendOption(LIST_VMPARAMS, arg, jvmOptionToken(arg));
    } else if (startsWith(arg, "-con")) {
        settings._showConsole = 1;
    } else if (startsWith(arg, "-c")) {
        settings._configFile = arg + 2;
    } else if (startsWith(arg, "-sample")) {
        writeSampleConfig();
        platform::exitProcess(0);
    } else if (startsWith(arg, "-q")) {
        settings._quietMode = 1;
    } else if (startsWith(arg, "-o")) {
        settings._createOutput = 1;
    } else if (startsWith(arg, "-passExitCode")) {
        settings._passExitCode = true;
    } else {
        appendOption(LIST_ARGS, arg, keepText(arg));
    }
}

int isVista() { return platform::osMajorVersion() > 5 ? 1 : 0; }

/* Reports a launcher directory that cannot be used and ends with exit code
** 2: going on would look for the configuration in the wrong place. */
[[noreturn]] static void directoryFailure(const char *text) {
    reportError(text, "Error", platform::MSGBOX_ICONERROR);
    platform::exitProcess(2);
}

/* Fills cwd: the directory of the program when it was started by a fully
** qualified path (*ownFolder is then set: it is to become the current
** directory), otherwise the current directory.  Returns null, or why the
** directory cannot be used: one that does not fit cwd is refused rather
** than cut, since a cut path names another directory.  Changes nothing, so
** that "-sample" still writes where the launcher was started. */
static const char *findLauncherDirectory(const char *programPath, bool *ownFolder) {
    std::size_t length = platform::programDirectoryLength(programPath);
    *ownFolder = length != platform::NO_PROGRAM_DIRECTORY;
    if (*ownFolder) {
        if (length >= CWD_SIZE)
            return "The launcher's directory is longer than 2047 bytes and cannot be used.";
        std::memcpy(settings.cwd, programPath, length);
        settings.cwd[length] = '\0';
    } else if (!platform::currentDirectory(settings.cwd, CWD_SIZE)) {
        return "The current directory cannot be read or is longer than 2047 bytes.";
    }
    return nullptr;
}

/* Keeps the current directory as the folder the launcher was started in;
** startDir stays null when it cannot be read. */
static void recordStartDirectory() {
    std::vector<char> folder(START_DIRECTORY_SIZE);
    if (platform::currentDirectory(folder.data(), folder.size()))
        settings.startDir = keepText(folder.data());
}

/* Both variables are the launcher's: a value inherited from whoever started
** it (another launcher, say) is replaced, and an unknown start folder
** removes its variable rather than leave a stale one. */
static void setFolderVariables() {
    platform::setEnvironment(APP_DIR_VARIABLE, settings.cwd);
    platform::setEnvironment(START_DIR_VARIABLE, settings.startDir);
}

/* Tool mode: the command line is the application's, byte for byte; the
** launcher's options come from the environment, scanned as a command line
** is otherwise.  The exit code is always passed on. */
static void takeToolModeArguments(int argc, char **argv) {
    settings.passedArgs = argv + 1;
    settings.passedArgsCnt = argc > 1 ? argc - 1 : 0;
    settings._passExitCode = true;
    for (char *option : toolModeOptions()) scanOption(option);
}

/* The debug listing of the configured command: its main class, JVM
** parameters and class path as the child receives them. */
static void listCommand(const JavaCommand &command) {
    debugBox(command.mainClass.c_str(), "MainClass is");
    for (std::size_t i = 0; i < command.jvmParameters.size(); ++i)
        debugPrint(
            formatText("vmparam %d=%s\n", static_cast<int>(i), command.jvmParameters[i].c_str()));
    for (std::size_t i = 0; i < command.classPath.size(); ++i)
        debugPrint(formatText("vmpath %d=%s\n", static_cast<int>(i), command.classPath[i].c_str()));
}

/* Called when an allocation fails: nothing sensible can go on, and the
** launcher must not start the application with half its settings. */
static void outOfMemory() {
    platform::writeStandardError("Out of memory: the application is not started.\n");
    platform::exitProcess(2);
}

int launcherMain(int argc, char **argv) {
    std::set_new_handler(outOfMemory);

    /* Started to make a fast start cache (launcher/cache_maker.h): nothing
    ** of a start, and of the options only "-d". */
    std::string cacheJob;
    if (platform::getEnvironment(CACHE_JOB_VARIABLE, &cacheJob)) {
        settings._debug = argc > 1 && std::strcmp(argv[1], "-d") == 0;
        platform::setDebugTrail(settings._debug != 0);
        return runCacheJob(cacheJob);
    }

    /* The launcher's own file, however it was started: its folder and its
    ** name decide where the launcher works and which configuration it
    ** reads.  A copy: the locator shortens it in place. */
    std::string ownPath =
        platform::launcherProgramPath(argc > 0 && argv[0] != nullptr ? argv[0] : "");
    char *programPath = &ownPath[0];

    /* The configuration named after the launcher says whether the command
    ** line is scanned at all, so the directory it lives in is needed first. */
    bool ownFolder = false;
    const char *directoryProblem = findLauncherDirectory(programPath, &ownFolder);
    recordStartDirectory();
    settings.toolMode = directoryProblem == nullptr &&
                        ownConfigAsksToolMode(programPath, settings.cwd);

    heldEntry = nullptr;
    if (settings.toolMode) {
        takeToolModeArguments(argc, argv);
    } else {
        for (int i = 1; i < argc; ++i) scanOption(argv[i]);
    }

    if (settings._quietMode) settings._debug = 0;
    if (heldEntry != nullptr) reportListFull(heldList, heldEntry);
    platform::setDebugTrail(settings._debug != 0);
    settings._isVista = isVista();
    if (settings.toolMode)
        debugPrint(formatText("tool mode: %d arguments passed on as given, options from %s\n",
                              static_cast<int>(settings.passedArgsCnt), TOOL_OPTIONS_VARIABLE));

    std::string programPathText;
    if (settings._debug) {
        programPathText = formatBounded(PROGRAM_PATH_TEXT_SIZE, "[%s]", programPath);
        if (settings._isVista) debugBox(LAUNCHER_VERSION_NUMBER, "Running on Vista");
        debugBox(LAUNCHER_VERSION_NUMBER, "Version");
        debugBox(programPathText.c_str(), "LpCmdLine");
        debugBox(settings._passExitCode ? "true" : "false", "passExitCode");
    }

    if (directoryProblem != nullptr) directoryFailure(directoryProblem);
    if (settings.toolMode && settings.startDir == nullptr)
        directoryFailure("The folder the launcher was started in cannot be read; in tool mode "
                         "the application starts there.");
    if (ownFolder) platform::changeDirectory(settings.cwd);
    debugBox(settings.cwd, "CWD");
    setFolderVariables();

    if (readAppConfig(programPath, settings.cwd) != 0) {
        debugBox(programPathText.c_str(), "LpCmdLine");
        return 2;
    }

    /* From here on the configuration is complete and only read. */
    JavaCommand command = javaCommandOf(settings);
    if (settings._debug) listCommand(command);
    int result = runApplication(command);
    platform::endLikeAnInterruptedChild();

    if (!settings._passExitCode) return 0;
    debugBox(formatText("%d", result).c_str(), "Calling Post Quit Message With Code");
    platform::exitProcess(result);
}
