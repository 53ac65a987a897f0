#include "tests/unit/test_support.h"

#include "config/config.h"

#include <sstream>

namespace {

std::vector<std::string> linesOf(const std::string &text) {
    std::vector<std::string> lines;
    std::size_t start = 0, end;
    while ((end = text.find('\n', start)) != std::string::npos) {
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

TEST_F(LauncherTest, SampleDocumentsEveryKeyCommentedOut) {
    fake::state.files[SAMPLE_CONFIG_NAME] = "old content that must go";
    writeSampleConfig();
    const std::string text = fake::state.files[SAMPLE_CONFIG_NAME];
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    std::vector<std::string> lines = linesOf(text);
    ASSERT_EQ(lines.size(), 43u);
    EXPECT_EQ(
        lines[0],
        "#Created with version @(#)tarnWick Version: 1.3.1 NVQ Compiled: Mar 14 2019 at 11:37:00");
    for (const std::string &line : lines) EXPECT_TRUE(line.empty() || line[0] == '#') << line;

    /* Each key stands once, as "#key <...>" (showConsole with its value). */
    const char *keys[] = {"mainclass",   "addpath",     "addjars",      "addjar",    "vmparam",
                          "javapath",    "showConsole", "consoleTitle", "include",   "argument",
                          "javaVersion", "appname",     "workingDir",   "outputFile"};
    for (const char *key : keys) {
        int count = 0;
        for (const std::string &line : lines)
            if (line.rfind(std::string("#") + key + " ", 0) == 0) ++count;
        EXPECT_EQ(count, 1) << key;
    }
    EXPECT_EQ(text.find("setenv"), std::string::npos);
    EXPECT_EQ(lines[7], "#mainclass <main class>");
    EXPECT_EQ(lines[42], "#outputFile <output file>");
}

} // namespace
