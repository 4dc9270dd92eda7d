// The start of either program: putting back the files a killed or failed
// job left parked in the temporary folder, and telling the user once of
// those that cannot go back.
#pragma once

#include <windows.h>

#include <cstddef>

// Calls RestoreParkedCopies (container/parking.h) and, when copies are left
// over that the user was not told of before, shows one message (owner may be
// null: the message then has no owner) that lists their full paths. Returns
// how many parked copies are left over in all. Call it once at start, before
// any job of the program runs.
size_t RestoreParkedCopiesAndReport(HWND owner);
