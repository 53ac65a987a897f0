#include "platform/windows_paths.h"

#include <gtest/gtest.h>

namespace {

TEST(WindowsPaths, DeviceNamespaceNamesAreNoFiles) {
    struct {
        const char *path;
        bool device;
    } cases[] = {
        {"\\\\.\\NUL", true},
        {"\\\\?\\NUL", true},
        {"//./COM1", true},
        {"\\\\.\\pipe\\tarnwick", true},
        {"\\\\.\\C:", true},
        {"\\\\?\\Volume{1234}", true},
        {"\\\\?\\", true},
        {"\\\\?\\C:\\apps\\Demo.config", false},
        {"\\\\.\\c:/apps/x", false},
        {"\\\\?\\UNC\\server\\share\\x", false},
        {"\\\\?\\Volume{1234}\\x", false},
        {"\\\\server\\share\\x", false},
        {"NUL", false},
        {"C:\\apps\\Demo.config", false},
        {"\\\\.", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(platform::isDeviceNamespacePath(c.path), c.device) << c.path;
}

} // namespace
