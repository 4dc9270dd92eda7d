// The shell registration read back from Wine's registry: every key and
// value, volatile where it must vanish with the session, gone again after
// unregistering, and deletes that reach the view the entries were written
// to.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <string>
#include <vector>

#include "app/registry_edit.h"
#include "app/shell_registration.h"
#include "file_test_util.h"
#include "scripted_system.h"

namespace {

const std::wstring kClassId = L"{5B1F3C2E-8D47-4A9B-9E21-6C0D7F4A1B93}";
const std::wstring kUserClasses = L"Software\\Classes\\";
const wchar_t kUserApproval[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";

std::wstring Folder(int csidl)
{
    wchar_t path[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)))
        return L"<none>";
    return path;
}

struct Row {
    HKEY hive;
    std::wstring key;
    const wchar_t* name;
    DWORD type;
    std::wstring data;
};

// Each value present with its type, its data and its terminator counted.
void ExpectRows(const std::vector<Row>& rows, REGSAM view)
{
    for (const Row& row : rows) {
        const RegistryValue value = ReadRegistryValue(row.hive, row.key.c_str(), row.name, view);
        const std::string where = Narrow(row.key) + " : " + (row.name ? Narrow(row.name) : "(default)");
        ASSERT_TRUE(value.found) << where;
        EXPECT_EQ(row.type, value.type) << where;
        EXPECT_EQ(row.data + L'\0', value.data) << where;
        EXPECT_EQ((row.data.size() + 1) * sizeof(wchar_t), value.bytes) << where;
    }
}

bool KeyExists(HKEY hive, const std::wstring& key, REGSAM view = 0)
{
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(hive, key.c_str(), 0, KEY_READ | view, &opened) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(opened);
    return true;
}

// ERROR_SUCCESS when a permanent key can be made under key (then removed).
LONG PermanentChildResult(HKEY hive, const std::wstring& key)
{
    HKEY child = nullptr;
    const std::wstring path = key + L"\\PermanentProbe";
    const LONG result = ::RegCreateKeyExW(hive, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                          KEY_ALL_ACCESS, nullptr, &child, nullptr);
    if (result == ERROR_SUCCESS) {
        ::RegCloseKey(child);
        ::RegDeleteKeyW(hive, path.c_str());
    }
    return result;
}

std::vector<Row> UserRows(const std::wstring& folder, const wchar_t* server)
{
    const std::wstring clsid = kUserClasses + L"CLSID\\" + kClassId;
    const std::wstring progId = kUserClasses + L"TandrelFile.1";
    return {
        {HKEY_CURRENT_USER, clsid, nullptr, REG_SZ, L"Tandrel Shell Extension"},
        {HKEY_CURRENT_USER, clsid + L"\\InProcServer32", nullptr, REG_EXPAND_SZ, folder + server},
        {HKEY_CURRENT_USER, clsid + L"\\InProcServer32", L"ThreadingModel", REG_SZ, L"Apartment"},
        {HKEY_CURRENT_USER, clsid + L"\\ProgID", nullptr, REG_SZ, L"TandrelFile.1"},
        {HKEY_CURRENT_USER, kUserApproval, kClassId.c_str(), REG_SZ, L"TandrelFile.1"},
        {HKEY_CURRENT_USER, kUserClasses + L".tdz", nullptr, REG_SZ, L"TandrelFile.1"},
        {HKEY_CURRENT_USER, kUserClasses + L"*\\shellex\\ContextMenuHandlers\\Tandrel", nullptr, REG_SZ, kClassId},
        {HKEY_CURRENT_USER, progId, nullptr, REG_SZ, L"Tandrel File"},
        {HKEY_CURRENT_USER, progId, L"NeverShowExt", REG_SZ, L""},
        {HKEY_CURRENT_USER, progId + L"\\CLSID", nullptr, REG_SZ, kClassId},
        {HKEY_CURRENT_USER, progId + L"\\DefaultIcon", nullptr, REG_SZ, L"%1"},
        // The executable quoted: the folder holds a blank.
        {HKEY_CURRENT_USER, progId + L"\\Shell\\open\\command", nullptr, REG_EXPAND_SZ,
         L"\"" + folder + L"\\Tandrel.exe\" -o %1"},
        {HKEY_CURRENT_USER, progId + L"\\ShellEx\\IconHandler", nullptr, REG_SZ, kClassId},
    };
}

class ShellRegistration : public ::testing::Test {
protected:
    void TearDown() override
    {
        UnregisterFileType();
        UnregisterShellExtension();
        RestoreSystem();
    }
    static void Play(DWORD major, bool admin, bool wow64)
    {
        ScriptedSystem system;
        system.major = major;
        system.minor = 1;
        system.admin = admin;
        system.member = true;
        system.wow64 = wow64;
        PlaySystem(system);
    }
};

TEST_F(ShellRegistration, UserEntriesFollowTheRightsAndTheView)
{
    const std::wstring tail = L"\\Velmora Corporation\\Tandrel";
    const struct {
        bool admin;
        bool wow64;
        std::wstring folder;
        const wchar_t* lastServer;  // the pass that wrote last
    } cases[] = {
        {false, false, Folder(CSIDL_LOCAL_APPDATA) + tail, L"\\TDShellExt.dll"},
        {true, false, Folder(CSIDL_PROGRAM_FILESX86) + tail, L"\\TDShellExt.dll"},
        // Wine shares HKCU\Software\Classes between the views (as Windows 7
        // does): the 64-bit pass's server is what both read.
        {false, true, Folder(CSIDL_LOCAL_APPDATA) + tail, L"\\TDShellExt64.dll"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.folder) + (c.wow64 ? " wow64" : ""));
        Play(6, c.admin, c.wow64);
        ASSERT_EQ(1, RegisterShellExtension());
        ASSERT_EQ(1, RegisterFileType());
        ExpectRows(UserRows(c.folder, c.lastServer), 0);
        if (c.wow64)
            ExpectRows(UserRows(c.folder, c.lastServer), KEY_WOW64_64KEY);
    }
}

TEST_F(ShellRegistration, FileTypeKeysAreVolatileTheirSharedParentsAndTheClassAreNot)
{
    // Start without "*" so the registration makes the shared parents itself.
    ::SHDeleteKeyW(HKEY_CURRENT_USER, (kUserClasses + L"*").c_str());
    Play(6, false, false);
    ASSERT_EQ(1, RegisterShellExtension());
    ASSERT_EQ(1, RegisterFileType());

    for (const wchar_t* own : {L".tdz", L"TandrelFile.1", L"TandrelFile.1\\Shell\\open\\command",
                               L"*\\shellex\\ContextMenuHandlers\\Tandrel"})
        EXPECT_EQ(ERROR_CHILD_MUST_BE_VOLATILE, PermanentChildResult(HKEY_CURRENT_USER, kUserClasses + own))
            << Narrow(own);
    // Another program's handler next to ours must still be permanent.
    for (const wchar_t* shared : {L"*", L"*\\shellex", L"*\\shellex\\ContextMenuHandlers"})
        EXPECT_EQ(ERROR_SUCCESS, PermanentChildResult(HKEY_CURRENT_USER, kUserClasses + shared)) << Narrow(shared);
    EXPECT_EQ(ERROR_SUCCESS, PermanentChildResult(HKEY_CURRENT_USER, kUserClasses + L"CLSID\\" + kClassId));
}

TEST_F(ShellRegistration, AFreshProfileGetsItsApprovalKeyAndUnregisteringTwiceSucceeds)
{
    ::SHDeleteKeyW(HKEY_CURRENT_USER, kUserApproval);
    Play(6, false, false);
    ASSERT_EQ(1, RegisterShellExtension());
    ASSERT_EQ(1, RegisterFileType());
    EXPECT_TRUE(ReadRegistryValue(HKEY_CURRENT_USER, kUserApproval, kClassId.c_str()).found);

    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(1, UnregisterFileType());
        EXPECT_EQ(1, UnregisterShellExtension());
    }
    for (const std::wstring key : {kUserClasses + L".tdz", kUserClasses + L"TandrelFile.1",
                                   kUserClasses + L"CLSID\\" + kClassId,
                                   kUserClasses + L"*\\shellex\\ContextMenuHandlers\\Tandrel"})
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, key)) << Narrow(key);
    EXPECT_FALSE(ReadRegistryValue(HKEY_CURRENT_USER, kUserApproval, kClassId.c_str()).found);
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kUserClasses + L"*\\shellex\\ContextMenuHandlers"));
}

TEST_F(ShellRegistration, MachineEntriesOnNt5WithTheOverlayIdentifier)
{
    const wchar_t machineApproval[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
    HKEY approval = nullptr;  // the system's own key on a real NT 5 machine
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, machineApproval, 0, nullptr, 0, KEY_WRITE,
                                               nullptr, &approval, nullptr));
    ::RegCloseKey(approval);
    Play(5, true, false);
    ASSERT_EQ(1, RegisterShellExtension());
    ASSERT_EQ(1, RegisterFileType());
    const std::wstring clsid = L"CLSID\\" + kClassId;
    const std::wstring overlay =
        L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ShellIconOverlayIdentifiers\\TandrelFile.1";
    ExpectRows({
                   {HKEY_CLASSES_ROOT, clsid, nullptr, REG_SZ, L"Tandrel Shell Extension"},
                   {HKEY_CLASSES_ROOT, clsid + L"\\InProcServer32", nullptr, REG_EXPAND_SZ,
                    L"%SystemRoot%\\system32\\Tandrel\\TDShellExt.dll"},
                   {HKEY_CLASSES_ROOT, clsid + L"\\ProgID", nullptr, REG_SZ, L"TandrelFile.1"},
                   {HKEY_LOCAL_MACHINE, machineApproval, kClassId.c_str(), REG_SZ, L"TandrelFile.1"},
                   {HKEY_LOCAL_MACHINE, overlay, nullptr, REG_SZ, kClassId},
                   {HKEY_CLASSES_ROOT, L".tdz", nullptr, REG_SZ, L"TandrelFile.1"},
                   {HKEY_CLASSES_ROOT, L"TandrelFile.1\\Shell\\open\\command", nullptr, REG_EXPAND_SZ,
                    L"\"%SystemRoot%\\system32\\Tandrel\\Tandrel.exe\" -o %1"},
               },
               0);
    EXPECT_EQ(1, UnregisterFileType());
    EXPECT_EQ(1, UnregisterShellExtension());
    for (const std::wstring key : {clsid, std::wstring(L".tdz"), std::wstring(L"TandrelFile.1")})
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, key)) << Narrow(key);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, overlay));
}

TEST(RegistryEdit, DeleteReachesTheViewItIsGiven)
{
    const wchar_t parent[] = L"Software\\TandrelViewProbe";
    for (REGSAM deleted : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        const REGSAM kept = deleted == KEY_WOW64_64KEY ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
        for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
            RegKey made = CreateKey(HKEY_LOCAL_MACHINE, L"Software\\TandrelViewProbe\\Entry", KeyLife::kPermanent,
                                    KEY_WRITE, view);
            ASSERT_TRUE(made.Valid());
        }
        RegKey key = OpenKey(HKEY_LOCAL_MACHINE, parent, KEY_ALL_ACCESS, deleted);
        ASSERT_TRUE(key.Valid());
        EXPECT_TRUE(DeleteSubkey(key.Get(), L"Entry", deleted));
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, L"Software\\TandrelViewProbe\\Entry", deleted));
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, L"Software\\TandrelViewProbe\\Entry", kept));
    }
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        RegKey key = OpenKey(HKEY_LOCAL_MACHINE, L"Software", KEY_ALL_ACCESS, view);
        ::SHDeleteKeyW(key.Get(), L"TandrelViewProbe");
    }
}

}  // namespace
