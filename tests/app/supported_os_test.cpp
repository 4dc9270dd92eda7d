// Which systems the tray program runs on, played through the platform seam.
#include <gtest/gtest.h>

#include "app/tandrel_app.h"
#include "scripted_system.h"

namespace {

TEST(SupportedOs, Nt5On32BitAndNt6UpTo61)
{
    const struct {
        DWORD platform, major, minor;
        bool wow64;
        bool supported;
    } rows[] = {
        {VER_PLATFORM_WIN32_NT, 4, 0, false, false},
        {VER_PLATFORM_WIN32_NT, 5, 0, false, true},
        {VER_PLATFORM_WIN32_NT, 5, 1, false, true},
        {VER_PLATFORM_WIN32_NT, 5, 2, false, true},
        {VER_PLATFORM_WIN32_NT, 5, 2, true, false},  // 64-bit NT 5
        {VER_PLATFORM_WIN32_NT, 5, 1, true, false},
        {VER_PLATFORM_WIN32_NT, 6, 0, false, true},
        {VER_PLATFORM_WIN32_NT, 6, 1, true, true},
        {VER_PLATFORM_WIN32_NT, 6, 2, false, false},
        {VER_PLATFORM_WIN32_NT, 10, 0, true, false},
        {VER_PLATFORM_WIN32_WINDOWS, 4, 90, false, false},
    };
    for (const auto& row : rows) {
        ScriptedSystem system;
        system.platform = row.platform;
        system.major = row.major;
        system.minor = row.minor;
        system.wow64 = row.wow64;
        PlaySystem(system);
        EXPECT_EQ(row.supported, IsSupportedOs()) << row.major << "." << row.minor << " wow64 " << row.wow64;
    }
    ScriptedSystem failing;
    failing.versionFails = true;
    PlaySystem(failing);
    EXPECT_FALSE(IsSupportedOs());
    RestoreSystem();
}

}  // namespace
