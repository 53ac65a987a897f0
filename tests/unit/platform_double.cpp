/*
** An in-memory Windows behind the platform interface, for unit tests.
*/
#include "tests/unit/platform_double.h"

#include "core/settings.h"
#include "platform/platform.h"
#include "platform/windows_paths.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace fake {

State state;

static std::string lower(std::string text) {
    for (char &c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

static std::string upper(std::string text) {
    for (char &c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

void reset() {
    state = State();
    resetSettings();
}

static std::map<std::string, RegistryKeyData> &registryView(bool otherView) {
    return otherView ? state.otherViewRegistry : state.registry;
}

void addRegistryKey(const std::string &keyPath, bool otherView) {
    std::map<std::string, RegistryKeyData> &registry = registryView(otherView);
    std::string key = lower(keyPath);
    if (registry.count(key)) return;
    registry[key];
    std::size_t slash = keyPath.rfind('\\');
    if (slash == std::string::npos) return;
    std::string parent = keyPath.substr(0, slash);
    addRegistryKey(parent, otherView);
    registry[lower(parent)].subKeys.push_back(keyPath.substr(slash + 1));
}

void setRegistryRawValue(const std::string &keyPath, const std::string &name,
                         const std::string &bytes, bool otherView) {
    addRegistryKey(keyPath, otherView);
    registryView(otherView)[lower(keyPath)].values[name] = bytes;
}

void setRegistryValue(const std::string &keyPath, const std::string &name, const std::string &value,
                      bool otherView) {
    setRegistryRawValue(keyPath, name, value + std::string(1, '\0'), otherView);
}

std::vector<std::string> boxCaptions() {
    std::vector<std::string> captions;
    for (const Box &box : state.boxes) captions.push_back(box.caption);
    return captions;
}

} // namespace fake

using fake::state;

namespace platform {

const char PATH_SEPARATOR = '\\';
const char *const CLASS_PATH_SEPARATOR = ";";
const char *const JAVA_BIN_FOLDER = "\\bin";
const char *const JAVA_CONSOLE_EXECUTABLE = "\\java.exe";
const char *const JAVA_WINDOWED_EXECUTABLE = "\\javaw.exe";
const int RELAUNCH_EXIT_CODE = 999;

bool namesMayHoldQuotesAndTabs() { return state.posixNames; }

/* As on Windows: a drive-qualified path, or \\server\share\...\file. */
std::size_t programDirectoryLength(const char *programPath) {
    const char *last = std::strrchr(programPath, '\\');
    if (last == nullptr) return NO_PROGRAM_DIRECTORY;
    std::size_t length = static_cast<std::size_t>(last - programPath);
    if (programPath[0] != '\0' && programPath[1] == ':') return length;
    if (std::strncmp(programPath, "\\\\", 2) != 0 || std::strchr("?.\\", programPath[2]))
        return NO_PROGRAM_DIRECTORY;
    const char *share = std::strchr(programPath + 2, '\\');
    if (share == nullptr || share == last || share[1] == '\\') return NO_PROGRAM_DIRECTORY;
    return length;
}

bool pathIsRelative(const char *path) {
    return path[0] != '\\' && path[0] != '/' && (path[0] == '\0' || path[1] != ':');
}

std::string launcherProgramPath(const char *argv0) {
    return state.moduleFileName.empty() ? argv0 : state.moduleFileName;
}

const bool FILE_NAMES_IGNORE_CASE = true;

/* Boxes are kept apart from standard error, as windows are. */
const bool BOXES_ARE_LINES_ON_STANDARD_ERROR = false;

int messageBox(const char *text, const char *caption, unsigned type) {
    state.boxes.push_back({text, caption, type});
    if (state.boxAnswers.empty()) return 1;
    int answer = state.boxAnswers.front();
    state.boxAnswers.pop_front();
    return answer;
}

struct FakeKey {
    std::map<std::string, fake::RegistryKeyData> *view;
    std::string path;
};

static const fake::RegistryKeyData &keyData(RegistryKey key) {
    FakeKey *fakeKey = static_cast<FakeKey *>(key);
    return (*fakeKey->view)[fakeKey->path];
}

const char *registryViewName(RegistryView view) {
    return view == REGISTRY_OWN_VIEW ? "own registry view" : "other registry view";
}

long registryOpenKey(const char *subKey, RegistryKey *key, RegistryView view) {
    std::map<std::string, fake::RegistryKeyData> &registry =
        view == REGISTRY_OWN_VIEW ? state.registry : state.otherViewRegistry;
    auto found = registry.find(fake::lower(subKey));
    if (found == registry.end()) return 2; /* ERROR_FILE_NOT_FOUND */
    *key = new FakeKey{&registry, found->first};
    ++state.openKeys;
    return 0;
}

long registryQueryValue(RegistryKey key, const char *valueName, char *data, unsigned long *size) {
    const fake::RegistryKeyData &entry = keyData(key);
    auto value = entry.values.find(valueName);
    if (value == entry.values.end()) return 2;
    if (value->second.size() > *size) {
        *size = static_cast<unsigned long>(value->second.size());
        return 234; /* ERROR_MORE_DATA */
    }
    std::memcpy(data, value->second.data(), value->second.size());
    *size = static_cast<unsigned long>(value->second.size());
    return 0;
}

unsigned long registrySubKeyCount(RegistryKey key) {
    return static_cast<unsigned long>(keyData(key).subKeys.size());
}

long registryEnumSubKey(RegistryKey key, unsigned long index, char *name,
                        unsigned long *nameLength) {
    const fake::RegistryKeyData &entry = keyData(key);
    if (index >= entry.subKeys.size()) return 259; /* ERROR_NO_MORE_ITEMS */
    if (state.failingEnumIndices.count(index)) return 5;
    const std::string &sub = entry.subKeys[index];
    if (sub.size() + 1 > *nameLength) return 234;
    std::memcpy(name, sub.c_str(), sub.size() + 1);
    *nameLength = static_cast<unsigned long>(sub.size());
    return 0;
}

void registryCloseKey(RegistryKey key) {
    delete static_cast<FakeKey *>(key);
    --state.openKeys;
}

bool startProcess(char *commandLine, unsigned long creationFlags, const char *directory,
                  const char *consoleTitle, ChildProcess *child, unsigned long *error) {
    state.launches.push_back({commandLine, creationFlags, directory != nullptr,
                              directory ? directory : "", consoleTitle != nullptr,
                              consoleTitle ? consoleTitle : ""});
    if (state.startFails) {
        *error = state.startError;
        return false;
    }
    if (state.childRuns) state.childRuns(commandLine);
    int code = 0;
    if (!state.exitCodes.empty()) {
        code = state.exitCodes.front();
        state.exitCodes.pop_front();
    }
    *child = new int(code);
    ++state.liveChildren;
    return true;
}

void waitForInputIdle(ChildProcess, unsigned long) { ++state.inputIdleWaits; }
void waitForProcess(ChildProcess) {}
int processExitCode(ChildProcess child) { return *static_cast<int *>(child); }

void releaseProcess(ChildProcess child) {
    delete static_cast<int *>(child);
    --state.liveChildren;
}

bool endRequestedBySignal() { return state.endRequestedBySignal; }

/* As on Windows: the exit code tells. */
void endLikeAnInterruptedChild() {}

std::string systemErrorText(unsigned long error) {
    return error == 2 ? "The system cannot find the file specified" : "System error";
}

bool allocateConsole() {
    ++state.consolesAllocated;
    return true;
}

void setConsoleTitle(const char *title) { state.consoleTitles.push_back(title); }

void openWithAssociatedProgram(const char *file) { state.shellOpens.push_back(file); }

bool openWebPage(const char *url) {
    state.webPages.push_back(url);
    return state.webPagesOpen;
}

unsigned long osMajorVersion() { return state.osMajor; }
unsigned long currentProcessId() { return state.processId; }

bool getEnvironment(const char *name, std::string *value) {
    auto found = state.environment.find(fake::upper(name));
    if (found == state.environment.end()) return false;
    *value = found->second;
    return true;
}

void setEnvironment(const char *name, const char *value) {
    if (value == nullptr)
        state.environment.erase(fake::upper(name));
    else
        state.environment[fake::upper(name)] = value;
}

void exitProcess(int code) { throw fake::ExitCalled{code}; }

/* The folders of PATH as Windows reads them, each tried in turn. */
bool findOnSearchPath(const char *fileName, std::string *path) {
    std::string folders;
    if (!getEnvironment("PATH", &folders)) return false;
    for (const std::string &folder : searchPathFolders(folders)) {
        std::string candidate = folder + "\\" + fileName;
        if (state.files.count(candidate)) {
            *path = candidate;
            return true;
        }
    }
    return false;
}

struct TextFile {
    std::string path;
    std::string content;
    std::size_t position;
    bool writing;
};

/* Paths the tests declare as the same file share an identity. */
std::string fileIdentity(const char *path) {
    auto alias = state.fileAliases.find(path);
    return alias != state.fileAliases.end() ? alias->second : path;
}

bool fileExists(const char *path) {
    return state.files.count(path) > 0 || state.unopenableFiles.count(path) > 0 ||
           state.folders.count(path) > 0;
}

bool isRegularFile(const char *path) { return state.files.count(path) > 0; }

bool isExecutableFile(const char *path) { return isRegularFile(path); }

TextFile *openTextFile(const char *path, const char *mode, int *error) {
    auto unopenable = state.unopenableFiles.find(path);
    if (unopenable != state.unopenableFiles.end()) {
        *error = unopenable->second;
        return nullptr;
    }
    bool writing = std::strchr(mode, 'w') != nullptr;
    if (writing) return new TextFile{path, "", 0, true};
    auto found = state.files.find(path);
    if (found == state.files.end()) {
        *error = ENOENT;
        return nullptr;
    }
    return new TextFile{path, found->second, 0, false};
}

std::string textFileEncoding(TextFile *) { return "UTF-8"; }

bool readTextLine(TextFile *file, std::string *line) {
    line->clear();
    while (file->position < file->content.size()) {
        char c = file->content[file->position++];
        if (c == '\n' && !line->empty() && line->back() == '\r') line->pop_back();
        *line += c;
        if (c == '\n') break;
    }
    return !line->empty();
}

void writeText(TextFile *file, const std::string &text) { file->content += text; }

void closeTextFile(TextFile *file) {
    if (file->writing) state.files[file->path] = file->content;
    delete file;
}

std::string runtimeErrorText(int error) {
    std::string text = std::strerror(error);
    return text.substr(0, 79);
}

bool readFileStart(const char *path, std::size_t limit, std::string *bytes) {
    auto found = state.files.find(path);
    if (found == state.files.end()) return false;
    *bytes = found->second.substr(0, limit);
    return true;
}

int changeDirectory(const char *directory) {
    state.changedDirectories.push_back(directory);
    state.currentDirectory = directory;
    return 0;
}

bool currentDirectory(char *buffer, std::size_t size) {
    if (state.currentDirectoryFails || state.currentDirectory.size() + 1 > size) {
        buffer[0] = '\0';
        return false;
    }
    std::memcpy(buffer, state.currentDirectory.c_str(), state.currentDirectory.size() + 1);
    return true;
}

long long wallClockSeconds() {
    if (state.clock.empty()) return 1000;
    long long now = state.clock.front();
    if (state.clock.size() > 1) state.clock.pop_front();
    return now;
}

void writeLauncherOutput(const std::string &text) { state.standardOutput += text; }
void setDebugTrail(bool on) { state.debugTrail = on; }
void writeStandardError(const std::string &text) { state.standardError += text; }

const bool JAVA_ARGUMENTS_IN_CODE_PAGE = true;

bool userCacheFolder(std::string *folder) { return getEnvironment("LOCALAPPDATA", folder); }

static std::string parentFolder(const std::string &path) {
    return path.substr(0, path.rfind('\\'));
}

bool folderAccess(const char *path, FolderAccess *access) {
    if (!state.folders.count(path)) return false;
    fake::FolderOwner owner = state.folderOwners[path];
    *access = {owner.user, owner.system, owner.othersWrite, owner.sticky};
    return true;
}

/* Only inside a folder that exists, as the system makes one. */
bool makeUserFolder(const char *path) {
    if (state.folders.count(path) || !state.folders.count(parentFolder(path))) return false;
    state.folders.insert(path);
    return true;
}

bool runsElevated() { return state.elevated; }

bool freeSpace(const char *, unsigned long long *bytes) {
    *bytes = state.freeBytes;
    return true;
}

bool startDetachedProcess(char *commandLine, bool keepOutput, unsigned long *processId,
                          unsigned long *) {
    std::string job;
    getEnvironment("TARNWICK_FAST_START_JOB", &job);
    state.detached.push_back({commandLine, keepOutput, job});
    *processId = 77;
    return true;
}

bool fileFacts(const char *path, FileFacts *facts) {
    auto file = state.files.find(path);
    if (!state.folders.count(path) && file == state.files.end()) return false;
    *facts = {file == state.files.end(), file == state.files.end() ? 0 : file->second.size(),
              state.modified.count(path) ? state.modified[path] : 0};
    return true;
}

bool listFolder(const char *path, std::vector<std::string> *names) {
    names->clear();
    for (const auto &file : state.files)
        if (parentFolder(file.first) == path)
            names->push_back(file.first.substr(std::strlen(path) + 1));
    return state.folders.count(path) > 0;
}

/* What is made now has the clock's time. */
bool createNewFile(const char *path, const std::string &content) {
    if (!state.files.emplace(path, content).second) return false;
    state.modified[path] = wallClockSeconds() * 1000000000LL;
    return true;
}

bool readFileRange(const char *path, unsigned long long offset, std::size_t length,
                   std::string *bytes) {
    auto found = state.files.find(path);
    if (found == state.files.end() || offset > found->second.size() ||
        found->second.size() - offset < length)
        return false;
    *bytes = found->second.substr(static_cast<std::size_t>(offset), length);
    return true;
}

/* A file moved into place keeps its time, as a rename does. */
bool replaceFile(const char *from, const char *to) {
    if (!state.files.count(from)) return false;
    state.files[to] = state.files[from];
    state.modified[to] = state.modified[from];
    return state.files.erase(from) > 0;
}

bool removeFile(const char *path) { return state.files.erase(path) > 0; }

} // namespace platform
