// The decisions Decompression makes before it opens its dialog: whether it
// runs on a supported system, which path its command line names, and
// whether that path is a container to restore.
#pragma once

#include <windows.h>

#include <string>

// NT 5.x, 6.0 and 6.1. A failed GetVersionExW (ok false) is not supported.
bool IsSupportedSystem(bool ok, DWORD platformId, DWORD major, DWORD minor);
// The same for the system the program runs on.
bool IsSupportedSystem();

enum class PathSource {
    FileDialog,  // no command line: ask with the file-open dialog
    Path,        // path holds the container to restore
    TooLong,     // tell the user, showing messageText
    Ignored,     // more than one argument: end without a word
};

struct CommandLinePath {
    PathSource source;
    std::wstring path;
    std::wstring messageText;  // for TooLong: what the message shows
};

// commandText is the command line after the program name, argumentCount
// what CommandLineToArgvW makes of the whole command line (the program
// counts as one).
CommandLinePath ReadCommandLinePath(const std::wstring& commandText, int argumentCount);

// An existing file (not a folder) whose extension is ".tdz" in any case.
bool IsContainerPath(const std::wstring& path);

// The file-open dialog for ".tdz" files; false when the user did not pick
// one.
bool AskForContainer(std::wstring& path);
