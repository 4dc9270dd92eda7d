// The process-wide list of drives: every target drive and every fixed,
// network and RAM drive, each with its automatic-compression setting and
// its watcher thread.
//
// One critical section guards the head and every field of every entry;
// every function here takes it for its whole run, so the list may be used
// from any thread between InitDriveList and FreeDriveList. Drive names are
// compared exactly (case-sensitive, whole string).
#pragma once

#include <windows.h>

#include <cfgmgr32.h>

#include <cstdint>

// Units of a drive name with its NUL ("E:").
constexpr int kDriveNameUnits = 3;

struct DriveEntry {
    wchar_t name[kDriveNameUnits];
    int32_t isTarget;          // 1 target drive; 0 fixed, network or RAM drive
    int32_t autoCompress;      // starts equal to isTarget; only targets change it
    HANDLE watcherThread;      // or null
    DWORD watcherThreadId;     // 0 when there is no watcher
    HANDLE stopEvent;          // auto-reset; set to ask the watcher to stop
    int32_t menuIndex;         // among the target drives of the last menu built; -1 until then
    DEVINST deviceInstance;    // the USB device of a target drive
    DriveEntry* prev;
    DriveEntry* next;
};

// Empties the head and initialises the lock. Call once before anything else.
void InitDriveList();

// Frees every entry (stopping its watcher), then deletes the lock.
void FreeDriveList();

// Number of entries with isTarget set.
int CountTargetDrives();

// 1 when the drive is listed, with the optional outs filled; else 0 and the
// outs untouched.
int GetDriveState(const wchar_t* name, int* isTarget, int* autoCompress);

// GetDriveState for a watcher at its start. The list's owner may hold the
// lock while it waits for this very watcher to stop, so the lock is only
// waited for while stopEvent stays unsignalled: -1 when the stop was seen
// (the auto-reset event is then consumed), else as GetDriveState.
int GetDriveStateUnlessStopped(const wchar_t* name, HANDLE stopEvent, int* isTarget, int* autoCompress);

// Inverts autoCompress of a listed target drive and returns the new value;
// 0 without change for a missing or non-target drive.
int ToggleAutoCompress(const wchar_t* name);

// Copies the name of the first entry with that menu index into out
// (kDriveNameUnits), or the empty string.
void GetDriveNameByMenuIndex(int menuIndex, wchar_t* out);

// Multi-string of the targets with autoCompress set, in list order, each
// with its NUL, plus a final NUL. Never writes beyond outUnits; names that
// do not fit are left out whole.
void ListAutoCompressDrives(wchar_t* out, int outUnits);

// The rebuild that device detection runs, in this order: LockDriveList,
// DetachDriveList, AddListedDrive for every drive found, FreeDriveEntries
// on what is left of the old list, UnlockDriveList. The lock is recursive,
// so the other functions may be called while it is held.
void LockDriveList();
void UnlockDriveList();

// Makes the list empty and returns its former entries (the old list).
DriveEntry* DetachDriveList();

// Appends the drive to the list: the old list's entry of the same name,
// target flag and device instance, unlinked from it and kept unchanged
// (flags, watcher, menu index), or else a new entry. Returns the entry, or null when a new one cannot be created
// (the drive is then left out).
DriveEntry* AddListedDrive(DriveEntry** oldList, const wchar_t* name, int isTarget, DEVINST deviceInstance);

// A new unlinked entry: both flags from isTarget, no watcher, menu index
// -1, a new stop event. Null when the name is not a drive name or the
// event or the memory cannot be had.
DriveEntry* CreateDriveEntry(const wchar_t* name, int isTarget, DEVINST deviceInstance);

// Stops the entry's watcher, closes its stop event and releases it. The
// entry must not be linked into the live list any more.
void FreeDriveEntry(DriveEntry* entry);

// Frees every entry of a detached chain, from its head on.
void FreeDriveEntries(DriveEntry* head);

// Under the lock: the entry of that name, or null. The pointer is valid only
// while the caller holds the lock.
DriveEntry* FindDriveEntry(const wchar_t* name);

// Under the lock: the first entry, for walking the list by next.
DriveEntry* DriveListHead();
