// The list command: what each container holds, from its header and size
// alone (test reads the whole stream).
#pragma once

#include "command_line.h"

// One row per container (the name it restores to, original and container
// sizes, their ratio, attributes, times) and a total row; with --json a JSON
// array of one object per container. Failures go to stderr; the status is
// 1 when any container could not be listed.
[[nodiscard]] int RunListCommand(const CommandLine& line);
