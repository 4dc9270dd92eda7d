// The worker thread on real threads and real files: order, results,
// cancel, skip, retry and Yes-to-All semantics, batch completeness, and the
// volume lock after each job.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "container/folder_walk.h"
#include "container/job_post.h"
#include "container/volume_lock.h"
#include "container/worker_thread.h"
#include "test_frame.h"

// Records the deletion of one watched pointer, so a test can see that a
// record was freed. Every allocation of this test program goes through here.
static std::atomic<void*> g_watchedRecord{nullptr};
static std::atomic<bool> g_watchedRecordFreed{false};
void* operator new(std::size_t size) {
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    if (p != nullptr && p == g_watchedRecord.load()) g_watchedRecordFreed = true;
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }

namespace {

constexpr DWORD kWait = 30000;

struct DriveJob {  // what the walk would pass through; only its address matters here
    int tag;
};

std::vector<ResultCode> Results(const std::vector<FinishedJob>& jobs) {
    std::vector<ResultCode> results;
    for (const FinishedJob& job : jobs) results.push_back(job.result);
    return results;
}

// A source with an existing container beside it, so that its job asks.
void MakeFileWithContainer(const std::wstring& folder, const std::wstring& name, uint32_t seed) {
    ASSERT_TRUE(WriteTestFile(folder + name, 9000, seed));
    ASSERT_TRUE(WriteTestFile(folder + name + L".tdz", 100, 99));
}

// Compresses name through the worker, then flips a byte of its stream: the
// container is then damaged.
void MakeDamagedContainer(TestWorker& worker, TestFrame& frame, const std::wstring& d, const std::wstring& name,
                          size_t finishedAfter) {
    ASSERT_TRUE(WriteTestFile(d + name, 9000, 8));
    worker.Submit(d, name, kOperationCompress, kSubmitBatchJob);
    ASSERT_TRUE(frame.WaitForFinished(finishedAfter, kWait));
    ASSERT_EQ(frame.Finished().back().result, kResultDone);
    HANDLE file = CreateFileW((d + name + L".tdz").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    SetFilePointer(file, 100, nullptr, FILE_BEGIN);
    char byte = 0;
    DWORD moved = 0;
    ReadFile(file, &byte, 1, &moved, nullptr);
    byte ^= 0x5A;
    SetFilePointer(file, 100, nullptr, FILE_BEGIN);
    WriteFile(file, &byte, 1, &moved, nullptr);
    CloseHandle(file);
}

// Replace answers held until Release(): the worker asks as soon as it takes
// its first job, which may be before the test has posted the rest, and an
// answer covers (Yes to All, Cancel) exactly the jobs queued before it.
class HeldAnswers {
public:
    HeldAnswers(TestFrame& frame, std::function<uint32_t(int)> answer)
        : posted_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
        const HANDLE posted = posted_;
        frame.SetReplaceAnswer([posted, answer](int index) {
            WaitForSingleObject(posted, kWait);
            return answer(index);
        });
    }
    ~HeldAnswers() {
        Release();
        CloseHandle(posted_);
    }
    HeldAnswers(const HeldAnswers&) = delete;
    HeldAnswers& operator=(const HeldAnswers&) = delete;
    void Release() { SetEvent(posted_); }

private:
    HANDLE posted_;
};

// Polls the worker's count of jobs taken (each attempt counts).
bool WaitForJobsReceived(uint32_t count, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (GetJobCounters().received < count) {
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(10);
    }
    return true;
}

LPARAM BatchDoneFlag(const TestFrame& frame) {
    for (const FrameMessage& m : frame.Messages()) {
        if (m.message == WM_BATCH_DONE) return m.lParam;
    }
    return -1;
}

TEST(Worker, RunsJobsInOrderAndReportsEachOnceWithItsResult) {
    ScratchFolder dir(L"order");
    const std::wstring& d = dir.Path();
    ASSERT_TRUE(WriteTestFile(d + L"big.doc", 200000, 1));
    ASSERT_TRUE(WriteTestFile(d + L"small.doc", 2048, 2));
    ASSERT_TRUE(WriteTestFile(d + L"Tandrel.exe", 5000, 3));
    ASSERT_TRUE(MakeFolders(d + L"sub"));
    ASSERT_TRUE(WriteTestFile(d + L"sub\\nested.txt", 3000, 4));
    const std::string original = TestFileBytes(200000, 1);

    TestFrame frame;
    TestWorker worker(frame);
    worker.Submit(d, L"big.doc", kOperationCompress, kSubmitWatcherJob);
    worker.Submit(d, L"small.doc", kOperationCompress, kSubmitWatcherJob);
    worker.Submit(d, L"Tandrel.exe", kOperationCompress, kSubmitBatchJob);
    worker.Submit(d, L"missing.doc", kOperationCompress, kSubmitWatcherJob);
    worker.Submit(d, L"sub\\nested.txt", kOperationCompress, kSubmitWatcherJob);
    ASSERT_TRUE(frame.WaitForFinished(5, kWait));
    worker.Submit(d, L"big.doc.tdz", kOperationDecompress, kSubmitWatcherJob);
    ASSERT_TRUE(frame.WaitForFinished(6, kWait));
    ASSERT_TRUE(worker.Stop());

    const std::vector<FinishedJob> done = frame.Finished();
    ASSERT_EQ(done.size(), 6u);
    EXPECT_EQ(Results(done), (std::vector<ResultCode>{kResultDone, kSkipSmallFile, kSkipOwnProgram, kOpenNotFound,
                                                      kResultDone, kResultDone}));
    EXPECT_EQ(done[4].name, L"sub\\nested.txt");
    EXPECT_TRUE(FileExists(d + L"sub\\nested.txt.tdz"));
    EXPECT_FALSE(FileExists(d + L"sub\\nested.txt"));
    EXPECT_TRUE(FileExists(d + L"small.doc"));
    std::string restored;
    ASSERT_TRUE(ReadWholeFile(d + L"big.doc", &restored));
    EXPECT_TRUE(restored == original);
    EXPECT_FALSE(FileExists(d + L"big.doc.tdz"));
    EXPECT_EQ(frame.Count(WM_JOB_DONE), 6u);
    EXPECT_EQ(frame.Count(WM_JOB_QUEUED), 6u);
    const JobCounters counters = GetJobCounters();
    EXPECT_EQ(counters.received, 6u);
    EXPECT_EQ(counters.handled, 6u);  // skips and a vanished file are no failures
}

TEST(Worker, BatchIsCompleteOnlyWhenWalkEndedAndEveryJobWasHandled) {
    ScratchFolder dir(L"batch");
    const std::wstring& d = dir.Path();
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(WriteTestFile(d + L"s" + std::to_wstring(i), 1000, i));
    ASSERT_TRUE(WriteTestFile(d + L"broken.tdz", 5000, 7));  // not a container: passed over

    TestFrame frame;
    TestWorker worker(frame);
    DriveJob first{1}, second{2}, third{3}, fourth{4};

    // Only small files: every job passed over, the batch is complete.
    for (int i = 0; i < 3; ++i) worker.Submit(d, L"s" + std::to_wstring(i), kOperationCompress, kSubmitBatchJob);
    PostThreadMessageW(worker.ThreadId(), WM_BATCH_END, reinterpret_cast<WPARAM>(&first), 1);
    ASSERT_TRUE(frame.WaitForMessage(WM_BATCH_DONE, 1, kWait));

    // A walk that was stopped: incomplete, even with every job handled.
    worker.Submit(d, L"s0", kOperationCompress, kSubmitBatchJob);
    PostThreadMessageW(worker.ThreadId(), WM_BATCH_END, reinterpret_cast<WPARAM>(&second), 0);
    ASSERT_TRUE(frame.WaitForMessage(WM_BATCH_DONE, 2, kWait));

    // One failed job (a damaged container) makes the batch incomplete; a
    // file that only looks like a container is passed over.
    MakeDamagedContainer(worker, frame, d, L"damaged.doc", 5);
    worker.Submit(d, L"damaged.doc.tdz", kOperationDecompress, kSubmitBatchJob);
    worker.Submit(d, L"broken.tdz", kOperationDecompress, kSubmitBatchJob);
    PostThreadMessageW(worker.ThreadId(), WM_BATCH_END, reinterpret_cast<WPARAM>(&third), 1);
    ASSERT_TRUE(frame.WaitForMessage(WM_BATCH_DONE, 3, kWait));

    // The counters restart: the next batch is judged on its own jobs.
    worker.Submit(d, L"s1", kOperationCompress, kSubmitBatchJob);
    PostThreadMessageW(worker.ThreadId(), WM_BATCH_END, reinterpret_cast<WPARAM>(&fourth), 1);
    ASSERT_TRUE(frame.WaitForMessage(WM_BATCH_DONE, 4, kWait));

    std::vector<std::pair<void*, LPARAM>> batches;
    for (const FrameMessage& m : frame.Messages()) {
        if (m.message == WM_BATCH_DONE) batches.emplace_back(reinterpret_cast<void*>(m.wParam), m.lParam);
    }
    ASSERT_EQ(batches.size(), 4u);
    EXPECT_EQ(batches[0], std::make_pair(static_cast<void*>(&first), LPARAM{1}));
    EXPECT_EQ(batches[1], std::make_pair(static_cast<void*>(&second), LPARAM{0}));
    EXPECT_EQ(batches[2], std::make_pair(static_cast<void*>(&third), LPARAM{0}));
    EXPECT_EQ(batches[3], std::make_pair(static_cast<void*>(&fourth), LPARAM{1}));
    const std::vector<FinishedJob> done = frame.Finished();
    EXPECT_TRUE(IsFailure(done[5].result)) << std::hex << done[5].result;
    EXPECT_EQ(done[6].result, kHeaderWrongMagic);
}

TEST(Worker, WatcherFailureDuringBatchMakesItIncomplete) {
    ScratchFolder dir(L"mixed");
    const std::wstring& d = dir.Path();
    ASSERT_TRUE(WriteTestFile(d + L"ok.doc", 5000, 1));
    TestFrame frame;
    TestWorker worker(frame);
    MakeDamagedContainer(worker, frame, d, L"damaged.doc", 1);
    DriveJob batch{1};
    worker.Submit(d, L"ok.doc", kOperationCompress, kSubmitBatchJob);
    worker.Submit(d, L"damaged.doc.tdz", kOperationDecompress, kSubmitWatcherJob);
    PostThreadMessageW(worker.ThreadId(), WM_BATCH_END, reinterpret_cast<WPARAM>(&batch), 1);
    ASSERT_TRUE(frame.WaitForMessage(WM_BATCH_DONE, 1, kWait));
    const std::vector<FinishedJob> done = frame.Finished();
    ASSERT_EQ(done.size(), 3u);
    EXPECT_EQ(done[1].result, kResultDone);
    EXPECT_TRUE(IsFailure(done[2].result)) << std::hex << done[2].result;
    EXPECT_TRUE(FileExists(d + L"damaged.doc.tdz"));  // the container survives
    EXPECT_EQ(BatchDoneFlag(frame), 0);
}

TEST(Worker, CancellingTheRunningBatchJobSkipsTheRestOfTheBatchOnly) {
    ScratchFolder dir(L"cancel-batch");
    const std::wstring& d = dir.Path();
    MakeFileWithContainer(d, L"a.doc", 1);
    for (const wchar_t* name : {L"b.doc", L"c.doc", L"w.doc", L"after.doc"}) ASSERT_TRUE(WriteTestFile(d + name, 6000, 2));

    TestFrame frame;
    TestWorker worker(frame);
    // The user cancels while a's replace question is open; the job sees it
    // in its stream loop.
    const HANDLE cancel = worker.CancelEvent();
    frame.SetObserver([cancel](const FrameMessage& m) {
        if (m.message == WM_REPLACE_QUERY) SetEvent(cancel);
    });
    DriveJob batch{1}, next{2};
    worker.Submit(d, L"a.doc", kOperationCompress, kSubmitBatchJob);
    worker.Submit(d, L"b.doc", kOperationCompress, kSubmitBatchJob);
    worker.Submit(d, L"w.doc", kOperationCompress, kSubmitWatcherJob);
    worker.Submit(d, L"c.doc", kOperationCompress, kSubmitBatchJob);
    PostThreadMessageW(worker.ThreadId(), WM_BATCH_END, reinterpret_cast<WPARAM>(&batch), 1);
    ASSERT_TRUE(frame.WaitForMessage(WM_BATCH_DONE, 1, kWait));
    // The walk of the batch is told to stop.
    EXPECT_EQ(WaitForSingleObject(worker.BatchCancelEvent(), 0), WAIT_OBJECT_0);

    // After the batch's end, batch jobs run again.
    worker.Submit(d, L"after.doc", kOperationCompress, kSubmitBatchJob);
    PostThreadMessageW(worker.ThreadId(), WM_BATCH_END, reinterpret_cast<WPARAM>(&next), 1);
    ASSERT_TRUE(frame.WaitForMessage(WM_BATCH_DONE, 2, kWait));

    const std::vector<FinishedJob> done = frame.Finished();
    ASSERT_EQ(done.size(), 5u);
    EXPECT_EQ(Results(done), (std::vector<ResultCode>{kResultCancelled, kResultCancelled, kResultDone,
                                                      kResultCancelled, kResultDone}));
    EXPECT_EQ(BatchDoneFlag(frame), 0);
    EXPECT_EQ(frame.Messages().back().lParam, 1);
    // Skipped jobs never touched their files; the cancelled one left both
    // of its files and no .tmp.
    EXPECT_TRUE(FileExists(d + L"a.doc"));
    EXPECT_TRUE(FileExists(d + L"a.doc.tdz"));
    EXPECT_FALSE(FileExists(d + L"a.doc.tdz.tmp"));
    EXPECT_TRUE(FileExists(d + L"b.doc"));
    EXPECT_FALSE(FileExists(d + L"b.doc.tdz"));
    EXPECT_TRUE(FileExists(d + L"c.doc"));
    EXPECT_TRUE(FileExists(d + L"w.doc.tdz"));
    EXPECT_TRUE(FileExists(d + L"after.doc.tdz"));
    // Only one question was asked: the skipped jobs never reached theirs.
    EXPECT_EQ(frame.ReplaceQueries(), 1);
}

TEST(Worker, CancellingAWatcherJobSkipsOnlyTheWatcherJobsQueuedBeforeIt) {
    ScratchFolder dir(L"cancel-watch");
    const std::wstring& d = dir.Path();
    MakeFileWithContainer(d, L"a.doc", 1);
    for (const wchar_t* name : {L"b.doc", L"c.doc", L"batch.doc", L"late.doc"})
        ASSERT_TRUE(WriteTestFile(d + name, 6000, 3));

    TestFrame frame;
    TestWorker worker(frame);
    HeldAnswers answers(frame, [](int) { return kAnswerCancel; });
    worker.Submit(d, L"a.doc", kOperationCompress, kSubmitWatcherJob);
    worker.Submit(d, L"b.doc", kOperationCompress, kSubmitWatcherJob);
    worker.Submit(d, L"batch.doc", kOperationCompress, kSubmitBatchJob);
    worker.Submit(d, L"c.doc", kOperationCompress, kSubmitWatcherJob);
    answers.Release();
    // A file added after the cancel is compressed normally.
    ASSERT_TRUE(frame.WaitForFinished(1, kWait));
    worker.Submit(d, L"late.doc", kOperationCompress, kSubmitWatcherJob);
    ASSERT_TRUE(frame.WaitForFinished(5, kWait));

    const std::vector<FinishedJob> done = frame.Finished();
    EXPECT_EQ(Results(done), (std::vector<ResultCode>{kResultCancelled, kResultCancelled, kResultDone,
                                                      kResultCancelled, kResultDone}));
    EXPECT_EQ(done[4].name, L"late.doc");
    EXPECT_TRUE(FileExists(d + L"b.doc"));
    EXPECT_TRUE(FileExists(d + L"c.doc"));
    EXPECT_TRUE(FileExists(d + L"late.doc.tdz"));
    // The batch was not touched by a watcher cancel.
    EXPECT_EQ(WaitForSingleObject(worker.BatchCancelEvent(), 0), WAIT_TIMEOUT);
}

TEST(Worker, BusyWatcherFileIsRetriedBehindTheOtherJobsAndReportedOnce) {
    ScratchFolder dir(L"busy");
    const std::wstring& d = dir.Path();
    for (const wchar_t* name : {L"busy.doc", L"b.doc", L"c.doc", L"batchbusy.doc"})
        ASSERT_TRUE(WriteTestFile(d + name, 7000, 4));
    // Another program still writes it.
    HANDLE held = CreateFileW((d + L"busy.doc").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    HANDLE heldBatch =
        CreateFileW((d + L"batchbusy.doc").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(heldBatch, INVALID_HANDLE_VALUE);

    TestFrame frame;
    TestWorker worker(frame);
    worker.Submit(d, L"busy.doc", kOperationCompress, kSubmitWatcherJob);
    worker.Submit(d, L"b.doc", kOperationCompress, kSubmitWatcherJob);
    worker.Submit(d, L"batchbusy.doc", kOperationCompress, kSubmitBatchJob);
    worker.Submit(d, L"c.doc", kOperationCompress, kSubmitWatcherJob);
    // The other jobs pass the busy one; then it is tried again and again.
    ASSERT_TRUE(frame.WaitForFinished(3, kWait));
    Sleep(2000);
    EXPECT_EQ(frame.Finished().size(), 3u);
    CloseHandle(held);
    CloseHandle(heldBatch);
    ASSERT_TRUE(frame.WaitForFinished(4, kWait));
    Sleep(300);

    const std::vector<FinishedJob> done = frame.Finished();
    ASSERT_EQ(done.size(), 4u);
    EXPECT_EQ(done[0].name, L"b.doc");
    // A busy batch job is reported as in use, not retried.
    EXPECT_EQ(done[1].name, L"batchbusy.doc");
    EXPECT_EQ(done[1].result, kResultInUse);
    EXPECT_EQ(done[2].name, L"c.doc");
    EXPECT_EQ(done[3].name, L"busy.doc");
    EXPECT_EQ(done[3].result, kResultDone);
    EXPECT_EQ(done[3].retryMark, 0u);
    EXPECT_TRUE(FileExists(d + L"busy.doc.tdz"));
    EXPECT_EQ(frame.Count(WM_JOB_DONE), 4u);
    // Each attempt counts as received.
    EXPECT_GT(GetJobCounters().received, 4u);
}

TEST(Worker, YesToAllCoversExactlyTheJobsQueuedBeforeTheAnswer) {
    ScratchFolder dir(L"yes-all");
    const std::wstring& d = dir.Path();
    for (int i = 0; i < 4; ++i) MakeFileWithContainer(d, L"f" + std::to_wstring(i) + L".doc", 10 + i);

    TestFrame frame;
    TestWorker worker(frame);
    HeldAnswers answers(frame, [](int index) { return index == 0 ? kAnswerYesToAll : kAnswerNo; });
    for (int i = 0; i < 3; ++i) worker.Submit(d, L"f" + std::to_wstring(i) + L".doc", kOperationCompress, kSubmitBatchJob);
    answers.Release();
    ASSERT_TRUE(frame.WaitForFinished(1, kWait));
    worker.Submit(d, L"f3.doc", kOperationCompress, kSubmitBatchJob);
    ASSERT_TRUE(frame.WaitForFinished(4, kWait));

    const std::vector<FinishedJob> done = frame.Finished();
    EXPECT_EQ(Results(done),
              (std::vector<ResultCode>{kResultDone, kResultDone, kResultDone, kResultDeclined}));
    EXPECT_EQ(frame.ReplaceQueries(), 2);
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(FileExists(d + L"f" + std::to_wstring(i) + L".doc"));
        std::string container;
        ASSERT_TRUE(ReadWholeFile(d + L"f" + std::to_wstring(i) + L".doc.tdz", &container));
        EXPECT_GT(container.size(), 100u);  // replaced by the real one
    }
    EXPECT_TRUE(FileExists(d + L"f3.doc"));  // No: both kept
}

TEST(Worker, BusyJobRequeuedUnderYesToAllReplacesWithoutAsking) {
    ScratchFolder dir(L"retry-mark");
    const std::wstring& d = dir.Path();
    MakeFileWithContainer(d, L"first.doc", 1);
    MakeFileWithContainer(d, L"busy.doc", 2);
    HANDLE held = CreateFileW((d + L"busy.doc").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);

    TestFrame frame;
    TestWorker worker(frame);
    HeldAnswers answers(frame, [](int index) { return index == 0 ? kAnswerYesToAll : kAnswerNo; });
    worker.Submit(d, L"first.doc", kOperationCompress, kSubmitWatcherJob);
    worker.Submit(d, L"busy.doc", kOperationCompress, kSubmitWatcherJob);
    answers.Release();
    ASSERT_TRUE(frame.WaitForFinished(1, kWait));
    // Held until the busy job has met its in-use result and been requeued:
    // the worker has then taken it a second time.
    ASSERT_TRUE(WaitForJobsReceived(3, kWait));
    CloseHandle(held);
    ASSERT_TRUE(frame.WaitForFinished(2, kWait));

    const std::vector<FinishedJob> done = frame.Finished();
    ASSERT_EQ(done.size(), 2u);
    EXPECT_EQ(done[1].name, L"busy.doc");
    EXPECT_EQ(done[1].retryMark, 1u);
    EXPECT_EQ(done[1].result, kResultDone);
    // Yes to All had run out when it was retried, yet it did not ask.
    EXPECT_EQ(frame.ReplaceQueries(), 1);
    EXPECT_FALSE(FileExists(d + L"busy.doc"));
}

// Records the lock attempts made through the real calls.
struct LockLog {
    std::atomic<int> driveTypeCalls{0};
    std::atomic<int> lockCalls{0};
    std::atomic<int> pauses{0};
    wchar_t lastRoot[8] = {};
    bool failLock = false;
    UINT driveType = DRIVE_REMOVABLE;
};
LockLog* g_log = nullptr;

UINT WINAPI LoggedDriveType(LPCWSTR root) {
    ++g_log->driveTypeCalls;
    lstrcpynW(g_log->lastRoot, root, 8);
    return g_log->driveType;
}
HANDLE WINAPI FakeOpen(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
    return CreateEventW(nullptr, TRUE, FALSE, nullptr);  // any handle to close
}
BOOL WINAPI FakeLock(HANDLE, DWORD code, LPVOID, DWORD, LPVOID, DWORD, LPDWORD, LPOVERLAPPED) {
    EXPECT_EQ(code, 0x90018u);
    ++g_log->lockCalls;
    if (g_log->failLock) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return TRUE;
}
void WINAPI LoggedSleep(DWORD ms) {
    EXPECT_EQ(ms, 10u);
    ++g_log->pauses;
    Sleep(ms);
}

TEST(Worker, TriesTheVolumeLockOnceAfterEveryJobThatRan) {
    ScratchFolder dir(L"lock");
    const std::wstring& d = dir.Path();
    ASSERT_TRUE(WriteTestFile(d + L"one.doc", 5000, 1));
    ASSERT_TRUE(WriteTestFile(d + L"two.doc", 5000, 2));
    ASSERT_TRUE(WriteTestFile(d + L"three.doc", 5000, 3));
    LockLog log;
    log.failLock = true;  // another program holds the volume: the worker must not care
    g_log = &log;
    const VolumeApi api = {LoggedDriveType, FakeOpen, FakeLock, CloseHandle, LoggedSleep};
    SetVolumeApi(&api);

    TestFrame frame;
    {
        TestWorker worker(frame);
        HeldAnswers answers(frame, [](int) { return kAnswerCancel; });
        worker.Submit(d, L"one.doc", kOperationCompress, kSubmitWatcherJob);
        worker.Submit(d, L"two.doc", kOperationCompress, kSubmitBatchJob);
        ASSERT_TRUE(frame.WaitForFinished(2, kWait));
        // A skipped job runs nothing, so it locks nothing.
        MakeFileWithContainer(d, L"asks.doc", 5);
        worker.Submit(d, L"asks.doc", kOperationCompress, kSubmitWatcherJob);  // cancelled: watchSkip
        worker.Submit(d, L"three.doc", kOperationCompress, kSubmitWatcherJob);
        answers.Release();
        ASSERT_TRUE(frame.WaitForFinished(4, kWait));
    }
    SetVolumeApi(nullptr);
    g_log = nullptr;

    EXPECT_EQ(log.driveTypeCalls, 3);  // one, two, asks; not the skipped three
    EXPECT_EQ(log.lockCalls, 3);
    EXPECT_EQ(log.pauses, 3);
    EXPECT_EQ(std::wstring(log.lastRoot), d.substr(0, 3));
    const std::vector<FinishedJob> done = frame.Finished();
    EXPECT_EQ(Results(done), (std::vector<ResultCode>{kResultDone, kResultDone, kResultCancelled, kResultCancelled}));
}

TEST(VolumeLock, OpensOnlyRemovableAndOpticalDrivesWithTheirAccess) {
    LockLog log;
    g_log = &log;
    struct Seen {
        DWORD access = 0;
        wchar_t path[16] = {};
    };
    static Seen seen;
    auto open = [](LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD disposition, DWORD flags,
                   HANDLE) -> HANDLE {
        seen.access = access;
        lstrcpynW(seen.path, path, 16);
        EXPECT_EQ(share, DWORD{FILE_SHARE_READ | FILE_SHARE_WRITE});
        EXPECT_EQ(disposition, DWORD{OPEN_EXISTING});
        EXPECT_EQ(flags, 0u);
        return CreateEventW(nullptr, TRUE, FALSE, nullptr);
    };
    const VolumeApi api = {LoggedDriveType, open, FakeLock, CloseHandle, LoggedSleep};
    SetVolumeApi(&api);

    log.driveType = DRIVE_REMOVABLE;
    EXPECT_EQ(TryLockVolume(L'E'), 1);
    EXPECT_EQ(std::wstring(seen.path), L"\\\\.\\E:");
    EXPECT_EQ(seen.access, DWORD{GENERIC_READ | GENERIC_WRITE});
    EXPECT_EQ(std::wstring(log.lastRoot), L"E:\\");
    log.driveType = DRIVE_CDROM;
    EXPECT_EQ(TryLockVolume(L'F'), 1);
    EXPECT_EQ(seen.access, DWORD{GENERIC_READ});
    log.failLock = true;
    EXPECT_EQ(TryLockVolume(L'F'), 0);
    EXPECT_EQ(log.pauses, 1);
    for (UINT type : {DRIVE_FIXED, DRIVE_REMOTE, DRIVE_RAMDISK, DRIVE_UNKNOWN, DRIVE_NO_ROOT_DIR}) {
        log.driveType = type;
        EXPECT_EQ(OpenVolume(L'G'), INVALID_HANDLE_VALUE);
        EXPECT_EQ(TryLockVolume(L'G'), 0);
    }
    EXPECT_EQ(log.lockCalls, 3);
    EXPECT_EQ(TryLockVolume(L'\\'), 0);  // a UNC job's "drive letter"
    SetVolumeApi(nullptr);
    g_log = nullptr;
}

TEST(Worker, RunJobAppliesTheNamingRulesAndTheCancelFirst) {
    ScratchFolder dir(L"runjob");
    const std::wstring& d = dir.Path();
    ASSERT_TRUE(WriteTestFile(d + L"shown name.doc", 3000, 1));
    HANDLE cancel = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE ready = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    wchar_t shown[kPathUnits] = L"unchanged";
    const WorkerStartRecord record = {nullptr, shown, cancel, nullptr, ready};
    bool replaceAll = false;

    auto job = [](const std::wstring& folder, const std::wstring& name, uint32_t operation) {
        JobRecord j{};
        lstrcpynW(j.folder, folder.c_str(), kPathUnits);
        lstrcpynW(j.name, name.c_str(), kPathUnits);
        j.operation = operation;
        return j;
    };
    JobRecord recycled = job(L"E:\\Recycler\\S-1-5\\", L"x.doc", kOperationCompress);
    EXPECT_EQ(RunJob(record, &recycled, &replaceAll), kSkipRecycleBin);
    JobRecord noExtension = job(d, L"container", kOperationDecompress);
    EXPECT_EQ(RunJob(record, &noExtension, &replaceAll), kContainerWithoutExtension);
    JobRecord tooLong = job(L"E:\\" + std::wstring(200, L'f') + L"\\", std::wstring(48, L'n'), kOperationCompress);
    EXPECT_EQ(RunJob(record, &tooLong, &replaceAll), kJobPathTooLong);
    EXPECT_STREQ(shown, L"unchanged");

    SetEvent(cancel);
    JobRecord cancelled = job(d, L"shown name.doc", kOperationCompress);
    EXPECT_EQ(RunJob(record, &cancelled, &replaceAll), kResultCancelled);
    EXPECT_TRUE(FileExists(d + L"shown name.doc"));
    EXPECT_EQ(RunJob(record, &cancelled, &replaceAll), kResultDone);
    EXPECT_STREQ(shown, L"shown name.doc");
    JobRecord restore = job(d, L"shown name.doc.tdz", kOperationDecompress);
    lstrcpynW(shown, L"", kPathUnits);
    EXPECT_EQ(RunJob(record, &restore, &replaceAll), kResultDone);
    EXPECT_STREQ(shown, L"shown name.doc");
    CloseHandle(cancel);
    CloseHandle(ready);
}

TEST(Worker, ABatchEndQueuedBehindQuitIsFreed) {
    ScratchFolder dir(L"quitbatch");
    const std::wstring& d = dir.Path();
    MakeFileWithContainer(d, L"asks.doc", 1);
    TestFrame frame;
    TestWorker worker(frame);
    HANDLE answerNow = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    frame.SetReplaceAnswer([answerNow](int) {
        WaitForSingleObject(answerNow, INFINITE);
        return kAnswerNo;
    });
    worker.Submit(d, L"asks.doc", kOperationCompress, kSubmitWatcherJob);
    ASSERT_TRUE(frame.WaitUntil([&] { return frame.Count(WM_JOB_PHASE) > 0; }, kWait));
    // The worker is held in its question: both wait behind it, quit first.
    auto* batch = new DriveJobRecord{};
    g_watchedRecordFreed = false;
    g_watchedRecord = batch;
    PostThreadMessageW(worker.ThreadId(), WM_QUIT, 0, 0);
    PostThreadMessageW(worker.ThreadId(), WM_BATCH_END, reinterpret_cast<WPARAM>(batch), 1);
    SetEvent(answerNow);
    EXPECT_TRUE(worker.Stop());
    EXPECT_TRUE(g_watchedRecordFreed) << "the batch's record was left behind";
    g_watchedRecord = nullptr;
    CloseHandle(answerNow);
}

TEST(Worker, JobsQueuedBehindQuitAreFreedNotLost) {
    ScratchFolder dir(L"quit");
    const std::wstring& d = dir.Path();
    MakeFileWithContainer(d, L"asks.doc", 1);
    TestFrame frame;
    TestWorker worker(frame);
    const long before = JobsWaitingForWorker();
    HANDLE answerNow = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    frame.SetReplaceAnswer([answerNow](int) {
        WaitForSingleObject(answerNow, INFINITE);
        return kAnswerNo;
    });
    worker.Submit(d, L"asks.doc", kOperationCompress, kSubmitWatcherJob);
    ASSERT_TRUE(frame.WaitUntil([&] { return frame.Count(WM_JOB_PHASE) > 0; }, kWait));
    PostThreadMessageW(worker.ThreadId(), WM_QUIT, 0, 0);
    for (int i = 0; i < 20; ++i) {
        auto* job = new JobRecord{};
        lstrcpynW(job->folder, d.c_str(), kPathUnits);
        lstrcpynW(job->name, L"never.doc", kPathUnits);
        NoteJobPostedToWorker();  // as a producer counts its hand-over
        PostThreadMessageW(worker.ThreadId(), WM_JOB_SUBMIT, reinterpret_cast<WPARAM>(job), kSubmitWatcherJob);
    }
    SetEvent(answerNow);
    EXPECT_TRUE(worker.Stop());
    EXPECT_EQ(frame.Finished().size(), 1u);
    EXPECT_EQ(JobsWaitingForWorker(), before);
    CloseHandle(answerNow);
}

}  // namespace
