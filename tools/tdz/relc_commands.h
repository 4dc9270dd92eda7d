// The encode and decode commands: raw relc streams between files or the
// standard streams ("-"). Each returns the process exit status and has
// reported any failure on stderr.
#pragma once

#include "command_line.h"

// operands: IN OUT.
[[nodiscard]] int RunEncodeCommand(const CommandLine& line);
[[nodiscard]] int RunDecodeCommand(const CommandLine& line);
