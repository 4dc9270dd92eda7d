// The file manager's side for real, in the NT 5 variant: the registration
// goes to the machine's classes, which Wine's COM reads, so the class id
// loads the installed server, whose "Compress" starts the installed program,
// and opening a container runs the registered open command.
//
// Wine reports the version a program's AppDefaults entry names when it
// starts: the test "app_nt5_pose" runs this program with --pose-as-nt5
// first, which writes Windows XP x64 as its own version and ends. The tray
// program plays NT 5 through TDZ_PLATFORM_FACTS (inherited by the copies it
// starts and by those the extension starts from this process).
#include <gtest/gtest.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cwchar>
#include <string>

#include "dialog_script.h"
#include "file_test_util.h"
#include "tandrel_process.h"
#include "window_probe.h"

namespace {

const CLSID kClassId = {0x5B1F3C2E, 0x8D47, 0x4A9B, {0x9E, 0x21, 0x6C, 0x0D, 0x7F, 0x4A, 0x1B, 0x93}};

struct PoseAsNt5 {
    PoseAsNt5()
    {
        if (!std::wcsstr(::GetCommandLineW(), L"--pose-as-nt5"))
            return;
        HKEY key = nullptr;
        if (::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\app_nt5_tests.exe", 0, nullptr, 0,
                              KEY_WRITE, nullptr, &key, nullptr) == ERROR_SUCCESS) {
            static const wchar_t kVersion[] = L"winxp64";
            ::RegSetValueExW(key, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(kVersion), sizeof(kVersion));
            ::RegCloseKey(key);
        }
        ::ExitProcess(0);
    }
} g_poseAsNt5;

DWORD MajorVersion()
{
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof(version);
    return ::GetVersionExW(&version) ? version.dwMajorVersion : 0;
}

std::wstring SystemFolder()
{
    wchar_t path[MAX_PATH] = {};
    ::ExpandEnvironmentStringsW(L"%SystemRoot%\\system32\\Tandrel", path, MAX_PATH);
    return path;
}

// The selection as the file manager hands it over: the folder's own data
// object for one item.
IDataObject* SelectionOf(const std::wstring& path)
{
    PIDLIST_ABSOLUTE item = nullptr;
    if (FAILED(::SHParseDisplayName(path.c_str(), nullptr, &item, 0, nullptr)))
        return nullptr;
    IShellFolder* parent = nullptr;
    PCUITEMID_CHILD child = nullptr;
    IDataObject* data = nullptr;
    if (SUCCEEDED(::SHBindToParent(item, IID_IShellFolder, reinterpret_cast<void**>(&parent), &child))) {
        parent->GetUIObjectOf(nullptr, 1, &child, IID_IDataObject, nullptr, reinterpret_cast<void**>(&data));
        parent->Release();
    }
    ::CoTaskMemFree(item);
    return data;
}

// A tray program left running by a failed step would outlive the test.
class Nt5Shell : public ::testing::Test {
protected:
    void TearDown() override
    {
        StopTray();
        ::SetEnvironmentVariableW(L"TDZ_PLATFORM_FACTS", nullptr);
    }
};

TEST_F(Nt5Shell, TheRegisteredServerCompressesAndTheOpenCommandRestores)
{
    if (MajorVersion() != 5)
        GTEST_SKIP() << "this system cannot pose as an NT 5 system";
    ASSERT_TRUE(StopTray());
    ::SetEnvironmentVariableW(L"TDZ_PLATFORM_FACTS", L"5.1,1,0");
    const std::wstring folder = SystemFolder();
    for (const wchar_t* name : {L"\\Tandrel.exe", L"\\TDShellExt.dll", L"\\TDShellExt64.dll"})
        ::DeleteFileW((folder + name).c_str());

    Process first = Start(TDZ_TANDREL_EXE, L"");
    ASSERT_TRUE(Ended(first));
    ASSERT_NE(nullptr, WaitForStartedTray());
    const DWORD tray = WindowProcess(TrayFrame());
    // The first start asks about starting with the logon: no, then OK.
    probe::DialogScript script;
    script.answers = {IDNO, IDOK};
    script.stopAfter = 2;
    const auto seen = probe::AnswerDialogs(0, tray, script, [] { return false; });
    EXPECT_EQ(2u, seen.size()) << probe::Describe(seen);

    EXPECT_EQ(ReadBytes(TDZ_TANDREL_EXE), ReadBytes(folder + L"\\Tandrel.exe"));
    EXPECT_FALSE(ReadBytes(folder + L"\\TDShellExt.dll").empty());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW((folder + L"\\TDShellExt64.dll").c_str()))
        << "an NT 5 system has no use for the 64-bit server";

    ASSERT_HRESULT_SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    TestFolder work;
    const std::wstring document = work / L"Annual plan.tdzdoc";
    const Bytes bytes = TextBytes(80000, 11);
    ASSERT_TRUE(WriteBytes(document, bytes));
    {
        IShellExtInit* init = nullptr;
        ASSERT_HRESULT_SUCCEEDED(::CoCreateInstance(kClassId, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit,
                                                    reinterpret_cast<void**>(&init)));
        wchar_t loaded[MAX_PATH] = {};
        ::GetModuleFileNameW(::GetModuleHandleW(L"TDShellExt.dll"), loaded, MAX_PATH);
        EXPECT_EQ(0, ::lstrcmpiW((folder + L"\\TDShellExt.dll").c_str(), loaded)) << Narrow(loaded);
        IDataObject* selection = SelectionOf(document);
        ASSERT_NE(nullptr, selection);
        EXPECT_HRESULT_SUCCEEDED(init->Initialize(nullptr, selection, nullptr));
        selection->Release();
        IContextMenu* menu = nullptr;
        ASSERT_HRESULT_SUCCEEDED(init->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu)));
        CMINVOKECOMMANDINFO info{};
        info.cbSize = sizeof(info);
        info.lpVerb = "td_compress";
        info.nShow = SW_SHOWNORMAL;
        EXPECT_HRESULT_SUCCEEDED(menu->InvokeCommand(&info));
        menu->Release();
        init->Release();
    }
    EXPECT_TRUE(probe::WaitUntil([&] { return Missing(document); }, kProcessWaitMs)) << "not compressed";
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW((document + L".tdz").c_str()));

    // Opening the container, as a double click does.
    const auto opened = reinterpret_cast<INT_PTR>(
        ::ShellExecuteW(nullptr, nullptr, (document + L".tdz").c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    EXPECT_GT(opened, 32);
    EXPECT_TRUE(probe::WaitUntil([&] { return Missing(document + L".tdz"); }, kProcessWaitMs));
    EXPECT_EQ(bytes, ReadBytes(document));

    ::CoUninitialize();
    EXPECT_TRUE(StopTray());
    HKEY association = nullptr;
    EXPECT_NE(ERROR_SUCCESS, ::RegOpenKeyExW(HKEY_CLASSES_ROOT, L".tdz", 0, KEY_READ, &association))
        << "the file type goes with the tray program";
    ::SetEnvironmentVariableW(L"TDZ_PLATFORM_FACTS", nullptr);
}

}  // namespace
