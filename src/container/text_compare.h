// Comparisons of the fixed ASCII names of the rules with file names. Only
// ASCII letters fold: a non-ASCII character never equals an ASCII one.
//
// Portable: no platform headers.
#pragma once

[[nodiscard]] bool EqualsIgnoringAsciiCase(const wchar_t* a, const wchar_t* b);
[[nodiscard]] bool StartsWithIgnoringAsciiCase(const wchar_t* text, const wchar_t* prefix);
[[nodiscard]] bool Contains(const wchar_t* text, const wchar_t* part);  // with case
