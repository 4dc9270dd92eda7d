// A file as the codec's stream driver reads and writes it: a known number
// of bytes read whole, writes made whole, and each failure kept as the
// result code the job reports. Plus the hooks that let a job be cancelled
// and show its progress while the driver runs.
#pragma once

#include <windows.h>

#include <cstdint>

#include "codec/relc_driver.h"
#include "container/result_code.h"

// The codes a direction of the file operations reports.
struct TransferCodes {
    ResultCode readShort;
    ResultCode readFailed;
    ResultCode writeShort;
    ResultCode writeFailed;
    ResultCode writeDiskFull;
};

// The next length bytes of file; a file that ends sooner is a failure.
class FileByteSource final : public ByteSource {
public:
    FileByteSource(HANDLE file, uint64_t length, const TransferCodes& codes)
        : file_(file), left_(length), codes_(codes)
    {
    }
    size_t Read(uint8_t* buf, size_t cap) override;
    bool Failed() const override { return error_ != 0; }
    ResultCode Error() const { return error_; }

private:
    HANDLE file_;
    uint64_t left_;
    const TransferCodes& codes_;
    ResultCode error_ = 0;
};

class FileByteSink final : public ByteSink {
public:
    FileByteSink(HANDLE file, const TransferCodes& codes) : file_(file), codes_(codes) {}
    bool Write(const uint8_t* buf, size_t len) override;
    ResultCode Error() const { return error_; }

private:
    HANDLE file_;
    const TransferCodes& codes_;
    ResultCode error_ = 0;
};

// The job's cancel event and its progress posts to the frame. A decoding
// job posts only when its output grew; an encoding job after every call.
struct JobStreamHooks {
    JobStreamHooks(HWND frame, HANDLE cancel, uint64_t total, bool onlyOnGrowth);
    JobStreamHooks(const JobStreamHooks&) = delete;  // the hooks point at this one
    JobStreamHooks& operator=(const JobStreamHooks&) = delete;

    RelcStreamHooks hooks;
    HWND frame;
    HANDLE cancel;
    uint64_t total;
    bool onlyOnGrowth;
    uint64_t lastPosted = 0;
};
