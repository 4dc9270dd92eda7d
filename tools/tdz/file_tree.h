// The files a command works on: its arguments, with folders opened up into
// the files of their trees when -r is given.
#pragma once

#include <string>
#include <vector>

enum class TreePick {
    NonContainers,  // pack: everything but .tdz files, which are packed already
    Containers,     // unpack, test, list: only .tdz files
};

// Appends to files each argument, or with recursive each regular file of a
// folder's tree that pick selects, in name order. Symbolic links, special
// files and, without recursive, folders are left for the command to
// refuse (named arguments) or passed over (inside a tree). Returns false
// when a folder could not be read; *errors names each and the reason.
[[nodiscard]] bool ExpandArguments(const std::vector<std::string>& arguments, bool recursive, TreePick pick,
                                   std::vector<std::string>* files, std::vector<std::string>* errors);

// Whether path ends with ".tdz" (any case) after at least one character of
// name.
[[nodiscard]] bool EndsWithContainerExtension(const std::string& path);
