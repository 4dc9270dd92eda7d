// tdz: command-line access to the codec of .tdz containers.
//
//   tdz encode IN OUT                 raw relc stream of IN
//   tdz decode IN OUT                 bytes of the raw relc stream IN
//   tdz pack [--replace] FILE...      FILE -> FILE.tdz
//   tdz unpack [--replace] FILE.tdz...  FILE.tdz -> FILE
//   tdz test FILE.tdz...              check containers, print their headers
//
// IN and OUT may be "-" for the standard input and output. pack and unpack
// never overwrite a file and delete their input only with --replace, once
// the output is complete and reads back correctly. Exit status 0 on
// success, 1 on failure (message on stderr, no partial output left), 2 on
// misuse.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "container_commands.h"
#include "relc_commands.h"
#include "report.h"

namespace {

constexpr int kAnyCount = -1;  // one or more

struct Command {
    const char* name;
    const char* arguments;
    int argumentCount;   // or kAnyCount
    bool takesReplace;   // accepts --replace before its files
    int (*run)(const std::vector<std::string>& args, bool replace);
};

int Encode(const std::vector<std::string>& args, bool) { return RunEncodeCommand(args[0], args[1]); }
int Decode(const std::vector<std::string>& args, bool) { return RunDecodeCommand(args[0], args[1]); }
int Pack(const std::vector<std::string>& args, bool replace) { return RunPackCommand(args, replace); }
int Unpack(const std::vector<std::string>& args, bool replace) { return RunUnpackCommand(args, replace); }
int Test(const std::vector<std::string>& args, bool) { return RunTestCommand(args); }

constexpr Command kCommands[] = {
    {"encode", "IN OUT", 2, false, Encode},
    {"decode", "IN OUT", 2, false, Decode},
    {"pack", "[--replace] FILE...", kAnyCount, true, Pack},
    {"unpack", "[--replace] FILE.tdz...", kAnyCount, true, Unpack},
    {"test", "FILE.tdz...", kAnyCount, false, Test},
};

int Usage()
{
    std::fprintf(stderr, "usage:\n");
    for (const Command& command : kCommands)
        std::fprintf(stderr, "  tdz %s %s\n", command.name, command.arguments);
    std::fprintf(stderr, "IN and OUT may be - for the standard input and output.\n"
                         "pack and unpack delete their input only with --replace, after checking the output.\n");
    return kExitUsage;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return Usage();
    for (const Command& command : kCommands) {
        if (std::strcmp(argv[1], command.name) != 0)
            continue;
        std::vector<std::string> args(argv + 2, argv + argc);
        bool replace = false;
        if (command.takesReplace && !args.empty() && args.front() == "--replace") {
            replace = true;
            args.erase(args.begin());
        }
        const bool countOk = command.argumentCount == kAnyCount ? !args.empty()
                                                                : int(args.size()) == command.argumentCount;
        if (!countOk)
            return Usage();
        return command.run(args, replace);
    }
    std::fprintf(stderr, "tdz: unknown command '%s'\n", argv[1]);
    return Usage();
}
