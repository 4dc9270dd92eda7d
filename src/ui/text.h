// Texts by string id from a module's string table, and printf-style
// formatting of wide strings ("%s" takes a wide string).
#pragma once

#include <windows.h>

#include <cstdarg>
#include <string>

// The text with id from this program's string table, in the language the
// resource lookup chooses for the user; empty when it is missing.
std::wstring LoadText(UINT id);
std::wstring LoadTextFrom(HMODULE module, UINT id);
// The same from the table of one language only (no fallback).
std::wstring LoadTextFrom(HMODULE module, UINT id, LANGID language);

// Entry index (0 to 15) of a string-table block of bytes bytes: a 16-bit
// count and that many UTF-16 units per entry. Empty when the entry does not
// start inside the block, is empty, or runs past the block's end.
std::wstring ReadStringBlockEntry(const void* block, size_t bytes, unsigned index);

std::wstring FormatText(const wchar_t* format, ...);
std::wstring FormatTextV(const wchar_t* format, va_list args);
