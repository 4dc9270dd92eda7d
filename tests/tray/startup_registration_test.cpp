// The two halves of the start-up registration against this prefix's real
// start-up folder and registry, as each kind of system and user does them,
// and the elevated copy's wait for the instance that started it.
#include <gtest/gtest.h>

#include <thread>

#include "file_test_util.h"
#include "startup_test_env.h"
#include "tray/startup_registration.h"

using namespace startup_test;

namespace {

class StartupRegistration : public ::testing::Test {
protected:
    void SetUp() override { ClearRegistration(); }
    void TearDown() override { ClearRegistration(); }
};

}  // namespace

TEST_F(StartupRegistration, ShortcutStartsTheInstalledProgramWithNothingElseSet)
{
    struct Row {
        const char* what;
        ScriptedSystem system;
        std::wstring target;
    } rows[] = {
        {"standard user, NT 6", kStandardUserNt6, PerUserProgram()},
        {"older system", kOlderSystem, L"%SystemRoot%\\system32\\Tandrel\\Tandrel.exe"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ClearRegistration();
        PlaySystem(row.system);
        EXPECT_EQ(IsRegisteredForStartup(), 0);
        ASSERT_EQ(RegisterForStartup(), 1);
        EXPECT_EQ(IsRegisteredForStartup(), 1);
        LinkContents link = ReadLink(ShortcutPath());
        ASSERT_TRUE(link.read);
        // Wine's shell link makes a path with a variable absolute against
        // the current folder; Windows keeps it as given. Either way the
        // variable itself must arrive unexpanded.
        const std::wstring& raw = link.rawPath;
        EXPECT_TRUE(raw == row.target || (raw.size() > row.target.size() &&
                                          raw.compare(raw.size() - row.target.size(), row.target.size(),
                                                      row.target) == 0 && row.target[0] == L'%'))
            << Narrow(raw);
        EXPECT_EQ(link.arguments, L"");
        EXPECT_EQ(link.description, L"");
        EXPECT_EQ(link.workingFolder, L"");
        EXPECT_FALSE(OverlayIn(kView32) || OverlayIn(kView64)) << "a shortcut registration writes no identifier";
    }
}

TEST_F(StartupRegistration, AdministratorsIdentifierReachesEveryViewItIsWrittenTo)
{
    struct Row {
        const char* what;
        ScriptedSystem system;
        bool in32;
        bool in64;
    } rows[] = {
        {"64-bit program", kAdministratorNt6, false, true},
        {"32-bit program under WOW64", kAdministratorWow64, true, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ClearRegistration();
        PlaySystem(row.system);
        EXPECT_EQ(IsRegisteredForStartup(), 0);
        ASSERT_EQ(RegisterForStartup(), 1);
        EXPECT_EQ(OverlayIn(kView32), row.in32);
        EXPECT_EQ(OverlayIn(kView64), row.in64);
        EXPECT_FALSE(ShortcutExists()) << "the shortcut is the standard user's half";
        EXPECT_EQ(IsRegisteredForStartup(), 1);

        EXPECT_EQ(UnregisterFromStartup(), 1);
        EXPECT_FALSE(OverlayIn(kView32));
        EXPECT_FALSE(OverlayIn(kView64));
        EXPECT_EQ(IsRegisteredForStartup(), 0);
    }
}

TEST_F(StartupRegistration, IdentifierLeftInTheSixtyFourBitViewCountsAndIsRemoved)
{
    // What a removal from the own view alone used to leave behind: the
    // 64-bit file manager still marks containers.
    ASSERT_TRUE(WriteOverlayOnlyIn(kView64));
    PlaySystem(kAdministratorWow64);
    EXPECT_EQ(IsRegisteredForStartup(), 1);
    EXPECT_EQ(UnregisterFromStartup(), 1);
    EXPECT_FALSE(OverlayIn(kView64));

    // A standard user's registration is the shortcut, whatever the
    // machine-wide half says.
    ASSERT_TRUE(WriteOverlayOnlyIn(kView64));
    PlaySystem(kStandardUserNt6);
    EXPECT_EQ(IsRegisteredForStartup(), 0);
}

TEST(ElevationWait, WaitsForTheMutexHolderNotForAProcessId)
{
    const wchar_t* name = L"TandrelStartupTestMutex";
    const DWORD self = ::GetCurrentProcessId();  // a running process that never ends during the test

    // No holder: no wait, even though the id names a running process.
    DWORD start = ::GetTickCount();
    EXPECT_TRUE(WaitForPredecessor(self, name, 10000));
    EXPECT_LT(::GetTickCount() - start, 5000u);
    EXPECT_TRUE(WaitForPredecessor(0, name, 10000));

    MutexHandle held(::CreateMutexW(nullptr, FALSE, name));
    ASSERT_TRUE(held.Valid());
    EXPECT_TRUE(WaitForPredecessor(0, name, 200)) << "no predecessor given";
    EXPECT_FALSE(WaitForPredecessor(self, name, 300)) << "the holder is still there";
    EXPECT_FALSE(WaitForPredecessor(12345678, name, 300)) << "an id that cannot be opened does not end the wait";

    // The holder lets go while the copy waits.
    EventHandle waiting(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::thread holder([&] {
        ::WaitForSingleObject(waiting.Get(), INFINITE);
        held.Reset();
    });
    ::SetEvent(waiting.Get());
    EXPECT_TRUE(WaitForPredecessor(self, name, 20000));
    holder.join();
}
