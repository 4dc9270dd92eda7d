// Real watchers, walks and volume locks on folders mapped as Wine drive
// letters: a removable drive that plays the target drive and a fixed drive
// (see map-test-drives.sh). Every test case runs in a process of its own.
#include <gtest/gtest.h>

#include <process.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "container/folder_walk.h"
#include "container/job_post.h"
#include "container/volume_lock.h"
#include "drives/drive_list.h"
#include "drives/drive_watchers.h"
#include "test_frame.h"

namespace {

constexpr DWORD kWait = 60000;

// The letters the build mapped, unless the environment names others.
std::wstring EnvDrive(const char* name, const char* built) {
    const char* value = std::getenv(name);
    if (value == nullptr) value = built;
    std::wstring drive;
    if (value != nullptr) {
        for (const char* p = value; *p != '\0'; ++p) drive += static_cast<wchar_t>(*p);
    }
    return drive;
}

// The mapped drives, or a skip when the fixture did not run.
#define REQUIRE_TEST_DRIVES()                                                                                     \
    const std::wstring target = EnvDrive("TDZ_TEST_TARGET_DRIVE", TDZ_TEST_TARGET_DRIVE);                                               \
    const std::wstring other = EnvDrive("TDZ_TEST_OTHER_DRIVE", TDZ_TEST_OTHER_DRIVE);                                                 \
    if (target.size() != 2 || other.size() != 2 || GetDriveTypeW((target + L"\\").c_str()) != DRIVE_REMOVABLE || \
        GetDriveTypeW((other + L"\\").c_str()) != DRIVE_FIXED) {                                                  \
        GTEST_SKIP() << "test drives are not mapped (run through ctest, fixture map_test_drives)";               \
    }

// The walk goes over the whole drive: nothing but the test's own folder
// may be on it. The test drives hold nothing of value.
void EmptyDrive(const std::wstring& drive) {
    WIN32_FIND_DATAW entry;
    const std::wstring root = drive + L"\\";
    HANDLE search = FindFirstFileW((root + L"*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..") continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            RemoveTree(root + name);
        } else {
            SetFileAttributesW((root + name).c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW((root + name).c_str());
        }
    } while (FindNextFileW(search, &entry));
    FindClose(search);
}

// The files WaitUntilWatching writes to learn that a watch is running.
constexpr wchar_t kProbePrefix[] = L"watch-probe";

bool IsProbe(const FinishedJob& job) {
    const size_t slash = job.name.find_last_of(L'\\');
    return job.name.compare(slash == std::wstring::npos ? 0 : slash + 1, lstrlenW(kProbePrefix), kProbePrefix) == 0;
}

// The jobs under prefix, less the probes.
std::vector<FinishedJob> FinishedIn(const TestFrame& frame, const std::wstring& prefix) {
    std::vector<FinishedJob> jobs;
    for (const FinishedJob& job : frame.Finished()) {
        if (job.Path().compare(0, prefix.size(), prefix) == 0 && !IsProbe(job)) jobs.push_back(job);
    }
    return jobs;
}

// A fresh drive list of the target drive, compressing automatically, and a
// drive that is not a target; no watcher started yet.
void ListDrives(const std::wstring& target, const std::wstring& other) {
    InitDriveList();
    LockDriveList();
    DriveEntry* old = DetachDriveList();
    AddListedDrive(&old, target.c_str(), 1, 1);
    AddListedDrive(&old, other.c_str(), 0, 0);
    FreeDriveEntries(old);
    UnlockDriveList();
}

// The drive list with a target drive and a fixed drive, their watchers
// running, a worker and a frame.
class WatchedDrives {
public:
    WatchedDrives(const std::wstring& target, const std::wstring& other) : worker_(frame_) {
        ListDrives(target, other);
        started_ = UpdateWatchers(frame_.Window(), worker_.ThreadId(), names_);
    }
    ~WatchedDrives() {
        FreeDriveList();
        worker_.Stop();
    }
    TestFrame& Frame() { return frame_; }
    TestWorker& Worker() { return worker_; }
    int Started() const { return started_; }
    const wchar_t* Names() const { return names_; }

    // A watcher sees only what happens after its read has started: add
    // probes until one comes back through the worker. Wine watches only the
    // sub-folders created after the watch began (Windows watches them all),
    // so a test makes its folder on the drive after this, then waits again.
    // Once a probe came back, every probe written after it will too: the
    // last one is waited for, and the worker, which reports in order, has
    // then reported every probe it will ever report. forget drops them (and
    // everything else recorded); otherwise FinishedIn leaves them out.
    bool WaitUntilWatching(const std::wstring& folder, bool container, bool forget = true) {
        std::vector<std::wstring> probes;
        auto reported = [&](size_t first) {
            for (const FinishedJob& job : frame_.Finished()) {
                for (size_t i = first; i < probes.size(); ++i) {
                    if (job.Path() == probes[i]) return true;
                }
            }
            return false;
        };
        bool watching = false;
        for (int attempt = 0; attempt < 40 && !watching; ++attempt) {
            probes.push_back(folder + kProbePrefix + std::to_wstring(attempt) + (container ? L".tdz" : L".txt"));
            if (!WriteTestFile(probes.back(), 10)) break;
            watching = frame_.WaitUntil([&] { return reported(0); }, 250);
        }
        const bool settled = watching && frame_.WaitUntil([&] { return reported(probes.size() - 1); }, kWait);
        for (const std::wstring& probe : probes) DeleteFileW(probe.c_str());
        if (settled && forget) frame_.Forget();
        return settled;
    }

    // A fresh folder on drive, watched.
    bool WatchedFolder(const std::wstring& drive, const std::wstring& tag, bool container,
                       std::unique_ptr<ScratchFolder>* folder) {
        if (!WaitUntilWatching(drive + L"\\", container)) return false;
        folder->reset(new ScratchFolder(tag, drive + L"\\"));
        return WaitUntilWatching((*folder)->Path(), container);
    }

private:
    TestFrame frame_;
    TestWorker worker_;
    wchar_t names_[kWatcherNamesUnits] = {};
    int started_ = 0;
};

TEST(DriveWatchers, UpdateWatchersRunsAndReportsOnlyWhatTheFlagsAsk) {
    REQUIRE_TEST_DRIVES();
    WatchedDrives drives(target, other);
    const int threadsBefore = ProcessThreadCount() - 2;  // less the two watchers
    EXPECT_EQ(drives.Started(), 1);
    EXPECT_EQ(std::wstring(drives.Names()), target);
    EXPECT_EQ(drives.Names()[3], L'\0');
    DriveEntry* t = FindDriveEntry(target.c_str());
    DriveEntry* o = FindDriveEntry(other.c_str());
    ASSERT_NE(t->watcherThread, nullptr);
    ASSERT_NE(o->watcherThread, nullptr);
    const HANDLE runningTarget = t->watcherThread;
    const HANDLE runningOther = o->watcherThread;


    // Already running: kept and not reported again.
    wchar_t names[kWatcherNamesUnits];
    EXPECT_EQ(UpdateWatchers(drives.Frame().Window(), drives.Worker().ThreadId(), names), 0);
    EXPECT_EQ(names[0], L'\0');
    EXPECT_EQ(t->watcherThread, runningTarget);
    EXPECT_EQ(o->watcherThread, runningOther);

    // The last target drive turned off: every watcher stops, the fixed
    // drive's too, each well within the bound.
    ToggleAutoCompress(target.c_str());
    const DWORD start = GetTickCount();
    EXPECT_EQ(UpdateWatchers(drives.Frame().Window(), drives.Worker().ThreadId(), names), 0);
    const DWORD took = GetTickCount() - start;
    EXPECT_LT(took, 1000u);
    EXPECT_EQ(t->watcherThread, nullptr);
    EXPECT_EQ(o->watcherThread, nullptr);
    EXPECT_EQ(t->watcherThreadId, 0u);
    EXPECT_EQ(ProcessThreadCount(), threadsBefore);

    // On again: started and reported again.
    ToggleAutoCompress(target.c_str());
    EXPECT_EQ(UpdateWatchers(drives.Frame().Window(), drives.Worker().ThreadId(), names), 1);
    EXPECT_EQ(std::wstring(names), target);
    EXPECT_NE(o->watcherThread, nullptr);
}

TEST(DriveWatchers, StartAndImmediateStopNeitherStallsNorLeavesAWatcherBehind) {
    REQUIRE_TEST_DRIVES();
    TestFrame frame;
    TestWorker worker(frame);
    const int threadsBefore = ProcessThreadCount();
    const DWORD handlesBefore = ProcessHandleCount();
    ListDrives(target, other);
    wchar_t names[kWatcherNamesUnits];
    // The list stays locked from the start to the stop: the new watchers
    // cannot look their drive up meanwhile.
    const DWORD start = GetTickCount();
    for (int round = 0; round < 5; ++round) {
        LockDriveList();
        EXPECT_EQ(UpdateWatchers(frame.Window(), worker.ThreadId(), names), 1);
        ToggleAutoCompress(target.c_str());
        EXPECT_EQ(UpdateWatchers(frame.Window(), worker.ThreadId(), names), 0);
        ToggleAutoCompress(target.c_str());
        UnlockDriveList();
    }
    EXPECT_LT(GetTickCount() - start, 3000u);
    FreeDriveList();
    EXPECT_EQ(ProcessThreadCount(), threadsBefore);
    EXPECT_EQ(ProcessHandleCount(), handlesBefore);
}

TEST(DriveWatchers, FreeingTheListStopsEveryWatcherAndLeavesNoThreadOrHandle) {
    REQUIRE_TEST_DRIVES();
    TestFrame frame;
    TestWorker worker(frame);
    const int threadsBefore = ProcessThreadCount();
    const DWORD handlesBefore = ProcessHandleCount();
    {
        ListDrives(target, other);
        wchar_t names[kWatcherNamesUnits];
        EXPECT_EQ(UpdateWatchers(frame.Window(), worker.ThreadId(), names), 1);
        Sleep(300);  // the watchers have their reads running
        EXPECT_EQ(ProcessThreadCount(), threadsBefore + 2);
        const DWORD start = GetTickCount();
        FreeDriveList();
        EXPECT_LT(GetTickCount() - start, 2 * kWatcherStopTimeoutMs);
    }
    EXPECT_EQ(ProcessThreadCount(), threadsBefore);
    EXPECT_EQ(ProcessHandleCount(), handlesBefore);
}

TEST(DriveWatchers, FilesAndNestedFoldersCopiedOntoTheTargetDriveAreCompressed) {
    REQUIRE_TEST_DRIVES();
    ScratchFolder source(L"copy-src");
    const std::wstring& s = source.Path();
    ASSERT_TRUE(MakeFolders(s + L"album\\inner"));
    const std::vector<std::wstring> files = {L"report.doc", L"notes", L"album\\a.txt", L"album\\inner\\b.txt",
                                             L"album\\inner\\c.bin"};
    for (size_t i = 0; i < files.size(); ++i) ASSERT_TRUE(WriteTestFile(s + files[i], 5000 + 100 * i, i));
    ASSERT_TRUE(WriteTestFile(s + L"Photo.JPG", 5000));

    WatchedDrives drives(target, other);
    std::unique_ptr<ScratchFolder> dest;
    ASSERT_TRUE(drives.WatchedFolder(target, L"copy", false, &dest));
    const std::wstring& d = dest->Path();
    ASSERT_TRUE(CopyFileW((s + L"report.doc").c_str(), (d + L"report.doc").c_str(), TRUE));
    ASSERT_TRUE(CopyFileW((s + L"notes").c_str(), (d + L"notes").c_str(), TRUE));
    ASSERT_TRUE(CopyFileW((s + L"Photo.JPG").c_str(), (d + L"Photo.JPG").c_str(), TRUE));
    // A folder tree copied in, level by level as a file manager does. Wine
    // starts watching a new folder only once it has seen it made: wait for
    // that, as the copying program's own pace would.
    ASSERT_TRUE(CreateDirectoryW((d + L"album").c_str(), nullptr));
    ASSERT_TRUE(drives.WaitUntilWatching(d + L"album\\", false, false));
    ASSERT_TRUE(CopyFileW((s + L"album\\a.txt").c_str(), (d + L"album\\a.txt").c_str(), TRUE));
    ASSERT_TRUE(CreateDirectoryW((d + L"album\\inner").c_str(), nullptr));
    ASSERT_TRUE(drives.WaitUntilWatching(d + L"album\\inner\\", false, false));
    for (const wchar_t* name : {L"album\\inner\\b.txt", L"album\\inner\\c.bin"})
        ASSERT_TRUE(CopyFileW((s + name).c_str(), (d + name).c_str(), TRUE));

    TestFrame& frame = drives.Frame();
    ASSERT_TRUE(frame.WaitUntil([&] { return FinishedIn(frame, d).size() >= files.size(); }, kWait))
        << FinishedIn(frame, d).size() << " of " << files.size();
    Sleep(500);
    const std::vector<FinishedJob> done = FinishedIn(frame, d);
    EXPECT_EQ(done.size(), files.size());
    const std::wstring root = target + L"\\";
    for (const FinishedJob& job : done) {
        EXPECT_EQ(job.folder, root);  // names are relative to the drive root
        EXPECT_EQ(job.result, kResultDone) << Narrow(job.name);
        EXPECT_EQ(job.operation, kOperationCompress);
    }
    for (const std::wstring& name : files) {
        EXPECT_TRUE(FileExists(d + name + L".tdz")) << Narrow(name);
        EXPECT_FALSE(FileExists(d + name)) << Narrow(name);
    }
    EXPECT_TRUE(FileExists(d + L"Photo.JPG"));
    EXPECT_EQ(frame.Count(WM_JOB_QUEUED), frame.Count(WM_JOB_DONE));
}

TEST(DriveWatchers, ContainersCopiedOntoAnotherWatchedDriveAreRestored) {
    REQUIRE_TEST_DRIVES();
    ScratchFolder source(L"restore-src");
    const std::wstring& s = source.Path();
    WatchedDrives drives(target, other);
    TestFrame& frame = drives.Frame();
    // Containers made by the worker itself, away from the watched drives.
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(WriteTestFile(s + L"doc" + std::to_wstring(i) + L".doc", 20000 + i, 40 + i));
        drives.Worker().Submit(s, L"doc" + std::to_wstring(i) + L".doc", kOperationCompress, kSubmitBatchJob);
    }
    ASSERT_TRUE(frame.WaitForFinished(3, kWait));
    std::unique_ptr<ScratchFolder> dest;
    ASSERT_TRUE(drives.WatchedFolder(other, L"restore", true, &dest));
    const std::wstring& d = dest->Path();
    ASSERT_TRUE(WriteTestFile(s + L"plain.doc", 5000));
    ASSERT_TRUE(CreateDirectoryW((d + L"sub").c_str(), nullptr));
    ASSERT_TRUE(drives.WaitUntilWatching(d + L"sub\\", true, false));
    ASSERT_TRUE(CopyFileW((s + L"doc0.doc.tdz").c_str(), (d + L"doc0.doc.tdz").c_str(), TRUE));
    ASSERT_TRUE(CopyFileW((s + L"doc1.doc.tdz").c_str(), (d + L"DOC1.DOC.TDZ").c_str(), TRUE));
    ASSERT_TRUE(CopyFileW((s + L"doc2.doc.tdz").c_str(), (d + L"sub\\doc2.doc.tdz").c_str(), TRUE));
    ASSERT_TRUE(CopyFileW((s + L"plain.doc").c_str(), (d + L"plain.doc").c_str(), TRUE));

    ASSERT_TRUE(frame.WaitUntil([&] { return FinishedIn(frame, d).size() >= 3; }, kWait));
    Sleep(500);
    const std::vector<FinishedJob> done = FinishedIn(frame, d);
    ASSERT_EQ(done.size(), 3u);
    for (const FinishedJob& job : done) {
        EXPECT_EQ(job.operation, kOperationDecompress);
        EXPECT_EQ(job.result, kResultDone) << Narrow(job.name);
    }
    const std::map<std::wstring, int> restored = {{L"doc0.doc", 0}, {L"DOC1.DOC", 1}, {L"sub\\doc2.doc", 2}};
    for (const auto& [name, i] : restored) {
        std::string bytes;
        ASSERT_TRUE(ReadWholeFile(d + name, &bytes)) << Narrow(name);
        EXPECT_TRUE(bytes == TestFileBytes(20000 + i, 40 + i)) << Narrow(name);
    }
    EXPECT_FALSE(FileExists(d + L"doc0.doc.tdz"));
    EXPECT_TRUE(FileExists(d + L"plain.doc"));  // not queued at all
    EXPECT_FALSE(FileExists(d + L"plain.doc.tdz"));
}

TEST(DriveWatchers, AFileStillBeingWrittenIsRetriedUntilFreeAndReportedOnce) {
    REQUIRE_TEST_DRIVES();
    WatchedDrives drives(target, other);
    std::unique_ptr<ScratchFolder> dest;
    ASSERT_TRUE(drives.WatchedFolder(target, L"busy", false, &dest));
    const std::wstring& d = dest->Path();
    const std::string bytes = TestFileBytes(50000, 9);
    HANDLE writing = CreateFileW((d + L"slow.doc").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(writing, INVALID_HANDLE_VALUE);
    // The copying program writes for a while; other files arrive meanwhile.
    for (size_t offset = 0; offset < bytes.size(); offset += 5000) {
        DWORD written = 0;
        WriteFile(writing, bytes.data() + offset, 5000, &written, nullptr);
        Sleep(300);
        if (offset == 10000) {
            ASSERT_TRUE(WriteTestFile(d + L"other.doc", 4000));
        }
    }
    TestFrame& frame = drives.Frame();
    ASSERT_TRUE(frame.WaitUntil([&] { return FinishedIn(frame, d + L"other").size() == 1; }, kWait));
    EXPECT_TRUE(FinishedIn(frame, d + L"slow").empty());
    CloseHandle(writing);
    ASSERT_TRUE(frame.WaitUntil([&] { return FinishedIn(frame, d + L"slow").size() == 1; }, kWait));
    Sleep(2000);  // no second report follows
    const std::vector<FinishedJob> slow = FinishedIn(frame, d + L"slow");
    ASSERT_EQ(slow.size(), 1u);
    EXPECT_EQ(slow[0].result, kResultDone);
    EXPECT_EQ(frame.Count(WM_JOB_QUEUED), frame.Count(WM_JOB_DONE));
    // The container holds every byte written.
    ScratchFolder check(L"busy-check");
    ASSERT_TRUE(CopyFileW((d + L"slow.doc.tdz").c_str(), (check.Path() + L"slow.doc.tdz").c_str(), FALSE));
    drives.Worker().Submit(check.Path(), L"slow.doc.tdz", kOperationDecompress, kSubmitBatchJob);
    ASSERT_TRUE(frame.WaitUntil([&] { return FinishedIn(frame, check.Path()).size() == 1; }, kWait));
    std::string restored;
    ASSERT_TRUE(ReadWholeFile(check.Path() + L"slow.doc", &restored));
    EXPECT_TRUE(restored == bytes);
}

TEST(DriveWatchers, BurstOfFilesDroppedOntoTheTargetDrive) {
    REQUIRE_TEST_DRIVES();
    // 2000 in the full run; fewer by default to keep the test run short.
    const int count = EnvNumber("TDZ_BURST_FILES", 500);
    WatchedDrives drives(target, other);
    std::unique_ptr<ScratchFolder> dest;
    ASSERT_TRUE(drives.WatchedFolder(target, L"burst", false, &dest));
    const std::wstring& d = dest->Path();
    TestFrame& frame = drives.Frame();
    const DWORD start = GetTickCount();
    for (int i = 0; i < count; ++i) ASSERT_TRUE(WriteTestFile(d + L"f" + std::to_wstring(i) + L".txt", 3000, i));
    const DWORD written = GetTickCount() - start;
    // Done when the count of reports stops growing.
    size_t last = 0;
    for (int quiet = 0; quiet < 6;) {
        Sleep(500);
        const size_t now = frame.Finished().size();
        quiet = now == last && now == frame.Count(WM_JOB_QUEUED) ? quiet + 1 : 0;
        last = now;
    }
    const std::vector<FinishedJob> done = FinishedIn(frame, d);
    size_t compressed = 0;
    std::set<std::wstring> names;
    for (const FinishedJob& job : done) {
        compressed += job.result == kResultDone ? 1 : 0;
        names.insert(job.name);
    }
    int onDiskCompressed = 0;
    for (int i = 0; i < count; ++i) onDiskCompressed += FileExists(d + L"f" + std::to_wstring(i) + L".txt.tdz") ? 1 : 0;
    std::printf("burst of %d files written in %lu ms: %zu queued, %zu compressed, %d lost to overflow, %lu ms in all\n",
                count, written, done.size(), compressed, count - static_cast<int>(done.size()),
                GetTickCount() - start);
    RecordProperty("queued", static_cast<int>(done.size()));
    RecordProperty("compressed", static_cast<int>(compressed));
    // Losses are allowed; what is queued must be compressed, once.
    EXPECT_EQ(names.size(), done.size());
    EXPECT_EQ(compressed, done.size());
    EXPECT_EQ(onDiskCompressed, static_cast<int>(compressed));
    EXPECT_EQ(frame.Count(WM_JOB_QUEUED), frame.Count(WM_JOB_DONE));
    EXPECT_GT(done.size(), 0u);
}

TEST(DriveWatchers, AnOverflowedChangeBufferLosesChangesButNotTheWatcher) {
    REQUIRE_TEST_DRIVES();
    WatchedDrives drives(target, other);
    std::unique_ptr<ScratchFolder> dest;
    ASSERT_TRUE(drives.WatchedFolder(target, L"overflow", false, &dest));
    const std::wstring& d = dest->Path();
    TestFrame& frame = drives.Frame();
    // A watcher held up (as by a slow hand-over) while far more than a
    // change buffer of records arrives.
    const HANDLE watcher = FindDriveEntry(target.c_str())->watcherThread;
    ASSERT_NE(SuspendThread(watcher), DWORD(-1));
    const int count = 400;
    const std::wstring longName(60, L'x');
    for (int i = 0; i < count; ++i) ASSERT_TRUE(WriteTestFile(d + longName + std::to_wstring(i) + L".txt", 10));
    Sleep(500);
    ResumeThread(watcher);
    Sleep(2000);
    const size_t queued = FinishedIn(frame, d).size();
    // Still watching: a file added afterwards is compressed.
    ASSERT_TRUE(WriteTestFile(d + L"after.doc", 5000));
    ASSERT_TRUE(frame.WaitUntil([&] { return FinishedIn(frame, d + L"after").size() == 1; }, kWait));
    EXPECT_EQ(FinishedIn(frame, d + L"after")[0].result, kResultDone);
    EXPECT_EQ(WaitForSingleObject(watcher, 0), WAIT_TIMEOUT);
    std::printf("%d files added while the watcher was held up: %zu queued, %zu lost\n", count, queued,
                count - queued);
    EXPECT_LT(queued, size_t(count));  // the overflow did happen
}

// The real lock calls, observed.
struct LockLog {
    std::atomic<int> calls{0};
    std::atomic<int> taken{0};
    std::atomic<DWORD> longest{0};
    wchar_t device[16] = {};
};
LockLog g_lockLog;
HANDLE WINAPI ObservedOpen(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                           DWORD disposition, DWORD flags, HANDLE templateFile) {
    lstrcpynW(g_lockLog.device, path, 16);
    return CreateFileW(path, access, share, security, disposition, flags, templateFile);
}
BOOL WINAPI ObservedLock(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                         LPDWORD returned, LPOVERLAPPED overlapped) {
    const DWORD start = GetTickCount();
    const BOOL ok = DeviceIoControl(device, code, in, inSize, out, outSize, returned, overlapped);
    const DWORD took = GetTickCount() - start;
    if (took > g_lockLog.longest) g_lockLog.longest = took;
    ++g_lockLog.calls;
    g_lockLog.taken += ok ? 1 : 0;
    return ok;
}
void WINAPI PlainSleep(DWORD ms) { Sleep(ms); }

TEST(DriveVolumeLock, TheWorkerLocksTheRemovableDriveAfterEachJobWithoutHoldingUpTheNext) {
    REQUIRE_TEST_DRIVES();
    EXPECT_EQ(TryLockVolume(target[0]), 1);  // the real calls, unobserved
    EXPECT_EQ(TryLockVolume(other[0]), 0);   // a fixed drive is never opened
    ScratchFolder dir(L"lock", target + L"\\");
    const std::wstring& d = dir.Path();
    const int jobs = 20;
    for (int i = 0; i < jobs; ++i) ASSERT_TRUE(WriteTestFile(d + L"j" + std::to_wstring(i) + L".doc", 4000, i));
    const VolumeApi api = {GetDriveTypeW, ObservedOpen, ObservedLock, CloseHandle, PlainSleep};
    SetVolumeApi(&api);
    TestFrame frame;
    {
        TestWorker worker(frame);
        for (int i = 0; i < jobs; ++i)
            worker.Submit(d, L"j" + std::to_wstring(i) + L".doc", kOperationCompress, kSubmitBatchJob);
        ASSERT_TRUE(frame.WaitForFinished(jobs, kWait));
    }
    SetVolumeApi(nullptr);
    EXPECT_EQ(g_lockLog.calls, jobs);
    EXPECT_EQ(g_lockLog.taken, jobs);
    EXPECT_EQ(std::wstring(g_lockLog.device), L"\\\\.\\" + target);
    EXPECT_LT(g_lockLog.longest, 100u);
    for (const FinishedJob& job : frame.Finished()) EXPECT_EQ(job.result, kResultDone);
}

// Sets the batch-cancel event when the n-th job is posted, as if the user
// cancelled that job at once.
BOOL WINAPI PlainWindowPost(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return PostMessageW(window, message, wParam, lParam);
}

TEST(DriveWalk, CancellingTheRunningJobOfABatchStopsTheWalkAndSkipsTheRest) {
    REQUIRE_TEST_DRIVES();
    EmptyDrive(target);
    ScratchFolder dir(L"walk-cancel", target + L"\\");
    const std::wstring deep = dir.Path() + L"a\\b\\c\\";
    ASSERT_TRUE(MakeFolders(deep));
    for (int i = 0; i < 6; ++i) {
        ASSERT_TRUE(WriteTestFile(deep + L"f" + std::to_wstring(i) + L".doc", 9000, i));
        ASSERT_TRUE(WriteTestFile(deep + L"f" + std::to_wstring(i) + L".doc.tdz", 100, i));  // each asks
    }
    TestFrame frame;
    TestWorker worker(frame);
    const HANDLE cancel = worker.CancelEvent();
    // The user presses Cancel while the first job's question is open.
    frame.SetObserver([cancel](const FrameMessage& m) {
        if (m.message == WM_REPLACE_QUERY) SetEvent(cancel);
    });
    // The walk may only go on after its second job once the worker has
    // ended the first: it is then deep in its folders when it is told to stop.
    static TestFrame* s_frame = &frame;
    static std::atomic<int> s_posted{0};
    s_posted = 0;
    struct Gate {
        static BOOL WINAPI Post(DWORD thread, UINT message, WPARAM wParam, LPARAM lParam) {
            const BOOL ok = PostThreadMessageW(thread, message, wParam, lParam);
            if (message == WM_JOB_SUBMIT && ++s_posted == 2) s_frame->WaitForFinished(1, kWait);
            return ok;
        }
    };
    const JobPostApi api = {Gate::Post, PlainWindowPost};
    SetJobPostApi(&api);
    // Nothing else may use the drive root during the walk: only this
    // test's folder holds files there.
    auto* record = new DriveJobRecord{frame.Window(), worker.BatchCancelEvent(), worker.ThreadId(), {}};
    lstrcpynW(record->driveName, target.c_str(), 4);
    HANDLE walk = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, WalkThread, record, 0, nullptr));
    ASSERT_TRUE(frame.WaitForMessage(WM_BATCH_DONE, 1, kWait));
    WaitForSingleObject(walk, kWait);
    CloseHandle(walk);
    SetJobPostApi(nullptr);

    const std::vector<FinishedJob> done = frame.Finished();
    ASSERT_EQ(done.size(), 2u);  // the walk stopped right after its second job
    EXPECT_EQ(done[0].result, kResultCancelled);
    EXPECT_EQ(done[1].result, kResultCancelled);
    EXPECT_EQ(frame.ReplaceQueries(), 1);  // the second never ran
    const FrameMessage batchDone = frame.Messages().back();
    EXPECT_EQ(batchDone.message, static_cast<UINT>(WM_BATCH_DONE));
    EXPECT_EQ(batchDone.wParam, reinterpret_cast<WPARAM>(record));
    EXPECT_EQ(batchDone.lParam, 0);
    EXPECT_EQ(frame.Count(WM_JOB_QUEUED), 2u);
    for (int i = 0; i < 6; ++i) EXPECT_TRUE(FileExists(deep + L"f" + std::to_wstring(i) + L".doc"));
    delete record;
}

TEST(DriveWalk, AWalkOverALargeTreeCompressesEveryEligibleFileAndNothingElse) {
    REQUIRE_TEST_DRIVES();
    // 10000 in the full run; fewer by default to keep the test run short.
    const int count = EnvNumber("TDZ_WALK_FILES", 2000);
    EmptyDrive(target);
    ScratchFolder dir(L"walk-load", target + L"\\");
    const std::wstring& d = dir.Path();
    // Mixed sizes, nested folders, excluded extensions.
    static const wchar_t* const kExtensions[] = {L".doc", L".txt", L"", L".jpg", L".bin", L".mp3", L".xls", L".zip"};
    std::vector<std::wstring> eligible, untouched;
    const DWORD startWrite = GetTickCount();
    for (int i = 0; i < count; ++i) {
        const std::wstring folder = d + L"g" + std::to_wstring(i % 10) + L"\\h" + std::to_wstring(i % 7) + L"\\";
        if (i < 70) {
            ASSERT_TRUE(MakeFolders(folder));
        }
        const wchar_t* extension = kExtensions[i % 8];
        const size_t size = i % 5 == 0 ? 1000 : 2100 + (i % 13) * 700;
        const std::wstring path = folder + L"f" + std::to_wstring(i) + extension;
        ASSERT_TRUE(WriteTestFile(path, size, i));
        const bool excluded = std::wstring(extension) == L".jpg" || std::wstring(extension) == L".mp3" ||
                              std::wstring(extension) == L".zip";
        (excluded || size <= 2048 ? untouched : eligible).push_back(path);
    }
    const DWORD wrote = GetTickCount() - startWrite;

    TestFrame frame;
    TestWorker worker(frame);
    auto* record = new DriveJobRecord{frame.Window(), worker.BatchCancelEvent(), worker.ThreadId(), {}};
    lstrcpynW(record->driveName, target.c_str(), 4);
    const DWORD start = GetTickCount();
    HANDLE walk = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, WalkThread, record, 0, nullptr));
    ASSERT_TRUE(frame.WaitForMessage(WM_BATCH_DONE, 1, 10 * kWait));
    const DWORD took = GetTickCount() - start;
    WaitForSingleObject(walk, kWait);
    CloseHandle(walk);
    std::printf("walk of %d files (%zu eligible) written in %lu ms, compressed in %lu ms\n", count, eligible.size(),
                wrote, took);

    EXPECT_EQ(frame.Messages().back().lParam, 1);  // complete
    EXPECT_EQ(frame.Count(WM_JOB_QUEUED), frame.Count(WM_JOB_DONE));
    const size_t excludedCount = std::count_if(untouched.begin(), untouched.end(), [](const std::wstring& p) {
        return p.size() > 4 && (p.compare(p.size() - 4, 4, L".jpg") == 0 || p.compare(p.size() - 4, 4, L".mp3") == 0 ||
                                p.compare(p.size() - 4, 4, L".zip") == 0);
    });
    EXPECT_EQ(frame.Count(WM_JOB_DONE), eligible.size() + (untouched.size() - excludedCount));
    int missing = 0;
    for (const std::wstring& path : eligible) missing += FileExists(path + L".tdz") && !FileExists(path) ? 0 : 1;
    int touched = 0;
    for (const std::wstring& path : untouched) touched += FileExists(path) && !FileExists(path + L".tdz") ? 0 : 1;
    EXPECT_EQ(missing, 0);
    EXPECT_EQ(touched, 0);
    delete record;
}

}  // namespace
