// Process-wide state of the in-process server: its module handle and the
// count of live objects that decides whether it may be unloaded.
#pragma once

#include <windows.h>

// Set when the module is attached to a process; strings, the icon and the
// module's own path are found through it.
extern HINSTANCE serverModuleInstance;

// Live CShellExt and CShellExtClassFactory objects. The file manager may use
// objects in several apartments at once, so it is changed interlocked.
extern volatile LONG serverObjectCount;

void ServerObjectCreated();
void ServerObjectDestroyed();
