#include "tandrel_process.h"

#include "window_probe.h"

Process Start(const std::wstring& executable, const std::wstring& tail)
{
    std::wstring commandLine = L"\"" + executable + L"\"" + (tail.empty() ? L"" : L" " + tail);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    Process process;
    if (::CreateProcessW(executable.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                         &info)) {
        ::CloseHandle(info.hThread);
        process.handle.Reset(info.hProcess);
        process.id = info.dwProcessId;
    }
    return process;
}

bool Ended(const Process& process, DWORD ms)
{
    return process.handle.Valid() && ::WaitForSingleObject(process.handle.Get(), ms) == WAIT_OBJECT_0;
}

HWND TrayFrame() { return ::FindWindowW(L"TandrelFrame", nullptr); }

DWORD WindowProcess(HWND window)
{
    DWORD id = 0;
    ::GetWindowThreadProcessId(window, &id);
    return id;
}

HWND WaitForStartedTray(DWORD timeoutMs)
{
    HWND frame = nullptr;
    const bool started = probe::WaitUntil(
        [&frame] {
            frame = TrayFrame();
            DWORD_PTR answer = 0;
            return frame && ::SendMessageTimeoutW(frame, WM_NULL, 0, 0, SMTO_NORMAL, kProcessWaitMs, &answer);
        },
        timeoutMs);
    return started ? frame : nullptr;
}

bool StopTray()
{
    const HWND frame = TrayFrame();
    if (!frame)
        return true;
    ProcessHandle process(::OpenProcess(SYNCHRONIZE, FALSE, WindowProcess(frame)));
    ::PostMessageW(frame, WM_CLOSE, 0, 0);
    return !process.Valid() || ::WaitForSingleObject(process.Get(), kProcessWaitMs) == WAIT_OBJECT_0;
}
