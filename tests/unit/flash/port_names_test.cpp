// Windows' port names as q42flash.exe opens and compares them: COM10 and up open only by
// their \\.\ path, and one port written two ways must be seen as one.
#include "flash/win32/port_names.h"

#include <gtest/gtest.h>

TEST(ComPortNames, PathOpensEveryNumberAndIdentityIgnoresTheForm) {
    struct Row {
        const char* given;
        const char* path;
        const char* identity;
    };
    const Row rows[] = {
        {"COM3", "\\\\.\\COM3", "COM3"},
        {"com23", "\\\\.\\com23", "COM23"},
        {"\\\\.\\COM256", "\\\\.\\COM256", "COM256"},
        {"\\\\.\\com23", "\\\\.\\com23", "COM23"},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(ComDevicePath(r.given), r.path) << r.given;
        EXPECT_EQ(ComIdentity(r.given), r.identity) << r.given;
    }
}
