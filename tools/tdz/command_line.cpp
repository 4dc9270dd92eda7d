#include "command_line.h"

#include <cstdlib>

#ifndef _WIN32
#include <unistd.h>
#endif

const OptionSpec kOptions[] = {
    {'o', "output", "FILE", kOptOutput,
     "write to FILE instead of the name beside the input (one input only)"},
    {'c', "stdout", nullptr, kOptStdout, "restore to standard output; the container is kept"},
    {'f', "force", nullptr, kOptForce,
     "replace an existing regular file at the output's name (only once the new one is complete)"},
    {'r', "recursive", nullptr, kOptRecursive,
     "take folders too: every file in their tree, symbolic links and special files passed over"},
    {'T', "threads", "N", kOptThreads, "pack on N threads, 1 to 256 (default: the cores present)"},
    {'\0', "replace", nullptr, kOptReplace,
     "delete each input once its output is complete and reads back as it should"},
    {'\0', "json", nullptr, kOptJson, "print a JSON array instead of the table"},
    {'q', "quiet", nullptr, kOptQuiet, "no progress line, and report only failures"},
    {'v', "verbose", nullptr, kOptVerbose, "name each file done, with its sizes, on standard error"},
};
const size_t kOptionCount = sizeof kOptions / sizeof kOptions[0];

namespace {

const OptionSpec* FindShort(char c)
{
    for (const OptionSpec& option : kOptions) {
        if (option.shortName == c)
            return &option;
    }
    return nullptr;
}

const OptionSpec* FindLong(const std::string& name)
{
    for (const OptionSpec& option : kOptions) {
        if (name == option.longName)
            return &option;
    }
    return nullptr;
}

std::string Spelling(const OptionSpec& option, bool asShort)
{
    return asShort ? std::string("-") + option.shortName : std::string("--") + option.longName;
}

bool ParseThreads(const std::string& text, unsigned* threads)
{
    if (text.empty() || text.size() > 3)
        return false;
    unsigned value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + unsigned(c - '0');
    }
    if (value < kMinThreads || value > kMaxThreads)
        return false;
    *threads = value;
    return true;
}

// Applies one option; false with *error set when it is refused.
bool Apply(const CommandSpec& command, const OptionSpec& option, const std::string& spelled,
           const std::string& value, CommandLine* out, std::string* error)
{
    if ((command.options & option.bit) == 0) {
        *error = "option '" + spelled + "' does not apply to " + command.name;
        return false;
    }
    switch (option.bit) {
    case kOptOutput:
        if (value.empty()) {
            *error = "option '" + spelled + "' needs a file name";
            return false;
        }
        out->output = value;
        break;
    case kOptStdout: out->toStdout = true; break;
    case kOptForce: out->force = true; break;
    case kOptRecursive: out->recursive = true; break;
    case kOptThreads:
        if (!ParseThreads(value, &out->threads)) {
            *error = "option '" + spelled + "' needs a thread count from 1 to 256, not '" + value + "'";
            return false;
        }
        break;
    case kOptReplace: out->replace = true; break;
    case kOptJson: out->json = true; break;
    case kOptQuiet: out->quiet = true; out->verbose = false; break;
    case kOptVerbose: out->verbose = true; out->quiet = false; break;
    }
    return true;
}

// Combinations no single option can judge.
bool CheckTogether(const CommandSpec& command, const CommandLine& line, std::string* error)
{
    const int count = int(line.operands.size());
    if (count < command.minOperands) {
        *error = count == 0 ? "no " + std::string(command.operands) + " given"
                            : "needs " + std::string(command.operands) + ", got " + std::to_string(count) +
                                  " argument" + (count == 1 ? "" : "s");
        return false;
    }
    if (command.maxOperands != kAnyCount && count > command.maxOperands) {
        *error = "needs " + std::string(command.operands) + ", got " + std::to_string(count) + " arguments";
        return false;
    }
    if (!line.output.empty() && (count != 1 || line.recursive)) {
        *error = "-o names the output of a single file; it cannot take " +
                 std::string(line.recursive ? "a folder tree" : std::to_string(count) + " inputs");
        return false;
    }
    if (line.toStdout && !line.output.empty()) {
        *error = "-c and -o both name the output; give one";
        return false;
    }
    if ((line.toStdout || line.output == "-") && line.replace) {
        *error = "--replace would delete the input of an output on standard output; give one";
        return false;
    }
    return true;
}

}  // namespace

ParseOutcome ParseCommandLine(const CommandSpec& command, const std::vector<std::string>& args, CommandLine* out,
                              std::string* error)
{
    out->threads = DefaultThreadCount();
    // Help wins over every mistake before it, as people expect of --help.
    for (const std::string& arg : args) {
        if (arg == "--")
            break;
        if (arg == "-h" || arg == "--help")
            return ParseOutcome::Help;
    }
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            out->operands.push_back(arg);  // "-" included: the standard stream
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg[1] == '-') {
            const size_t equals = arg.find('=');
            const std::string name = arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
            const OptionSpec* option = FindLong(name);
            if (option == nullptr) {
                *error = "unknown option '--" + name + "'";
                return ParseOutcome::Usage;
            }
            std::string value;
            if (option->argument == nullptr) {
                if (equals != std::string::npos) {
                    *error = "option '--" + name + "' takes no value";
                    return ParseOutcome::Usage;
                }
            } else if (equals != std::string::npos) {
                value = arg.substr(equals + 1);
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                *error = "option '--" + name + "' needs " + option->argument;
                return ParseOutcome::Usage;
            }
            if (!Apply(command, *option, Spelling(*option, false), value, out, error))
                return ParseOutcome::Usage;
            continue;
        }
        for (size_t k = 1; k < arg.size(); ++k) {
            const OptionSpec* option = FindShort(arg[k]);
            if (option == nullptr) {
                *error = "unknown option '-" + std::string(1, arg[k]) + "'";
                return ParseOutcome::Usage;
            }
            std::string value;
            if (option->argument != nullptr) {
                if (k + 1 < arg.size()) {
                    value = arg.substr(k + 1);
                } else if (i + 1 < args.size()) {
                    value = args[++i];
                } else {
                    *error = "option '-" + std::string(1, arg[k]) + "' needs " + option->argument;
                    return ParseOutcome::Usage;
                }
                k = arg.size();
            }
            if (!Apply(command, *option, Spelling(*option, true), value, out, error))
                return ParseOutcome::Usage;
        }
    }
    return CheckTogether(command, *out, error) ? ParseOutcome::Run : ParseOutcome::Usage;
}

unsigned DefaultThreadCount()
{
#ifdef _WIN32
    // The Windows builds pack on one thread.
    return 1;
#else
    const long cores = sysconf(_SC_NPROCESSORS_ONLN);
    if (cores < 1)
        return 1;
    return cores > long(kMaxThreads) ? kMaxThreads : unsigned(cores);
#endif
}
