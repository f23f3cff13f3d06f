#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "device/DriverKey.h"

TEST(DriverKey, JoinsTheComponentsWithBackslashes) {
    const struct {
        const char* deviceName;
        const char* expected;
    } cases[] = {
        {"QorvelE", "SOFTWARE\\Brackwell\\Drivers\\1.0\\QorvelE"},
        {"", "SOFTWARE\\Brackwell\\Drivers\\1.0"},  // no trailing backslash
        {nullptr, "SOFTWARE\\Brackwell\\Drivers\\1.0"},
        {"a b", "SOFTWARE\\Brackwell\\Drivers\\1.0\\a b"},
    };
    for (const auto& c : cases) {
        char path[256];
        std::memset(path, 'x', sizeof path);
        BuildDriverKeyPath(c.deviceName, path, sizeof path);
        EXPECT_EQ(std::string(path), c.expected) << (c.deviceName ? c.deviceName : "(null)");
    }
}

TEST(DriverKey, LongestDeviceNameFitsTheKeyBuffer) {
    // The configuration keeps at most 99 characters of DeviceName.
    const std::string name(99, 'N');
    char path[256];
    BuildDriverKeyPath(name.c_str(), path, sizeof path);
    EXPECT_EQ(std::string(path), "SOFTWARE\\Brackwell\\Drivers\\1.0\\" + name);
}
