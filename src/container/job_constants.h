// Values shared by the job producers, the worker, the file operations and
// the windows that show their progress. The records and messages that carry
// them are in job_protocol.h.
//
// Portable: no platform headers.
#pragma once

#include <cstdint>

// Path buffers of records and operations, in UTF-16 units with the NUL.
constexpr uint32_t kPathUnits = 260;

// JobRecord::operation, and the mode of the extension filter.
constexpr uint32_t kOperationDecompress = 0;
constexpr uint32_t kOperationCompress = 1;

// lParam of WM_JOB_SUBMIT.
constexpr uint32_t kSubmitWatcherJob = 0;
constexpr uint32_t kSubmitBatchJob = 1;  // also a single request

// wParam of WM_JOB_PHASE; its lParam is the progress range.
constexpr uint32_t kPhasePrepareCompress = 1;    // "Preparing to Compress file..."
constexpr uint32_t kPhasePrepareDecompress = 2;  // "Preparing to Decompress file..."
constexpr uint32_t kPhaseCompress = 3;           // "Compressing..."
constexpr uint32_t kPhaseDecompress = 4;         // "Decompressing..."
constexpr uint32_t kPhaseEndCompress = 5;        // "Ending compression..."
constexpr uint32_t kPhaseEndDecompress = 6;      // "Ending decompression..."
constexpr uint32_t kProgressRange = 100;

// wParam of WM_REPLACE_QUERY.
constexpr uint32_t kReplaceModeDecompress = 0;
constexpr uint32_t kReplaceModeCompress = 1;

// What the notify window stores for WM_REPLACE_QUERY.
constexpr uint32_t kAnswerYes = 0;
constexpr uint32_t kAnswerYesToAll = 1;
constexpr uint32_t kAnswerNo = 2;
constexpr uint32_t kAnswerCancel = 3;

// WM_BATCH_DONE's lParam and WM_BATCH_END's walk result.
constexpr uint32_t kBatchIncomplete = 0;
constexpr uint32_t kBatchComplete = 1;
