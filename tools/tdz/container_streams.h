// Byte sources and sinks around the container's stream: a stream's exact
// length within a container, and the byte sum and count that the
// container's checksum and size fields are checked against.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "byte_stream.h"
#include "container/container_header.h"

// At most limit bytes of inner: the stream part of a container, so that the
// decoder sees its stated end and the checksum behind it counts as extra.
class LimitedSource final : public ByteSource {
public:
    LimitedSource(ByteSource& inner, uint64_t limit) : inner_(inner), left_(limit) {}
    size_t Read(uint8_t* buf, size_t cap) override
    {
        const size_t want = left_ < cap ? static_cast<size_t>(left_) : cap;
        const size_t n = want == 0 ? 0 : inner_.Read(buf, want);
        left_ -= n;
        return n;
    }
    bool Failed() const override { return inner_.Failed(); }
    uint64_t Left() const { return left_; }

private:
    ByteSource& inner_;
    uint64_t left_;
};

// The bytes read through it are summed as the container's checksum sums
// them.
class SummingSource final : public ByteSource {
public:
    explicit SummingSource(ByteSource& inner) : inner_(inner) {}
    size_t Read(uint8_t* buf, size_t cap) override
    {
        const size_t n = inner_.Read(buf, cap);
        AddToChecksum(buf, n, &sum_);
        count_ += n;
        return n;
    }
    bool Failed() const override { return inner_.Failed(); }
    uint32_t Sum() const { return sum_; }
    uint64_t Count() const { return count_; }

private:
    ByteSource& inner_;
    uint32_t sum_ = 0;
    uint64_t count_ = 0;
};

// Sums and counts the bytes written, and hands them on to next (or drops
// them when next is null).
class SummingSink final : public ByteSink {
public:
    explicit SummingSink(ByteSink* next) : next_(next) {}
    bool Write(const uint8_t* buf, size_t len) override
    {
        AddToChecksum(buf, len, &sum_);
        count_ += len;
        return next_ == nullptr || next_->Write(buf, len);
    }
    uint32_t Sum() const { return sum_; }
    uint64_t Count() const { return count_; }

private:
    ByteSink* next_;
    uint32_t sum_ = 0;
    uint64_t count_ = 0;
};

// Compares what is written with what reference holds; refuses the first
// byte that differs, or any byte beyond the reference's end.
class ComparingSink final : public ByteSink {
public:
    explicit ComparingSink(ByteSource& reference) : reference_(reference) {}
    bool Write(const uint8_t* buf, size_t len) override
    {
        uint8_t chunk[4096];
        while (len > 0) {
            const size_t want = len < sizeof chunk ? len : sizeof chunk;
            if (reference_.Read(chunk, want) != want || std::memcmp(chunk, buf, want) != 0) {
                differs_ = true;
                return false;
            }
            buf += want;
            len -= want;
        }
        return true;
    }
    bool Differs() const { return differs_; }

private:
    ByteSource& reference_;
    bool differs_ = false;
};
