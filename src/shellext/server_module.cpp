#include "shellext/server_module.h"

HINSTANCE serverModuleInstance = nullptr;
volatile LONG serverObjectCount = 0;

void ServerObjectCreated() { InterlockedIncrement(&serverObjectCount); }

void ServerObjectDestroyed() { InterlockedDecrement(&serverObjectCount); }
