// Target drive detection and safe removal against a scripted USB tree in
// which the Wine removable test drive is a stick, on real drive letters
// and Wine's real registry.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "drives/device_tree.h"
#include "drives/drive_detection.h"
#include "drives/drive_list.h"
#include "drives/safe_removal.h"
#include "drives/scripted_device_tree.h"
#include "scripted_system.h"

namespace {

const wchar_t* const kSupported = L"usb\\vid_1f3a&pid_0102&rev_0100";  // case differs from the table
const wchar_t* const kOtherModel = L"USB\\Vid_0BDA&Pid_0129&Rev_3960";

struct DetectionTest : ::testing::Test {
    std::wstring target = L"" TDZ_TEST_TARGET_DRIVE;  // removable, e.g. "R:"
    std::wstring other = L"" TDZ_TEST_OTHER_DRIVE;    // fixed
    void SetUp() override
    {
        if (::GetDriveTypeW((target + L"\\").c_str()) != DRIVE_REMOVABLE)
            GTEST_SKIP() << "test drives are not mapped (run through ctest, fixture map_test_drives)";
        InitDriveList();
        ::RegDeleteKeyW(HKEY_CURRENT_USER, kProgramKey);
    }
    void TearDown() override
    {
        FreeDriveList();
        StopDeviceTree();
        RestoreSystem();
    }
    ScriptedStick Stick(const wchar_t* id, ULONG number = 3, int vetoes = 0)
    {
        ScriptedStick stick;
        stick.hardwareId = id;
        stick.driveLetter = target[0];
        stick.deviceNumber = number;
        stick.vetoes = vetoes;
        return stick;
    }
    std::wstring CurrentDrive(HKEY hive, REGSAM view = 0)
    {
        const RegistryValue value = ReadRegistryValue(hive, kProgramKey, kCurrentDriveValue, view);
        EXPECT_TRUE(value.found);
        EXPECT_EQ(value.type, static_cast<DWORD>(REG_MULTI_SZ));
        EXPECT_EQ(value.bytes, value.data.size() * 2);
        return value.data;
    }
    DriveEntry Entry(const std::wstring& name)
    {
        LockDriveList();
        DriveEntry* entry = FindDriveEntry(name.c_str());
        DriveEntry copy = entry ? *entry : DriveEntry{};
        UnlockDriveList();
        return copy;
    }
};

TEST_F(DetectionTest, BothMethodsFindTheSupportedStickAndPublishItInTheirHive)
{
    const struct {
        ScriptedSystem system;
        HKEY hive;
    } rows[] = {{{6, 1}, HKEY_CURRENT_USER}, {{5, 1}, HKEY_LOCAL_MACHINE}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.system.major);
        PlaySystem(row.system);
        PlayDeviceTree({Stick(kSupported)});
        RefreshDriveList();
        EXPECT_EQ(CurrentDrive(row.hive), target + std::wstring(2, L'\0'));
        const DriveEntry entry = Entry(target);
        EXPECT_EQ(entry.isTarget, 1);
        EXPECT_EQ(entry.deviceInstance, ScriptedUsbNode(0));
        EXPECT_EQ(Entry(other).isTarget, 0) << "fixed drives are listed as non-targets";
        EXPECT_EQ(OpenDeviceSets(), 0) << "every device set is closed again";
    }
}

TEST_F(DetectionTest, OtherModelsServicesAndDrivelessSticksAreLeftOut)
{
    ScriptedStick notStorage = Stick(kSupported);
    notStorage.service = L"usbstor";  // compared case-sensitively
    ScriptedStick driveless = Stick(kSupported);
    driveless.driveLetter = 0;
    for (const auto& tree : std::vector<std::vector<ScriptedStick>>{{Stick(kOtherModel)}, {notStorage}, {driveless}, {}}) {
        PlayDeviceTree(tree);
        RefreshDriveList();
        EXPECT_EQ(CurrentDrive(HKEY_CURRENT_USER), std::wstring(1, L'\0'));
        EXPECT_EQ(Entry(target).name[0], L'\0') << "a removable drive of no supported stick is not listed";
    }
}

TEST_F(DetectionTest, UnderWow64TheValueIsWrittenToBothViews)
{
    PlaySystem({5, 1, true, true, true});
    PlayDeviceTree({Stick(kSupported)});
    RefreshDriveList();
    EXPECT_EQ(CurrentDrive(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY), target + std::wstring(2, L'\0'));
    EXPECT_EQ(CurrentDrive(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY), target + std::wstring(2, L'\0'));
}

TEST_F(DetectionTest, AnEntryIsKeptOnlyForTheSameDevice)
{
    PlayDeviceTree({Stick(kSupported)});
    RefreshDriveList();
    ToggleAutoCompress(target.c_str());  // the user's choice: off
    RefreshDriveList();
    EXPECT_EQ(Entry(target).autoCompress, 0) << "the same stick keeps the user's choice";

    // Another stick now holds the letter: a new entry, not the old choice.
    PlayDeviceTree({Stick(kOtherModel), Stick(kSupported)});
    RefreshDriveList();
    const DriveEntry entry = Entry(target);
    EXPECT_EQ(entry.deviceInstance, ScriptedUsbNode(1));
    EXPECT_EQ(entry.autoCompress, 1);
}

TEST_F(DetectionTest, AFailedDeviceListingChangesNothing)
{
    PlayDeviceTree({Stick(kSupported)});
    RefreshDriveList();
    DeviceTreeApi broken = DeviceTree();
    broken.getClassDevs = [](const GUID*, PCWSTR, HWND, DWORD) -> HDEVINFO { return INVALID_HANDLE_VALUE; };
    SetDeviceTree(&broken);
    RefreshDriveList();
    EXPECT_EQ(Entry(target).isTarget, 1);
    EXPECT_EQ(CurrentDrive(HKEY_CURRENT_USER), target + std::wstring(2, L'\0'));
}

TEST_F(DetectionTest, EjectionRetriesVetoesAndAsksOnlyForListedTargets)
{
    const struct {
        ScriptedSystem system;
        int vetoes;
        int ejected;
        size_t requests;
    } rows[] = {
        {{6, 1}, 0, 1, 1}, {{6, 1}, 2, 1, 3}, {{6, 1}, 3, 0, 3}, {{5, 1}, 0, 1, 1}, {{5, 1}, 1, 0, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.system.major << " vetoes " << row.vetoes);
        PlaySystem(row.system);
        PlayDeviceTree({Stick(kSupported, 3, row.vetoes)});
        RefreshDriveList();
        const DWORD start = ::GetTickCount();
        EXPECT_EQ(EjectDrive(target.c_str()), row.ejected);
        const std::vector<EjectRequest> requests = EjectRequests();
        EXPECT_EQ(requests.size(), row.requests);
        for (const EjectRequest& request : requests)
            EXPECT_EQ(request.device, ScriptedUsbNode(0));
        if (row.system.major == 6 && !row.ejected)
            EXPECT_GE(::GetTickCount() - start, 1400u) << "three attempts with their pauses";
    }
    PlayDeviceTree({Stick(kSupported)});
    RefreshDriveList();
    EXPECT_EQ(EjectDrive(other.c_str()), 0);
    EXPECT_EQ(EjectDrive(L"Q:"), 0);
    EXPECT_TRUE(EjectRequests().empty()) << "nothing is asked for a non-target or unlisted drive";
}

TEST_F(DetectionTest, TheDiskIsFoundByDeviceTypeAndNumber)
{
    PlayDeviceTree({Stick(kOtherModel, 7), Stick(kSupported, 3)});
    STORAGE_DEVICE_NUMBER number{FILE_DEVICE_DISK, 3, 0};
    // Both sticks share the letter in the script; the disk of number 3 is the second.
    EXPECT_EQ(FindDiskByDeviceNumber(number), ScriptedDiskNode(1));
    number.DeviceType = FILE_DEVICE_CD_ROM;
    EXPECT_EQ(FindDiskByDeviceNumber(number), 0u);
}

TEST(SupportedDevices, SixPrefixesOfTwentyOneCharactersMatchIgnoringCase)
{
    for (const wchar_t* prefix : kSupportedDevices) {
        EXPECT_EQ(std::wcslen(prefix), 21u);
        std::wstring lower = prefix;
        for (wchar_t& c : lower)
            c = static_cast<wchar_t>(towlower(c));
        EXPECT_TRUE(IsSupportedHardwareId((lower + L"&Rev_0001").c_str()));
    }
    EXPECT_FALSE(IsSupportedHardwareId(L"USB\\Vid_1F3A&Pid_010"));  // too short
    EXPECT_FALSE(IsSupportedHardwareId(kOtherModel));
}

}  // namespace
