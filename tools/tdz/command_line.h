// The tool's commands and options as data: parsing, --help and the manual
// page all read the same rows, so what the tool accepts and what it says it
// accepts cannot drift apart.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

enum OptionBit : unsigned {
    kOptOutput = 1u << 0,
    kOptStdout = 1u << 1,
    kOptForce = 1u << 2,
    kOptRecursive = 1u << 3,
    kOptThreads = 1u << 4,
    kOptQuiet = 1u << 5,
    kOptVerbose = 1u << 6,
    kOptReplace = 1u << 7,
    kOptJson = 1u << 8,
};

constexpr unsigned kMinThreads = 1;
constexpr unsigned kMaxThreads = 256;

// What one run was asked to do, checked against the command's row.
struct CommandLine {
    std::vector<std::string> operands;
    std::string output;      // -o; empty when not given
    bool toStdout = false;   // -c
    bool force = false;      // -f
    bool recursive = false;  // -r
    bool replace = false;    // --replace
    bool json = false;       // --json
    bool quiet = false;      // -q
    bool verbose = false;    // -v
    unsigned threads = 1;    // -T, else the cores present
};

struct OptionSpec {
    char shortName;        // '\0' when it has none
    const char* longName;  // without the dashes
    const char* argument;  // nullptr for a switch
    unsigned bit;
    const char* help;
};

extern const OptionSpec kOptions[];
extern const size_t kOptionCount;

constexpr int kAnyCount = -1;

struct CommandSpec {
    const char* name;
    const char* operands;  // as the synopsis shows them, e.g. "FILE..."
    int minOperands;
    int maxOperands;       // or kAnyCount
    unsigned options;      // the OptionBit values the command takes
    const char* summary;   // one line for the command list
    const char* description;
    int (*run)(const CommandLine&);
};

enum class ParseOutcome {
    Run,
    Help,   // -h or --help: print the command's help, nothing else
    Usage,  // *error holds the one line saying what was wrong
};

// Parses the arguments after the command name: options anywhere before
// "--", bundled short switches ("-fr"), "-T4", "-T 4", "--threads=4".
[[nodiscard]] ParseOutcome ParseCommandLine(const CommandSpec& command, const std::vector<std::string>& args,
                                            CommandLine* out, std::string* error);

// The cores present, at least 1 and at most kMaxThreads.
[[nodiscard]] unsigned DefaultThreadCount();
