// Finding and driving windows as a user would, from a test thread: the
// windows of a thread or a process, their texts and states, clicks and
// keys. Every wait is bounded; a helper that gives up returns null or false
// so the test's assertion shows what was seen.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace probe {

// Top-level windows of a thread or of a process, visible or not.
std::vector<HWND> ThreadWindows(DWORD threadId);
std::vector<HWND> ProcessWindows(DWORD processId);

// Polls until a top-level window of the thread (or process) satisfies
// match; null after timeoutMs.
using WindowMatch = std::function<bool(HWND)>;
HWND WaitForThreadWindow(DWORD threadId, const WindowMatch& match, DWORD timeoutMs = 10000);
HWND WaitForProcessWindow(DWORD processId, const WindowMatch& match, DWORD timeoutMs = 20000);

// Polls until condition holds; false after timeoutMs.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = 10000);

std::wstring ClassName(HWND hwnd);
std::wstring Text(HWND hwnd);
std::wstring ItemText(HWND dialog, int id);
bool IsDialog(HWND hwnd);  // class "#32770", also message boxes
bool IsVisible(HWND hwnd);
bool ItemVisible(HWND dialog, int id);
bool ItemEnabled(HWND dialog, int id);
DWORD ExStyle(HWND hwnd);
DWORD Style(HWND hwnd);

// BM_CLICK on the dialog's button (sent: returns once it was handled).
void Click(HWND dialog, int id);
// The Escape key as the dialog's keyboard handling sees it.
void PressEscape(HWND dialog);

// A message box's text (the static control of a "#32770" window with
// buttons and no other edit or list) and its closing with a button.
std::wstring MessageBoxText(HWND box);

// Reads the progress bar's position and range end.
int ProgressPos(HWND dialog, int id);
int ProgressMax(HWND dialog, int id);

// Pumps the calling thread's messages for up to ms.
void PumpFor(DWORD ms);

// UTF-16 for a failing assertion's message.
std::string Narrow(const std::wstring& text);

}  // namespace probe
