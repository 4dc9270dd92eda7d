// The hand-over between a standard user's tray program and its elevated
// copy, with real processes of Tandrel.exe (the 64-bit twin) under Wine.
// Wine's "runas" starts the copy without elevating it and its
// IsUserAnAdmin is always true, so each process plays its part from
// TDZ_PLATFORM_FACTS: a standard user, except for a process started with
// an elevation switch. The mutex, the second process and its wait are real.
#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <string>
#include <vector>

#include "common/resource_ids.h"
#include "dialog_script.h"
#include "shield_dialog_ids.h"
#include "startup_test_env.h"
#include "tray/main_frame.h"
#include "ui/text.h"
#include "window_probe.h"

using namespace startup_test;

namespace {

constexpr DWORD kProcessWaitMs = 60000;

std::vector<DWORD> TandrelProcesses()
{
    std::vector<DWORD> ids;
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return ids;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot, &entry); more; more = ::Process32NextW(snapshot, &entry)) {
        if (::lstrcmpiW(entry.szExeFile, L"Tandrel.exe") == 0)
            ids.push_back(entry.th32ProcessID);
    }
    ::CloseHandle(snapshot);
    return ids;
}

std::vector<HWND> TandrelWindows()
{
    std::vector<HWND> windows;
    for (DWORD id : TandrelProcesses()) {
        std::vector<HWND> more = probe::ProcessWindows(id);
        windows.insert(windows.end(), more.begin(), more.end());
    }
    return windows;
}

HWND TrayFrame() { return ::FindWindowW(L"TandrelFrame", nullptr); }

bool NoTandrelLeft()
{
    return probe::WaitUntil([] { return TandrelProcesses().empty(); }, kProcessWaitMs);
}

// Ends whatever this test's tray programs left running: the frame is
// closed as at log-off, and a process that still lingers is ended by id.
void StopEveryTandrel()
{
    if (HWND frame = TrayFrame())
        ::PostMessageW(frame, WM_CLOSE, 0, 0);
    if (!probe::WaitUntil([] { return TandrelProcesses().empty(); }, 20000)) {
        for (DWORD id : TandrelProcesses()) {
            ProcessHandle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
            if (process.Valid()) {
                ::TerminateProcess(process.Get(), 1);
                ::WaitForSingleObject(process.Get(), 10000);
            }
        }
    }
}

bool Start(const std::wstring& executable, const std::wstring& tail)
{
    std::wstring commandLine = L"\"" + executable + L"\"" + (tail.empty() ? L"" : L" " + tail);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(executable.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &info))
        return false;
    ::CloseHandle(info.hThread);
    ::CloseHandle(info.hProcess);
    return true;
}

// The user's answers to the boxes of every Tandrel process, until count
// were answered; their texts, "[shield]" marking the shield dialog.
struct Answered {
    std::vector<std::wstring> texts;
    std::vector<DWORD> processes;
};
Answered Answer(std::vector<int> answers)
{
    probe::DialogScript script{answers, IDC_SHIELD_TEXT, answers.size()};
    Answered answered;
    for (const probe::SeenDialog& seen :
         probe::AnswerDialogs(TandrelWindows, script, [] { return false; }, kProcessWaitMs)) {
        answered.texts.push_back(seen.hasControl ? L"[shield]" : seen.text);
        answered.processes.push_back(seen.processId);
    }
    return answered;
}

std::vector<std::wstring> Texts(std::initializer_list<UINT> ids)
{
    std::vector<std::wstring> texts;
    for (UINT id : ids)
        texts.push_back(id == 0 ? L"[shield]" : LoadText(id));
    return texts;
}
constexpr UINT kShield = 0;

std::string Lines(const std::vector<std::wstring>& texts)
{
    std::string lines;
    for (const std::wstring& text : texts)
        lines += probe::Narrow(text) + "\n";
    return lines;
}

// A tray program that finished its start (its frame answers) and is the
// only Tandrel process left.
bool OneTrayRunning()
{
    return probe::WaitUntil([] { return TandrelProcesses().size() == 1 && TrayFrame() != nullptr; }, kProcessWaitMs);
}

class ElevationHandOver : public ::testing::Test {
protected:
    void SetUp() override
    {
        StopEveryTandrel();
        ClearRegistration();
    }
    void TearDown() override
    {
        StopEveryTandrel();
        ClearRegistration();
        ::SetEnvironmentVariableW(L"TDZ_PLATFORM_FACTS", nullptr);
    }
    static void Play(const wchar_t* facts) { ::SetEnvironmentVariableW(L"TDZ_PLATFORM_FACTS", facts); }
};

}  // namespace

TEST_F(ElevationHandOver, StandardUserRegistersThroughAnElevatedCopyAndRemovesAtExit)
{
    Play(L"6.1,0,1");  // a standard user's 32-bit program on 64-bit Windows 7
    ASSERT_TRUE(Start(TDZ_TANDREL_EXE, L""));
    // The question, the shield dialog, the notice before the restart; then
    // the elevated copy's message.
    Answered first = Answer({IDYES, IDOK, IDOK, IDOK});
    ASSERT_EQ(Lines(first.texts), Lines(Texts({IDS_FIRST_START_QUESTION, kShield, IDS_STOPPED_NOTICE_ACTIVATED,
                                               IDS_STARTUP_ACTIVATED})));
    EXPECT_NE(first.processes[0], first.processes[3]) << "the elevated copy took over";
    ASSERT_TRUE(OneTrayRunning()) << TandrelProcesses().size() << " processes";
    EXPECT_EQ(TandrelProcesses()[0], first.processes[3]);

    LinkContents link = ReadLink(ShortcutPath());
    ASSERT_TRUE(link.read);
    EXPECT_EQ(probe::Narrow(link.rawPath), probe::Narrow(PerUserProgram()));
    EXPECT_EQ(link.arguments, L"");
    EXPECT_TRUE(OverlayIn(kView32));
    EXPECT_TRUE(OverlayIn(kView64));

    // The next logon: the standard user's own copy, already registered,
    // asks nothing.
    StopEveryTandrel();
    ASSERT_TRUE(Start(PerUserProgram(), L""));
    ASSERT_TRUE(OneTrayRunning());
    const HWND frame = TrayFrame();

    // Exit, then "Quit setting": the program keeps running and asks again.
    ::PostMessageW(frame, WM_COMMAND, ID_TRAY_EXIT, 0);
    EXPECT_EQ(Lines(Answer({IDYES, IDCANCEL}).texts), Lines(Texts({IDS_EXIT_QUESTION, kShield})));
    ::PostMessageW(frame, WM_COMMAND, ID_TRAY_EXIT, 0);
    Answered exit = Answer({IDYES, IDOK, IDOK, IDOK});
    EXPECT_EQ(Lines(exit.texts), Lines(Texts({IDS_EXIT_QUESTION, kShield, IDS_STOPPED_NOTICE, IDS_EXIT_REMOVED})));
    EXPECT_TRUE(NoTandrelLeft());
    EXPECT_FALSE(ShortcutExists());
    EXPECT_FALSE(OverlayIn(kView32));
    EXPECT_FALSE(OverlayIn(kView64));
}

TEST_F(ElevationHandOver, RemovalSwitchesKeepRunningOrEndAsTheyName)
{
    struct Row {
        std::wstring tail;
        UINT message;
        bool keepsRunning;
    } rows[] = {
        {L"-startuwait 0", IDS_STARTUP_REMOVED, true},
        {L"-startvwait 0", IDS_EXIT_REMOVED, false},
        // The id of a process that runs on but is no tray program, as a
        // reused id would be: no tray program holds the mutex, so no wait.
        {L"-startuwait " + std::to_wstring(::GetCurrentProcessId()), IDS_STARTUP_REMOVED, true},
    };
    Play(L"6.1,0,1");
    for (const Row& row : rows) {
        SCOPED_TRACE(probe::Narrow(row.tail));
        ASSERT_TRUE(WriteOverlayOnlyIn(kView32) && WriteOverlayOnlyIn(kView64));
        ASSERT_TRUE(Start(TDZ_TANDREL_EXE, row.tail));
        EXPECT_EQ(Lines(Answer({IDOK}).texts), Lines(Texts({row.message})));
        EXPECT_FALSE(OverlayIn(kView32) || OverlayIn(kView64));
        if (row.keepsRunning) {
            ASSERT_TRUE(OneTrayRunning());
            // An elevated copy never asks at exit.
            ::PostMessageW(TrayFrame(), WM_COMMAND, ID_TRAY_EXIT, 0);
            EXPECT_EQ(Lines(Answer({IDOK}).texts), Lines(Texts({IDS_EXIT_DONE})));
        }
        EXPECT_TRUE(NoTandrelLeft());
    }
}

TEST_F(ElevationHandOver, AdministratorAndOlderSystemRegisterWithoutElevating)
{
    // An administrator's own start: no question, no registration, the
    // command refused, no question at exit.
    Play(L"6.1,1,0");
    ASSERT_TRUE(Start(TDZ_TANDREL_EXE, L""));
    ASSERT_TRUE(OneTrayRunning());
    ::PostMessageW(TrayFrame(), WM_COMMAND, ID_TRAY_STARTUP, 0);
    EXPECT_EQ(Lines(Answer({IDOK}).texts), Lines(Texts({IDS_NOT_AS_ADMIN})));
    ::PostMessageW(TrayFrame(), WM_COMMAND, ID_TRAY_EXIT, 0);
    EXPECT_EQ(Lines(Answer({IDOK}).texts), Lines(Texts({IDS_EXIT_DONE})));
    EXPECT_TRUE(NoTandrelLeft());
    EXPECT_FALSE(ShortcutExists());

    // Windows XP: the shortcut is the whole registration.
    Play(L"5.1,1,0");
    ASSERT_TRUE(Start(TDZ_TANDREL_EXE, L""));
    EXPECT_EQ(Lines(Answer({IDYES, IDOK, IDOK}).texts),
              Lines(Texts({IDS_FIRST_START_QUESTION, IDS_STARTUP_ACTIVATED, IDS_INDICATOR_AFTER_RESTART})));
    ASSERT_TRUE(OneTrayRunning());
    LinkContents link = ReadLink(ShortcutPath());
    EXPECT_TRUE(link.read);
    ::PostMessageW(TrayFrame(), WM_COMMAND, ID_TRAY_EXIT, 0);
    EXPECT_EQ(Lines(Answer({IDYES, IDOK}).texts), Lines(Texts({IDS_EXIT_QUESTION, IDS_EXIT_REMOVED})));
    EXPECT_TRUE(NoTandrelLeft());
    EXPECT_FALSE(ShortcutExists());
}
