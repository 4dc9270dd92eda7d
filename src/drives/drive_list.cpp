#include "drives/drive_list.h"

#include <cwchar>
#include <new>

#include "base/win_handle.h"
#include "drives/drive_watchers.h"

namespace {

CRITICAL_SECTION g_lock;
DriveEntry* g_head = nullptr;

// Holds the list's lock for one scope.
class ListLock {
public:
    ListLock() { EnterCriticalSection(&g_lock); }
    ~ListLock() { LeaveCriticalSection(&g_lock); }
    ListLock(const ListLock&) = delete;
    ListLock& operator=(const ListLock&) = delete;
};

bool IsDriveName(const wchar_t* name) {
    return name != nullptr && name[0] != L'\0' && name[1] != L'\0' && name[2] == L'\0';
}

bool SameName(const wchar_t* a, const wchar_t* b) {
    return std::wcscmp(a, b) == 0;
}

DriveEntry* FindIn(DriveEntry* head, const wchar_t* name) {
    if (name == nullptr) return nullptr;
    for (DriveEntry* e = head; e != nullptr; e = e->next) {
        if (SameName(e->name, name)) return e;
    }
    return nullptr;
}

void Unlink(DriveEntry** head, DriveEntry* entry) {
    if (entry->prev != nullptr) entry->prev->next = entry->next;
    else *head = entry->next;
    if (entry->next != nullptr) entry->next->prev = entry->prev;
    entry->prev = nullptr;
    entry->next = nullptr;
}

// The list has no tail pointer: appending walks to the end.
void Append(DriveEntry* entry) {
    entry->next = nullptr;
    if (g_head == nullptr) {
        entry->prev = nullptr;
        g_head = entry;
        return;
    }
    DriveEntry* last = g_head;
    while (last->next != nullptr) last = last->next;
    last->next = entry;
    entry->prev = last;
}

}  // namespace

void InitDriveList() {
    g_head = nullptr;
    InitializeCriticalSection(&g_lock);
}

void FreeDriveList() {
    EnterCriticalSection(&g_lock);
    while (g_head != nullptr) {
        DriveEntry* entry = g_head;
        g_head = entry->next;
        if (g_head != nullptr) g_head->prev = nullptr;
        entry->next = nullptr;
        FreeDriveEntry(entry);
    }
    LeaveCriticalSection(&g_lock);
    DeleteCriticalSection(&g_lock);
}

int CountTargetDrives() {
    ListLock lock;
    int count = 0;
    for (DriveEntry* e = g_head; e != nullptr; e = e->next) {
        if (e->isTarget) ++count;
    }
    return count;
}

int GetDriveState(const wchar_t* name, int* isTarget, int* autoCompress) {
    ListLock lock;
    const DriveEntry* entry = FindIn(g_head, name);
    if (entry == nullptr) return 0;
    if (isTarget != nullptr) *isTarget = entry->isTarget;
    if (autoCompress != nullptr) *autoCompress = entry->autoCompress;
    return 1;
}

int GetDriveStateUnlessStopped(const wchar_t* name, HANDLE stopEvent, int* isTarget, int* autoCompress) {
    for (;;) {
        if (stopEvent != nullptr && WaitForSingleObject(stopEvent, 0) == WAIT_OBJECT_0) return -1;
        if (TryEnterCriticalSection(&g_lock)) break;
        Sleep(5);
    }
    const int found = GetDriveState(name, isTarget, autoCompress);
    LeaveCriticalSection(&g_lock);
    return found;
}

int ToggleAutoCompress(const wchar_t* name) {
    ListLock lock;
    DriveEntry* entry = FindIn(g_head, name);
    if (entry == nullptr || !entry->isTarget) return 0;
    entry->autoCompress = entry->autoCompress == 0 ? 1 : 0;
    return entry->autoCompress;
}

void GetDriveNameByMenuIndex(int menuIndex, wchar_t* out) {
    ListLock lock;
    out[0] = L'\0';
    for (const DriveEntry* e = g_head; e != nullptr; e = e->next) {
        if (e->menuIndex == menuIndex) {
            lstrcpynW(out, e->name, kDriveNameUnits);
            return;
        }
    }
}

void ListAutoCompressDrives(wchar_t* out, int outUnits) {
    if (out == nullptr || outUnits <= 0) return;
    ListLock lock;
    int used = 0;
    for (const DriveEntry* e = g_head; e != nullptr; e = e->next) {
        if (!e->isTarget || !e->autoCompress) continue;
        const int length = lstrlenW(e->name);
        // The name, its NUL and the final NUL must all fit.
        if (used + length + 2 > outUnits) break;
        CopyMemory(out + used, e->name, length * sizeof(wchar_t));
        used += length;
        out[used++] = L'\0';
    }
    out[used] = L'\0';
}

void LockDriveList() { EnterCriticalSection(&g_lock); }

void UnlockDriveList() { LeaveCriticalSection(&g_lock); }

DriveEntry* DetachDriveList() {
    ListLock lock;
    DriveEntry* old = g_head;
    g_head = nullptr;
    return old;
}

DriveEntry* AddListedDrive(DriveEntry** oldList, const wchar_t* name, int isTarget, DEVINST deviceInstance) {
    ListLock lock;
    DriveEntry* entry = oldList != nullptr ? FindIn(*oldList, name) : nullptr;
    // A letter that now belongs to another device (a fixed disk taking a
    // former stick's letter) must not inherit the old entry's target flag
    // and watcher: it gets a new entry, and the old one is freed with the
    // rest of the old list.
    if (entry != nullptr && (entry->isTarget != isTarget || entry->deviceInstance != deviceInstance)) entry = nullptr;
    if (entry != nullptr) {
        Unlink(oldList, entry);
    } else {
        entry = CreateDriveEntry(name, isTarget, deviceInstance);
        if (entry == nullptr) return nullptr;
    }
    Append(entry);
    return entry;
}

DriveEntry* CreateDriveEntry(const wchar_t* name, int isTarget, DEVINST deviceInstance) {
    if (!IsDriveName(name)) return nullptr;
    EventHandle stopEvent(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!stopEvent.Valid()) return nullptr;
    DriveEntry* entry = new (std::nothrow) DriveEntry{};
    if (entry == nullptr) return nullptr;
    lstrcpynW(entry->name, name, kDriveNameUnits);
    entry->isTarget = isTarget;
    entry->autoCompress = isTarget;
    entry->stopEvent = stopEvent.Detach();
    entry->menuIndex = -1;
    entry->deviceInstance = deviceInstance;
    return entry;
}

void FreeDriveEntry(DriveEntry* entry) {
    if (entry == nullptr) return;
    StopWatcher(entry);
    if (entry->stopEvent != nullptr) CloseHandle(entry->stopEvent);
    delete entry;
}

void FreeDriveEntries(DriveEntry* head) {
    while (head != nullptr) {
        DriveEntry* next = head->next;
        head->next = nullptr;
        head->prev = nullptr;
        FreeDriveEntry(head);
        head = next;
    }
}

DriveEntry* FindDriveEntry(const wchar_t* name) {
    ListLock lock;
    return FindIn(g_head, name);
}

DriveEntry* DriveListHead() {
    ListLock lock;
    return g_head;
}
