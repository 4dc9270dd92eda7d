// The tray program installs itself: it copies its own executable into the
// installation folder and writes the shell-extension servers it carries as
// resources ("EXT_DATA" 132, the 32-bit server, and 133, the 64-bit one)
// next to it.
#pragma once

#include <windows.h>

#include <cstddef>

constexpr WORD kServer32Resource = 132;
constexpr WORD kServer64Resource = 133;

// destination: the installation folder on the NT 6 family, the installed
// executable's full path on NT 5. True when the installed copy can be
// started; false after a message.
bool InstallComponents(const wchar_t* runningExecutable, const wchar_t* destination);

// Puts bytes at target without ever leaving a part-written file there: they
// go to a hidden file beside it first, which then replaces the target. A
// target that already holds exactly these bytes is left alone (a server the
// file manager has loaded cannot be replaced, and need not be). The shell
// hears of a new or changed file. False when the target keeps what it held.
bool WriteComponent(const wchar_t* target, const void* bytes, size_t size);
// The same for a copy of a file.
bool CopyComponent(const wchar_t* source, const wchar_t* target);
