// tdz: command-line access to the codec of .tdz containers.
//
//   tdz encode IN OUT    raw relc stream of IN
//   tdz decode IN OUT    bytes of the raw relc stream IN
//
// IN and OUT may be "-" for the standard input and output. Exit status 0 on
// success, 1 on failure (message on stderr, no OUT file left), 2 on misuse.
#include <cstdio>
#include <cstring>
#include <string>

#include "relc_commands.h"
#include "report.h"

namespace {

struct Command {
    const char* name;
    const char* arguments;
    int argumentCount;
    int (*run)(char** args);
};

int Encode(char** args) { return RunEncodeCommand(args[0], args[1]); }
int Decode(char** args) { return RunDecodeCommand(args[0], args[1]); }

constexpr Command kCommands[] = {
    {"encode", "IN OUT", 2, Encode},
    {"decode", "IN OUT", 2, Decode},
};

int Usage()
{
    std::fprintf(stderr, "usage:\n");
    for (const Command& command : kCommands)
        std::fprintf(stderr, "  tdz %s %s\n", command.name, command.arguments);
    std::fprintf(stderr, "IN and OUT may be - for the standard input and output.\n");
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
        if (argc - 2 != command.argumentCount)
            return Usage();
        return command.run(argv + 2);
    }
    std::fprintf(stderr, "tdz: unknown command '%s'\n", argv[1]);
    return Usage();
}
