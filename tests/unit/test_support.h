/*
** Shared pieces of the unit tests: a fixture that starts every case from an
** empty system, and a way to run the launcher with an argument list.
*/
#ifndef TARNWICK_TEST_SUPPORT_H
#define TARNWICK_TEST_SUPPORT_H

#include "core/settings.h"
#include "launcher/startup.h"
#include "tests/unit/platform_double.h"

#include <gtest/gtest.h>

#include <list>
#include <string>
#include <vector>

extern const char *const RUNTIME_KEY; /* the registry key of installed runtimes */

class LauncherTest : public ::testing::Test {
protected:
    void SetUp() override { fake::reset(); }

    /* Registers a current runtime 1.6 at home, as an installer would. */
    void installRuntime(const std::string &home = "C:\\jre6") {
        fake::setRegistryValue(RUNTIME_KEY, "CurrentVersion", "1.6");
        fake::setRegistryValue(std::string(RUNTIME_KEY) + "\\1.6", "JavaHome", home);
    }

    /* Runs the whole launcher with argv (program path first) and returns its
    ** exit code, whether it returned or ended the process. */
    int runLauncher(const std::vector<std::string> &argv) {
        std::vector<char *> pointers;
        for (const std::string &arg : argv) {
            argStorage.emplace_back(arg.begin(), arg.end());
            argStorage.back().push_back('\0');
            pointers.push_back(argStorage.back().data());
        }
        pointers.push_back(nullptr);
        int result = 0;
        int code = fake::exitCodeOf(
            [&] { result = launcherMain(static_cast<int>(argv.size()), pointers.data()); });
        return code == -1000 ? result : code;
    }

private:
    /* The argument vector must outlive the run: settings point into it. */
    std::list<std::vector<char>> argStorage;
};

#endif
