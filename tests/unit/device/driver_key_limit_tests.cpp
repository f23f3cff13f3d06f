// The registry key path never runs past its buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "device/DriverKey.h"

TEST(DriverKeyPath, IsCutAndTerminatedWithinTheBuffer) {
    const struct {
        size_t size;
        const char* expected;
    } cases[] = {
        {1, ""},
        {9, "SOFTWARE"},
        {10, "SOFTWARE\\"},
        {20, "SOFTWARE\\Brackwell\\"},
        {35, "SOFTWARE\\Brackwell\\Drivers\\1.0\\Qor"},
    };
    for (const auto& c : cases) {
        char out[64];
        std::memset(out, '#', sizeof out);
        BuildDriverKeyPath("QorvelE", out, c.size);
        EXPECT_EQ(std::string(out), c.expected) << c.size;
        EXPECT_EQ(out[c.size], '#') << c.size;
    }
}

TEST(DriverKeyPath, WritesNothingIntoNoRoom) {
    char out[4] = "abc";
    BuildDriverKeyPath("QorvelE", out, 0);
    EXPECT_STREQ(out, "abc");
    BuildDriverKeyPath("QorvelE", nullptr, 16);  // must not crash
}
