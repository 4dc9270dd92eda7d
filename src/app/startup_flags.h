// What the command line told a tray program that an earlier instance
// started elevated (written once before the frame exists, then only read).
#pragma once

struct StartupFlags {
    bool relaunched = false;              // any of the three wait switches
    bool addToStartup = false;            // "-startiwait "
    bool exitAfterRemoval = false;        // "-startvwait "
    bool startedAsAdministrator = false;  // administrator without a predecessor
};

StartupFlags& GetStartupFlags();
