// Real folders, real files and real threads for the tests of the file
// operations under Windows (or Wine).
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/win_handle.h"

using Bytes = std::vector<uint8_t>;

// Text-like bytes that compress well, and bytes that do not compress.
Bytes TextBytes(size_t size, uint32_t seed);
Bytes NoiseBytes(size_t size, uint32_t seed);
Bytes ReadBytes(const std::wstring& path);
bool WriteBytes(const std::wstring& path, const Bytes& bytes);
// Corpus files (not folders) on this machine; empty, with a note, when absent.
std::vector<std::wstring> CorpusFiles();
std::wstring Widen(const std::string& text);
std::string Narrow(const std::wstring& text);
std::string Hex(uint32_t value);  // result codes and attributes in messages

// A private folder for one test, and a private temporary folder: TMP and
// TEMP point at it while the object lives, so that a parked copy can be
// seen (and tests running side by side do not see each other's). Both are
// removed with everything in them at the end.
class TestFolder {
public:
    // root: where the work folder goes (a drive root for the small volume),
    // or empty for the system's temporary folder.
    explicit TestFolder(const std::wstring& root = L"");
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;
    ~TestFolder();

    const std::wstring& Work() const { return work_; }   // ends with "\"
    const std::wstring& Temp() const { return temp_; }   // ends with "\"
    std::wstring operator/(const std::wstring& name) const { return work_ + name; }

private:
    std::wstring base_;
    std::wstring work_;
    std::wstring temp_;
    std::wstring oldTmp_;
    std::wstring oldTemp_;
};

// Everything the operations promise to keep of a file.
struct FileState {
    bool exists = false;
    Bytes bytes;
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    uint64_t creationTime = 0;
    uint64_t lastWriteTime = 0;
};
FileState Capture(const std::wstring& path);
::testing::AssertionResult Unchanged(const std::wstring& path, const FileState& before);
::testing::AssertionResult Missing(const std::wstring& path);
bool Exists(const std::wstring& path);
// A UTF-16 text file as it is, byte-order mark included ("" when unreadable).
std::wstring ReadText(const std::wstring& path);
// No "*.tmp" file (output or set-aside copy) in the work folder, and
// nothing parked in the temporary folder.
::testing::AssertionResult NoLeftovers(const TestFolder& folder);
std::vector<std::wstring> ListNames(const std::wstring& folder, const std::wstring& pattern);
bool SetTimes(const std::wstring& path, uint64_t creation, uint64_t lastWrite);

// A window on a thread of its own that receives what an operation posts:
// phases, progress and replace questions, which it answers from a list
// (Cancel once the list is used up) by storing the answer and setting the
// reply event.
class NotifyWindow {
public:
    struct Message {
        UINT id;
        WPARAM wParam;
        LPARAM lParam;
    };

    struct ShellEvent {
        LONG event;  // SHCNE_...
        std::wstring path;
        std::wstring newPath;  // of a move
    };

    explicit NotifyWindow(HANDLE reply);
    NotifyWindow(const NotifyWindow&) = delete;
    NotifyWindow& operator=(const NotifyWindow&) = delete;
    ~NotifyWindow();

    HWND Handle() const { return window_; }
    void SetAnswers(std::vector<uint32_t> answers);
    // Sets cancel as WM_JOB_PHASE(phase) or a WM_JOB_PROGRESS (phase 0) is
    // posted to this window, on the posting thread, as a user pressing
    // Cancel at that report would: set only once the window's thread got to
    // the report, it could come after a fast operation has ended. A null
    // cancel stops it.
    void CancelAt(uint32_t phase, HANDLE cancel);
    // Everything received so far, after every message posted before this
    // call has been handled.
    std::vector<Message> Messages();
    std::vector<uint32_t> Phases();
    int Questions();
    void Clear();
    // Records the shell change notifications about folder and below.
    void WatchShell(const std::wstring& folder);
    std::vector<ShellEvent> ShellEvents();

private:
    static DWORD WINAPI ThreadMain(LPVOID self);
    static LRESULT CALLBACK WindowProc(HWND window, UINT id, WPARAM wParam, LPARAM lParam);
    void Record(UINT id, WPARAM wParam, LPARAM lParam);

    HANDLE reply_;
    HWND window_ = nullptr;
    ThreadHandle thread_;
    EventHandle created_;
    CRITICAL_SECTION lock_;
    std::vector<Message> messages_;
    std::vector<uint32_t> answers_;
    size_t nextAnswer_ = 0;
    ULONG shellRegistration_ = 0;
    std::vector<ShellEvent> shellEvents_;
};

// Another program holding a file open on a thread of its own, until holdMs
// have passed: for writing with no sharing, or as a reader that lets others
// read.
class FileHolder {
public:
    enum Mode { kExclusive, kSharedReader };
    FileHolder(const std::wstring& path, DWORD holdMs, Mode mode = kExclusive);
    FileHolder(const FileHolder&) = delete;
    FileHolder& operator=(const FileHolder&) = delete;
    ~FileHolder();
    bool Holding() const { return opened_; }

private:
    static DWORD WINAPI ThreadMain(LPVOID self);

    std::wstring path_;
    DWORD holdMs_;
    Mode mode_;
    bool opened_ = false;
    EventHandle ready_;
    EventHandle release_;
    ThreadHandle thread_;
};

// A manual-reset event, as the progress dialog's cancel event is.
EventHandle NewEvent(bool set = false);

// While it lives, the operations copy files as Windows does: the progress
// routine is called before the first and after every chunk (Wine's own
// CopyFileExW never calls it), PROGRESS_CANCEL ends the copy with
// ERROR_REQUEST_ABORTED and no destination, attributes and the last-write
// time go along.
class WindowsLikeCopy {
public:
    WindowsLikeCopy();
    WindowsLikeCopy(const WindowsLikeCopy&) = delete;
    WindowsLikeCopy& operator=(const WindowsLikeCopy&) = delete;
    ~WindowsLikeCopy();
    static constexpr DWORD kChunk = 64 * 1024;
    // Sets event once the next copy has written its first chunk (or has
    // ended), as a user pressing Cancel then would. A cancel set by the
    // window on a posted report could come after a fast copy has ended.
    void CancelAfterFirstChunk(HANDLE event);
    void CancelWhenCopied(HANDLE event);

private:
    void* previous_;
};
