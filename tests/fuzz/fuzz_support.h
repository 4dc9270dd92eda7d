// What the relc fuzz targets share: call patterns drawn from the input,
// buffers whose ends the sanitizers watch, the codec's contract checked on
// every call, and the streaming loops that drive the codec.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "codec/relc.h"

#define FUZZ_CHECK(cond, what)                                                              \
    do {                                                                                    \
        if (!(cond)) {                                                                      \
            std::fprintf(stderr, "relc fuzz: %s (%s) at %s:%d\n", what, #cond, __FILE__, __LINE__); \
            std::abort();                                                                   \
        }                                                                                   \
    } while (0)

namespace relc_fuzz {

// Largest offer and room a pattern produces.
constexpr uint32_t kMaxChunk = 1u << 20;

// Sizes that sit on the codec's edges: single bytes, the staging buffer's
// size and either side of it, the block sizes, and more than a window.
constexpr uint32_t kSizes[16] = {1, 2, 3, 7, 13, 100, 4096, 8192,
                                 24576, 32767, 32768, 32769, 32770, 65536, 200000, kMaxChunk};

// The sizes of successive offers or output rooms, chosen by one byte:
// the low four bits pick a size, the high four how it varies from call to
// call (fixed, drawn from the table, or anything from 1 up to it).
class SizeSequence {
public:
    explicit SizeSequence(uint8_t selector)
        : base_(kSizes[selector & 15]), mode_(selector >> 4), state_(0x9E3779B9u * (selector + 1u))
    {
    }

    uint32_t Next()
    {
        if (mode_ < 8)
            return base_;
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        if (mode_ < 12)
            return kSizes[state_ & 15];
        return 1 + state_ % base_;
    }

private:
    uint32_t base_;
    uint32_t mode_;
    uint32_t state_;
};

// One allocation of kMaxChunk bytes. Tail(n) hands out its last n bytes, so
// reading or writing one byte beyond them leaves the allocation, which
// AddressSanitizer reports.
class EdgeBuffer {
public:
    EdgeBuffer() : data_(new uint8_t[kMaxChunk]) {}
    uint8_t* Tail(size_t n) { return data_.get() + (kMaxChunk - n); }

private:
    std::unique_ptr<uint8_t[]> data_;
};

enum class DecodeEnd { StreamEnd, Corrupt, Truncated, OutOfCalls };

struct DecodeResult {
    DecodeEnd end = DecodeEnd::OutOfCalls;
    std::vector<uint8_t> output;
    size_t taken = 0;  // stream bytes the decoder took
};

// Decodes stream[0..size) with offers and rooms from the two sequences,
// checking the decoder's promises on every call. Gives up after maxCalls.
inline DecodeResult DecodeChunked(const uint8_t* stream, size_t size, SizeSequence offers,
                                  SizeSequence rooms, size_t maxCalls)
{
    static EdgeBuffer inBuf;
    static EdgeBuffer outBuf;
    DecodeResult result;
    RelcInitDecoder();
    uint32_t untaken = 0;
    for (size_t call = 0; call < maxCalls; ++call) {
        // The bytes not taken last time, followed by fresh ones.
        const size_t left = size - result.taken;
        size_t want = offers.Next();
        if (want < untaken)
            want = untaken;
        const uint32_t offer = static_cast<uint32_t>(left < want ? left : want);
        const uint32_t room = rooms.Next();
        uint8_t* in = inBuf.Tail(offer);
        std::memcpy(in, stream + result.taken, offer);
        uint8_t* out = outBuf.Tail(room);
        uint32_t inLen = offer;
        uint32_t outLen = room;
        const uint32_t status = RelcDecode(in, out, &inLen, &outLen);

        FUZZ_CHECK(inLen <= offer, "decoder took more than offered");
        FUZZ_CHECK(outLen <= room, "decoder wrote more than the room");
        FUZZ_CHECK((status & ~0x7FFu) == 0, "unknown status bits");
        FUZZ_CHECK((status & 0xFF) == 0 || (status & 0xFF) == RELC_E_DATA, "unknown error code");
        FUZZ_CHECK(!(status & RELC_NEED_INPUT) || inLen == offer, "NEED_INPUT with bytes left untaken");
        FUZZ_CHECK(!(status & RELC_OUTPUT_FULL) || outLen == room, "OUTPUT_FULL with room left");
        result.taken += inLen;
        untaken = offer - inLen;
        result.output.insert(result.output.end(), out, out + outLen);

        if ((status & 0xFF) == RELC_E_DATA) {
            result.end = DecodeEnd::Corrupt;
            return result;
        }
        if (status & RELC_STREAM_END) {
            result.end = DecodeEnd::StreamEnd;
            return result;
        }
        FUZZ_CHECK(status & (RELC_NEED_INPUT | RELC_OUTPUT_FULL), "decoder stopped without a reason");
        if (result.taken == size && (status & RELC_NEED_INPUT) && !(status & RELC_OUTPUT_FULL)) {
            result.end = DecodeEnd::Truncated;
            return result;
        }
    }
    return result;
}

struct EncodeResult {
    std::vector<uint8_t> stream;
    size_t calls = 0;
};

// Encodes data[0..size) (size > 0) with offers and rooms from the two
// sequences, keeping the calling order and checking the encoder's promises.
// meddle: after the first call, try to restart the stream with arguments
// the encoder must refuse without touching the stream under way.
inline EncodeResult EncodeChunked(const uint8_t* data, size_t size, int32_t depth, SizeSequence offers,
                                  SizeSequence rooms, bool meddle)
{
    static EdgeBuffer inBuf;
    static EdgeBuffer outBuf;
    EncodeResult result;
    FUZZ_CHECK(RelcInitEncoder(depth, size) == 0, "encoder refused a valid start");
    // Every call moves a byte but for a few that code or flush; a stream
    // of size bytes needs less than 2 bytes of output per input byte.
    const size_t maxCalls = 4 * size + 64;
    size_t pos = 0;
    uint32_t untaken = 0;
    for (;;) {
        FUZZ_CHECK(result.calls < maxCalls, "encoder makes no progress");
        // The bytes not taken, alone; fresh ones only once all were taken;
        // nothing (the flush) only once all input was offered and taken.
        uint32_t offer = untaken;
        if (offer == 0) {
            const size_t want = offers.Next();
            offer = static_cast<uint32_t>(size - pos < want ? size - pos : want);
        }
        const uint32_t room = rooms.Next();
        uint8_t* in = inBuf.Tail(offer);
        std::memcpy(in, data + pos, offer);
        uint8_t* out = outBuf.Tail(room);
        uint32_t inLen = offer;
        uint32_t outLen = room;
        const uint32_t status = RelcEncode(in, out, &inLen, &outLen);
        ++result.calls;

        FUZZ_CHECK(inLen <= offer, "encoder took more than offered");
        FUZZ_CHECK(outLen <= room, "encoder wrote more than the room");
        FUZZ_CHECK((status & 0xFF) == 0, "encoder reported an error");
        FUZZ_CHECK((status & ~0x7FFu) == 0, "unknown status bits");
        FUZZ_CHECK(!(status & RELC_NEED_INPUT) || inLen == offer, "NEED_INPUT with bytes left untaken");
        FUZZ_CHECK(!(status & RELC_OUTPUT_FULL) || outLen == room, "OUTPUT_FULL with room left");
        pos += inLen;
        untaken = offer - inLen;
        result.stream.insert(result.stream.end(), out, out + outLen);
        if (status & RELC_STREAM_END) {
            FUZZ_CHECK(pos == size, "stream ended before all input was taken");
            return result;
        }
        if (meddle && result.calls == 1) {
            FUZZ_CHECK(RelcInitEncoder(129, size) == RELC_E_PARAM, "depth 129 accepted");
            FUZZ_CHECK(RelcInitEncoder(0, 0) == RELC_E_PARAM, "total size 0 accepted");
        }
    }
}

}  // namespace relc_fuzz
