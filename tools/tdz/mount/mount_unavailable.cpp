// The mount commands of a tdz built where FUSE 3 was not found.
#include "mount_command.h"

#include "report.h"

int RunMountArguments(const std::vector<std::string>&)
{
    return ReportFailure("mount", "not available: this tdz was built without FUSE 3");
}

bool AsksForMountHelp(int argc, char** argv)
{
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help")
            return true;
    }
    return false;
}

int RunMountCommand(const CommandLine&)
{
    return ReportFailure("mount", "not available: this tdz was built without FUSE 3");
}

int RunUmountCommand(const CommandLine&)
{
    return ReportFailure("umount", "not available: this tdz was built without FUSE 3");
}
