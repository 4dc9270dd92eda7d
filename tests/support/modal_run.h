// Runs a modal dialog on a thread of its own, as a program's main thread
// would, so the test's thread can act as the user.
#pragma once

#include <windows.h>

#include <atomic>
#include <thread>

#include "window_probe.h"

struct ModalRun {
    std::thread thread;
    std::atomic<DWORD> threadId{0};
    std::atomic<INT_PTR> result{-2};

    template <typename Dialog>
    void Start(Dialog& dialog)
    {
        thread = std::thread([this, &dialog] {
            threadId = ::GetCurrentThreadId();
            result = dialog.DoModal();
        });
        probe::WaitUntil([this] { return threadId != 0; });
    }
    // The first visible dialog of the thread that matches (by default:
    // any). Visible: a dialog is found by enumeration while it is still
    // being created, before its initialisation has run.
    HWND WaitForDialog(const probe::WindowMatch& match = probe::IsDialog)
    {
        return probe::WaitForThreadWindow(
            threadId, [&](HWND h) { return probe::IsDialog(h) && probe::IsVisible(h) && match(h); });
    }
    INT_PTR Join()
    {
        if (thread.joinable())
            thread.join();
        return result;
    }
    ~ModalRun()
    {
        if (thread.joinable())
            thread.join();
    }
};

inline probe::WindowMatch WithControl(int id)
{
    return [id](HWND h) { return ::GetDlgItem(h, id) != nullptr; };
}
inline probe::WindowMatch MessageBoxWindow()
{
    return [](HWND h) { return ::GetDlgItem(h, 0xFFFF) != nullptr && probe::IsVisible(h); };
}
