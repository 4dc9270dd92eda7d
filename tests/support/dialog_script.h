// Plays the user through the message boxes and dialogs that one thread or
// one process opens one after another: each is recorded and answered with
// the next button of a script, until the code under test says it is done.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace probe {

struct SeenDialog {
    std::wstring text;     // a message box's text, else the dialog's caption
    HWND owner = nullptr;  // as it was while shown
    bool messageBox = false;
    bool hasControl = false;  // the control asked for with markerId was there
    int answer = 0;           // the button pressed
    DWORD processId = 0;      // of the process that showed it
};

struct DialogScript {
    std::vector<int> answers;  // button ids, in order
    // A control that tells the dialog apart (0: none); reported in
    // SeenDialog::hasControl.
    int markerId = 0;
    // Returns once this many dialogs were answered (0: only done() ends it).
    size_t stopAfter = 0;
};

// Answers the visible dialogs of the thread (processId 0) or of the
// process (threadId 0) until done() holds. Once the script is used up a
// dialog gets OK, Cancel or No, whichever it has, and counts as seen, so an
// unexpected question fails the test instead of hanging it. Also stops
// after timeoutMs without progress.
std::vector<SeenDialog> AnswerDialogs(DWORD threadId, DWORD processId, const DialogScript& script,
                                      const std::function<bool()>& done, DWORD timeoutMs = 20000);

// The same over the windows that windows() lists each time it is asked
// (for instance those of every process of one program).
std::vector<SeenDialog> AnswerDialogs(const std::function<std::vector<HWND>()>& windows, const DialogScript& script,
                                      const std::function<bool()>& done, DWORD timeoutMs = 20000);

// "text" / "text [owned]" lines for a failure message.
std::string Describe(const std::vector<SeenDialog>& seen);

}  // namespace probe
