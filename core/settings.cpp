#include "core/settings.h"

#include "core/text.h"
#include "platform/platform.h"

#include <cstring>
#include <memory>
#include <vector>

#ifndef TARNWICK_VERSION
#error "TARNWICK_VERSION comes from the build: project() in CMakeLists.txt"
#endif

const char *const LAUNCHER_VERSION_NUMBER = TARNWICK_VERSION;

/* Kept byte for byte, date included: scripts and users match it. */
const char *const LauncherSettings::_Version = "@(#)tarnWick Version: " TARNWICK_VERSION
                                               " NVQ Compiled: Mar 14 2019 at 11:37:00";

LauncherSettings settings;

/* Every kept text, so that resetSettings can release them together. */
static std::vector<std::unique_ptr<char[]>> keptTexts;

char *keepText(const char *text) {
    if (text == nullptr) text = "";
    std::size_t size = std::strlen(text) + 1;
    std::unique_ptr<char[]> copy(new char[size]);
    std::memcpy(copy.get(), text, size);
    keptTexts.push_back(std::move(copy));
    return keptTexts.back().get();
}

char *keepText(const std::string &text) { return keepText(text.c_str()); }

/* What the capacity report names for each list. */
struct ListInfo {
    const char *description;
    int capacity;
};

static ListInfo listInfo(SettingsList list) {
    switch (list) {
    case LIST_VMPARAMS: return {"JVM parameters (vmparam)", VMPARAMS_CAPACITY};
    case LIST_VMPATHS: return {"class-path entries (addpath, addjar, addjars)", VMPATHS_CAPACITY};
    case LIST_ARGS: break;
    }
    return {"application arguments (argument)", ARGS_CAPACITY};
}

/* The list's entries and count in the settings. */
static void listStorage(SettingsList list, char ***entries, std::int32_t **count) {
    *entries = settings.args;
    *count = &settings.argsCnt;
    if (list == LIST_VMPARAMS) {
        *entries = settings.vmparams;
        *count = &settings.vmparamsCnt;
    } else if (list == LIST_VMPATHS) {
        *entries = settings.vmpaths;
        *count = &settings.vmpathsCnt;
    }
}

bool listHasRoom(SettingsList list) {
    char **entries;
    std::int32_t *count;
    listStorage(list, &entries, &count);
    return *count < listInfo(list).capacity;
}

void reportListFull(SettingsList list, const char *entry) {
    ListInfo info = listInfo(list);
    std::string message =
        formatText("Too many %s: the launcher takes at most %d.\nThe entry \"%s\" and "
                   "everything after it cannot be used, so the application is not "
                   "started.",
                   info.description, info.capacity, entry);
    reportError(message, "Too Many Entries", platform::MSGBOX_ICONERROR);
    platform::exitProcess(2);
}

void appendToList(SettingsList list, char *entry) {
    if (!listHasRoom(list)) reportListFull(list, entry);
    char **entries;
    std::int32_t *count;
    listStorage(list, &entries, &count);
    entries[(*count)++] = entry;
}

const char *applicationName(const char *fallback) {
    if (settings.appname != nullptr && settings.appname[0] != '\0') return settings.appname;
    return fallback;
}

void resetSettings() {
    settings = LauncherSettings();
    keptTexts.clear();
}
