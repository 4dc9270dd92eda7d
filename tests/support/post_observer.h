// Lets a test act on a message at the moment the code under test posts it,
// on the posting thread. A window that acts only once its own thread gets
// to the message may do so after a fast operation has already ended.
#pragma once

#include <windows.h>

using PostObserver = void (*)(HWND window, UINT id, WPARAM wParam, LPARAM lParam);

// Routes PostMessageW, as this executable imports it (the product code is
// linked in statically, so its posts go through the same import), through
// observer, which is called after each real post. Null observes nothing
// again. False when the import cannot be found.
bool ObservePostedMessages(PostObserver observer);
