/*
** Fuzz target: the configuration reader over arbitrary file contents.
**
** Input layout: the first byte holds switches (bit 0 debug trail, bit 1
** quiet mode, bit 2 Vista or later); the rest is cut at each 0x1E byte into
** the main file "app.config" and up to three include files.  The include
** files are reachable as inc1.config, inc2.config and, through an expansion,
** $APP/inc3.config; dir.config exists but cannot be opened, and the
** environment holds variables that refer to themselves and one long value.
** The registry knows a few runtimes (one of them uninstalled, two under
** the JDK key), so "javaVersion" lines can succeed, fail with exit code 5
** or end with the download question (exit code 11).
*/
#include "config/config.h"
#include "core/settings.h"
#include "jre/jre.h"
#include "tests/unit/platform_double.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char FILE_SEPARATOR = '\x1e';

const char *const FILE_NAMES[] = {"app.config", "inc1.config", "inc2.config",
                                  "C:/apps/demo/inc3.config"};
constexpr std::size_t FILE_COUNT = sizeof FILE_NAMES / sizeof FILE_NAMES[0];

/* The system every run starts from: built once, copied per run. */
fake::State makeBaseline() {
    fake::reset();
    fake::state.environment = {
        {"JAVA_HOME", "C:\\jdk1.8"},
        {"APP", "C:\\apps\\demo"},
        {"APPT", "C:\\apps\\demo\\"},
        {"APPS", "C:\\Program Files\\Demo"},
        {"TEMP", "C:\\Temp"},
        {"SELF", "$SELF"},
        {"LOOPA", "x/$LOOPB"},
        {"LOOPB", "y\\$LOOPA"},
        {"LONG", std::string(1500, 'L') + " with a blank"},
    };
    fake::state.unopenableFiles["dir.config"] = EISDIR;
    std::string base = platform::JAVA_RUNTIME_KEY;
    fake::setRegistryValue(base, "CurrentVersion", "1.8");
    fake::setRegistryValue(base + "\\1.6", "JavaHome", "C:\\jre6");
    fake::setRegistryValue(base + "\\1.6.0_45", "JavaHome", "C:\\Program Files\\Java\\jre6");
    fake::addRegistryKey(base + "\\1.7"); /* no JavaHome */
    fake::setRegistryValue(base + "\\1.8.0_201", "JavaHome", "C:\\Program Files\\Java\\jre8");
    fake::setRegistryRawValue(base + "\\1.8.0_300", "JavaHome", "C:\\unterminated");
    /* Installed, but for 1.6.0_45, whose executable is gone. */
    for (const char *home : {"C:\\jre6", "C:\\Program Files\\Java\\jre8", "C:\\unterminated",
                             "C:\\jdk17", "C:\\jdk21"})
        fake::state.files[std::string(home) + "\\bin\\javaw.exe"] = "";
    std::string jdk = "SOFTWARE\\JavaSoft\\JDK";
    fake::setRegistryValue(jdk + "\\17.0.9", "JavaHome", "C:\\jdk17");
    fake::setRegistryValue(jdk + "\\21.0.5+11-LTS", "JavaHome", "C:\\jdk21");
    return fake::state;
}

[[noreturn]] void fail(const char *what) {
    std::fprintf(stderr, "fuzz_config_reader: %s\n", what);
    std::abort();
}

/* Reads every byte of a kept text, so that a dangling or unterminated one
** shows up under AddressSanitizer; no kept text may hold a line feed, since
** the reader takes values line by line. */
void checkText(const char *text, const char *what) {
    if (text == nullptr) return;
    if (std::strchr(text, '\n') != nullptr) fail(what);
}

void checkList(char **entries, int count, int capacity, const char *what) {
    if (count < 0 || count > capacity) fail(what);
    for (int i = 0; i < count; ++i) {
        if (entries[i] == nullptr) fail(what);
        checkText(entries[i], what);
    }
}

/* What must hold after any run, whether the reader returned or ended the
** process.  exitCode is that of the ending, -1000 when it returned. */
void checkSettings(int exitCode) {
    checkList(settings.vmparams, settings.vmparamsCnt, VMPARAMS_CAPACITY, "vmparams");
    checkList(settings.vmpaths, settings.vmpathsCnt, VMPATHS_CAPACITY, "vmpaths");
    checkList(settings.args, settings.argsCnt, ARGS_CAPACITY, "args");
    checkText(settings.javapath, "javapath");
    checkText(settings.mainClass, "mainClass");
    checkText(settings.javaVersion, "javaVersion");
    checkText(settings.appname, "appname");
    checkText(settings.consoleTitle, "consoleTitle");
    checkText(settings.workingDir, "workingDir");
    checkText(settings.outputFile, "outputFile");
    checkText(settings._logFile, "_logFile");
    if (settings._showConsole != 0 && settings._showConsole != 1) fail("_showConsole");

    /* The process ends with 2 only when a list overflows. */
    if (exitCode == 2 && settings.vmparamsCnt != VMPARAMS_CAPACITY &&
        settings.vmpathsCnt != VMPATHS_CAPACITY && settings.argsCnt != ARGS_CAPACITY)
        fail("exit code 2 without a full list");
    if (exitCode == 5 && settings.javaVersion == nullptr) fail("exit code 5 without javaVersion");

    /* The log file is whatever follows "-DLOGFILE=" in the last parameter
    ** that names one (an overflow may have refused that parameter). */
    if (exitCode != 2) {
        const char *last = nullptr;
        for (int i = 0; i < settings.vmparamsCnt; ++i)
            if (std::strncmp(settings.vmparams[i], "-DLOGFILE", 9) == 0)
                last = settings.vmparams[i];
        if ((last == nullptr) != (settings._logFile == nullptr)) fail("_logFile without -DLOGFILE");
        if (last != nullptr) {
            const char *expected = std::strlen(last) > 9 ? last + 10 : "";
            if (std::strcmp(settings._logFile, expected) != 0) fail("_logFile text");
        }
    }

    /* Plain, error and question boxes are all the reader and the runtime
    ** lookup ever show. */
    for (const fake::Box &box : fake::state.boxes)
        if (box.type != 0x00 && box.type != 0x10 && box.type != 0x14) fail("box type");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static const fake::State baseline = makeBaseline();
    if (size == 0) return 0;

    fake::reset();
    fake::state = baseline;
    settings._quietMode = data[0] & 2 ? 1 : 0;
    settings._debug = (data[0] & 1) && !settings._quietMode ? 1 : 0;
    settings._isVista = data[0] & 4 ? 1 : 0;

    std::string rest(reinterpret_cast<const char *>(data + 1), size - 1);
    std::size_t start = 0;
    for (std::size_t file = 0; file < FILE_COUNT && start <= rest.size(); ++file) {
        std::size_t end = rest.find(FILE_SEPARATOR, start);
        if (end == std::string::npos) end = rest.size();
        fake::state.files[FILE_NAMES[file]] = rest.substr(start, end - start);
        start = end + 1;
    }

    /* The light reading for the toolMode line alone takes any file too, and
    ** nothing of the reading proper decides the mode. */
    readToolMode("app.config");
    int result = -1;
    int exitCode = fake::exitCodeOf([&] { result = readAppConfig("app.config"); });
    if (settings.toolMode) fail("the reading proper set toolMode");
    if (exitCode == -1000) {
        /* app.config exists and opens, so it is read to its end. */
        if (result != 0) fail("readAppConfig failed on a readable file");
    } else if (exitCode != 2 && exitCode != 5 && exitCode != 11) {
        fail("unexpected exit code");
    }
    checkSettings(exitCode);
    return 0;
}
