// Everything the tool says about itself: --help, COMMAND --help, --version
// and the manual page, all made from the command and option rows, so that
// the manual page installed beside the tool is the text --help prints.
#pragma once

#include <cstddef>
#include <cstdio>

#include "command_line.h"

extern const char kTdzVersion[];

void PrintGeneralHelp(std::FILE* to, const CommandSpec* commands, size_t count);
void PrintCommandHelp(std::FILE* to, const CommandSpec& command);
void PrintVersion(std::FILE* to);
// The manual page in roff (man(7) macros).
void PrintManPage(std::FILE* to, const CommandSpec* commands, size_t count);
