// The start-up check, the "Activate upon start-up" command and the exit
// flow, each played through its real message boxes and shield dialog by a
// user on another thread, against the real shortcut and registry. The
// frame is a stand-in that records what the flows ask of it. The paths
// that hand over to an elevated copy are played with real processes in
// startup_handover_test.cpp; here: declines, failures and the rest.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "app/startup_flags.h"
#include "common/program_style.h"
#include "common/resource_ids.h"
#include "dialog_script.h"
#include "shield_dialog_ids.h"
#include "startup_test_env.h"
#include "tray/main_frame.h"
#include "tray/startup_flow.h"
#include "tray/startup_registration.h"
#include "ui/text.h"
#include "window_probe.h"

using namespace startup_test;

namespace {

class FlowFrame : public StartupFlowHost {
public:
    HWND window = nullptr;
    int registered = 0;
    std::vector<uint32_t> failures;
    std::vector<std::wstring> elevations;
    int closes = 0;
    int retired = 0;

    HWND Window() const override { return window; }
    int RegisteredForStartup() const override { return registered; }
    void SetRegisteredForStartup(int value) override { registered = value; }
    void ReportStartupFailure(uint32_t code) override { failures.push_back(code); }
    void RetireProgressDialog() override { ++retired; }
    int RunModal(int (*box)(void*), void* context) override { return box(context); }
    void StartElevatedCopy(const wchar_t* switchFormat) override { elevations.push_back(switchFormat); }
    void Close() override { ++closes; }
};

enum class Flow { Check, Command, Exit };
enum class Before { Nothing, Shortcut, Overlay, ObstructedShortcut };

// What the user sees, in order: a string id, the shield dialog, or the
// start-up failure with its code.
constexpr UINT kShield = 1;
constexpr UINT kFailure = 2;
struct Seen {
    UINT what;
    bool owned;
};

struct Case {
    const char* name;
    ScriptedSystem system;
    StartupFlags flags;
    Before before;
    int frameRegistered;
    Flow flow;
    std::vector<int> answers;
    std::vector<Seen> seen;
    bool result;               // of the start-up check
    const wchar_t* elevation;  // switch, or null
    int closes;
    int registeredAfter;
    bool shortcutAfter;
    bool overlayAfter;
    int retired;
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

const StartupFlags kDirect{};
const StartupFlags kDirectAdministrator{false, false, false, true};
const StartupFlags kActivateWait{true, true, false, false};
const StartupFlags kRemoveWait{true, false, false, false};
const StartupFlags kRemoveAndExitWait{true, false, true, false};

std::wstring Expected(UINT what)
{
    if (what == kShield)
        return LoadText(IDS_CAPTION) + L" [shield]";
    if (what == kFailure)
        return FormatText(L"%s (%04X)", LoadText(IDS_STARTUP_FAILED).c_str(), 0x1007u);
    return LoadText(what);
}

std::string Lines(const std::vector<std::wstring>& texts, const std::vector<bool>& owned)
{
    std::string lines;
    for (size_t i = 0; i < texts.size(); ++i)
        lines += probe::Narrow(texts[i]) + (owned[i] ? " [owned]" : "") + "\n";
    return lines;
}

class StartupFlows : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override
    {
        SetProgramStyle(kTandrelStyle);
        ClearRegistration();
    }
    void TearDown() override
    {
        ClearRegistration();
        GetStartupFlags() = StartupFlags{};
    }
};

void Prepare(const Case& c)
{
    switch (c.before) {
    case Before::Nothing: break;
    case Before::Shortcut:
        PlaySystem(kStandardUserNt6);
        ASSERT_EQ(RegisterForStartup(), 1);
        break;
    case Before::Overlay: ASSERT_TRUE(WriteOverlayOnlyIn(kView64)); break;
    case Before::ObstructedShortcut: ASSERT_TRUE(ObstructShortcut()); break;
    }
}

}  // namespace

TEST_P(StartupFlows, ShowWhatTheUserIsToldAndLeaveTheRegistrationAsAnswered)
{
    const Case& c = GetParam();
    Prepare(c);
    PlaySystem(c.system);
    GetStartupFlags() = c.flags;

    FlowFrame frame;
    frame.registered = c.frameRegistered;
    std::atomic<DWORD> threadId{0};
    std::atomic<bool> finished{false};
    bool result = false;
    std::thread flow([&] {
        frame.window = ::CreateWindowExW(0, L"STATIC", L"frame", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                                         nullptr);
        threadId = ::GetCurrentThreadId();
        switch (c.flow) {
        case Flow::Check: result = RunStartupCheck(frame); break;
        case Flow::Command: RunStartupCommand(frame); break;
        case Flow::Exit: RunExitFlow(frame); break;
        }
        finished = true;
    });
    ASSERT_TRUE(probe::WaitUntil([&] { return threadId != 0; }));
    std::vector<probe::SeenDialog> seen =
        probe::AnswerDialogs(threadId, 0, {c.answers, IDC_SHIELD_TEXT}, [&] { return finished.load(); });
    flow.join();
    ::DestroyWindow(frame.window);

    std::vector<std::wstring> expectedTexts, seenTexts;
    std::vector<bool> expectedOwned, seenOwned;
    for (const Seen& s : c.seen) {
        expectedTexts.push_back(Expected(s.what));
        expectedOwned.push_back(s.owned);
    }
    for (const probe::SeenDialog& s : seen) {
        seenTexts.push_back(s.hasControl ? s.text + L" [shield]" : s.text);
        seenOwned.push_back(s.owner == frame.window);
    }
    EXPECT_EQ(Lines(seenTexts, seenOwned), Lines(expectedTexts, expectedOwned));

    if (c.flow == Flow::Check)
        EXPECT_EQ(result, c.result);
    std::vector<std::wstring> elevations;
    if (c.elevation)
        elevations.push_back(c.elevation);
    EXPECT_EQ(frame.elevations, elevations);
    EXPECT_EQ(frame.closes, c.closes);
    EXPECT_EQ(frame.retired, c.retired);
    EXPECT_TRUE(frame.failures.empty()) << "start-up failure " << std::hex << frame.failures[0];
    EXPECT_EQ(frame.registered, c.registeredAfter);
    RestoreSystem();
    EXPECT_EQ(ShortcutExists(), c.shortcutAfter);
    EXPECT_EQ(OverlayIn(kView64), c.overlayAfter);
}

namespace {

constexpr int Y = IDYES, N = IDNO, OK = IDOK, CANCEL = IDCANCEL;
const wchar_t* const kNone = nullptr;
const ScriptedSystem& kUser = kStandardUserNt6;
const ScriptedSystem& kAdmin = kAdministratorNt6;
const ScriptedSystem& kOld = kOlderSystem;
constexpr Flow kCheck = Flow::Check, kCommand = Flow::Command, kExit = Flow::Exit;

// name, system, flags, before, frame registered, flow, answers, seen (id, owned by the frame),
// check result, elevation switch, closes, registered after, shortcut after, identifier after, retired
const Case kCases[] = {
    // The check during window creation.
    {"UserDeclines", kUser, kDirect, Before::Nothing, 0, kCheck, {N},
     {{IDS_FIRST_START_QUESTION, true}, {IDS_INDICATOR_AFTER_RESTART, true}},
     true, kNone, 0, 0, false, false, 0},
    {"UserQuitsTheShieldDialog", kUser, kDirect, Before::Nothing, 0, kCheck, {Y, CANCEL},
     {{IDS_FIRST_START_QUESTION, true}, {kShield, false}, {IDS_INDICATOR_AFTER_RESTART, false}},
     true, kNone, 0, 0, false, false, 0},
    {"UserAlreadyRegistered", kUser, kDirect, Before::Shortcut, 0, kCheck, {}, {},
     true, kNone, 0, 1, true, false, 0},
    {"ElevatedCopyEndsWhenNothingWasLeftToRemove", kAdmin, kRemoveAndExitWait, Before::Nothing, 1, kCheck, {OK},
     {{IDS_EXIT_REMOVED, true}}, true, kNone, 1, 0, false, false, 0},
    {"OlderSystemDeclines", kOld, kDirect, Before::Nothing, 0, kCheck, {N, OK},
     {{IDS_FIRST_START_QUESTION, true}, {IDS_INDICATOR_AFTER_RESTART, true}},
     true, kNone, 0, 0, false, false, 0},

    // "Activate upon start-up".
    {"CommandActivates", kUser, kDirect, Before::Nothing, 0, kCommand, {Y, OK, OK},
     {{IDS_ACTIVATE_QUESTION, true}, {kShield, false}, {IDS_STOPPED_NOTICE_ACTIVATED, false}},
     false, L"-startiwait %u", 1, 0, true, false, 0},
    {"CommandRemoves", kUser, kDirect, Before::Shortcut, 1, kCommand, {OK, OK},
     {{kShield, false}, {IDS_STOPPED_NOTICE, false}}, false, L"-startuwait %u", 1, 1, false, false, 0},
    {"CommandQuitInTheShieldDialog", kUser, kDirect, Before::Shortcut, 1, kCommand, {CANCEL},
     {{kShield, false}}, false, kNone, 0, 1, true, false, 0},
    {"CommandDoesNotHandOverAShortcutNotMade", kUser, kDirect, Before::ObstructedShortcut, 0, kCommand, {Y, OK, OK},
     {{IDS_ACTIVATE_QUESTION, true}, {kShield, false}, {kFailure, true}}, false, kNone, 0, 0, true, false, 0},
    {"CommandDoesNotHandOverAShortcutNotRemoved", kUser, kDirect, Before::ObstructedShortcut, 1, kCommand, {OK, OK},
     {{kShield, false}, {kFailure, true}}, false, kNone, 0, 1, true, false, 0},
    {"CommandOnOlderSystemRemoves", kOld, kDirect, Before::Shortcut, 1, kCommand, {OK},
     {{IDS_STARTUP_REMOVED, true}}, false, kNone, 0, 0, false, false, 0},
    {"CommandOnOlderSystemTellsAFailedRemoval", kOld, kDirect, Before::ObstructedShortcut, 1, kCommand, {OK},
     {{kFailure, true}}, false, kNone, 0, 1, true, false, 0},
    {"CommandOnOlderSystemActivates", kOld, kDirect, Before::Nothing, 0, kCommand, {Y, OK},
     {{IDS_ACTIVATE_QUESTION, true}, {IDS_STARTUP_ACTIVATED, true}}, false, kNone, 0, 1, true, false, 0},
    {"CommandInElevatedCopyAlreadyActive", kAdmin, kActivateWait, Before::Overlay, 1, kCommand, {OK},
     {{IDS_STARTUP_ACTIVATED_ADMIN, false}}, false, kNone, 0, 1, false, true, 0},
    {"CommandInElevatedCopyAlreadyRemoved", kAdmin, kRemoveWait, Before::Nothing, 0, kCommand, {OK},
     {{IDS_STARTUP_REMOVED_ADMIN, false}}, false, kNone, 0, 0, false, false, 0},

    // "Exit".
    {"ExitWithFailedRemovalEndsWithoutHandOver", kUser, kDirect, Before::ObstructedShortcut, 1, kExit, {Y, OK, OK, OK},
     {{IDS_EXIT_QUESTION, true}, {kShield, false}, {kFailure, true}, {IDS_EXIT_DONE, true}},
     false, kNone, 1, 1, true, false, 1},
    {"ExitKeepingTheRegistration", kUser, kDirect, Before::Shortcut, 1, kExit, {N, OK},
     {{IDS_EXIT_QUESTION, true}, {IDS_EXIT_DONE, true}}, false, kNone, 1, 1, true, false, 1},
    {"ExitUnregistered", kUser, kDirect, Before::Nothing, 0, kExit, {OK},
     {{IDS_EXIT_DONE, true}}, false, kNone, 1, 0, false, false, 1},
};

}  // namespace

INSTANTIATE_TEST_SUITE_P(Table, StartupFlows, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });
