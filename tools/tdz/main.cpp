// tdz: command-line access to the codec of .tdz containers, for Linux and
// macOS users (and built by every tree). `tdz --help` says what it does;
// the manual page is made from the same rows (`tdz --man`).
//
// Exit status 0 on success, 1 when a file failed (named on stderr with the
// reason, no partial output left), 2 on misuse (one line on stderr).
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "command_line.h"
#include "container_commands.h"
#include "help_text.h"
#include "list_command.h"
#include "mount/mount_command.h"
#include "relc_commands.h"
#include "report.h"

namespace {

constexpr unsigned kTalk = kOptQuiet | kOptVerbose;

// One row per command; a new command is one more row.
constexpr CommandSpec kCommands[] = {
    {"pack", "FILE...", 1, kAnyCount, kOptOutput | kOptForce | kOptRecursive | kOptThreads | kOptReplace | kTalk,
     "pack each FILE into FILE.tdz",
     "Packs each FILE into FILE.tdz (or the -o name), keeping its size, attributes and times in the "
     "container's header. FILE stays unless --replace is given. With -r, the files of each folder's tree "
     "are packed, .tdz files among them left as they are.",
     RunPackCommand},
    {"unpack", "FILE.tdz...", 1, kAnyCount,
     kOptOutput | kOptStdout | kOptForce | kOptRecursive | kOptReplace | kTalk,
     "restore each FILE.tdz to FILE",
     "Restores each FILE.tdz to FILE (or the -o name, or standard output with -c) with its stored times "
     "and attributes, once its stream, size and checksum have been checked: a damaged container leaves "
     "nothing behind. With -r, the .tdz files of each folder's tree are restored.",
     RunUnpackCommand},
    {"test", "FILE.tdz...", 1, kAnyCount, kOptRecursive | kOptQuiet, "check containers and print their headers",
     "Reads each container through to the end, checks its stream, size and checksum, and prints its "
     "header; writes no file.",
     RunTestCommand},
    {"list", "FILE.tdz...", 1, kAnyCount, kOptRecursive | kOptJson,
     "one line per container: sizes, ratio, attributes, times",
     "Prints one row per container from its header and size alone: original size, container size, "
     "their ratio (container / original), attributes (R read-only, H hidden, S system, A archive ...), "
     "creation and last-write times (UTC), and the name it restores to; then a total row. --json prints "
     "a JSON array of one object per container instead.",
     RunListCommand},
    {"encode", "IN OUT", 2, 2, kOptThreads | kTalk, "code IN as a raw relc stream",
     "Writes the raw relc stream of IN (no container) to OUT. IN and OUT may be - for the standard "
     "input and output.",
     RunEncodeCommand},
    {"decode", "IN OUT", 2, 2, kTalk, "restore the bytes of the raw relc stream IN",
     "Writes the bytes of the raw relc stream IN to OUT, which is left as it was if the stream is "
     "damaged. IN and OUT may be - for the standard input and output.",
     RunDecodeCommand},
    {"mount", "[-o ro,cache=MB,fg] SOURCE MOUNTPOINT", 2, 2, 0,
     "show SOURCE at MOUNTPOINT with containers as their files",
     "Mounts the folder SOURCE at MOUNTPOINT (FUSE 3): each container whose header checks out "
     "appears as the file it holds, with its stored size, last-write time and read-only attribute; other "
     "files and folders appear as they are, damaged containers under their own name (and named on "
     "standard error). A real FILE beside FILE.tdz keeps its name. A file written through the mount is "
     "stored as FILE.tdz when it is closed (an empty one as a plain file). Here -o takes the mount's "
     "options, separated by commas: ro (read-only), cache=MB (decoded data kept, default 16), fg (stay "
     "in the foreground).",
     RunMountCommand},
    {"umount", "MOUNTPOINT", 1, 1, 0, "end a mount made by tdz mount",
     "Unmounts MOUNTPOINT (fusermount3 -u; umount on macOS). Fails while a file in it is open.",
     RunUmountCommand},
};
constexpr size_t kCommandCount = sizeof kCommands / sizeof kCommands[0];

int UsageError(const char* command, const std::string& what)
{
    const std::string where = command != nullptr ? std::string(command) + ": " : "";
    std::string usage = "tdz COMMAND [OPTIONS] ARGUMENTS...";
    for (const CommandSpec& spec : kCommands) {
        if (command != nullptr && std::strcmp(spec.name, command) == 0)
            usage = std::string("tdz ") + spec.name + " [OPTIONS] " + spec.operands;
    }
    const std::string help = command != nullptr ? std::string("tdz ") + command + " --help" : "tdz --help";
    std::fprintf(stderr, "tdz: %s%s (usage: %s; try '%s')\n", where.c_str(), what.c_str(), usage.c_str(),
                 help.c_str());
    return kExitUsage;
}

int PrintingTo(std::FILE* to, int status)
{
    return std::fflush(to) == 0 ? status : ReportFailure("help", "cannot write to standard output");
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return UsageError(nullptr, "no command given");
    const std::string first = argv[1];
    if (first == "-h" || first == "--help") {
        PrintGeneralHelp(stdout, kCommands, kCommandCount);
        return PrintingTo(stdout, kExitOk);
    }
    if (first == "--version") {
        PrintVersion(stdout);
        return PrintingTo(stdout, kExitOk);
    }
    if (first == "--man") {
        PrintManPage(stdout, kCommands, kCommandCount);
        return PrintingTo(stdout, kExitOk);
    }
    // mount's -o carries the mount's options, not an output file: it reads
    // its own arguments, and only its help comes from the table.
    if (first == "mount" && !AsksForMountHelp(argc, argv))
        return RunMountArguments(std::vector<std::string>(argv + 2, argv + argc));
    for (const CommandSpec& command : kCommands) {
        if (first != command.name)
            continue;
        CommandLine line;
        std::string error;
        switch (ParseCommandLine(command, std::vector<std::string>(argv + 2, argv + argc), &line, &error)) {
        case ParseOutcome::Help:
            PrintCommandHelp(stdout, command);
            return PrintingTo(stdout, kExitOk);
        case ParseOutcome::Usage:
            return UsageError(command.name, error);
        case ParseOutcome::Run:
            break;
        }
        return command.run(line);
    }
    if (first.size() > 1 && first[0] == '-')
        return UsageError(nullptr, "unknown option '" + first + "' before the command");
    return UsageError(nullptr, "unknown command '" + first + "'");
}
