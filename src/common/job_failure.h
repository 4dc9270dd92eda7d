// How a job's result reaches the user: which results are reported, and the
// one message box that reports each.
#pragma once

#include <windows.h>

#include <string>

#include "container/job_protocol.h"

// Who reports: the tray frame (its automatic and whole-drive jobs) or a
// window that runs one single request (the modal progress dialog and
// Decompression). A single request also reports a file that stayed in use
// (result 3); the frame retries or skips those.
enum class JobReporter { Frame, SingleRequest };

bool IsReportedJobResult(ResultCode result, JobReporter reporter);

struct JobFailureMessage {
    std::wstring text;
    UINT type;  // MB_OK with MB_ICONERROR or no icon; right-to-left bits not yet added
};

JobFailureMessage DescribeJobFailure(const JobRecord& job, ResultCode result, JobReporter reporter);

// Shows the message for a reported result and returns once it is closed.
// The record stays the caller's.
void ReportJobFailure(HWND owner, const JobRecord& job, ResultCode result, JobReporter reporter);
