// tdz mount [-o OPTIONS] SOURCE MOUNTPOINT: the folder SOURCE shown at
// MOUNTPOINT with every container as the file it holds; a file written
// through the mount is stored as a container when it is closed.
// OPTIONS, separated by commas: ro (read-only: the source is never
// changed), cache=MB (the decoded data kept across open files, default 16),
// fg (stay in the foreground). Otherwise the command returns once the mount is in place and
// the daemon keeps running, its reports still going to the command's
// standard error.
//
// tdz umount MOUNTPOINT: ends such a mount (fusermount3 -u, or umount on
// macOS); fails while a file in it is open.
//
// Both return the process exit status: 0, 1 on failure, 2 on misuse. Where
// the tool was built without FUSE 3 both say so and return 1.
#pragma once

#include <string>
#include <vector>

#include "command_line.h"

// Every argument after "mount": the tool's common parser would take -o for
// an output file.
[[nodiscard]] int RunMountArguments(const std::vector<std::string>& args);
// Whether the arguments after "mount" ask for its help (-h, --help).
[[nodiscard]] bool AsksForMountHelp(int argc, char** argv);

// The rows of the command table: mount without options, and umount.
[[nodiscard]] int RunMountCommand(const CommandLine& line);
[[nodiscard]] int RunUmountCommand(const CommandLine& line);
