/*
** The test double of the platform layer: an in-memory Windows.  Tests set
** up the registry, the files, the environment and the answers, run launcher
** code, and read back the boxes, launches and output it produced.
*/
#ifndef TARNWICK_PLATFORM_DOUBLE_H
#define TARNWICK_PLATFORM_DOUBLE_H

#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace fake {

struct Box {
    std::string text;
    std::string caption;
    unsigned type;
};

struct Launch {
    std::string commandLine;
    unsigned long creationFlags;
    bool hasDirectory;
    std::string directory;
    bool hasTitle;
    std::string title;
};

/* A process started by startDetachedProcess: its command line, whether it
** keeps the launcher's output, and the fast start job variable it was
** given. */
struct Detached {
    std::string commandLine;
    bool keepOutput;
    std::string job;
};

/* Who owns a folder and who else may write in it (see platform.h). */
struct FolderOwner {
    bool user = true;
    bool system = false;
    bool othersWrite = false;
    bool sticky = false;
};

/* One registry key: its values (raw bytes, as stored) and its sub-keys in
** the order they are enumerated. */
struct RegistryKeyData {
    std::map<std::string, std::string> values;
    std::vector<std::string> subKeys;
};

/* Thrown by exitProcess so the test regains control. */
struct ExitCalled {
    int code;
};

struct State {
    /* What the launcher showed and did. */
    std::vector<Box> boxes;
    std::vector<Launch> launches;
    std::vector<std::string> shellOpens;
    std::vector<std::string> webPages;
    std::vector<std::string> changedDirectories;
    std::string standardOutput;
    std::string standardError;
    int consolesAllocated = 0;
    std::vector<std::string> consoleTitles;
    int inputIdleWaits = 0; /* waits for a child's window to take input */
    int openKeys = 0;       /* registry keys opened and not yet closed */
    int liveChildren = 0;
    bool debugTrail = false; /* as start-up last told the platform */

    /* What the system answers. */
    std::deque<int> boxAnswers;        /* answers to boxes in order; 1 (OK) when empty */
    std::deque<int> exitCodes;         /* child exit codes in order; 0 when empty */
    std::deque<long long> clock;       /* successive clock readings; the last repeats */
    bool endRequestedBySignal = false; /* a signal asked for the end */
    bool startFails = false;           /* every start fails with startError */
    unsigned long startError = 0;
    unsigned long osMajor = 5;
    bool posixNames = false; /* names may hold quotes and tabs, as on POSIX */
    unsigned long processId = 4242;
    std::map<std::string, RegistryKeyData> registry;          /* key path, lower case */
    std::map<std::string, RegistryKeyData> otherViewRegistry; /* the other view */
    std::set<unsigned long> failingEnumIndices;
    std::map<std::string, std::string> environment;  /* name upper case */
    std::map<std::string, std::string> files;        /* path -> content */
    std::set<std::string> folders;                   /* folders that exist (no files) */
    std::map<std::string, int> unopenableFiles;      /* exists, open fails with errno */
    std::map<std::string, std::string> fileAliases;  /* path -> the path it names too */
    std::map<std::string, long long> modified;       /* path -> modification time, ns */
    std::map<std::string, FolderOwner> folderOwners; /* folders not the user's alone */
    bool elevated = false;                           /* runsElevated */
    unsigned long long freeBytes = 1ULL << 40;       /* freeSpace of every folder */
    std::vector<Detached> detached;                  /* startDetachedProcess, in order */
    /* Runs inside each start of a child, with its command line: what the
    ** child does to the files. */
    std::function<void(const std::string &commandLine)> childRuns;
    std::string currentDirectory = "D:\\work";
    std::string moduleFileName; /* the launcher's own file; empty: argv[0] */
    bool webPagesOpen = true;   /* openWebPage succeeds */
    bool currentDirectoryFails = false;
};

extern State state;

/* Back to an empty system and zeroed launcher settings. */
void reset();

/* Registry helpers: put a value (text stored with its terminator unless
** raw is set) at a key path, creating the key and linking it to its parent. */
void setRegistryValue(const std::string &keyPath, const std::string &name, const std::string &value,
                      bool otherView = false);
void setRegistryRawValue(const std::string &keyPath, const std::string &name,
                         const std::string &bytes, bool otherView = false);
void addRegistryKey(const std::string &keyPath, bool otherView = false);

/* Captions of the boxes shown, in order. */
std::vector<std::string> boxCaptions();

/* Runs f and returns the exit code it ended the process with, or -1000 when
** it returned instead. */
template <typename F> int exitCodeOf(F f) {
    try {
        f();
    } catch (const ExitCalled &e) {
        return e.code;
    }
    return -1000;
}

} // namespace fake

#endif
