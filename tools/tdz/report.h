// How the tool tells the user what went wrong: one line on stderr, prefixed
// with the tool and command names.
#pragma once

#include <cstdio>
#include <string>

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

inline int ReportFailure(const char* command, const std::string& message)
{
    std::fprintf(stderr, "tdz: %s: %s\n", command, message.c_str());
    return kExitFailure;
}
