// Handing jobs over when a post fails: nothing lost, nothing leaked, and
// every WM_JOB_QUEUED balanced by exactly one WM_JOB_DONE. Wine does not cap
// a thread's queue (it took 20000 posts here), so the full queue is played
// by the post seam.
#include <gtest/gtest.h>

#include <process.h>

#include <atomic>
#include <string>
#include <vector>

#include "container/folder_walk.h"
#include "container/job_post.h"
#include "test_frame.h"

namespace {

constexpr DWORD kWait = 20000;

// The seam's view of the worker's queue: full while fullFor > 0 (counting
// down per attempt) or while alwaysFull is set.
std::atomic<int> g_fullFor{0};
std::atomic<bool> g_alwaysFull{false};
std::atomic<int> g_attempts{0};

BOOL WINAPI FlakyPost(DWORD thread, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_JOB_SUBMIT) {
        ++g_attempts;
        if (g_alwaysFull || g_fullFor.fetch_sub(1) > 0) {
            SetLastError(ERROR_NOT_ENOUGH_QUOTA);
            return FALSE;
        }
    }
    return PostThreadMessageW(thread, message, wParam, lParam);
}

BOOL WINAPI RealPost(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return PostMessageW(window, message, wParam, lParam);
}

class FullQueue : public ::testing::Test {
protected:
    void SetUp() override {
        g_fullFor = 0;
        g_alwaysFull = false;
        g_attempts = 0;
        const JobPostApi api = {FlakyPost, RealPost};
        SetJobPostApi(&api);
        baseline_ = JobsWaitingForWorker();
    }
    void TearDown() override {
        SetJobPostApi(nullptr);
        EXPECT_EQ(JobsWaitingForWorker(), baseline_);
    }
    long baseline_ = 0;
};

JobRecord* NewJob(const wchar_t* name) {
    auto* job = new JobRecord{};
    lstrcpynW(job->folder, L"E:\\", kPathUnits);
    lstrcpynW(job->name, name, kPathUnits);
    job->operation = kOperationCompress;
    return job;
}

TEST_F(FullQueue, SubmitWaitsUntilTheWorkerTakesTheJob) {
    TestFrame frame;
    JobCollector sink;
    g_fullFor = 25;
    const DWORD start = GetTickCount();
    EXPECT_TRUE(SubmitJob(frame.Window(), sink.Id(), NewJob(L"a.doc"), kSubmitBatchJob, nullptr));
    EXPECT_GE(GetTickCount() - start, 200u);  // it waited instead of dropping the job
    EXPECT_EQ(g_attempts, 26);
    sink.Stop();
    ASSERT_EQ(sink.Jobs().size(), 1u);
    EXPECT_STREQ(sink.Jobs()[0]->name, L"a.doc");
    EXPECT_EQ(sink.Flags()[0], LPARAM{kSubmitBatchJob});
    ASSERT_TRUE(frame.WaitForMessage(WM_JOB_QUEUED, 1, kWait));
    Sleep(100);
    EXPECT_EQ(frame.Count(WM_JOB_QUEUED), 1u);
    EXPECT_EQ(frame.Count(WM_JOB_DONE), 0u);
}

TEST_F(FullQueue, StopWhileWaitingGivesTheJobBackToTheWindowAsCancelled) {
    TestFrame frame;
    JobCollector sink;
    g_alwaysFull = true;
    HANDLE stop = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    std::atomic<int> result{-1};
    struct Args {
        HWND window;
        DWORD sink;
        HANDLE stop;
        std::atomic<int>* result;
    } args = {frame.Window(), sink.Id(), stop, &result};
    HANDLE producer = reinterpret_cast<HANDLE>(_beginthreadex(
        nullptr, 0,
        [](void* p) -> unsigned {
            auto* a = static_cast<Args*>(p);
            a->result->store(SubmitJob(a->window, a->sink, NewJob(L"w.doc"), kSubmitWatcherJob, a->stop) ? 1 : 0);
            return 0;
        },
        &args, 0, nullptr));
    Sleep(150);
    EXPECT_EQ(result, -1);  // still waiting for room
    SetEvent(stop);
    ASSERT_EQ(WaitForSingleObject(producer, kWait), WAIT_OBJECT_0);
    CloseHandle(producer);
    EXPECT_EQ(result, 0);
    // The auto-reset stop was consumed: the producer ends, as told.
    EXPECT_EQ(WaitForSingleObject(stop, 0), WAIT_TIMEOUT);
    ASSERT_TRUE(frame.WaitForFinished(1, kWait));
    EXPECT_EQ(frame.Count(WM_JOB_QUEUED), 1u);
    EXPECT_EQ(frame.Finished()[0].name, L"w.doc");
    EXPECT_EQ(frame.Finished()[0].result, kResultCancelled);
    sink.Stop();
    EXPECT_TRUE(sink.Jobs().empty());
    CloseHandle(stop);
}

TEST_F(FullQueue, AWorkerThatIsGoneGetsNothingAndTheWindowBalancesItsCount) {
    TestFrame frame;
    DWORD goneId = 0;
    HANDLE gone = CreateThread(nullptr, 0, [](void*) -> DWORD { return 0; }, nullptr, 0, &goneId);
    WaitForSingleObject(gone, INFINITE);
    CloseHandle(gone);
    EXPECT_FALSE(SubmitJob(frame.Window(), goneId, NewJob(L"x.doc"), kSubmitBatchJob, nullptr));
    ASSERT_TRUE(frame.WaitForFinished(1, kWait));
    EXPECT_EQ(frame.Count(WM_JOB_QUEUED), 1u);
    EXPECT_EQ(frame.Finished()[0].result, kResultCancelled);
}

TEST_F(FullQueue, AWalkIntoAQueueThatIsOftenFullLosesNoFile) {
    ScratchFolder dir(L"walk-full");
    const std::wstring& d = dir.Path();
    const int kFiles = 120;
    ASSERT_TRUE(MakeFolders(d + L"x\\y"));
    for (int i = 0; i < kFiles; ++i) {
        const std::wstring sub = i % 3 == 0 ? L"" : (i % 3 == 1 ? L"x\\" : L"x\\y\\");
        ASSERT_TRUE(WriteTestFile(d + sub + L"f" + std::to_wstring(i) + L".txt", 10, i));
    }
    TestFrame frame;
    JobCollector sink;
    // Every other attempt meets a full queue.
    struct Alternate {
        static BOOL WINAPI Post(DWORD thread, UINT message, WPARAM wParam, LPARAM lParam) {
            if (message == WM_JOB_SUBMIT && (++g_attempts % 2) == 1) {
                SetLastError(ERROR_NOT_ENOUGH_QUOTA);
                return FALSE;
            }
            return PostThreadMessageW(thread, message, wParam, lParam);
        }
    };
    const JobPostApi api = {Alternate::Post, RealPost};
    SetJobPostApi(&api);
    HANDLE cancel = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    const DriveJobRecord record = {frame.Window(), cancel, sink.Id(), L"E:"};
    EXPECT_EQ(WalkFolder(record, d.c_str()), 1);
    sink.Stop();
    EXPECT_EQ(sink.Jobs().size(), size_t(kFiles));
    EXPECT_EQ(g_attempts, 2 * kFiles);
    ASSERT_TRUE(frame.WaitForMessage(WM_JOB_QUEUED, kFiles, kWait));
    Sleep(100);
    EXPECT_EQ(frame.Count(WM_JOB_QUEUED), size_t(kFiles));
    EXPECT_EQ(frame.Count(WM_JOB_DONE), 0u);
    CloseHandle(cancel);
}

TEST_F(FullQueue, ProducersHoldBackAtTheSoftLimitSoTheWorkerCanStillPostToItself) {
    TestFrame frame;
    JobCollector sink;
    // Play a backlog of jobs waiting for the worker.
    const long backlog = kJobQueueSoftLimit - JobsWaitingForWorker();
    for (long i = 0; i < backlog; ++i) NoteJobPostedToWorker();
    std::atomic<bool> returned{false};
    struct Args {
        HWND window;
        DWORD sink;
        std::atomic<bool>* returned;
    } args = {frame.Window(), sink.Id(), &returned};
    HANDLE producer = reinterpret_cast<HANDLE>(_beginthreadex(
        nullptr, 0,
        [](void* p) -> unsigned {
            auto* a = static_cast<Args*>(p);
            EXPECT_TRUE(SubmitJob(a->window, a->sink, NewJob(L"held.doc"), kSubmitWatcherJob, nullptr));
            a->returned->store(true);
            return 0;
        },
        &args, 0, nullptr));
    Sleep(200);
    EXPECT_FALSE(returned);
    EXPECT_EQ(frame.Count(WM_JOB_QUEUED), 0u);  // not even announced yet
    NoteJobTakenByWorker();  // the worker takes one: room again
    ASSERT_EQ(WaitForSingleObject(producer, kWait), WAIT_OBJECT_0);
    CloseHandle(producer);
    EXPECT_TRUE(returned);
    for (long i = 1; i < backlog; ++i) NoteJobTakenByWorker();
    sink.Stop();
    EXPECT_EQ(sink.Jobs().size(), 1u);
}

}  // namespace
