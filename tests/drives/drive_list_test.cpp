// The drive list without device detection: entries made and kept across
// rebuilds, lookups, flags and the drive menu items.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "drives/drive_list.h"
#include "drives/drive_menu.h"
#include "drives/drive_watchers.h"

namespace {

struct Drive {
    const wchar_t* name;
    int isTarget;
    DEVINST device;
};

// A rebuild as device detection runs it.
void Rebuild(const std::vector<Drive>& drives) {
    LockDriveList();
    DriveEntry* old = DetachDriveList();
    for (const Drive& d : drives) AddListedDrive(&old, d.name, d.isTarget, d.device);
    FreeDriveEntries(old);
    UnlockDriveList();
}

std::vector<std::wstring> Names() {
    std::vector<std::wstring> names;
    LockDriveList();
    for (const DriveEntry* e = DriveListHead(); e != nullptr; e = e->next) names.push_back(e->name);
    UnlockDriveList();
    return names;
}

std::vector<std::wstring> MultiString(const wchar_t* text) {
    std::vector<std::wstring> items;
    for (const wchar_t* p = text; *p != L'\0'; p += lstrlenW(p) + 1) items.push_back(p);
    return items;
}

class DriveList : public ::testing::Test {
protected:
    void SetUp() override { InitDriveList(); }
    void TearDown() override { FreeDriveList(); }
};

TEST_F(DriveList, NewEntriesTakeTheirFlagsFromTheTargetFlag) {
    DriveEntry* entry = CreateDriveEntry(L"E:", 1, 77);
    ASSERT_NE(entry, nullptr);
    EXPECT_STREQ(entry->name, L"E:");
    EXPECT_EQ(entry->isTarget, 1);
    EXPECT_EQ(entry->autoCompress, 1);
    EXPECT_EQ(entry->menuIndex, -1);
    EXPECT_EQ(entry->watcherThread, nullptr);
    EXPECT_EQ(entry->watcherThreadId, 0u);
    EXPECT_EQ(entry->deviceInstance, 77u);
    ASSERT_NE(entry->stopEvent, nullptr);
    // Auto-reset and unsignalled.
    EXPECT_EQ(WaitForSingleObject(entry->stopEvent, 0), WAIT_TIMEOUT);
    SetEvent(entry->stopEvent);
    EXPECT_EQ(WaitForSingleObject(entry->stopEvent, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(entry->stopEvent, 0), WAIT_TIMEOUT);
    FreeDriveEntry(entry);

    DriveEntry* fixed = CreateDriveEntry(L"C:", 0, 0);
    ASSERT_NE(fixed, nullptr);
    EXPECT_EQ(fixed->autoCompress, 0);
    FreeDriveEntry(fixed);
    for (const wchar_t* bad : {L"", L"E", L"E:\\", L"EE:"}) EXPECT_EQ(CreateDriveEntry(bad, 1, 0), nullptr);
    EXPECT_EQ(CreateDriveEntry(nullptr, 1, 0), nullptr);
}

TEST_F(DriveList, LookupsAreExactAndLeaveOutsUntouchedWhenMissing) {
    Rebuild({{L"C:", 0, 0}, {L"E:", 1, 5}, {L"F:", 1, 6}, {L"Z:", 0, 0}});
    EXPECT_EQ(Names(), (std::vector<std::wstring>{L"C:", L"E:", L"F:", L"Z:"}));
    EXPECT_EQ(CountTargetDrives(), 2);
    int isTarget = 42, autoCompress = 42;
    EXPECT_EQ(GetDriveState(L"e:", &isTarget, &autoCompress), 0);  // case-sensitive
    EXPECT_EQ(GetDriveState(L"E", &isTarget, &autoCompress), 0);
    EXPECT_EQ(isTarget, 42);
    EXPECT_EQ(autoCompress, 42);
    EXPECT_EQ(GetDriveState(L"E:", &isTarget, nullptr), 1);
    EXPECT_EQ(isTarget, 1);
    EXPECT_EQ(GetDriveState(L"C:", nullptr, &autoCompress), 1);
    EXPECT_EQ(autoCompress, 0);
    EXPECT_EQ(GetDriveState(L"Z:", nullptr, nullptr), 1);
}

TEST_F(DriveList, OnlyTargetDrivesToggle) {
    Rebuild({{L"C:", 0, 0}, {L"E:", 1, 5}});
    EXPECT_EQ(ToggleAutoCompress(L"E:"), 0);
    int autoCompress = -1;
    GetDriveState(L"E:", nullptr, &autoCompress);
    EXPECT_EQ(autoCompress, 0);
    EXPECT_EQ(ToggleAutoCompress(L"E:"), 1);
    EXPECT_EQ(ToggleAutoCompress(L"C:"), 0);
    GetDriveState(L"C:", nullptr, &autoCompress);
    EXPECT_EQ(autoCompress, 0);
    EXPECT_EQ(ToggleAutoCompress(L"Q:"), 0);
    // Any non-zero value turns off.
    FindDriveEntry(L"E:")->autoCompress = 5;
    EXPECT_EQ(ToggleAutoCompress(L"E:"), 0);
}

TEST_F(DriveList, AutoCompressListIsAMultiStringInListOrderAndBounded) {
    Rebuild({{L"C:", 0, 0}, {L"G:", 1, 1}, {L"E:", 1, 2}, {L"F:", 1, 3}});
    ToggleAutoCompress(L"E:");
    wchar_t names[128];
    ListAutoCompressDrives(names, 128);
    EXPECT_EQ(MultiString(names), (std::vector<std::wstring>{L"G:", L"F:"}));
    EXPECT_EQ(names[6], L'\0');
    // Room for one name and the final NUL only: the second is left out whole.
    wchar_t small[5];
    for (wchar_t& c : small) c = L'#';
    ListAutoCompressDrives(small, 5);
    EXPECT_EQ(MultiString(small), (std::vector<std::wstring>{L"G:"}));
    EXPECT_EQ(small[3], L'\0');
    EXPECT_EQ(small[4], L'#');
    ToggleAutoCompress(L"G:");
    ToggleAutoCompress(L"F:");
    ListAutoCompressDrives(names, 128);
    EXPECT_EQ(names[0], L'\0');
}

TEST_F(DriveList, ARebuildKeepsSurvivingEntriesAsTheyWereAndDropsVanishedOnes) {
    Rebuild({{L"C:", 0, 0}, {L"E:", 1, 5}, {L"F:", 1, 6}});
    DriveEntry* e = FindDriveEntry(L"E:");
    ToggleAutoCompress(L"E:");
    e->menuIndex = 3;
    // The same stick keeps its entry as it was; E: coming back as a fixed
    // drive of another device gets an entry of its own, never the stick's
    // target flag and choice.
    Rebuild({{L"E:", 1, 5}, {L"F:", 1, 6}});
    EXPECT_EQ(FindDriveEntry(L"E:"), e);
    EXPECT_EQ(e->autoCompress, 0);
    EXPECT_EQ(e->menuIndex, 3);
    Rebuild({{L"F:", 1, 6}, {L"E:", 0, 9}, {L"H:", 1, 7}});
    EXPECT_EQ(Names(), (std::vector<std::wstring>{L"F:", L"E:", L"H:"}));
    e = FindDriveEntry(L"E:");
    EXPECT_EQ(e->isTarget, 0);
    EXPECT_EQ(e->autoCompress, 0);
    EXPECT_EQ(e->menuIndex, -1);
    EXPECT_EQ(e->deviceInstance, 9u);
    EXPECT_EQ(FindDriveEntry(L"C:"), nullptr);
    EXPECT_EQ(FindDriveEntry(L"H:")->menuIndex, -1);
    // The links hold both ways.
    LockDriveList();
    const DriveEntry* head = DriveListHead();
    EXPECT_EQ(head->prev, nullptr);
    EXPECT_EQ(head->next->prev, head);
    EXPECT_EQ(head->next->next->prev, head->next);
    EXPECT_EQ(head->next->next->next, nullptr);
    UnlockDriveList();
    Rebuild({});
    EXPECT_TRUE(Names().empty());
    EXPECT_EQ(CountTargetDrives(), 0);
}

std::vector<std::pair<std::wstring, UINT>> MenuItems(HMENU menu) {
    std::vector<std::pair<std::wstring, UINT>> items;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        wchar_t text[16] = {};
        GetMenuStringW(menu, i, text, 16, MF_BYPOSITION);
        const UINT state = GetMenuState(menu, i, MF_BYPOSITION);
        items.emplace_back(text, GetMenuItemID(menu, i) | ((state & MF_CHECKED) ? 0x10000u : 0u));
    }
    return items;
}

// A watcher slower to stop than the old 3000 ms limit: StopWatcher must not
// close what the thread still uses, so it returns only once the thread is gone.
TEST_F(DriveList, StopWatcherWaitsForASlowThreadToEnd) {
    static std::atomic<bool> ended{false};
    ended = false;
    DriveEntry* entry = CreateDriveEntry(L"E:", 1, 5);
    ASSERT_NE(entry, nullptr);
    entry->watcherThread = CreateThread(nullptr, 0, [](LPVOID event) -> DWORD {
        WaitForSingleObject(static_cast<HANDLE>(event), INFINITE);
        Sleep(kWatcherStopTimeoutMs + 700);  // still busy with the drive
        ended = true;
        return 0;
    }, entry->stopEvent, 0, &entry->watcherThreadId);
    ASSERT_NE(entry->watcherThread, nullptr);
    StopWatcher(entry);
    EXPECT_TRUE(ended) << "StopWatcher returned while the watcher still ran";
    EXPECT_EQ(entry->watcherThread, nullptr);
    FreeDriveEntry(entry);
}

TEST_F(DriveList, DriveMenuListsTargetsWithIdsChecksAndMenuIndexes) {
    Rebuild({{L"C:", 0, 0}, {L"E:", 1, 5}, {L"F:", 1, 6}, {L"G:", 1, 7}});
    ToggleAutoCompress(L"F:");
    HMENU menu = CreatePopupMenu();
    AppendDriveMenuItemsFor(menu, kAutoCompressFirstId, 1, false);
    const UINT checked = 0x10000;
    EXPECT_EQ(MenuItems(menu), (std::vector<std::pair<std::wstring, UINT>>{
                                   {L"E:", 2000 | checked}, {L"F:", 2001}, {L"G:", 2002 | checked}}));
    DestroyMenu(menu);
    EXPECT_EQ(FindDriveEntry(L"C:")->menuIndex, -1);
    EXPECT_EQ(FindDriveEntry(L"G:")->menuIndex, 2);

    // The other submenus never show checks; right-to-left shows the letter only.
    menu = CreatePopupMenu();
    AppendDriveMenuItemsFor(menu, kRemoveDriveFirstId, 0, true);
    EXPECT_EQ(MenuItems(menu),
              (std::vector<std::pair<std::wstring, UINT>>{{L"E", 2200}, {L"F", 2201}, {L"G", 2202}}));
    DestroyMenu(menu);

    wchar_t name[kDriveNameUnits] = L"xx";
    GetDriveNameByMenuIndex(1, name);
    EXPECT_STREQ(name, L"F:");
    GetDriveNameByMenuIndex(3, name);
    EXPECT_STREQ(name, L"");
    // A drive found after the menu was built is not reachable from it.
    Rebuild({{L"H:", 1, 8}, {L"E:", 1, 5}});
    GetDriveNameByMenuIndex(-1, name);
    EXPECT_STREQ(name, L"H:");  // -1 is "not in a menu", never a command's index
    GetDriveNameByMenuIndex(0, name);
    EXPECT_STREQ(name, L"E:");
}

}  // namespace
