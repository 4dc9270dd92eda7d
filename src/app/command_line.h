// The tray program's command-line tail, read without side effects: which
// request it carries, the path of a file request, the predecessor's process
// id of an elevation relaunch.
#pragma once

#include <windows.h>

#include <cstddef>

enum class FileCommand { kNone, kCompress, kDecompress, kDecompressAndOpen };
enum class WaitSwitch { kNone, kInstall, kUninstalled, kRemoval };  // -startiwait / -startuwait / -startvwait

// Longest path a file request may carry, without the terminator.
constexpr size_t kMaxCommandPath = 259;

// "-c ", "-d ", "-o " as a case-sensitive prefix of the tail.
FileCommand ReadFileCommand(const wchar_t* tail);

// The path after a file switch: a path counts as quoted when the character
// after the switch and the last character of the tail are both a double
// quote, and two distinct characters at that (a lone quote is a path of one
// quote, never a negative length). False when it is too long (quoted paths
// hold at most 258 characters, unquoted 259); path is then empty.
bool ReadCommandPath(const wchar_t* tail, wchar_t (&path)[MAX_PATH]);

// "-startiwait ", "-startuwait ", "-startvwait " over their 12 characters.
WaitSwitch ReadWaitSwitch(const wchar_t* tail);

// The decimal id after the 12 switch characters: leading blanks skipped,
// digits up to the first other character; 0 without digits. A number that
// does not fit a process id gives 0 too (no such process can be waited for).
DWORD ReadPredecessorId(const wchar_t* tail);
