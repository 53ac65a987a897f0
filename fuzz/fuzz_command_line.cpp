/*
** Fuzz target: the assembled java command line, read back by the Windows
** splitting rules, must hand the application exactly the arguments it was
** given, whatever they hold and whatever the system version.
**
** Input layout: the first byte holds switches (bit 0 Vista or later, bit 1
** no main class, bit 2 debug trail, bit 3 a runtime path without blanks,
** bit 4 a JVM parameter and a class path with a blank, bit 5 the arguments
** as class-path entries too, bit 6 as "-D" options of the launcher's command
** line too, bit 7 names that may hold quotes and tabs, as on POSIX); the
** rest is the argument list, each argument ended by a NUL byte (the last one
** may lack it), at most as many as the launcher keeps.  An input of odd
** length hands the arguments on as tool mode does.
*/
#include "core/settings.h"
#include "launcher/command_line.h"
#include "platform/command_line_split.h"
#include "tests/unit/platform_double.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const char QUOTED_JAVA[] = "\"C:\\Program Files\\j\\bin\\javaw.exe\"";
const char QUOTED_JAVA_TOKEN[] = "C:\\Program Files\\j\\bin\\javaw.exe";
const char PLAIN_JAVA[] = "C:\\jre6\\bin\\javaw.exe";
const char MAIN_CLASS[] = "com.acme.Main";

[[noreturn]] void fail(const char *what, const std::string &line,
                       const std::vector<std::string> &expected,
                       const std::vector<std::string> &got) {
    std::fprintf(stderr, "fuzz_command_line: %s\n  line: [%s]\n", what, line.c_str());
    for (const std::string &token : expected)
        std::fprintf(stderr, "  expected [%s]\n", token.c_str());
    for (const std::string &token : got) std::fprintf(stderr, "  got      [%s]\n", token.c_str());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size == 0) return 0;
    fake::reset();
    std::uint8_t switches = data[0];
    settings._isVista = switches & 1 ? 1 : 0;
    settings._debug = switches & 4 ? 1 : 0;

    /* The tokens the child must see, program first. */
    std::vector<std::string> expected;
    if (switches & 8) {
        settings.javapath = keepText(PLAIN_JAVA);
        expected.push_back(PLAIN_JAVA);
    } else {
        settings.javapath = keepText(QUOTED_JAVA);
        expected.push_back(QUOTED_JAVA_TOKEN);
    }
    std::vector<std::string> args;
    const char *p = reinterpret_cast<const char *>(data + 1);
    const char *end = reinterpret_cast<const char *>(data + size);
    while (p < end && args.size() < ARGS_CAPACITY) {
        const char *nul = std::find(p, end, '\0');
        args.emplace_back(p, nul);
        p = nul + 1;
    }

    fake::state.posixNames = (switches & 128) != 0;
    if (switches & 64) {
        for (const std::string &arg : args) {
            if (settings.vmparamsCnt >= VMPARAMS_CAPACITY - 1) break; /* room for bit 4's */
            std::string option = "-D" + arg;
            appendToList(LIST_VMPARAMS, jvmOptionToken(keepText(option)));
            expected.push_back(option);
        }
    }

    std::string classPath;
    if (switches & 16) {
        appendToList(LIST_VMPARAMS, keepText("-Xmx256m"));
        expected.push_back("-Xmx256m");
        appendToList(LIST_VMPATHS, keepText("lib/*"));
        appendToList(LIST_VMPATHS, keepText("my app.jar"));
        classPath = "lib/*;my app.jar";
    }
    if (switches & 32) {
        for (std::string entry : args) {
            /* Windows names hold no quote or tab; on POSIX the quotes of an
            ** entry with a blank group it, and all else is the name. */
            if (!fake::state.posixNames)
                entry.erase(std::remove_if(entry.begin(), entry.end(),
                                           [](char c) { return c == '"' || c == '\t'; }),
                            entry.end());
            appendToList(LIST_VMPATHS, keepText(entry));
            if (entry.find(' ') != std::string::npos)
                entry.erase(std::remove(entry.begin(), entry.end(), '"'), entry.end());
            if (settings.vmpathsCnt > 1) classPath += ';';
            classPath += entry;
        }
    }
    /* An empty class path is left out, "-classpath" with it. */
    if (!classPath.empty()) {
        expected.push_back("-classpath");
        expected.push_back(classPath);
    }

    if (!(switches & 2)) {
        settings.mainClass = keepText(MAIN_CLASS);
        expected.push_back(MAIN_CLASS);
    }
    /* An input of odd length: the arguments are tool mode's, passed on
    ** before a configured one; their number is not bounded by a list. */
    std::vector<char *> passed;
    for (const std::string &arg : args) {
        if (size % 2 == 1)
            passed.push_back(keepText(arg));
        else
            appendToList(LIST_ARGS, keepText(arg));
        expected.push_back(arg);
    }
    if (size % 2 == 1) {
        settings.passedArgs = passed.data();
        settings.passedArgsCnt = static_cast<std::int32_t>(passed.size());
        appendToList(LIST_ARGS, keepText("configured"));
        expected.push_back("configured");
    }

    const std::string line = buildJavaCommandLine(javaCommandOf(settings));
    const std::vector<std::string> got = splitWindowsCommandLine(line.c_str());
    if (got != expected) fail("the child would see other tokens", line, expected, got);

    /* With arguments the line ends with a blank; without, with the main
    ** class or, when there is none, the blank before it. */
    bool endsWithBlank = !line.empty() && line.back() == ' ';
    bool blankExpected = settings.passedArgsCnt + settings.argsCnt > 0 ||
                         settings.mainClass == nullptr;
    if (endsWithBlank != blankExpected) fail("wrong end of the line", line, expected, got);
    return 0;
}
