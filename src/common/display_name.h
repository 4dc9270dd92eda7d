// File names as the dialogs and messages show them.
#pragma once

#include <string>

struct JobRecord;

// Names longer than this are cut ("%.32s...").
constexpr size_t kShownNameUnits = 32;

// name whole when it has at most 32 units, else its first 32 and "..."
// (31 when the 32nd would be the first half of a surrogate pair).
std::wstring ShortenName(const wchar_t* name);

// The name a job is known by to the user: for a compression the last
// component of the joined path, for a decompression that component without
// its last extension ("report.txt" for "report.txt.tdz").
std::wstring JobDisplayName(const std::wstring& joinedPath, bool compress);
