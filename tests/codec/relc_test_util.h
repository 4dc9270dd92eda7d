// Drivers and generators shared by the codec tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "codec/relc_driver.h"

using Bytes = std::vector<uint8_t>;

// How a stream is driven: bytes offered per call (0 = all that is left) and
// room per call.
struct CallPattern {
    uint32_t inChunk;
    uint32_t outRoom;
};

// Encodes data under a pattern. The output of every call goes to a heap
// buffer of exactly the room given, so a write past it is caught by the
// sanitizers; *calls (optional) receives the number of RelcEncode calls.
Bytes EncodeWith(const Bytes& data, CallPattern p, size_t* calls = nullptr);

struct DecodeResult {
    Bytes out;
    uint32_t error = 0;   // low byte of the last status word
    bool ended = false;   // RELC_STREAM_END seen
    bool stalled = false; // every byte offered, nothing more to deliver, no end
};

// Decodes under a pattern, with the same exact-room output buffers.
DecodeResult DecodeWith(const Bytes& stream, CallPattern p);

// The whole stream in one go, through the driver's memory one-shot.
Bytes EncodeAll(const Bytes& data);

// A source of data that, after its bytes, ends (or fails, with failAtEnd).
class TestSource final : public ByteSource {
public:
    explicit TestSource(const Bytes& data, bool failAtEnd = false) : data_(data), failAtEnd_(failAtEnd) {}
    size_t Read(uint8_t* buf, size_t cap) override;
    bool Failed() const override { return failed_; }

private:
    const Bytes& data_;
    bool failAtEnd_;
    size_t pos_ = 0;
    bool failed_ = false;
};

// Collects what is written; refuses every write once it holds limit bytes.
class TestSink final : public ByteSink {
public:
    explicit TestSink(size_t limit = SIZE_MAX) : limit_(limit) {}
    bool Write(const uint8_t* buf, size_t len) override;
    Bytes bytes;

private:
    size_t limit_;
};

// One block of a stream as the format lays it out.
struct BlockInfo {
    uint32_t header;
    bool stored;
    uint32_t size;  // whole block, header included
};
// Splits a stream into blocks up to and including the end marker; false on
// a malformed layout.
bool ParseBlocks(const Bytes& stream, std::vector<BlockInfo>* blocks);

Bytes RandomBytes(size_t n, uint32_t seed);
// Text-like data with repeats at many distances and some long runs.
Bytes StructuredBytes(size_t n, uint32_t seed);
Bytes ReadFileBytes(const std::string& path);
// Corpus files present on this machine (empty, with a note, when absent).
std::vector<std::string> CorpusFiles();
