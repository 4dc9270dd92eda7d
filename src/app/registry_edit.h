// Small registry steps of the shell registration, each in one registry
// view: open, create (our own keys volatile, their parents never), write a
// string, delete a key or a value.
#pragma once

#include <windows.h>

#include "base/win_handle.h"

// kVolatile: the last key of the path only. kVolatileBranch: every key of
// the path, for keys inside one of our own volatile keys (a volatile key
// takes volatile children only).
enum class KeyLife { kPermanent, kVolatile, kVolatileBranch };

// Opens parent\path with access | view; an invalid key when it fails.
RegKey OpenKey(HKEY parent, const wchar_t* path, REGSAM access, REGSAM view);

// Creates (or opens) parent\path. Every missing key on the way but the last
// is created non-volatile: a volatile parent would make every later
// non-volatile key under it fail (ERROR_CHILD_MUST_BE_VOLATILE) until the
// system restarts, also another program's handler under "*\shellex".
RegKey CreateKey(HKEY parent, const wchar_t* path, KeyLife life, REGSAM access, REGSAM view);

// A REG_SZ or REG_EXPAND_SZ value, its terminator counted in its size.
bool SetText(HKEY key, const wchar_t* name, const wchar_t* text, DWORD type = REG_SZ);

// Deletes the subkey name of key (it must have no subkeys) in the view the
// key was opened in. RegDeleteKeyW works in the caller's own view only, so
// the 64-bit entries of a 32-bit program would stay for ever; the call that
// takes a view does not exist before Windows XP x64 and is looked up.
bool DeleteSubkey(HKEY key, const wchar_t* name, REGSAM view);
