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

} // namespace
