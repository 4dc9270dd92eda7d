// The pack, unpack and test commands: .tdz containers made and read on any
// host. Each takes one or more files, goes on after a failure, reports each
// failure on stderr and returns the process exit status (1 when any file
// failed).
#pragma once

#include <string>
#include <vector>

// FILE -> FILE.tdz with FILE's size, times and attributes in the header. An
// existing FILE.tdz is never overwritten. With replace, FILE is deleted once
// the container is written and reads back to FILE's bytes.
[[nodiscard]] int RunPackCommand(const std::vector<std::string>& files, bool replace);

// FILE.tdz -> FILE with the stored times and attributes, after the stream,
// the size and the checksum have been checked. An existing FILE is never
// overwritten. With replace, FILE.tdz is deleted once FILE is in place and
// reads back to the stored size and checksum.
[[nodiscard]] int RunUnpackCommand(const std::vector<std::string>& containers, bool replace);

// Prints each container's header and whether its stream, size and checksum
// hold; writes nothing.
[[nodiscard]] int RunTestCommand(const std::vector<std::string>& containers);
