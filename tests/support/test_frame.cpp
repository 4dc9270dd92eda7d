#include "test_frame.h"

#include <process.h>
#include <tlhelp32.h>

#include <cstdlib>

#include "container/job_post.h"
#include "container/worker_thread.h"

namespace {

constexpr wchar_t kClassName[] = L"TdzTestFrame";

}  // namespace

TestFrame::TestFrame() {
    created_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    thread_ = CreateThread(nullptr, 0, ThreadMain, this, 0, &threadId_);
    WaitForSingleObject(created_, INFINITE);
}

TestFrame::~TestFrame() {
    if (window_ != nullptr) PostMessageW(window_, WM_CLOSE, 0, 0);
    WaitForSingleObject(thread_, 10000);
    CloseHandle(thread_);
    CloseHandle(created_);
}

void TestFrame::SetReplaceAnswer(std::function<uint32_t(int)> answer) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    answer_ = std::move(answer);
}

void TestFrame::SetObserver(std::function<void(const FrameMessage&)> observer) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    observer_ = std::move(observer);
}

void TestFrame::Forget() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    messages_.clear();
    finished_.clear();
    replaceQueries_ = 0;
}

std::vector<FrameMessage> TestFrame::Messages() const {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return messages_;
}

std::vector<FinishedJob> TestFrame::Finished() const {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return finished_;
}

size_t TestFrame::Count(UINT message) const {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    size_t count = 0;
    for (const FrameMessage& m : messages_) count += m.message == message ? 1 : 0;
    return count;
}

int TestFrame::ReplaceQueries() const {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return replaceQueries_;
}

bool TestFrame::WaitUntil(const std::function<bool()>& predicate, DWORD timeoutMs) const {
    std::unique_lock<std::recursive_mutex> guard(lock_);
    return changed_.wait_for(guard, std::chrono::milliseconds(timeoutMs), predicate);
}

bool TestFrame::WaitForFinished(size_t count, DWORD timeoutMs) const {
    return WaitUntil([&] { return finished_.size() >= count; }, timeoutMs);
}

bool TestFrame::WaitForMessage(UINT message, size_t count, DWORD timeoutMs) const {
    return WaitUntil(
        [&] {
            size_t seen = 0;
            for (const FrameMessage& m : messages_) seen += m.message == message ? 1 : 0;
            return seen >= count;
        },
        timeoutMs);
}

DWORD WINAPI TestFrame::ThreadMain(void* param) {
    auto* self = static_cast<TestFrame*>(param);
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kClassName;
    RegisterClassW(&windowClass);  // a second frame finds it registered
    self->window_ = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    GetModuleHandleW(nullptr), self);
    SetEvent(self->created_);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}

LRESULT CALLBACK TestFrame::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<TestFrame*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    if (self != nullptr && message >= WM_JOB_SUBMIT && message <= WM_REPLACE_QUERY) {
        self->Handle(message, wParam, lParam);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void TestFrame::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    const FrameMessage m = {message, wParam, lParam};
    std::function<void(const FrameMessage&)> observer;
    std::function<uint32_t(int)> answer;
    int queryIndex = 0;
    {
        std::lock_guard<std::recursive_mutex> guard(lock_);
        observer = observer_;
        answer = answer_;
        if (message == WM_REPLACE_QUERY) queryIndex = replaceQueries_;
    }
    if (observer) observer(m);

    if (message == WM_REPLACE_QUERY) {
        // The answer is stored before the event is set: the worker reads it
        // as soon as it wakes.
        *reinterpret_cast<uint32_t*>(lParam) = answer ? answer(queryIndex) : kAnswerYes;
        std::lock_guard<std::recursive_mutex> guard(lock_);
        ++replaceQueries_;
        messages_.push_back(m);
        changed_.notify_all();
        SetEvent(reply_);
        return;
    }

    std::lock_guard<std::recursive_mutex> guard(lock_);
    messages_.push_back(m);
    if (message == WM_JOB_DONE) {
        auto* job = reinterpret_cast<JobRecord*>(wParam);
        finished_.push_back({job->folder, job->name, job->operation, job->retryMark, static_cast<ResultCode>(lParam)});
        delete job;
    }
    changed_.notify_all();
}

TestWorker::TestWorker(TestFrame& frame) : frame_(frame.Window()) {
    cancel_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    batchCancel_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    ready_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    frame.SetReplyEvent(ready_);
    auto* record = new WorkerStartRecord{frame_, fileName_, cancel_, batchCancel_, ready_};
    ResetJobCounters();
    unsigned id = 0;
    thread_ = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, WorkerThread, record, 0, &id));
    threadId_ = id;
    WaitForSingleObject(ready_, INFINITE);
}

TestWorker::~TestWorker() {
    Stop();
    CloseHandle(thread_);
    CloseHandle(cancel_);
    CloseHandle(batchCancel_);
    CloseHandle(ready_);
}

bool TestWorker::Stop(DWORD timeoutMs) {
    if (WaitForSingleObject(thread_, 0) == WAIT_OBJECT_0) return true;
    PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
    return WaitForSingleObject(thread_, timeoutMs) == WAIT_OBJECT_0;
}

void TestWorker::Submit(const std::wstring& folder, const std::wstring& name, uint32_t operation, UINT batchFlag) {
    auto* job = new JobRecord{};
    lstrcpynW(job->folder, folder.c_str(), kPathUnits);
    lstrcpynW(job->name, name.c_str(), kPathUnits);
    job->operation = operation;
    PostMessageW(frame_, WM_JOB_QUEUED, 0, 0);
    NoteJobPostedToWorker();  // a producer's share of the hand-over count
    PostThreadMessageW(threadId_, WM_JOB_SUBMIT, reinterpret_cast<WPARAM>(job), batchFlag);
}

JobCollector::JobCollector() {
    ready_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    thread_ = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, Main, this, 0, &id_));
    WaitForSingleObject(ready_, INFINITE);
}

JobCollector::~JobCollector() {
    Stop();
    CloseHandle(thread_);
    CloseHandle(ready_);
    for (JobRecord* job : jobs_) delete job;
}

void JobCollector::Stop() {
    PostThreadMessageW(id_, WM_QUIT, 0, 0);
    WaitForSingleObject(thread_, INFINITE);
}

unsigned __stdcall JobCollector::Main(void* self) {
    auto* collector = static_cast<JobCollector*>(self);
    MSG msg;
    PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    SetEvent(collector->ready_);
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_JOB_SUBMIT) {
            NoteJobTakenByWorker();
            collector->jobs_.push_back(reinterpret_cast<JobRecord*>(msg.wParam));
            collector->flags_.push_back(msg.lParam);
        } else if (msg.message == WM_BATCH_END) {
            collector->batchEnds_.emplace_back(msg.wParam, msg.lParam);
        }
    }
    return 0;
}

ScratchFolder::ScratchFolder(const std::wstring& tag, const std::wstring& base) {
    std::wstring root = base;
    if (root.empty()) {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        root = temp;
    }
    if (root.back() != L'\\') root += L'\\';
    path_ = root + L"tdz-" + tag + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(GetTickCount()) + L"\\";
    RemoveTree(path_);
    MakeFolders(path_);
}

ScratchFolder::~ScratchFolder() { RemoveTree(path_); }

std::string TestFileBytes(size_t size, uint32_t seed) {
    static const char* const kWords[] = {"alpha ", "brick ", "cedar ", "delta ", "ember ", "fjord ", "gravel ",
                                         "harbor ", "indigo ", "juniper ", "kettle ", "lantern "};
    std::string bytes;
    bytes.reserve(size);
    uint32_t state = seed * 2654435761u + 12345;
    while (bytes.size() < size) {
        state = state * 1103515245u + 12345;
        bytes += kWords[(state >> 16) % 12];
        if ((state >> 8) % 7 == 0) bytes += std::to_string(state % 1000) + "\r\n";
    }
    bytes.resize(size);
    return bytes;
}

bool WriteTestFile(const std::wstring& path, size_t size, uint32_t seed) {
    const std::string bytes = TestFileBytes(size, seed);
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

bool ReadWholeFile(const std::wstring& path, std::string* bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size;
    GetFileSizeEx(file, &size);
    bytes->assign(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    const BOOL ok = bytes->empty() || ReadFile(file, &(*bytes)[0], static_cast<DWORD>(bytes->size()), &read, nullptr);
    CloseHandle(file);
    return ok && (bytes->empty() || read == bytes->size());
}

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool MakeFolders(const std::wstring& path) {
    for (size_t i = 3; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == L'\\') {
            const std::wstring part = path.substr(0, i);
            if (!CreateDirectoryW(part.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
        }
    }
    return true;
}

void RemoveTree(const std::wstring& path) {
    std::wstring folder = path;
    if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((folder + L"*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring child = folder + name;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(search, &entry));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

DWORD ProcessHandleCount() {
    DWORD count = 0;
    GetProcessHandleCount(GetCurrentProcess(), &count);
    return count;
}

int ProcessThreadCount() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    int count = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
    }
    CloseHandle(snapshot);
    return count;
}

int EnvNumber(const char* name, int fallback) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') return fallback;
    return std::atoi(text);
}

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out += c < 128 ? static_cast<char>(c) : '?';
    return out;
}
