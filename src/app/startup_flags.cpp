#include "app/startup_flags.h"

StartupFlags& GetStartupFlags()
{
    static StartupFlags flags;
    return flags;
}
