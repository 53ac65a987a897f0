#include "platform/command_line_split.h"

#include <gtest/gtest.h>

namespace {

struct SplitCase {
    const char *line;
    std::vector<std::string> expected;
};

class WindowsSplit : public ::testing::TestWithParam<SplitCase> {};

TEST_P(WindowsSplit, FollowsTheCRuntimeRules) {
    EXPECT_EQ(splitWindowsCommandLine(GetParam().line), GetParam().expected) << GetParam().line;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, WindowsSplit,
    ::testing::Values(
        SplitCase{"p \"abc\" d e", {"p", "abc", "d", "e"}},
        SplitCase{"p a\\\\\\b d\"e f\"g h", {"p", "a\\\\\\b", "de fg", "h"}},
        SplitCase{"p a\\\\\\\"b c d", {"p", "a\\\"b", "c", "d"}},
        SplitCase{"p a\\\\\\\\\"b c\" d e", {"p", "a\\\\b c", "d", "e"}},
        SplitCase{"p \"a\"\"b\" c", {"p", "a\"b", "c"}},
        SplitCase{"p \"\" x \"\"", {"p", "", "x", ""}}, SplitCase{"p\t a\t\tb  ", {"p", "a", "b"}},
        SplitCase{"\"C:\\Program Files\\j.exe\" x", {"C:\\Program Files\\j.exe", "x"}},
        SplitCase{"C:\\dir\\\"q\" x", {"C:\\dir\\q", "x"}},
        SplitCase{"p C:\\ \"C:\\\\\"", {"p", "C:\\", "C:\\"}},
        SplitCase{"p \"unterminated arg", {"p", "unterminated arg"}}, SplitCase{"", {}}));

struct LauncherLineCase {
    const char *line;
    const char *program; /* the launcher's own file */
    std::vector<std::string> expected;
};

class LauncherSplit : public ::testing::TestWithParam<LauncherLineCase> {};

/* A caller that wrote the launcher's path without quotes hands it over
** blanks and all; only a whole path followed by a blank counts. */
TEST_P(LauncherSplit, TakesTheOwnPathWrittenWithoutQuotesWhole) {
    const LauncherLineCase &c = GetParam();
    EXPECT_EQ(splitLauncherCommandLine(c.line, c.program), c.expected) << c.line;
}

const char *const OWN = "C:\\p\\My Apps\\Demo.exe";

INSTANTIATE_TEST_SUITE_P(
    Lines, LauncherSplit,
    ::testing::Values(
        LauncherLineCase{"C:\\p\\My Apps\\Demo.exe a", OWN, {OWN, "a"}},
        LauncherLineCase{"c:\\P\\my apps\\DEMO.exe\t\"b c\"", OWN, {OWN, "b c"}},
        LauncherLineCase{"C:\\p\\My Apps\\Demo.exe", OWN, {OWN}},
        LauncherLineCase{"\"C:\\p\\My Apps\\Demo.exe\" a", OWN, {OWN, "a"}},
        LauncherLineCase{"C:\\p\\My Apps\\Demo.exe2 a", OWN, {"C:\\p\\My", "Apps\\Demo.exe2", "a"}},
        LauncherLineCase{"C:\\p\\My Apps", OWN, {"C:\\p\\My", "Apps"}},
        LauncherLineCase{"Demo a", "", {"Demo", "a"}}, LauncherLineCase{"", OWN, {}}));

/* Each word, written as one word of a command line, comes back from the
** split exactly; a plain word is written as it is. */
TEST(CommandLineWords, ComeBackFromTheSplitAsTheyWere) {
    const std::vector<std::string> words = {"-Xmx64m",   "",       "a b", "say \"hi\"", "C:\\",
                                            "C:\\dir\\", "x\\\"y", "\t",  "a\\\\b"};
    std::string line;
    for (const std::string &word : words) line += commandLineWord(word) + " ";
    EXPECT_EQ(splitCommandLineArguments(line), words) << line;
    EXPECT_EQ(commandLineWord("-Da=1"), "-Da=1");
    EXPECT_EQ(commandLineWord(""), "\"\"");
    EXPECT_EQ(splitCommandLineArguments("  "), std::vector<std::string>());
}

} // namespace
