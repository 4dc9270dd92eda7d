// The module's entry point and its two exports. Nothing else is exported:
// the tray program writes the registration, the module never registers
// itself.
#include <windows.h>

#include "shellext/class_factory.h"
#include "shellext/server_module.h"
#include "shellext/shellext_ids.h"

// Runs under the loader lock: only remember where the module's resources are.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) serverModuleInstance = instance;
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID classId, REFIID riid, LPVOID* object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (!IsEqualCLSID(classId, CLSID_ShellExt)) return CLASS_E_CLASSNOTAVAILABLE;
    return CreateShellExtClassFactory(riid, object);
}

STDAPI DllCanUnloadNow() { return serverObjectCount == 0 ? S_OK : S_FALSE; }
