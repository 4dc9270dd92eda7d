// bench_worker: what running files through the worker thread costs beside
// calling the compress-file operation in a plain loop, in the same run.
//
//   bench_worker [--dir FOLDER] [--small N] [--large N] [--rounds N]
//
// Two batches, each made afresh in FOLDER (default: the temporary folder):
// N small files of 4 KB (default 10000), jobs per second, which shows the
// per-job overhead of the worker (messages, volume lock, shell
// notifications); and N large files of 4 MB (default 100), MB/s. Each batch
// goes once through the whole-drive walk and the worker (timed from the
// start of the walk to WM_BATCH_DONE) and once through CompressFile in a
// loop over the same files; each way runs --rounds times (default 2), the
// two taking turns, and the best time of each is shown. On a removable drive the worker's volume lock
// after each job is part of the cost.
#include <windows.h>

#include <process.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

#include "container/compress_file.h"
#include "container/folder_walk.h"
#include "container/job_post.h"
#include "container/worker_thread.h"

namespace {

// The frame's part: counts and frees what the worker reports.
struct Frame {
    HWND window = nullptr;
    HANDLE batchDone = nullptr;
    long done = 0;
    long failed = 0;
    long queued = 0;
};
Frame g_frame;

LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_JOB_QUEUED:
        ++g_frame.queued;
        return 0;
    case WM_JOB_DONE:
        ++g_frame.done;
        if (IsFailure(static_cast<ResultCode>(lParam))) ++g_frame.failed;
        delete reinterpret_cast<JobRecord*>(wParam);
        return 0;
    case WM_BATCH_DONE:
        SetEvent(g_frame.batchDone);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

unsigned __stdcall FrameThread(void* ready) {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = FrameProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"TdzBenchFrame";
    RegisterClassW(&windowClass);
    g_frame.window = CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                     windowClass.hInstance, nullptr);
    SetEvent(static_cast<HANDLE>(ready));
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    return 0;
}

double Seconds(LARGE_INTEGER start) {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return double(now.QuadPart - start.QuadPart) / double(frequency.QuadPart);
}

LARGE_INTEGER Now() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now;
}

// Text-like bytes that compress about as well as office documents.
std::string Content(size_t size, unsigned seed) {
    static const char* const kWords[] = {"alpha ", "brick ", "cedar ", "delta ", "ember ", "fjord ",
                                         "gravel ", "harbor ", "indigo ", "juniper ", "kettle ", "lantern "};
    std::string bytes;
    bytes.reserve(size + 16);
    unsigned state = seed * 2654435761u + 1;
    while (bytes.size() < size) {
        state = state * 1103515245u + 12345;
        bytes += kWords[(state >> 16) % 12];
        if ((state >> 8) % 7 == 0) bytes += std::to_string(state % 1000) + "\r\n";
    }
    bytes.resize(size);
    return bytes;
}

bool MakeFiles(const std::wstring& folder, int count, size_t size) {
    CreateDirectoryW(folder.c_str(), nullptr);
    for (int i = 0; i < count; ++i) {
        const std::string bytes = Content(size, i);
        const std::wstring path = folder + L"f" + std::to_wstring(i) + L".doc";
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        DWORD written = 0;
        const BOOL ok = WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
        CloseHandle(file);
        if (!ok || written != bytes.size()) return false;
    }
    return true;
}

void RemoveFiles(const std::wstring& folder) {
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((folder + L"*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileW((folder + entry.cFileName).c_str());
        } while (FindNextFileW(search, &entry));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

// The batch through the walk and the worker; seconds from the start of the
// walk to WM_BATCH_DONE.
double ThroughWorker(const std::wstring& folder, DWORD workerId, HANDLE batchCancel, long* jobs) {
    const long before = g_frame.done;
    ResetEvent(g_frame.batchDone);
    DriveJobRecord record = {g_frame.window, batchCancel, workerId, {}};
    const LARGE_INTEGER start = Now();
    // WalkThread's work, rooted at the bench folder instead of a drive root.
    const int walked = WalkFolder(record, folder.c_str());
    PostThreadMessageW(workerId, WM_BATCH_END, reinterpret_cast<WPARAM>(&record), walked);
    WaitForSingleObject(g_frame.batchDone, INFINITE);
    const double seconds = Seconds(start);
    *jobs = g_frame.done - before;
    return seconds;
}

double InALoop(const std::wstring& folder, int count, long* failures) {
    const LARGE_INTEGER start = Now();
    for (int i = 0; i < count; ++i) {
        const std::wstring source = folder + L"f" + std::to_wstring(i) + L".doc";
        const std::wstring container = source + L".tdz";
        if (IsFailure(CompressFile(nullptr, nullptr, nullptr, source.c_str(), container.c_str(), nullptr))) ++*failures;
    }
    return Seconds(start);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring base;
    int small = 10000, large = 100, rounds = 2;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::wcscmp(argv[i], L"--dir") == 0) base = argv[i + 1];
        else if (std::wcscmp(argv[i], L"--small") == 0) small = _wtoi(argv[i + 1]);
        else if (std::wcscmp(argv[i], L"--large") == 0) large = _wtoi(argv[i + 1]);
        else if (std::wcscmp(argv[i], L"--rounds") == 0) rounds = std::max(1, _wtoi(argv[i + 1]));
    }
    if (base.empty()) {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        base = temp;
    }
    if (base.back() != L'\\') base += L'\\';
    base += L"tdz-bench-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
    CreateDirectoryW(base.c_str(), nullptr);

    HANDLE ready = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    g_frame.batchDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    unsigned frameThreadId = 0;
    HANDLE frameThread =
        reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, FrameThread, ready, 0, &frameThreadId));
    WaitForSingleObject(ready, INFINITE);
    HANDLE cancel = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE batchCancel = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    static wchar_t fileName[kPathUnits];
    auto* start = new WorkerStartRecord{g_frame.window, fileName, cancel, batchCancel, ready};
    ResetJobCounters();
    unsigned workerId = 0;
    HANDLE worker = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, WorkerThread, start, 0, &workerId));
    WaitForSingleObject(ready, INFINITE);

    std::printf("bench_worker in %ls\n", base.c_str());
    struct Batch {
        const wchar_t* name;
        int count;
        size_t size;
    } const batches[] = {{L"small", small, 4096}, {L"large", large, 4u << 20}};
    int status = 0;
    for (const Batch& b : batches) {
        if (b.count <= 0) continue;
        const std::wstring folder = base + b.name + L"\\";
        if (!MakeFiles(folder, b.count, b.size)) {
            std::printf("cannot make the %ls files\n", b.name);
            return 1;
        }
        // The passes take turns, each on files made just before it: the first
        // pass over new files is the slower one under Wine, whichever it is.
        double worker = 1e30, loop = 1e30;
        long jobs = 0, workerFailures = 0, loopFailures = 0;
        for (int round = 0; round < rounds; ++round) {
            for (int pass = 0; pass < 2; ++pass) {
                if (round > 0 || pass > 0) {
                    RemoveFiles(folder);
                    if (!MakeFiles(folder, b.count, b.size)) return 1;
                }
                if ((pass + round) % 2 == 0) {
                    const long failedBefore = g_frame.failed;
                    long roundJobs = 0;
                    worker = std::min(worker, ThroughWorker(folder, workerId, batchCancel, &roundJobs));
                    workerFailures += g_frame.failed - failedBefore;
                    if (roundJobs != b.count) jobs = roundJobs;
                    else if (jobs == 0) jobs = roundJobs;
                } else {
                    loop = std::min(loop, InALoop(folder, b.count, &loopFailures));
                }
            }
        }
        RemoveFiles(folder);
        const double megabytes = double(b.count) * double(b.size) / 1e6;
        std::printf("%ls: %d files of %zu bytes, %ld jobs a batch, best of %d\n", b.name, b.count, b.size, jobs,
                    rounds);
        std::printf("  worker   %8.3f s  %9.1f jobs/s  %8.2f MB/s  %ld failed\n", worker, b.count / worker,
                    megabytes / worker, workerFailures);
        std::printf("  loop     %8.3f s  %9.1f jobs/s  %8.2f MB/s  %ld failed\n", loop, b.count / loop,
                    megabytes / loop, loopFailures);
        std::printf("  overhead %8.3f ms per job (%+.1f%%)\n", (worker - loop) * 1000.0 / b.count,
                    (worker / loop - 1.0) * 100.0);
        if (jobs != b.count || workerFailures != 0 || loopFailures != 0) status = 1;
    }
    RemoveDirectoryW(base.c_str());

    PostThreadMessageW(workerId, WM_QUIT, 0, 0);
    WaitForSingleObject(worker, INFINITE);
    PostMessageW(g_frame.window, WM_CLOSE, 0, 0);
    PostThreadMessageW(frameThreadId, WM_QUIT, 0, 0);
    WaitForSingleObject(frameThread, 5000);
    return status;
}
