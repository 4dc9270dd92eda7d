// Stand-ins for the tray frame and its worker in tests of the job machinery.
//
// TestFrame is a message-only window on a thread of its own. It records
// every message it gets, deletes each JobRecord that WM_JOB_DONE brings
// (keeping a copy), and answers WM_REPLACE_QUERY from a script: the answer
// is stored and then the reply event set, as the frame does.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "container/job_protocol.h"

struct FrameMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

struct FinishedJob {
    std::wstring folder;
    std::wstring name;
    uint32_t operation;
    uint32_t retryMark;
    ResultCode result;
    std::wstring Path() const { return folder + name; }
};

class TestFrame {
public:
    TestFrame();
    ~TestFrame();
    TestFrame(const TestFrame&) = delete;
    TestFrame& operator=(const TestFrame&) = delete;

    HWND Window() const { return window_; }

    // The event the replace answers are signalled on (the worker's ready event).
    void SetReplyEvent(HANDLE reply) { reply_ = reply; }

    // Answers to the replace questions, in order; Yes once they run out.
    // Called on the frame's thread with the question's index (from 0).
    void SetReplaceAnswer(std::function<uint32_t(int index)> answer);

    // Runs on the frame's thread for every message, before it is recorded.
    void SetObserver(std::function<void(const FrameMessage&)> observer);

    // Drops what was recorded so far (replace questions counted included).
    void Forget();

    std::vector<FrameMessage> Messages() const;
    std::vector<FinishedJob> Finished() const;
    size_t Count(UINT message) const;
    int ReplaceQueries() const;

    // Waits until predicate (run under the frame's lock) holds; false on time-out.
    bool WaitUntil(const std::function<bool()>& predicate, DWORD timeoutMs) const;
    bool WaitForFinished(size_t count, DWORD timeoutMs) const;
    bool WaitForMessage(UINT message, size_t count, DWORD timeoutMs) const;

private:
    static DWORD WINAPI ThreadMain(void* self);
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Handle(UINT message, WPARAM wParam, LPARAM lParam);

    HANDLE thread_ = nullptr;
    DWORD threadId_ = 0;
    HWND window_ = nullptr;
    HANDLE reply_ = nullptr;
    HANDLE created_ = nullptr;

    mutable std::recursive_mutex lock_;
    mutable std::condition_variable_any changed_;
    std::vector<FrameMessage> messages_;
    std::vector<FinishedJob> finished_;
    int replaceQueries_ = 0;
    std::function<uint32_t(int)> answer_;
    std::function<void(const FrameMessage&)> observer_;
};

// A worker thread as the frame starts it: counters reset, start record
// filled with the frame, a file-name buffer and three events, started, and
// waited for until its queue exists.
class TestWorker {
public:
    explicit TestWorker(TestFrame& frame);
    ~TestWorker();  // posts WM_QUIT and waits for the thread
    TestWorker(const TestWorker&) = delete;
    TestWorker& operator=(const TestWorker&) = delete;

    DWORD ThreadId() const { return threadId_; }
    HANDLE Thread() const { return thread_; }
    HANDLE CancelEvent() const { return cancel_; }
    HANDLE BatchCancelEvent() const { return batchCancel_; }
    HANDLE ReadyEvent() const { return ready_; }
    bool Stop(DWORD timeoutMs = 30000);

    // Posts a job as a producer does: WM_JOB_QUEUED to the frame, then
    // WM_JOB_SUBMIT. The name may hold sub-folders.
    void Submit(const std::wstring& folder, const std::wstring& name, uint32_t operation, UINT batchFlag);

private:
    HANDLE thread_ = nullptr;
    DWORD threadId_ = 0;
    HWND frame_ = nullptr;
    HANDLE cancel_ = nullptr;
    HANDLE batchCancel_ = nullptr;
    HANDLE ready_ = nullptr;
    wchar_t fileName_[kPathUnits] = {};
};

// A thread with a queue that stands in for the worker's: it keeps every job
// posted to it (taking each as the worker does) and every batch end.
class JobCollector {
public:
    JobCollector();
    ~JobCollector();  // stops the thread, frees the jobs
    JobCollector(const JobCollector&) = delete;
    JobCollector& operator=(const JobCollector&) = delete;

    DWORD Id() const { return id_; }
    void Stop();
    // Valid after Stop.
    const std::vector<JobRecord*>& Jobs() const { return jobs_; }
    const std::vector<LPARAM>& Flags() const { return flags_; }
    const std::vector<std::pair<WPARAM, LPARAM>>& BatchEnds() const { return batchEnds_; }

private:
    static unsigned __stdcall Main(void* self);
    HANDLE thread_ = nullptr;
    HANDLE ready_ = nullptr;
    unsigned id_ = 0;
    std::vector<JobRecord*> jobs_;
    std::vector<LPARAM> flags_;
    std::vector<std::pair<WPARAM, LPARAM>> batchEnds_;
};

// A fresh folder for one test under the temporary folder (or under base),
// removed with everything in it at the end. Path() ends with "\".
class ScratchFolder {
public:
    explicit ScratchFolder(const std::wstring& tag, const std::wstring& base = L"");
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::wstring& Path() const { return path_; }

private:
    std::wstring path_;
};

// Files for the jobs: bytes that compress (a varied text pattern) from a seed.
bool WriteTestFile(const std::wstring& path, size_t size, uint32_t seed = 1);
bool ReadWholeFile(const std::wstring& path, std::string* bytes);
std::string TestFileBytes(size_t size, uint32_t seed = 1);
bool FileExists(const std::wstring& path);
bool MakeFolders(const std::wstring& path);  // every missing level of path
void RemoveTree(const std::wstring& path);

// Handles and threads of this process, to prove nothing is left behind.
DWORD ProcessHandleCount();
int ProcessThreadCount();

// A number from the environment, or fallback.
int EnvNumber(const char* name, int fallback);

std::string Narrow(const std::wstring& text);
