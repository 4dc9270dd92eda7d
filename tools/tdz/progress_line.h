// A progress line on standard error for a file that takes a while: shown
// only when standard error is a terminal, never before a second has passed,
// redrawn a few times a second, and wiped once the file is done, so that
// what stays on the terminal is exactly what a run without it would leave.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "byte_stream.h"

class ProgressLine {
public:
    // total 0: unknown, only the bytes done are shown.
    ProgressLine(bool wanted, const std::string& label, uint64_t total);
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;
    ~ProgressLine();  // wipes the line

    void Advance(uint64_t bytes);
    void Clear();

private:
    bool enabled_;
    std::string label_;
    uint64_t total_;
    uint64_t done_ = 0;
    size_t shownWidth_ = 0;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point nextDraw_;
};

// Counts the bytes read through it into a progress line.
class ProgressSource final : public ByteSource {
public:
    ProgressSource(ByteSource& inner, ProgressLine& line) : inner_(inner), line_(line) {}
    size_t Read(uint8_t* buf, size_t cap) override
    {
        const size_t n = inner_.Read(buf, cap);
        line_.Advance(n);
        return n;
    }
    bool Failed() const override { return inner_.Failed(); }

private:
    ByteSource& inner_;
    ProgressLine& line_;
};

// Whether progress lines can be shown at all: standard error is a terminal.
[[nodiscard]] bool StderrIsTerminal();
[[nodiscard]] bool StdoutIsTerminal();
