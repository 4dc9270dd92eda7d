#include "post_observer.h"

#include <atomic>

namespace {

using PostMessageFunction = BOOL(WINAPI*)(HWND, UINT, WPARAM, LPARAM);

PostMessageFunction g_realPost = nullptr;
std::atomic<PostObserver> g_observer{nullptr};

BOOL WINAPI ObservedPost(HWND window, UINT id, WPARAM wParam, LPARAM lParam)
{
    const BOOL posted = g_realPost(window, id, wParam, lParam);
    if (const PostObserver observer = g_observer.load())
        observer(window, id, wParam, lParam);
    return posted;
}

// The import address slot of dll!function in this executable, or null.
void** FindImportSlot(const char* dll, const char* function)
{
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0)
        return nullptr;
    for (auto* entry = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); entry->Name != 0;
         ++entry) {
        if (lstrcmpiA(reinterpret_cast<const char*>(base + entry->Name), dll) != 0 || entry->OriginalFirstThunk == 0)
            continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (lstrcmpA(reinterpret_cast<const char*>(byName->Name), function) == 0)
                return reinterpret_cast<void**>(&slots->u1.Function);
        }
    }
    return nullptr;
}

// Once per process; the observed post stays in place and passes every
// message on when no observer is set.
bool Install()
{
    static const bool installed = [] {
        void** slot = FindImportSlot("user32.dll", "PostMessageW");
        if (slot == nullptr)
            return false;
        DWORD protection = 0;
        if (!VirtualProtect(slot, sizeof(*slot), PAGE_READWRITE, &protection))
            return false;
        g_realPost = reinterpret_cast<PostMessageFunction>(*slot);
        *slot = reinterpret_cast<void*>(ObservedPost);
        VirtualProtect(slot, sizeof(*slot), protection, &protection);
        FlushInstructionCache(GetCurrentProcess(), nullptr, 0);
        return true;
    }();
    return installed;
}

}  // namespace

bool ObservePostedMessages(PostObserver observer)
{
    if (!Install())
        return false;
    g_observer.store(observer);
    return true;
}
