#include "fake_worker.h"

#include <cwchar>

namespace fake {

namespace {

Script* g_script = nullptr;

}  // namespace

Script::~Script()
{
    ::CloseHandle(gate);
    ::CloseHandle(stepDone);
    ::CloseHandle(finished);
}

bool Script::Advance(DWORD timeoutMs)
{
    ::SetEvent(gate);
    return ::WaitForSingleObject(stepDone, timeoutMs) == WAIT_OBJECT_0;
}

void Use(Script* script)
{
    g_script = script;
}

unsigned __stdcall FakeWorker(void* startRecord)
{
    auto* start = static_cast<WorkerStartRecord*>(startRecord);
    Script& script = *g_script;
    MSG msg;
    ::PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    ::SetEvent(start->readyEvent);

    JobRecord* job = nullptr;
    while (!job && ::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_JOB_SUBMIT && msg.lParam == kSubmitBatchJob)
            job = reinterpret_cast<JobRecord*>(msg.wParam);
    }
    if (job) {
        script.job = *job;
        script.gotJob = true;
    }

    for (const Step& step : script.steps) {
        if (!job || ::WaitForSingleObject(script.gate, 20000) != WAIT_OBJECT_0)
            break;
        switch (step.kind) {
        case StepKind::Phase:
            wcsncpy(start->fileName, step.fileName.c_str(), kPathUnits - 1);
            ::PostMessageW(start->notifyWindow, WM_JOB_PHASE, step.value, kProgressRange);
            break;
        case StepKind::Progress:
            ::PostMessageW(start->notifyWindow, WM_JOB_PROGRESS, 0, step.value);
            break;
        case StepKind::Replace: {
            uint32_t answer = 0xFFFF;
            ::PostMessageW(start->notifyWindow, WM_REPLACE_QUERY, step.value, reinterpret_cast<LPARAM>(&answer));
            ::WaitForSingleObject(start->readyEvent, 20000);
            script.answers.push_back(answer);
            break;
        }
        case StepKind::WaitForCancel:
            ::SetEvent(script.stepDone);  // the test may press Cancel now
            script.sawCancel = ::WaitForSingleObject(start->cancelEvent, 20000) == WAIT_OBJECT_0;
            continue;
        case StepKind::Done:
            ::PostMessageW(start->notifyWindow, WM_JOB_DONE, reinterpret_cast<WPARAM>(job), step.value);
            job = nullptr;
            break;
        }
        ::SetEvent(script.stepDone);
    }
    delete job;

    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    }
    script.sawQuit = msg.message == WM_QUIT;
    delete start;
    ::SetEvent(script.finished);
    return 0;
}

}  // namespace fake
