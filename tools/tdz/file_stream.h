// The tool's input and output files; the name "-" stands for the standard
// input or output, switched to binary mode on Windows.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "byte_stream.h"

class InputFile final : public ByteSource {
public:
    InputFile() = default;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile() override;

    // A regular file or a pipe ("-": the standard input), never waiting
    // for a FIFO's writer; on failure Error() says why.
    [[nodiscard]] bool Open(const std::string& path);
    // Opens path only when it is a regular file, never waiting on a FIFO
    // or a device; "-" is not a name here.
    [[nodiscard]] bool OpenRegularFile(const std::string& path);
    // The size of a regular file; false for the standard input, pipes and
    // devices, whose size is known only once they are read to the end.
    [[nodiscard]] bool KnownSize(uint64_t* size) const;

    size_t Read(uint8_t* buf, size_t cap) override;
    bool Failed() const override { return failed_; }
    const std::string& Error() const { return error_; }

private:
#ifndef _WIN32
    [[nodiscard]] bool OpenWithoutWaiting(const std::string& path, bool pipesToo);
#endif

    std::FILE* file_ = nullptr;
    bool owned_ = false;
    bool failed_ = false;
    std::string path_;
    std::string error_;
};

// Writes a named file through "NAME.tmp", renamed over NAME only by Commit():
// a failed run leaves neither a partial file nor a damaged earlier one.
class OutputFile final : public ByteSink {
public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile() override;  // discards what Commit() did not keep

    [[nodiscard]] bool Open(const std::string& path);
    bool Write(const uint8_t* buf, size_t len) override;
    // Ends the writing and keeps the temporary file, so that its times and
    // attributes can be set (TempPath()) before Commit() gives it its name.
    [[nodiscard]] bool Close();
    const std::string& TempPath() const { return tempPath_; }
    [[nodiscard]] bool Commit();
    const std::string& Error() const { return error_; }

private:
    void Discard();

    std::FILE* file_ = nullptr;
    bool owned_ = false;
    std::string path_;
    std::string tempPath_;
    std::string error_;
};
