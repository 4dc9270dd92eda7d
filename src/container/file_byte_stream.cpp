#include "container/file_byte_stream.h"

#include "container/file_transfer.h"
#include "container/job_reports.h"

size_t FileByteSource::Read(uint8_t* buf, size_t cap)
{
    if (error_ != 0)
        return 0;
    // The driver's buffers are far below 4 GB.
    const uint32_t want = static_cast<uint32_t>(left_ < cap ? left_ : cap);
    if (want == 0)
        return 0;
    switch (ReadFully(file_, buf, want)) {
    case TransferStatus::Complete:
        left_ -= want;
        return want;
    case TransferStatus::Short:
        error_ = codes_.readShort;
        return 0;
    case TransferStatus::Failed:
        break;
    }
    error_ = codes_.readFailed;
    return 0;
}

bool FileByteSink::Write(const uint8_t* buf, size_t len)
{
    switch (WriteFully(file_, buf, static_cast<uint32_t>(len))) {
    case TransferStatus::Complete:
        return true;
    case TransferStatus::Short:
        error_ = codes_.writeShort;
        return false;
    case TransferStatus::Failed:
        break;
    }
    error_ = LastErrorIsDiskFull() ? codes_.writeDiskFull : codes_.writeFailed;
    return false;
}

namespace {

bool JobCancelled(void* context)
{
    return IsSignalled(static_cast<JobStreamHooks*>(context)->cancel);
}

void JobProgress(void* context, uint64_t plainBytes)
{
    JobStreamHooks* job = static_cast<JobStreamHooks*>(context);
    if (job->onlyOnGrowth && plainBytes == job->lastPosted)
        return;
    job->lastPosted = plainBytes;
    PostProgress(job->frame, ProgressPercent(plainBytes, job->total));
}

}  // namespace

JobStreamHooks::JobStreamHooks(HWND frame_, HANDLE cancel_, uint64_t total_, bool onlyOnGrowth_)
    : frame(frame_), cancel(cancel_), total(total_), onlyOnGrowth(onlyOnGrowth_)
{
    hooks.context = this;
    hooks.cancelled = JobCancelled;
    hooks.progress = JobProgress;
}
