// bench_watch_latency: how long a file that lands on a watched target drive
// stays a file. The real tray frame runs in this process (its watcher, its
// worker, its progress dialog) with the drive played as a supported stick;
// the clock runs from the file's closing to its container being in place.
//
//   bench_watch_latency [--drive R:] [--single N] [--burst N] [--size BYTES]
//
// Single: N files one after the other (default 21), each waited for; the
// median and the spread are shown. Burst: N files (default 1000) written as
// fast as possible, timed until the last container is in place. The drive
// must be removable (a Wine drive of type floppy) and holds nothing of value:
// the benchmark empties it.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "drives/scripted_device_tree.h"
#include "tray/main_frame.h"

namespace {

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void Pump()
{
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

bool WriteFile(const std::wstring& path, size_t size, unsigned seed)
{
    std::string bytes;
    bytes.reserve(size);
    while (bytes.size() < size)
        bytes += "line " + std::to_string(seed++ % 977) + " of a text that compresses well\r\n";
    bytes.resize(size);
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL ok = ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(file);
    return ok && written == bytes.size();
}

double Now()
{
    LARGE_INTEGER counter, frequency;
    ::QueryPerformanceCounter(&counter);
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

void EmptyRoot(const std::wstring& root)
{
    WIN32_FIND_DATAW entry;
    HANDLE search = ::FindFirstFileW((root + L"*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            ::SetFileAttributesW((root + entry.cFileName).c_str(), FILE_ATTRIBUTE_NORMAL);
            ::DeleteFileW((root + entry.cFileName).c_str());
        }
    } while (::FindNextFileW(search, &entry));
    ::FindClose(search);
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    std::wstring drive = L"R:";
    int single = 21;
    int burst = 1000;
    size_t size = 4096;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::wstring option = argv[i];
        if (option == L"--drive")
            drive = argv[i + 1];
        else if (option == L"--single")
            single = _wtoi(argv[i + 1]);
        else if (option == L"--burst")
            burst = _wtoi(argv[i + 1]);
        else if (option == L"--size")
            size = static_cast<size_t>(_wtoi(argv[i + 1]));
    }
    const std::wstring root = drive + L"\\";
    if (::GetDriveTypeW(root.c_str()) != DRIVE_REMOVABLE) {
        std::fwprintf(stderr, L"%ls is not a removable drive\n", root.c_str());
        return 2;
    }
    EmptyRoot(root);
    ScriptedStick stick;
    stick.hardwareId = L"USB\\Vid_1F3A&Pid_0101";
    stick.driveLetter = drive[0];
    PlayDeviceTree({stick});
    CMainFrame frame;
    if (!frame.CreateFrame() || !frame.Initialized()) {
        std::fwprintf(stderr, L"the frame did not start\n");
        return 1;
    }
    for (int i = 0; i < 20; ++i)
        Pump();  // the watcher settles in

    std::vector<double> latencies;
    for (int i = 0; i < single; ++i) {
        const std::wstring name = root + L"single" + std::to_wstring(i) + L".txt";
        if (!WriteFile(name, size, static_cast<unsigned>(i)))
            return 1;
        const double start = Now();
        while (!Exists(name + L".tdz") || Exists(name))
            Pump();
        latencies.push_back(Now() - start);
    }
    std::sort(latencies.begin(), latencies.end());
    if (!latencies.empty())
        std::wprintf(L"single file of %zu bytes, %d runs: median %.1f ms (min %.1f, max %.1f)\n", size, single,
                     latencies[latencies.size() / 2], latencies.front(), latencies.back());

    EmptyRoot(root);
    const double burstStart = Now();
    for (int i = 0; i < burst; ++i) {
        if (!WriteFile(root + L"burst" + std::to_wstring(i) + L".txt", size, static_cast<unsigned>(i)))
            return 1;
        if (i % 50 == 0)
            Pump();
    }
    const double written = Now() - burstStart;
    for (int i = burst - 1; i >= 0; --i) {
        const std::wstring name = root + L"burst" + std::to_wstring(i) + L".txt";
        while (!Exists(name + L".tdz") || Exists(name))
            Pump();
    }
    std::wprintf(L"burst of %d files of %zu bytes: written in %.0f ms, all containers in place after %.0f ms\n", burst,
                 size, written, Now() - burstStart);
    ::DestroyWindow(frame.GetHwnd());
    EmptyRoot(root);
    return 0;
}
