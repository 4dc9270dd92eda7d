#include "window_probe.h"

#include <commctrl.h>

namespace probe {

namespace {

struct Collect {
    DWORD processId;
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectThreadWindow(HWND hwnd, LPARAM lp)
{
    reinterpret_cast<std::vector<HWND>*>(lp)->push_back(hwnd);
    return TRUE;
}

BOOL CALLBACK CollectProcessWindow(HWND hwnd, LPARAM lp)
{
    auto* collect = reinterpret_cast<Collect*>(lp);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if (pid == collect->processId)
        collect->windows.push_back(hwnd);
    return TRUE;
}

}  // namespace

std::vector<HWND> ThreadWindows(DWORD threadId)
{
    std::vector<HWND> windows;
    ::EnumThreadWindows(threadId, CollectThreadWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

std::vector<HWND> ProcessWindows(DWORD processId)
{
    Collect collect{processId, {}};
    ::EnumWindows(CollectProcessWindow, reinterpret_cast<LPARAM>(&collect));
    return collect.windows;
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs)
{
    DWORD start = ::GetTickCount();
    for (;;) {
        if (condition())
            return true;
        if (::GetTickCount() - start >= timeoutMs)
            return false;
        PumpFor(10);
    }
}

namespace {

// The first of windows() that matches, polled until one does or time runs out.
template <typename Windows>
HWND WaitForWindow(Windows windows, const WindowMatch& match, DWORD timeoutMs)
{
    HWND found = nullptr;
    WaitUntil([&] {
        for (HWND hwnd : windows()) {
            if (match(hwnd)) {
                found = hwnd;
                return true;
            }
        }
        return false;
    }, timeoutMs);
    return found;
}

}  // namespace

HWND WaitForThreadWindow(DWORD threadId, const WindowMatch& match, DWORD timeoutMs)
{
    return WaitForWindow([threadId] { return ThreadWindows(threadId); }, match, timeoutMs);
}

HWND WaitForProcessWindow(DWORD processId, const WindowMatch& match, DWORD timeoutMs)
{
    return WaitForWindow([processId] { return ProcessWindows(processId); }, match, timeoutMs);
}

std::wstring ClassName(HWND hwnd)
{
    wchar_t name[256] = {};
    ::GetClassNameW(hwnd, name, 256);
    return name;
}

std::wstring Text(HWND hwnd)
{
    if (!hwnd)
        return L"<no window>";
    wchar_t buffer[4096] = {};
    // WM_GETTEXT directly: GetWindowText does not ask other processes' windows.
    ::SendMessageTimeoutW(hwnd, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 5000,
                          nullptr);
    return buffer;
}

std::wstring ItemText(HWND dialog, int id)
{
    HWND item = ::GetDlgItem(dialog, id);
    return item ? Text(item) : L"<no control>";
}

bool IsDialog(HWND hwnd)
{
    return ClassName(hwnd) == L"#32770";
}

bool IsVisible(HWND hwnd)
{
    return (::GetWindowLongW(hwnd, GWL_STYLE) & WS_VISIBLE) != 0;
}

bool ItemVisible(HWND dialog, int id)
{
    HWND item = ::GetDlgItem(dialog, id);
    return item && IsVisible(item);
}

bool ItemEnabled(HWND dialog, int id)
{
    HWND item = ::GetDlgItem(dialog, id);
    return item && ::IsWindowEnabled(item);
}

DWORD ExStyle(HWND hwnd)
{
    return static_cast<DWORD>(::GetWindowLongW(hwnd, GWL_EXSTYLE));
}

DWORD Style(HWND hwnd)
{
    return static_cast<DWORD>(::GetWindowLongW(hwnd, GWL_STYLE));
}

void Click(HWND dialog, int id)
{
    HWND button = ::GetDlgItem(dialog, id);
    if (button)
        ::PostMessageW(button, BM_CLICK, 0, 0);
}

void PressEscape(HWND dialog)
{
    ::PostMessageW(dialog, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    ::PostMessageW(dialog, WM_KEYUP, VK_ESCAPE, 0xC0010001);
}

std::wstring MessageBoxText(HWND box)
{
    // Message boxes keep their text in the static control 0xFFFF.
    return ItemText(box, 0xFFFF);
}

int ProgressPos(HWND dialog, int id)
{
    return static_cast<int>(::SendMessageW(::GetDlgItem(dialog, id), PBM_GETPOS, 0, 0));
}

int ProgressMax(HWND dialog, int id)
{
    return static_cast<int>(::SendMessageW(::GetDlgItem(dialog, id), PBM_GETRANGE, FALSE, 0));
}

void PumpFor(DWORD ms)
{
    DWORD start = ::GetTickCount();
    do {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    } while (::GetTickCount() - start < ms);
}

std::string Narrow(const std::wstring& text)
{
    int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                      nullptr);
    std::string out(static_cast<size_t>(bytes), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), bytes, nullptr,
                          nullptr);
    return out;
}

}  // namespace probe
