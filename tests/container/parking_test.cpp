// The supporting steps on their own: parking in the temporary folder and
// back, moving into place, deleting, and what the shell is told.
#include <gtest/gtest.h>

#include <shlobj.h>

#include "container/file_steps.h"
#include "container/job_protocol.h"
#include "container/parking.h"
#include "file_ops_fixture.h"

namespace {

using ParkingTest = FileOpsTest;

std::string Describe(const std::vector<NotifyWindow::ShellEvent>& events)
{
    std::string text;
    for (const auto& e : events)
        text += std::to_string(e.event) + " " + Narrow(e.path) + " " + Narrow(e.newPath) + "\n";
    return text;
}

bool Has(const std::vector<NotifyWindow::ShellEvent>& events, LONG event, const std::wstring& path,
         const std::wstring& newPath = L"")
{
    for (const auto& e : events) {
        if (e.event == event && _wcsicmp(e.path.c_str(), path.c_str()) == 0 &&
            (newPath.empty() || _wcsicmp(e.newPath.c_str(), newPath.c_str()) == 0))
            return true;
    }
    return false;
}

TEST_F(ParkingTest, ParkedSourceComesBackEvenWhenTheJobWasCancelled)
{
    const std::wstring source = folder / L"parked.doc";
    const Bytes bytes = TextBytes(700000, 21);
    ASSERT_TRUE(WriteBytes(source, bytes));
    SetFileAttributesW(source.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    const FileState before = Capture(source);

    wchar_t parked[kPathUnits];
    ASSERT_EQ(MoveToTempFolder(window.Handle(), nullptr, source.c_str(), parked), 0u);
    EXPECT_TRUE(Missing(source));
    const std::wstring parkedPath = parked;
    EXPECT_EQ(parkedPath.rfind(folder.Temp() + L"Tandrel Parked\\tdz", 0), 0u) << Narrow(parkedPath);
    EXPECT_EQ(ReadText(parkedPath + L".origin").find(source), 1u);  // behind the byte-order mark
    EXPECT_TRUE(ParkedCopyInFlight());
    EXPECT_EQ(ReadBytes(parkedPath), bytes);
    bool reported100 = false;
    for (const NotifyWindow::Message& m : window.Messages())
        reported100 |= m.id == WM_JOB_PROGRESS && m.lParam == 100;
    EXPECT_TRUE(reported100);

    // The cancel that made the job fail is still set: the way back must
    // not be cancelled with it.
    EventHandle cancel = NewEvent(true);
    EXPECT_EQ(RestoreFromTemp(window.Handle(), cancel.Get(), parked, source.c_str()), 0u);
    EXPECT_FALSE(ParkedCopyInFlight());
    EXPECT_TRUE(Unchanged(source, before));
    EXPECT_EQ(Capture(source).creationTime, before.creationTime);
    EXPECT_TRUE(NoLeftovers(folder));
}

TEST_F(ParkingTest, WinesOwnCopyParksAndRestoresToo)
{
    // The platform's copy itself: no progress routine calls under Wine,
    // and attributes that do not go along onto the unique name.
    ParkingApi().copyFileEx = CopyFileExW;
    const std::wstring source = folder / L"plain.doc";
    ASSERT_TRUE(WriteBytes(source, TextBytes(200000, 20)));
    SetFileAttributesW(source.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    const FileState before = Capture(source);
    wchar_t parked[kPathUnits];
    ASSERT_EQ(MoveToTempFolder(nullptr, nullptr, source.c_str(), parked), 0u);
    EXPECT_EQ(Capture(parked).attributes, before.attributes);
    EXPECT_EQ(RestoreFromTemp(nullptr, nullptr, parked, source.c_str()), 0u);
    EXPECT_TRUE(Unchanged(source, before));
    EXPECT_EQ(Capture(source).creationTime, before.creationTime);
    EXPECT_TRUE(NoLeftovers(folder));
}

TEST_F(ParkingTest, ParkingThatFailsLeavesTheSourceAndNoCopy)
{
    const std::wstring source = folder / L"stay.doc";
    ASSERT_TRUE(WriteBytes(source, TextBytes(300000, 22)));
    const FileState before = Capture(source);
    wchar_t parked[kPathUnits];

    EventHandle cancel = NewEvent(true);
    EXPECT_EQ(MoveToTempFolder(window.Handle(), cancel.Get(), source.c_str(), parked), kResultCancelled);
    EXPECT_TRUE(Unchanged(source, before));
    EXPECT_TRUE(NoLeftovers(folder));
    {
        FileHolder holder(source, 10000, FileHolder::kSharedReader);
        ASSERT_TRUE(holder.Holding());
        EXPECT_EQ(MoveToTempFolder(window.Handle(), nullptr, source.c_str(), parked), kParkSourceInUse);
    }
    EXPECT_TRUE(Unchanged(source, before));
    EXPECT_TRUE(NoLeftovers(folder));
    {
        FileHolder holder(source, 10000);
        EXPECT_EQ(MoveToTempFolder(window.Handle(), nullptr, source.c_str(), parked), kParkCopyFailed);
    }
    EXPECT_TRUE(Unchanged(source, before));
    EXPECT_TRUE(NoLeftovers(folder));
}

TEST_F(ParkingTest, RestoreNeverOverwritesAFileThatTookTheName)
{
    const std::wstring source = folder / L"taken.doc";
    ASSERT_TRUE(WriteBytes(source, TextBytes(5000, 23)));
    SetFileAttributesW(source.c_str(), FILE_ATTRIBUTE_READONLY);
    wchar_t parked[kPathUnits];
    ASSERT_EQ(MoveToTempFolder(nullptr, nullptr, source.c_str(), parked), 0u);
    const FileState parkedBefore = Capture(parked);
    ASSERT_TRUE(WriteBytes(source, TextBytes(100, 24)));
    const FileState newer = Capture(source);

    EXPECT_EQ(RestoreFromTemp(nullptr, nullptr, parked, source.c_str()), kRestoreMoveFailed);
    EXPECT_TRUE(Unchanged(source, newer));
    EXPECT_TRUE(Unchanged(parked, parkedBefore));  // kept, without the hidden bit
    EXPECT_TRUE(ListNames(folder.Work(), L"*.tmp").empty());
    EXPECT_FALSE(ParkedCopyInFlight());  // its fallback is recorded
    EXPECT_TRUE(Exists(std::wstring(parked) + L".origin"));
    SetFileAttributesW(parked, FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(parked);
    DeleteFileW((std::wstring(parked) + L".origin").c_str());
}

TEST_F(ParkingTest, MoveIntoPlaceKeepsTheOldFileWhenTheNewOneCannotMove)
{
    const std::wstring final = folder / L"final.tdz";
    ASSERT_TRUE(WriteBytes(final, TextBytes(3000, 25)));
    const FileState before = Capture(final);
    EXPECT_FALSE(MoveIntoPlace((folder / L"never-written.tmp").c_str(), final.c_str()));
    EXPECT_TRUE(Unchanged(final, before));
    EXPECT_TRUE(NoLeftovers(folder));

    const std::wstring finished = folder / L"final.tdz.tmp";
    ASSERT_TRUE(WriteBytes(finished, TextBytes(4000, 26)));
    EXPECT_TRUE(MoveIntoPlace(finished.c_str(), final.c_str()));
    EXPECT_EQ(ReadBytes(final), TextBytes(4000, 26));
    EXPECT_TRUE(NoLeftovers(folder));
}

TEST_F(ParkingTest, DeleteThatFailsKeepsTheAttributes)
{
    const std::wstring file = folder / L"open.doc";
    ASSERT_TRUE(WriteBytes(file, TextBytes(3000, 27)));
    SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    const FileState before = Capture(file);
    {
        FileHolder holder(file, 10000);
        EXPECT_FALSE(DeleteFileNotify(file.c_str()));
    }
    EXPECT_TRUE(Unchanged(file, before));
    EXPECT_TRUE(DeleteFileNotify(file.c_str()));
    EXPECT_TRUE(Missing(file));
}

TEST_F(ParkingTest, TheShellHearsOfEveryChange)
{
    const std::wstring source = folder / L"shown.doc";
    const std::wstring container = source + L".tdz";
    ASSERT_TRUE(WriteBytes(source, TextBytes(9000, 28)));
    ASSERT_TRUE(WriteBytes(container, TextBytes(100, 28)));  // replaced: set aside, then deleted
    window.WatchShell(folder.Work());
    ASSERT_EQ(CompressFile(window.Handle(), nullptr, reply.Get(), source.c_str(), container.c_str(), nullptr), 0u);
    std::vector<NotifyWindow::ShellEvent> events = window.ShellEvents();
    EXPECT_TRUE(Has(events, SHCNE_CREATE, container + L".tmp")) << Describe(events);
    EXPECT_TRUE(Has(events, SHCNE_RENAMEITEM, container)) << Describe(events);  // set aside
    EXPECT_TRUE(Has(events, SHCNE_RENAMEITEM, container + L".tmp", container)) << Describe(events);
    EXPECT_TRUE(Has(events, SHCNE_ATTRIBUTES, container)) << Describe(events);
    EXPECT_TRUE(Has(events, SHCNE_DELETE, source)) << Describe(events);
    int deletes = 0;
    for (const auto& e : events)
        deletes += e.event == SHCNE_DELETE ? 1 : 0;
    EXPECT_EQ(deletes, 2) << Describe(events);  // the source and the set-aside container

    window.Clear();
    ASSERT_EQ(DecompressFile(window.Handle(), nullptr, reply.Get(), container.c_str(), source.c_str(), nullptr), 0u);
    events = window.ShellEvents();
    EXPECT_TRUE(Has(events, SHCNE_CREATE, source + L".tmp")) << Describe(events);
    EXPECT_TRUE(Has(events, SHCNE_RENAMEITEM, source + L".tmp", source)) << Describe(events);
    EXPECT_TRUE(Has(events, SHCNE_ATTRIBUTES, source)) << Describe(events);
    EXPECT_TRUE(Has(events, SHCNE_DELETE, container)) << Describe(events);
}

}  // namespace
