// Turning change records into jobs: which records queue a job, with which
// folder, name and operation, and that a record is never read beyond the
// bytes delivered.
#include <gtest/gtest.h>

#include <process.h>

#include <cstring>
#include <string>
#include <vector>

#include "container/drive_watcher.h"
#include "container/job_post.h"
#include "test_frame.h"

namespace {

// Change records as the system packs them: DWORD-aligned, each pointing to
// the next, the last with offset 0.
class ChangeRecords {
public:
    ChangeRecords& Add(DWORD action, const std::wstring& name) {
        const size_t start = bytes_.size();
        const size_t length = 12 + name.size() * 2;
        const size_t padded = (length + 3) & ~size_t(3);
        bytes_.resize(start + padded, 0);
        const DWORD nameBytes = static_cast<DWORD>(name.size() * 2);
        std::memcpy(&bytes_[start + 4], &action, 4);
        std::memcpy(&bytes_[start + 8], &nameBytes, 4);
        for (size_t i = 0; i < name.size(); ++i) {
            const uint16_t unit = static_cast<uint16_t>(name[i]);
            std::memcpy(&bytes_[start + 12 + 2 * i], &unit, 2);
        }
        if (last_ != SIZE_MAX) {
            const DWORD next = static_cast<DWORD>(start - last_);
            std::memcpy(&bytes_[last_], &next, 4);
        }
        last_ = start;
        return *this;
    }
    const void* Data() {
        aligned_.assign((bytes_.size() + 3) / 4, 0);
        std::memcpy(aligned_.data(), bytes_.data(), bytes_.size());
        return aligned_.data();
    }
    DWORD Size() const { return static_cast<DWORD>(bytes_.size()); }

private:
    std::vector<unsigned char> bytes_;
    std::vector<DWORD> aligned_;
    size_t last_ = SIZE_MAX;
};

struct Queued {
    std::vector<JobRecord*> jobs;
    std::vector<LPARAM> flags;
    ~Queued() {
        for (JobRecord* job : jobs) delete job;
    }
    std::vector<std::wstring> Names() const {
        std::vector<std::wstring> names;
        for (const JobRecord* job : jobs) names.push_back(job->name);
        return names;
    }
};

// Runs QueueNotifiedFiles against a fresh thread queue and takes what it posted.
int QueueFrom(HWND window, uint32_t mode, ChangeRecords& records, DWORD count, Queued* out) {
    MSG msg;
    PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    const int result =
        QueueNotifiedFiles(window, GetCurrentThreadId(), L"E:\\", mode, records.Data(), count, nullptr);
    while (PeekMessageW(&msg, nullptr, WM_JOB_SUBMIT, WM_JOB_SUBMIT, PM_REMOVE)) {
        NoteJobTakenByWorker();
        out->jobs.push_back(reinterpret_cast<JobRecord*>(msg.wParam));
        out->flags.push_back(msg.lParam);
    }
    return result;
}

TEST(QueueNotifiedFiles, QueuesAddedEligibleFilesRelativeToTheRoot) {
    TestFrame frame;
    ChangeRecords records;
    const std::wstring longest(259, L'n');
    const std::wstring tooLong(260, L'n');
    records.Add(FILE_ACTION_ADDED, L"report.doc")
        .Add(FILE_ACTION_ADDED, L"sub\\deeper\\notes")
        .Add(FILE_ACTION_REMOVED, L"gone.doc")
        .Add(FILE_ACTION_MODIFIED, L"changed.doc")
        .Add(FILE_ACTION_RENAMED_OLD_NAME, L"old.doc")
        .Add(FILE_ACTION_RENAMED_NEW_NAME, L"new.doc")
        .Add(FILE_ACTION_ADDED, L"Photo.JPG")
        .Add(FILE_ACTION_ADDED, L"report.doc.tdz.tmp")
        .Add(FILE_ACTION_ADDED, L"report.doc.tdz")
        .Add(FILE_ACTION_ADDED, tooLong)
        .Add(FILE_ACTION_ADDED, longest);
    Queued queued;
    EXPECT_EQ(QueueFrom(frame.Window(), kOperationCompress, records, records.Size(), &queued), 1);
    EXPECT_EQ(queued.Names(), (std::vector<std::wstring>{L"report.doc", L"sub\\deeper\\notes", longest}));
    for (size_t i = 0; i < queued.jobs.size(); ++i) {
        EXPECT_STREQ(queued.jobs[i]->folder, L"E:\\");
        EXPECT_EQ(queued.jobs[i]->operation, kOperationCompress);
        EXPECT_EQ(queued.jobs[i]->retryMark, 0u);
        EXPECT_EQ(queued.flags[i], LPARAM{kSubmitWatcherJob});
    }
    ASSERT_TRUE(frame.WaitForMessage(WM_JOB_QUEUED, 3, 10000));
    Sleep(50);
    EXPECT_EQ(frame.Count(WM_JOB_QUEUED), 3u);
}

TEST(QueueNotifiedFiles, OnAnotherDriveOnlyContainersAreQueuedForDecompression) {
    TestFrame frame;
    ChangeRecords records;
    records.Add(FILE_ACTION_ADDED, L"a.tdz")
        .Add(FILE_ACTION_ADDED, L"dir\\a.TDZ")
        .Add(FILE_ACTION_ADDED, L"a.tdz.tmp")
        .Add(FILE_ACTION_ADDED, L"plain.doc")
        .Add(FILE_ACTION_ADDED, L"tdz");
    Queued queued;
    EXPECT_EQ(QueueFrom(frame.Window(), kOperationDecompress, records, records.Size(), &queued), 1);
    EXPECT_EQ(queued.Names(), (std::vector<std::wstring>{L"a.tdz", L"dir\\a.TDZ"}));
    for (const JobRecord* job : queued.jobs) EXPECT_EQ(job->operation, kOperationDecompress);
}

TEST(QueueNotifiedFiles, ReadsNothingBeyondTheBytesDelivered) {
    TestFrame frame;
    ChangeRecords records;
    records.Add(FILE_ACTION_ADDED, L"first.doc").Add(FILE_ACTION_ADDED, L"second.doc");
    Queued none;
    EXPECT_EQ(QueueFrom(frame.Window(), kOperationCompress, records, 0, &none), 1);  // an overflowed read
    EXPECT_TRUE(none.jobs.empty());
    Queued cut;
    // The second record's name is cut off: it is not taken.
    EXPECT_EQ(QueueFrom(frame.Window(), kOperationCompress, records, records.Size() - 4, &cut), 1);
    EXPECT_EQ(cut.Names(), (std::vector<std::wstring>{L"first.doc"}));
    Queued headerOnly;
    EXPECT_EQ(QueueFrom(frame.Window(), kOperationCompress, records, 7, &headerOnly), 1);
    EXPECT_TRUE(headerOnly.jobs.empty());
}

}  // namespace
