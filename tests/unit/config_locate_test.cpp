#include "tests/unit/test_support.h"

#include "config/config.h"

#include <cstring>

namespace {

struct LocateCase {
    const char *exePath, *dir, *configFile;
    const char *expectedPath;
    const char *exePathAfter;
};

class ConfigLocation : public LauncherTest, public ::testing::WithParamInterface<LocateCase> {};

TEST_P(ConfigLocation, NamesTheFileAfterTheProgram) {
    const LocateCase &c = GetParam();
    settings._debug = 1;
    if (c.configFile) settings._configFile = keepText(c.configFile);
    std::vector<char> exePath(c.exePath, c.exePath + std::strlen(c.exePath) + 1);
    EXPECT_EQ(readAppConfig(exePath.data(), c.dir), 0);
    EXPECT_EQ(fake::state.standardOutput,
              std::string("reading app config ") + c.expectedPath + "\n");
    ASSERT_EQ(fake::state.boxes.size(), 1u);
    EXPECT_EQ(fake::state.boxes[0].caption, "Reading App Config file");
    EXPECT_EQ(fake::state.boxes[0].text, std::string("[") + c.expectedPath + "]");
    EXPECT_STREQ(exePath.data(), c.exePathAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Names, ConfigLocation,
    ::testing::Values(
        LocateCase{"C:\\apps\\demo\\Demo.exe", "C:\\apps\\demo", nullptr,
                   "C:\\apps\\demo\\Demo.config", "C:\\apps\\demo\\Demo"},
        /* Windows names ignore letter case: TOOL.EXE is tool.exe. */
        LocateCase{"C:\\p\\tool\\bin\\TOOL.EXE", "C:\\p\\tool\\bin", nullptr,
                   "C:\\p\\tool\\bin\\TOOL.config", "C:\\p\\tool\\bin\\TOOL"},
        LocateCase{"Demo.eXe", "D:\\w", nullptr, "D:\\w\\Demo.config", "Demo"},
        LocateCase{"Demo.exf", "D:\\w", nullptr, "D:\\w\\Demo.exf.config", "Demo.exf"},
        LocateCase{"demo.exe", "D:\\work", nullptr, "D:\\work\\demo.config", "demo"},
        LocateCase{"demo", "D:\\work", nullptr, "D:\\work\\demo.config", "demo"},
        LocateCase{"demo.exe.exe", "D:\\work", nullptr, "D:\\work\\demo.exe.config", "demo.exe"},
        LocateCase{"C:/apps/demo/demo.exe", "D:\\work", nullptr,
                   "D:\\work\\C:/apps/demo/demo.config", "C:/apps/demo/demo"},
        LocateCase{".exe", "D:\\w", nullptr, "D:\\w\\.config", ""},
        LocateCase{"C:\\apps\\Demo.exe", "C:\\apps", "conf\\test.config", "conf\\test.config",
                   "C:\\apps\\Demo.exe"},
        LocateCase{"C:\\apps\\Demo.exe", "C:\\apps", "", "", "C:\\apps\\Demo.exe"}));

TEST_F(LauncherTest, MissingConfigurationIsNoErrorAndShowsNothing) {
    char exePath[] = "C:\\apps\\Demo.exe";
    EXPECT_EQ(readAppConfig(exePath, "C:\\apps"), 0);
    EXPECT_TRUE(fake::state.boxes.empty());
    EXPECT_TRUE(fake::state.standardOutput.empty());
    EXPECT_TRUE(fake::state.standardError.empty());
}

} // namespace
