// Identities the shell extension shares with its registration: the class id,
// the verbs of its two commands and its resource ids.
#pragma once

#include <windows.h>

// {5B1F3C2E-8D47-4A9B-9E21-6C0D7F4A1B93}, the one class this server serves.
extern const CLSID CLSID_ShellExt;

// Command offsets relative to the first command id the menu hands out.
constexpr UINT kCompressOffset = 0;
constexpr UINT kDecompressOffset = 1;

// Verbs indexed by command offset.
extern const char* const kVerbsA[2];
extern const wchar_t* const kVerbsW[2];
