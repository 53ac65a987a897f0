/*
** LauncherSettings: the launcher's configuration, as its command line and
** its configuration files give it.  Start-up (launcher/startup.cpp) and the
** configuration reader (config/) fill it; everything after reads it and
** never writes it.  What one start does with it (the runtime found, the
** parameters fast start adds, tool mode's class path) is a value of its own
** (launcher/command_line.h), built for that start.
*/
#ifndef TARNWICK_SETTINGS_H
#define TARNWICK_SETTINGS_H

#include <cstddef>
#include <cstdint>
#include <string>

constexpr int VMPARAMS_CAPACITY = 100;
constexpr int VMPATHS_CAPACITY = 200;
constexpr int ARGS_CAPACITY = 100;
constexpr std::size_t CWD_SIZE = 2048;

/* The release's version number (project() in CMakeLists.txt), on its own
** as the start-up debug boxes show it. */
extern const char *const LAUNCHER_VERSION_NUMBER;

struct LauncherSettings {
    char *vmparams[VMPARAMS_CAPACITY];
    char *vmpaths[VMPATHS_CAPACITY];
    char *args[ARGS_CAPACITY];
    char *javapath;
    char *mainClass;
    char *javaVersion;
    char *appname;
    char *consoleTitle;
    char *workingDir;
    char *outputFile; /* stored, never used: the output file's name is fixed */
    std::int32_t vmparamsCnt;
    std::int32_t vmpathsCnt;
    std::int32_t argsCnt;
    std::int32_t _debug;
    char *_configFile;
    std::int32_t _isVista;
    std::int32_t _showConsole;
    std::int32_t _quietMode;
    std::int32_t _createOutput;
    bool _passExitCode;
    bool fastStart; /* "fastStart on": the launcher keeps a class-data archive */
    char *_logFile;
    char *downloadUrl; /* the application's own download page (downloadurl) */
    bool toolMode;     /* "toolMode on" in the configuration named after the launcher */
    /* In tool mode, the launcher's own arguments, every one passed on, before
    ** the configuration's "argument" lines: a reference into the argument
    ** vector, which lives as long as the process, and bounded by nothing but
    ** the system's command-line length. */
    char **passedArgs;
    std::int32_t passedArgsCnt;
    char *startDir; /* the folder the launcher was started in; null when unknown */
    char cwd[CWD_SIZE];

    /* The version banner: first line of the output and the sample files. */
    static const char *const _Version;
};

extern LauncherSettings settings;

/* Makes a copy of text that lives until the process ends (or until
** resetSettings), as every text kept in the settings does. */
char *keepText(const char *text);
char *keepText(const std::string &text);

/* The three lists, for appendToList. */
enum SettingsList { LIST_VMPARAMS, LIST_VMPATHS, LIST_ARGS };

/* Appends entry to a list.  A list never grows past its capacity: an entry
** that does not fit is reported at once by reportListFull. */
void appendToList(SettingsList list, char *entry);

/* True while the list can take one more entry. */
bool listHasRoom(SettingsList list);

/* Reports an entry that does not fit its list (standard error, and an error
** box unless quiet) and ends the launcher with exit code 2, before anything
** is started. */
[[noreturn]] void reportListFull(SettingsList list, const char *entry);

/* The application's name in messages: appname when it is set and not empty,
** else fallback. */
const char *applicationName(const char *fallback);

/* Returns every setting to its zero state and releases the kept texts.  The
** launcher itself never needs it; tests start each case from zero with it. */
void resetSettings();

#endif
