// The whole-drive walk over real folders: what it queues, in which folder
// and under which name, and how a cancel stops it at every level.
#include <gtest/gtest.h>

#include <process.h>

#include <algorithm>
#include <atomic>
#include <set>
#include <string>
#include <vector>

#include "container/folder_walk.h"
#include "container/job_post.h"
#include "test_frame.h"

namespace {

constexpr DWORD kWait = 20000;

std::set<std::wstring> Paths(const std::vector<JobRecord*>& jobs) {
    std::set<std::wstring> paths;
    for (const JobRecord* job : jobs) paths.insert(std::wstring(job->folder) + job->name);
    return paths;
}

TEST(FolderWalk, QueuesEveryEligibleFileOfTheTreeWithItsOwnFolder) {
    ScratchFolder dir(L"walk");
    const std::wstring& d = dir.Path();
    ASSERT_TRUE(MakeFolders(d + L"docs\\deep\\deeper"));
    ASSERT_TRUE(MakeFolders(d + L"empty"));
    ASSERT_TRUE(MakeFolders(d + L"with.dot"));
    const std::vector<std::wstring> eligible = {
        L"notes", L"report.doc", L"Tandrel.dll", L"docs\\a.txt", L"docs\\deep\\b.bin",
        L"docs\\deep\\deeper\\c.xls", L"with.dot\\d", L"hidden.doc", L"small.txt"};
    const std::vector<std::wstring> excluded = {
        L"Photo.JPG", L"song.mp3", L"a.tdz", L"x.tmp", L"v.mpg", L"v.mp4", L"w.wma", L"w.wmv",
        L"z.zip", L"z.lzh", L"docs\\deep\\l.LOCK", L"docs\\q.Tdz"};
    for (const std::wstring& name : eligible) ASSERT_TRUE(WriteTestFile(d + name, 3000));
    for (const std::wstring& name : excluded) ASSERT_TRUE(WriteTestFile(d + name, 3000));
    SetFileAttributesW((d + L"hidden.doc").c_str(), FILE_ATTRIBUTE_HIDDEN);  // the operation skips it, not the walk

    TestFrame frame;
    JobCollector worker;
    HANDLE cancel = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    const DriveJobRecord record = {frame.Window(), cancel, worker.Id(), L"E:"};
    EXPECT_EQ(WalkFolder(record, d.c_str()), 1);
    worker.Stop();

    std::set<std::wstring> expected;
    for (const std::wstring& name : eligible) expected.insert(d + name);
    EXPECT_EQ(Paths(worker.Jobs()), expected);
    for (size_t i = 0; i < worker.Jobs().size(); ++i) {
        const JobRecord* job = worker.Jobs()[i];
        const std::wstring path = std::wstring(job->folder) + job->name;
        // The folder is the file's own, the name has no folder in it.
        EXPECT_EQ(std::wstring(job->name).find(L'\\'), std::wstring::npos) << Narrow(path);
        EXPECT_EQ(std::wstring(job->folder).back(), L'\\');
        EXPECT_EQ(job->operation, kOperationCompress);
        EXPECT_EQ(job->retryMark, 0u);
        EXPECT_EQ(worker.Flags()[i], LPARAM{kSubmitBatchJob});
    }
    ASSERT_TRUE(frame.WaitForMessage(WM_JOB_QUEUED, eligible.size(), kWait));
    Sleep(100);
    EXPECT_EQ(frame.Count(WM_JOB_QUEUED), eligible.size());
    CloseHandle(cancel);
}

TEST(FolderWalk, AnUnreadableFolderCountsAsWalked) {
    TestFrame frame;
    JobCollector worker;
    const DriveJobRecord record = {frame.Window(), nullptr, worker.Id(), L"E:"};
    EXPECT_EQ(WalkFolder(record, L"C:\\no such folder here\\"), 1);
    worker.Stop();
    EXPECT_TRUE(worker.Jobs().empty());
}

// Sets the batch-cancel event as the n-th job is handed over, as the
// worker would when that job is cancelled.
std::atomic<int> g_posts{0};
int g_cancelAt = 0;
HANDLE g_cancelEvent = nullptr;
BOOL WINAPI CancellingPost(DWORD thread, UINT message, WPARAM wParam, LPARAM lParam) {
    const BOOL ok = PostThreadMessageW(thread, message, wParam, lParam);
    if (message == WM_JOB_SUBMIT && ++g_posts == g_cancelAt) SetEvent(g_cancelEvent);
    return ok;
}
BOOL WINAPI PlainPost(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return PostMessageW(window, message, wParam, lParam);
}

TEST(FolderWalk, CancelDeepInNestedFoldersStopsAtTheNextEntryOnEveryLevel) {
    ScratchFolder dir(L"walk-cancel");
    const std::wstring& d = dir.Path();
    // One chain of folders, files only at the bottom and at the top: the
    // walk is deep inside when it is told to stop.
    const std::wstring deep = d + L"a\\b\\c\\d\\";
    ASSERT_TRUE(MakeFolders(deep));
    for (int i = 0; i < 10; ++i) ASSERT_TRUE(WriteTestFile(deep + L"f" + std::to_wstring(i) + L".doc", 100));
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(WriteTestFile(d + L"top" + std::to_wstring(i) + L".doc", 100));
    // The top files may come before the folder: cancel on the third job of
    // the deep folder, whatever the listing order.
    TestFrame frame;
    JobCollector worker;
    HANDLE cancel = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    const DriveJobRecord record = {frame.Window(), cancel, worker.Id(), L"E:"};

    // First walk only to learn how many top files precede the folder.
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((d + L"*.*").c_str(), &entry);
    int topBefore = 0;
    do {
        if (std::wstring(entry.cFileName) == L"a") break;
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ++topBefore;
    } while (FindNextFileW(search, &entry));
    FindClose(search);

    g_posts = 0;
    g_cancelAt = topBefore + 3;
    g_cancelEvent = cancel;
    const JobPostApi api = {CancellingPost, PlainPost};
    SetJobPostApi(&api);
    const DWORD handles = ProcessHandleCount();
    EXPECT_EQ(WalkFolder(record, d.c_str()), 0);
    const DWORD handlesAfter = ProcessHandleCount();
    SetJobPostApi(nullptr);
    worker.Stop();

    EXPECT_EQ(worker.Jobs().size(), size_t(topBefore + 3));
    int deepJobs = 0;
    for (const JobRecord* job : worker.Jobs()) deepJobs += std::wstring(job->folder) == deep ? 1 : 0;
    EXPECT_EQ(deepJobs, 3);
    // The event was seen, and being auto-reset, taken.
    EXPECT_EQ(WaitForSingleObject(cancel, 0), WAIT_TIMEOUT);
    // Every level closed its search.
    EXPECT_EQ(handlesAfter, handles);
    CloseHandle(cancel);
}

TEST(FolderWalk, WalkThreadEndsTheBatchOnceWithTheWalkResult) {
    // A drive letter that does not exist is an unreadable root: walked, empty.
    TestFrame frame;
    JobCollector worker;
    auto* record = new DriveJobRecord{frame.Window(), nullptr, worker.Id(), L"B:"};
    HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, WalkThread, record, 0, nullptr));
    ASSERT_EQ(WaitForSingleObject(thread, kWait), WAIT_OBJECT_0);
    CloseHandle(thread);
    worker.Stop();
    ASSERT_EQ(worker.BatchEnds().size(), 1u);
    EXPECT_EQ(worker.BatchEnds()[0].first, reinterpret_cast<WPARAM>(record));
    EXPECT_EQ(worker.BatchEnds()[0].second, 1);
    delete record;
}

TEST(FolderWalk, WithTheWorkerGoneTheBatchStillComesBackToTheFrame) {
    TestFrame frame;
    DWORD goneId = 0;
    HANDLE gone = CreateThread(nullptr, 0, [](void*) -> DWORD { return 0; }, nullptr, 0, &goneId);
    WaitForSingleObject(gone, INFINITE);
    CloseHandle(gone);
    auto* record = new DriveJobRecord{frame.Window(), nullptr, goneId, L"B:"};
    HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, WalkThread, record, 0, nullptr));
    ASSERT_EQ(WaitForSingleObject(thread, kWait), WAIT_OBJECT_0);
    CloseHandle(thread);
    ASSERT_TRUE(frame.WaitForMessage(WM_BATCH_DONE, 1, kWait));
    const FrameMessage done = frame.Messages().back();
    EXPECT_EQ(done.wParam, reinterpret_cast<WPARAM>(record));
    EXPECT_EQ(done.lParam, 0);
    delete record;
}

}  // namespace
