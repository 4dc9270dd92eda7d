#include "file_test_util.h"

#include <algorithm>
#include <cstdio>
#include <mutex>

#include <shlobj.h>

#include "container/job_protocol.h"
#include "container/parking.h"
#include "post_observer.h"

namespace {

constexpr UINT kSyncMessage = WM_APP + 1;
constexpr UINT kShellMessage = WM_APP + 2;

// The report a NotifyWindow cancels at (one at a time), seen as it is posted.
struct CancelPoint {
    HWND window = nullptr;
    uint32_t phase = ~0u;
    HANDLE cancel = nullptr;
};
std::mutex g_cancelLock;
CancelPoint g_cancelPoint;

void CancelIfReportDue(HWND window, UINT id, WPARAM wParam, LPARAM)
{
    std::lock_guard<std::mutex> guard(g_cancelLock);
    const CancelPoint& at = g_cancelPoint;
    if (at.cancel != nullptr && window == at.window &&
        ((id == WM_JOB_PHASE && wParam == at.phase) || (id == WM_JOB_PROGRESS && at.phase == 0)))
        SetEvent(at.cancel);
}

uint64_t Join(const FILETIME& time)
{
    return uint64_t(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}

std::wstring Environment(const wchar_t* name)
{
    wchar_t value[MAX_PATH + 1];
    const DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH + 1);
    return (length == 0 || length > MAX_PATH) ? std::wstring() : std::wstring(value, length);
}

void RemoveTree(const std::wstring& folder)
{
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW((folder + L"*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring path = folder + name;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path + L"\\");
            } else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(find, &entry));
        FindClose(find);
    }
    RemoveDirectoryW(folder.c_str());
}

}  // namespace

std::string Hex(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

Bytes TextBytes(size_t size, uint32_t seed)
{
    static const char* const kWords[] = {"the ",   "file ",  "drive ", "container ", "of ",     "and ",
                                         "bytes ", "copy\n", "space ", "is ",        "restored ", "flash "};
    Bytes out;
    out.reserve(size);
    uint32_t state = seed * 2654435761u + 1;
    while (out.size() < size) {
        state = state * 1103515245u + 12345u;
        const char* word = kWords[(state >> 16) % 12];
        for (; *word != 0 && out.size() < size; ++word)
            out.push_back(static_cast<uint8_t>(*word));
    }
    return out;
}

Bytes NoiseBytes(size_t size, uint32_t seed)
{
    Bytes out(size);
    uint64_t state = seed * 0x9E3779B97F4A7C15ull + 7;
    for (auto& b : out) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        b = static_cast<uint8_t>(state >> 24);
    }
    return out;
}

Bytes ReadBytes(const std::wstring& path)
{
    Bytes out;
    FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file.Valid())
        return out;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.Get(), &size))
        return out;
    out.resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    if (!out.empty() && (!ReadFile(file.Get(), out.data(), DWORD(out.size()), &got, nullptr) || got != out.size()))
        out.clear();
    return out;
}

bool WriteBytes(const std::wstring& path, const Bytes& bytes)
{
    FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD put = 0;
    return file.Valid() && (bytes.empty() || (WriteFile(file.Get(), bytes.data(), DWORD(bytes.size()), &put,
                                                        nullptr) && put == bytes.size()));
}

std::wstring Widen(const std::string& text)
{
    std::wstring out(text.size() + 1, L'\0');
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, out.data(), int(out.size()));
    out.resize(n > 0 ? size_t(n - 1) : 0);
    return out;
}

std::string Narrow(const std::wstring& text)
{
    std::string out(text.size() * 3 + 1, '\0');
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), int(out.size()), nullptr, nullptr);
    out.resize(n > 0 ? size_t(n - 1) : 0);
    return out;
}

std::vector<std::wstring> CorpusFiles()
{
    std::wstring folder = Widen(TDZ_CORPUS_DIR);
    std::replace(folder.begin(), folder.end(), L'/', L'\\');
    folder += L"\\";
    std::vector<std::wstring> files;
    for (const std::wstring& name : ListNames(folder, L"*")) {
        const DWORD attributes = GetFileAttributesW((folder + name).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            files.push_back(folder + name);
    }
    if (files.empty())
        std::printf("corpus %s absent or empty\n", TDZ_CORPUS_DIR);
    return files;
}

TestFolder::TestFolder(const std::wstring& root)
{
    static int counter = 0;
    wchar_t systemTemp[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, systemTemp);
    const std::wstring unique =
        L"tdzt-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter) + L"\\";
    base_ = (root.empty() ? std::wstring(systemTemp) : root) + unique;
    work_ = base_ + L"work\\";
    // The temporary folder stays on the system drive even when the work
    // folder is on the small volume: that is where sources are parked.
    const std::wstring tempBase = std::wstring(systemTemp) + L"tdzp-" + unique;
    temp_ = tempBase;
    CreateDirectoryW(base_.c_str(), nullptr);
    CreateDirectoryW(work_.c_str(), nullptr);
    CreateDirectoryW(temp_.c_str(), nullptr);
    oldTmp_ = Environment(L"TMP");
    oldTemp_ = Environment(L"TEMP");
    SetEnvironmentVariableW(L"TMP", temp_.c_str());
    SetEnvironmentVariableW(L"TEMP", temp_.c_str());
}

TestFolder::~TestFolder()
{
    SetEnvironmentVariableW(L"TMP", oldTmp_.empty() ? nullptr : oldTmp_.c_str());
    SetEnvironmentVariableW(L"TEMP", oldTemp_.empty() ? nullptr : oldTemp_.c_str());
    RemoveTree(base_);
    RemoveTree(temp_);
}

FileState Capture(const std::wstring& path)
{
    FileState state;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return state;
    state.exists = true;
    state.attributes = data.dwFileAttributes;
    state.creationTime = Join(data.ftCreationTime);
    state.lastWriteTime = Join(data.ftLastWriteTime);
    state.bytes = ReadBytes(path);
    return state;
}

::testing::AssertionResult Unchanged(const std::wstring& path, const FileState& before)
{
    const FileState now = Capture(path);
    if (!now.exists)
        return ::testing::AssertionFailure() << Narrow(path) << " is gone";
    if (now.bytes != before.bytes)
        return ::testing::AssertionFailure() << Narrow(path) << " has other bytes (" << now.bytes.size()
                                             << " instead of " << before.bytes.size() << ")";
    if (now.attributes != before.attributes)
        return ::testing::AssertionFailure() << Narrow(path) << " has attributes " << Hex(now.attributes)
                                             << " instead of " << Hex(before.attributes);
    if (now.lastWriteTime != before.lastWriteTime)
        return ::testing::AssertionFailure() << Narrow(path) << " has another last-write time";
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult Missing(const std::wstring& path)
{
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << Narrow(path) << " exists";
}

std::vector<std::wstring> ListNames(const std::wstring& folder, const std::wstring& pattern)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW((folder + pattern).c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        const std::wstring name = entry.cFileName;
        if (name != L"." && name != L"..")
            names.push_back(name);
    } while (FindNextFileW(find, &entry));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring ReadText(const std::wstring& path)
{
    // Also while a program holds it open for writing.
    FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr));
    wchar_t text[4096] = {};
    DWORD got = 0;
    if (!file.Valid() || !ReadFile(file.Get(), text, sizeof text - sizeof(wchar_t), &got, nullptr))
        return L"";
    return std::wstring(text, got / sizeof(wchar_t));
}

::testing::AssertionResult NoLeftovers(const TestFolder& folder)
{
    const std::vector<std::wstring> tmp = ListNames(folder.Work(), L"*.tmp");
    // The temporary folder may keep the programs' own (empty) park folder.
    std::vector<std::wstring> parked;
    for (const std::wstring& name : ListNames(folder.Temp(), L"*")) {
        if (name != L"Tandrel Parked")
            parked.push_back(name);
    }
    for (const std::wstring& name : ListNames(folder.Temp() + L"Tandrel Parked\\", L"*"))
        parked.push_back(L"Tandrel Parked\\" + name);
    if (tmp.empty() && parked.empty())
        return ::testing::AssertionSuccess();
    ::testing::AssertionResult failure = ::testing::AssertionFailure();
    for (const std::wstring& name : tmp)
        failure << "left in the folder: " << Narrow(name) << "\n";
    for (const std::wstring& name : parked)
        failure << "left in the temporary folder: " << Narrow(name) << "\n";
    return failure;
}

bool SetTimes(const std::wstring& path, uint64_t creation, uint64_t lastWrite)
{
    FileHandle file(CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    const FILETIME c{static_cast<DWORD>(creation), static_cast<DWORD>(creation >> 32)};
    const FILETIME w{static_cast<DWORD>(lastWrite), static_cast<DWORD>(lastWrite >> 32)};
    return file.Valid() && SetFileTime(file.Get(), &c, nullptr, &w);
}

EventHandle NewEvent(bool set)
{
    return EventHandle(CreateEventW(nullptr, TRUE, set ? TRUE : FALSE, nullptr));
}

NotifyWindow::NotifyWindow(HANDLE reply) : reply_(reply), created_(NewEvent())
{
    InitializeCriticalSection(&lock_);
    thread_.Reset(CreateThread(nullptr, 0, ThreadMain, this, 0, nullptr));
    WaitForSingleObject(created_.Get(), 10000);
}

NotifyWindow::~NotifyWindow()
{
    CancelAt(~0u, nullptr);
    if (shellRegistration_ != 0)
        SHChangeNotifyDeregister(shellRegistration_);
    if (window_ != nullptr)
        PostMessageW(window_, WM_CLOSE, 0, 0);
    WaitForSingleObject(thread_.Get(), 10000);
    DeleteCriticalSection(&lock_);
}

DWORD WINAPI NotifyWindow::ThreadMain(LPVOID param)
{
    auto* self = static_cast<NotifyWindow*>(param);
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"TdzTestNotifyWindow";
    RegisterClassW(&windowClass);  // fails harmlessly when already registered
    self->window_ = CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    windowClass.hInstance, nullptr);
    SetWindowLongPtrW(self->window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    SetEvent(self->created_.Get());
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
    return 0;
}

LRESULT CALLBACK NotifyWindow::WindowProc(HWND window, UINT id, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<NotifyWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (id) {
    case WM_JOB_PHASE:
    case WM_JOB_PROGRESS:
    case WM_REPLACE_QUERY:
        self->Record(id, wParam, lParam);
        return 0;
    case kShellMessage: {
        auto* items = reinterpret_cast<PIDLIST_ABSOLUTE*>(wParam);
        wchar_t path[MAX_PATH] = L"";
        wchar_t newPath[MAX_PATH] = L"";
        if (items[0] != nullptr)
            SHGetPathFromIDListW(items[0], path);
        if (items[1] != nullptr)
            SHGetPathFromIDListW(items[1], newPath);
        EnterCriticalSection(&self->lock_);
        self->shellEvents_.push_back({static_cast<LONG>(lParam), path, newPath});
        LeaveCriticalSection(&self->lock_);
        return 0;
    }
    case kSyncMessage:
        SetEvent(reinterpret_cast<HANDLE>(lParam));
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, id, wParam, lParam);
    }
}

void NotifyWindow::Record(UINT id, WPARAM wParam, LPARAM lParam)
{
    EnterCriticalSection(&lock_);
    messages_.push_back({id, wParam, lParam});
    if (id == WM_REPLACE_QUERY) {
        const uint32_t answer = nextAnswer_ < answers_.size() ? answers_[nextAnswer_++] : kAnswerCancel;
        *reinterpret_cast<uint32_t*>(lParam) = answer;
        SetEvent(reply_);
    }
    LeaveCriticalSection(&lock_);
}

void NotifyWindow::SetAnswers(std::vector<uint32_t> answers)
{
    EnterCriticalSection(&lock_);
    answers_ = std::move(answers);
    nextAnswer_ = 0;
    LeaveCriticalSection(&lock_);
}

void NotifyWindow::CancelAt(uint32_t phase, HANDLE cancel)
{
    if (cancel != nullptr && !ObservePostedMessages(CancelIfReportDue))
        ADD_FAILURE() << "PostMessageW is not imported: the cancel cannot be set as the report is posted";
    std::lock_guard<std::mutex> guard(g_cancelLock);
    if (cancel != nullptr)
        g_cancelPoint = {window_, phase, cancel};
    else if (g_cancelPoint.window == window_)
        g_cancelPoint = {};
}

std::vector<NotifyWindow::Message> NotifyWindow::Messages()
{
    EventHandle done = NewEvent();
    PostMessageW(window_, kSyncMessage, 0, reinterpret_cast<LPARAM>(done.Get()));
    WaitForSingleObject(done.Get(), 10000);
    EnterCriticalSection(&lock_);
    std::vector<Message> copy = messages_;
    LeaveCriticalSection(&lock_);
    return copy;
}

void NotifyWindow::WatchShell(const std::wstring& folder)
{
    PIDLIST_ABSOLUTE item = ILCreateFromPathW(folder.c_str());
    SHChangeNotifyEntry entry = {item, TRUE};
    shellRegistration_ = SHChangeNotifyRegister(window_, SHCNRF_ShellLevel | SHCNRF_InterruptLevel,
                                                SHCNE_ALLEVENTS, kShellMessage, 1, &entry);
    ILFree(item);
}

std::vector<NotifyWindow::ShellEvent> NotifyWindow::ShellEvents()
{
    Messages();
    EnterCriticalSection(&lock_);
    std::vector<ShellEvent> copy = shellEvents_;
    LeaveCriticalSection(&lock_);
    return copy;
}

void NotifyWindow::Clear()
{
    Messages();
    EnterCriticalSection(&lock_);
    messages_.clear();
    shellEvents_.clear();
    LeaveCriticalSection(&lock_);
}

int NotifyWindow::Questions()
{
    int count = 0;
    for (const Message& m : Messages())
        count += m.id == WM_REPLACE_QUERY ? 1 : 0;
    return count;
}

std::vector<uint32_t> NotifyWindow::Phases()
{
    std::vector<uint32_t> phases;
    for (const Message& m : Messages()) {
        if (m.id == WM_JOB_PHASE)
            phases.push_back(static_cast<uint32_t>(m.wParam));
    }
    return phases;
}

FileHolder::FileHolder(const std::wstring& path, DWORD holdMs, Mode mode)
    : path_(path), holdMs_(holdMs), mode_(mode), ready_(NewEvent()), release_(NewEvent())
{
    thread_.Reset(CreateThread(nullptr, 0, ThreadMain, this, 0, nullptr));
    WaitForSingleObject(ready_.Get(), 10000);
}

FileHolder::~FileHolder()
{
    SetEvent(release_.Get());
    WaitForSingleObject(thread_.Get(), 10000);
}

DWORD WINAPI FileHolder::ThreadMain(LPVOID param)
{
    auto* self = static_cast<FileHolder*>(param);
    const bool exclusive = self->mode_ == kExclusive;
    FileHandle file(CreateFileW(self->path_.c_str(), exclusive ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ,
                                exclusive ? 0 : FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    self->opened_ = file.Valid();
    SetEvent(self->ready_.Get());
    WaitForSingleObject(self->release_.Get(), self->holdMs_);
    return 0;
}

namespace {

HANDLE g_cancelAfterFirstChunk = nullptr;
HANDLE g_cancelWhenCopied = nullptr;

BOOL WINAPI CopyLikeWindows(LPCWSTR from, LPCWSTR to, LPPROGRESS_ROUTINE progress, LPVOID context, LPBOOL,
                            DWORD flags)
{
    FileHandle source(CreateFileW(from, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  0, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!source.Valid() || !GetFileInformationByHandle(source.Get(), &info))
        return FALSE;
    FileHandle target(CreateFileW(to, GENERIC_WRITE, 0, nullptr,
                                  (flags & COPY_FILE_FAIL_IF_EXISTS) ? CREATE_NEW : CREATE_ALWAYS, 0, nullptr));
    if (!target.Valid())
        return FALSE;
    LARGE_INTEGER total;
    total.QuadPart = LONGLONG(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
    LARGE_INTEGER done;
    done.QuadPart = 0;
    DWORD reason = CALLBACK_STREAM_SWITCH;
    Bytes chunk(WindowsLikeCopy::kChunk);
    for (;;) {
        if (progress != nullptr) {
            const DWORD answer = progress(total, done, total, done, 1, reason, source.Get(), target.Get(), context);
            if (answer == PROGRESS_CANCEL || answer == PROGRESS_STOP) {
                target.Reset();
                DeleteFileW(to);
                SetLastError(ERROR_REQUEST_ABORTED);
                return FALSE;
            }
            if (answer == PROGRESS_QUIET)
                progress = nullptr;
        }
        DWORD got = 0;
        if (!ReadFile(source.Get(), chunk.data(), DWORD(chunk.size()), &got, nullptr))
            return FALSE;
        if (got == 0)
            break;
        DWORD put = 0;
        if (!WriteFile(target.Get(), chunk.data(), got, &put, nullptr) || put != got)
            return FALSE;
        done.QuadPart += got;
        reason = CALLBACK_CHUNK_FINISHED;
        if (g_cancelAfterFirstChunk != nullptr) {
            SetEvent(g_cancelAfterFirstChunk);
            g_cancelAfterFirstChunk = nullptr;
        }
    }
    SetFileTime(target.Get(), nullptr, nullptr, &info.ftLastWriteTime);
    target.Reset();
    SetFileAttributesW(to, info.dwFileAttributes);
    if (g_cancelWhenCopied != nullptr) {
        SetEvent(g_cancelWhenCopied);
        g_cancelWhenCopied = nullptr;
    }
    return TRUE;
}

}  // namespace

WindowsLikeCopy::WindowsLikeCopy() : previous_(reinterpret_cast<void*>(ParkingApi().copyFileEx))
{
    ParkingApi().copyFileEx = CopyLikeWindows;
}

WindowsLikeCopy::~WindowsLikeCopy()
{
    g_cancelAfterFirstChunk = nullptr;
    g_cancelWhenCopied = nullptr;
    ParkingApi().copyFileEx = reinterpret_cast<CopyFileExFunction>(previous_);
}

void WindowsLikeCopy::CancelAfterFirstChunk(HANDLE event)
{
    g_cancelAfterFirstChunk = event;
}

void WindowsLikeCopy::CancelWhenCopied(HANDLE event)
{
    g_cancelWhenCopied = event;
}
