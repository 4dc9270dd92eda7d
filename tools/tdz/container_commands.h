// The pack, unpack and test commands: .tdz containers made and read on any
// host. Each takes one or more files (with -r, folder trees), goes on after
// a failure, reports each failure on stderr and returns the process exit
// status (1 when any file failed).
#pragma once

#include <string>
#include <vector>

#include "command_line.h"

// FILE -> FILE.tdz (or -o's name) with FILE's size, times and attributes in
// the header. An existing output is replaced only with -f, and only once
// the new container is complete. With replace, FILE is deleted once the
// container is written and reads back to FILE's bytes.
[[nodiscard]] int RunPackCommand(const CommandLine& line);

// FILE.tdz -> FILE (or -o's name, or standard output with -c) with the
// stored times and attributes, after the stream, the size and the checksum
// have been checked. An existing file is replaced only with -f. With
// replace, FILE.tdz is deleted once FILE is in place and reads back to the
// stored size and checksum.
[[nodiscard]] int RunUnpackCommand(const CommandLine& line);

// Prints each container's header and whether its stream, size and checksum
// hold; writes nothing.
[[nodiscard]] int RunTestCommand(const CommandLine& line);

// The same with every option at its default: for callers that only name
// files.
[[nodiscard]] int RunPackCommand(const std::vector<std::string>& files, bool replace);
[[nodiscard]] int RunUnpackCommand(const std::vector<std::string>& containers, bool replace);
[[nodiscard]] int RunTestCommand(const std::vector<std::string>& containers);
