// Tandrel.exe as a user meets it under Wine: started from a download
// folder it installs itself and its servers and hands over to the installed
// copy; a second start ends without a word; the installed copy started
// under another spelling does not install itself again; -c, -d and -o run
// in short-lived processes of their own.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <string>

#include "common/resource_ids.h"
#include "file_test_util.h"
#include "modal_run.h"
#include "scripted_system.h"
#include "tandrel_process.h"
#include "ui/text.h"
#include "window_probe.h"

namespace {

std::wstring InstallationFolder()
{
    wchar_t base[MAX_PATH] = {};
    ::SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILESX86, nullptr, SHGFP_TYPE_CURRENT, base);
    return std::wstring(base) + L"\\Velmora Corporation\\Tandrel";
}

std::wstring ShortName(const std::wstring& path)
{
    wchar_t shortPath[MAX_PATH] = {};
    const DWORD length = ::GetShortPathNameW(path.c_str(), shortPath, MAX_PATH);
    return length && length < MAX_PATH ? shortPath : L"";
}

void RemoveStartupShortcut()
{
    wchar_t startup[MAX_PATH] = {};
    ::SHGetFolderPathW(nullptr, CSIDL_STARTUP, nullptr, SHGFP_TYPE_CURRENT, startup);
    ::DeleteFileW((std::wstring(startup) + L"\\Tandrel.lnk").c_str());
}

// A tray program left running by a failed step would outlive the test.
class TandrelProgram : public ::testing::Test {
protected:
    void TearDown() override { StopTray(); }
};

TEST_F(TandrelProgram, InstallsFromADownloadFolderAndRunsOnlyTheInstalledCopy)
{
    ASSERT_TRUE(StopTray());
    RemoveStartupShortcut();
    const std::wstring folder = InstallationFolder();
    for (const wchar_t* name : {L"\\Tandrel.exe", L"\\TDShellExt.dll", L"\\TDShellExt64.dll"})
        ::DeleteFileW((folder + name).c_str());

    TestFolder download;
    const std::wstring downloaded = download / L"Tandrel.exe";
    ASSERT_TRUE(::CopyFileW(TDZ_TANDREL_EXE, downloaded.c_str(), FALSE));
    Process first = Start(downloaded, L"");
    ASSERT_TRUE(Ended(first)) << "the downloaded copy must hand over and end";

    // The installed copy runs as the tray program (Wine's user is an
    // administrator: no start-up question).
    ASSERT_NE(nullptr, WaitForStartedTray());
    const DWORD trayProcess = WindowProcess(TrayFrame());
    EXPECT_NE(first.id, trayProcess);

    const Bytes server = ReadBytes(Widen(TDZ_SHELLEXT64_DLL_NARROW));
    EXPECT_EQ(ReadBytes(TDZ_TANDREL_EXE), ReadBytes(folder + L"\\Tandrel.exe"));
    EXPECT_EQ(server, ReadBytes(folder + L"\\TDShellExt64.dll"));
    EXPECT_EQ(server, ReadBytes(folder + L"\\TDShellExt.dll")) << "the twin carries its own server as both";
    const FileState installed = Capture(folder + L"\\Tandrel.exe");

    // While it runs, the shell knows the container type and its command
    // (written while the frame is being created).
    const wchar_t commandKey[] = L"Software\\Classes\\TandrelFile.1\\Shell\\open\\command";
    ASSERT_TRUE(probe::WaitUntil([&] { return ReadRegistryValue(HKEY_CURRENT_USER, commandKey, nullptr).found; }));
    const RegistryValue command = ReadRegistryValue(HKEY_CURRENT_USER, commandKey, nullptr);
    EXPECT_EQ(L"\"" + folder + L"\\Tandrel.exe\" -o %1", std::wstring(command.data.c_str()));

    // A second start ends at once, and without a window.
    Process second = Start(folder + L"\\Tandrel.exe", L"");
    ASSERT_TRUE(Ended(second));
    EXPECT_EQ(trayProcess, WindowProcess(TrayFrame()));

    // The tray menu's about item opens the about box over the frame.
    ::PostMessageW(TrayFrame(), WM_COMMAND, MAKEWPARAM(32772, 0), 0);
    const HWND about = probe::WaitForProcessWindow(trayProcess, WithControl(1009));
    ASSERT_NE(nullptr, about);
    EXPECT_EQ(TrayFrame(), ::GetWindow(about, GW_OWNER));
    probe::Click(about, IDOK);
    ASSERT_TRUE(probe::WaitUntil([&] { return !::IsWindow(about); }));

    ASSERT_TRUE(StopTray());
    EXPECT_FALSE(ReadRegistryValue(HKEY_CURRENT_USER, L"Software\\Classes\\.tdz", nullptr).found);

    // The installed copy under its short name is still the installed copy:
    // it runs itself, and neither installs nor starts another.
    const std::wstring shortName = ShortName(folder + L"\\Tandrel.exe");
    ASSERT_FALSE(shortName.empty());
    ASSERT_NE(shortName, folder + L"\\Tandrel.exe");
    Process again = Start(shortName, L"");
    ASSERT_NE(nullptr, WaitForStartedTray());
    EXPECT_EQ(again.id, WindowProcess(TrayFrame()));
    EXPECT_TRUE(Unchanged(folder + L"\\Tandrel.exe", installed));
    EXPECT_TRUE(StopTray());
    EXPECT_TRUE(Ended(again));
}

TEST_F(TandrelProgram, AnInstalledCopyThatDoesNotStartIsReportedWithItsCode)
{
    ASSERT_TRUE(StopTray());
    TestFolder download;
    const std::wstring downloaded = download / L"Tandrel.exe";
    ASSERT_TRUE(::CopyFileW(TDZ_TANDREL_EXE, downloaded.c_str(), FALSE));
    ::SetEnvironmentVariableW(L"TDZ_FAIL_INSTALLED_START", L"1");
    Process first = Start(downloaded, L"");
    ::SetEnvironmentVariableW(L"TDZ_FAIL_INSTALLED_START", nullptr);
    const HWND box = probe::WaitForProcessWindow(first.id, MessageBoxWindow());
    ASSERT_NE(nullptr, box) << "a failed start was dropped silently";
    EXPECT_EQ(L"Start-up has failed. (0007)", probe::MessageBoxText(box));
    probe::Click(box, IDOK);
    EXPECT_TRUE(Ended(first));
    EXPECT_EQ(nullptr, TrayFrame());
}

class FileCommands : public ::testing::Test {
protected:
    // Runs Tandrel with tail and waits for its end.
    static void Run(const std::wstring& tail)
    {
        Process process = Start(TDZ_TANDREL_EXE, tail);
        const bool ended = Ended(process);
        std::wstring shown;
        if (!ended) {
            for (HWND window : probe::ProcessWindows(process.id))
                if (probe::IsVisible(window))
                    shown += probe::Text(window) + L": " + probe::MessageBoxText(window) + L"\n";
            ::TerminateProcess(process.handle.Get(), 1);
        }
        ASSERT_TRUE(ended) << Narrow(tail) << "\nshown: " << Narrow(shown);
    }
    // Runs Tandrel with tail, expects a too-long message, closes it and
    // returns its text.
    static std::wstring RunExpectingTooLong(const std::wstring& tail)
    {
        Process process = Start(TDZ_TANDREL_EXE, tail);
        HWND box = probe::WaitForProcessWindow(process.id, MessageBoxWindow());
        if (!box) {
            ::TerminateProcess(process.handle.Get(), 1);
            return L"<no message>";
        }
        const std::wstring text = probe::MessageBoxText(box);
        EXPECT_NE(std::wstring::npos, text.find(L"\n\nThe target file could not be compressed or decompressed"))
            << Narrow(text);
        probe::Click(box, IDOK);
        EXPECT_TRUE(Ended(process));
        return text;
    }
};

TEST_F(FileCommands, CompressAndDecompressQuotedUnquotedAndWithBlanks)
{
    TestFolder folder;
    const std::wstring source = folder / L"my report 1.doc";
    const Bytes bytes = TextBytes(200000, 7);
    const struct {
        std::wstring compress;
        std::wstring decompress;
    } rows[] = {
        {L"-c " + source, L"-d " + source + L".tdz"},
        {L"-c \"" + source + L"\"", L"-d \"" + source + L".tdz\""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(Narrow(row.compress));
        ASSERT_TRUE(WriteBytes(source, bytes));
        Run(row.compress);
        EXPECT_TRUE(Missing(source));
        ASSERT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW((source + L".tdz").c_str()));
        Run(row.decompress);
        EXPECT_EQ(bytes, ReadBytes(source));
        EXPECT_TRUE(Missing(source + L".tdz"));
    }
    // Wrong extensions, missing files and folders: nothing happens.
    ASSERT_TRUE(WriteBytes(folder / L"plain.doc", bytes));
    ASSERT_TRUE(WriteBytes(folder / L"already.tdz", bytes));
    for (const std::wstring tail : {L"-d " + (folder / L"plain.doc"), L"-o " + (folder / L"plain.doc"),
                                    L"-c " + (folder / L"already.tdz"), L"-c " + (folder / L"missing.doc"),
                                    L"-c " + folder.Work(), L"-x " + (folder / L"plain.doc"),
                                    std::wstring(L"-startiwait"), std::wstring(L"-c \"")})
        Run(tail);
    EXPECT_EQ(bytes, ReadBytes(folder / L"plain.doc"));
    EXPECT_EQ(bytes, ReadBytes(folder / L"already.tdz"));
    EXPECT_TRUE(ListNames(folder.Work(), L"*.tdz").size() == 1);
}

TEST_F(FileCommands, PathLimitsAre259UnquotedAnd258Quoted)
{
    TestFolder folder;
    const size_t work = folder.Work().size();
    ASSERT_LT(work, 200u);
    // Containers whose full paths are 259 and 258 characters long.
    const std::wstring c259 = folder.Work() + std::wstring(259 - work - 8, L'a') + L".doc.tdz";
    const std::wstring c258 = folder.Work() + std::wstring(258 - work - 8, L'b') + L".doc.tdz";
    ASSERT_EQ(259u, c259.size());
    // Made under a short name and renamed: compressing the long name itself
    // would need a temporary name beyond the limit.
    const Bytes bytes = TextBytes(5000, 8);
    ASSERT_TRUE(WriteBytes(folder / L"s.doc", bytes));
    Run(L"-c " + (folder / L"s.doc"));
    ASSERT_TRUE(::CopyFileW((folder / L"s.doc.tdz").c_str(), c259.c_str(), FALSE));
    ASSERT_TRUE(::MoveFileW((folder / L"s.doc.tdz").c_str(), c258.c_str()));
    // The command line hands 259 characters (258 between quotes) on whole:
    // the decompress operation itself then finds no room for its output.
    // One more, and the command line refuses the path as it was given.
    const struct {
        std::wstring tail;
        std::wstring shown;
    } rows[] = {
        {L"-d " + c259, c259},
        {L"-d \"" + c258 + L"\"", c258},
        {L"-d " + c259 + L"x", c259 + L"x"},
        {L"-d \"" + c259 + L"\"", L"\"" + c259 + L"\""},
    };
    for (const auto& row : rows)
        EXPECT_EQ(0u, RunExpectingTooLong(row.tail).find(row.shown + L"\n\n")) << Narrow(row.tail);
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(c259.c_str()));
}

TEST_F(FileCommands, OpenRestoresTheLongNameAndOpensIt)
{
    // The restored file's type opens with the recorder, which writes down
    // the command line it was given.
    TestFolder folder;
    const std::wstring records = folder / L"records";
    ASSERT_TRUE(::CreateDirectoryW(records.c_str(), nullptr));
    ::SetEnvironmentVariableW(L"TDZ_RECORD_DIR", records.c_str());
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CLASSES_ROOT, L".tdzopenprobe", 0, nullptr, 0, KEY_WRITE,
                                               nullptr, &key, nullptr));
    ::RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(L"TandrelOpenProbe"), 34);
    ::RegCloseKey(key);
    const std::wstring command = std::wstring(L"\"") + TDZ_RECORDER_EXE + L"\" \"%1\"";
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CLASSES_ROOT, L"TandrelOpenProbe\\shell\\open\\command", 0,
                                               nullptr, 0, KEY_WRITE, nullptr, &key, nullptr));
    ::RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                     static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(key);

    const std::wstring source = folder / L"Quarterly figures.tdzopenprobe";
    const Bytes bytes = TextBytes(30000, 9);
    ASSERT_TRUE(WriteBytes(source, bytes));
    Run(L"-c " + source);
    const std::wstring shortName = ShortName(source + L".tdz");
    ASSERT_FALSE(shortName.empty());
    Run(L"-o " + shortName);
    EXPECT_EQ(bytes, ReadBytes(source));

    ASSERT_TRUE(probe::WaitUntil([&] { return !ListNames(records + L"\\", L"*.txt").empty(); }, kProcessWaitMs));
    const auto names = ListNames(records + L"\\", L"*.txt");
    const Bytes recorded = ReadBytes(records + L"\\" + names.front());
    const std::wstring line(reinterpret_cast<const wchar_t*>(recorded.data()), recorded.size() / 2);
    EXPECT_NE(std::wstring::npos, line.find(source)) << Narrow(line);
    ::SHDeleteKeyW(HKEY_CLASSES_ROOT, L"TandrelOpenProbe");
    ::SHDeleteKeyW(HKEY_CLASSES_ROOT, L".tdzopenprobe");
}

}  // namespace
