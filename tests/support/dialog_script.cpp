#include "dialog_script.h"

#include "window_probe.h"

namespace probe {

namespace {

constexpr int kMessageBoxText = 0xFFFF;

HWND FirstVisibleDialog(const std::function<std::vector<HWND>()>& windows)
{
    for (HWND hwnd : windows()) {
        if (IsDialog(hwnd) && IsVisible(hwnd))
            return hwnd;
    }
    return nullptr;
}

int FallbackAnswer(HWND dialog)
{
    for (int id : {IDOK, IDCANCEL, IDNO}) {
        if (::GetDlgItem(dialog, id))
            return id;
    }
    return IDCANCEL;
}

}  // namespace

std::vector<SeenDialog> AnswerDialogs(DWORD threadId, DWORD processId, const DialogScript& script,
                                      const std::function<bool()>& done, DWORD timeoutMs)
{
    return AnswerDialogs(
        [threadId, processId] { return threadId ? ThreadWindows(threadId) : ProcessWindows(processId); }, script,
        done, timeoutMs);
}

std::vector<SeenDialog> AnswerDialogs(const std::function<std::vector<HWND>()>& windows, const DialogScript& script,
                                      const std::function<bool()>& done, DWORD timeoutMs)
{
    std::vector<SeenDialog> seen;
    size_t next = 0;
    DWORD lastProgress = ::GetTickCount();
    while (!done() && !(script.stopAfter && seen.size() >= script.stopAfter)) {
        if (::GetTickCount() - lastProgress >= timeoutMs)
            break;
        HWND dialog = FirstVisibleDialog(windows);
        if (!dialog) {
            PumpFor(10);
            continue;
        }
        SeenDialog entry;
        entry.messageBox = ::GetDlgItem(dialog, kMessageBoxText) != nullptr;
        entry.text = entry.messageBox ? MessageBoxText(dialog) : Text(dialog);
        entry.owner = ::GetWindow(dialog, GW_OWNER);
        ::GetWindowThreadProcessId(dialog, &entry.processId);
        entry.hasControl = script.markerId != 0 && ::GetDlgItem(dialog, script.markerId) != nullptr;
        entry.answer = next < script.answers.size() ? script.answers[next++] : FallbackAnswer(dialog);
        seen.push_back(entry);
        Click(dialog, entry.answer);
        WaitUntil([dialog] { return !::IsWindow(dialog) || !IsVisible(dialog); }, timeoutMs);
        lastProgress = ::GetTickCount();
    }
    return seen;
}

std::string Describe(const std::vector<SeenDialog>& seen)
{
    std::string lines;
    for (const SeenDialog& entry : seen)
        lines += Narrow(entry.text) + (entry.owner ? " [owned]" : "") + " -> " + std::to_string(entry.answer) + "\n";
    return lines;
}

}  // namespace probe
