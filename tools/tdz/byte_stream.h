// What the streaming loops read from and write to. Files, the standard
// streams and memory all look alike behind these two interfaces.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Reads up to cap bytes into buf and returns how many; fewer than cap
    // only at the end of the input or on failure, which Failed() tells apart.
    [[nodiscard]] virtual size_t Read(uint8_t* buf, size_t cap) = 0;
    [[nodiscard]] virtual bool Failed() const = 0;
};

class ByteSink {
public:
    virtual ~ByteSink() = default;
    // Writes all len bytes or returns false.
    [[nodiscard]] virtual bool Write(const uint8_t* buf, size_t len) = 0;
};

class MemorySource final : public ByteSource {
public:
    MemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    size_t Read(uint8_t* buf, size_t cap) override
    {
        size_t n = size_ - pos_ < cap ? size_ - pos_ : cap;
        if (n != 0)
            std::memcpy(buf, data_ + pos_, n);
        pos_ += n;
        return n;
    }
    bool Failed() const override { return false; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};
