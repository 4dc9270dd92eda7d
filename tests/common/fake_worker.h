// A stand-in for the worker thread: it speaks the job protocol to the
// dialog that started it, one scripted step each time the test lets it go
// on, and records what it received.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "container/job_protocol.h"

namespace fake {

enum class StepKind { Phase, Progress, Replace, WaitForCancel, Done };

struct Step {
    StepKind kind;
    uint32_t value;            // phase, percent, replace mode or result
    std::wstring fileName;     // Phase: the display name written before it
};

struct Script {
    std::vector<Step> steps;

    // Set by the test to let the next step run.
    HANDLE gate = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    // Set by the worker after each step has been posted or answered.
    HANDLE stepDone = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);

    // What the worker saw.
    JobRecord job{};
    bool gotJob = false;
    std::vector<uint32_t> answers;
    bool sawCancel = false;
    bool sawQuit = false;
    HANDLE finished = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);

    ~Script();
    // Lets one step run and waits until it has been carried out.
    bool Advance(DWORD timeoutMs = 10000);
};

// The script the next FakeWorker thread follows.
void Use(Script* script);
unsigned __stdcall FakeWorker(void* startRecord);

}  // namespace fake
