// Driving a whole relc stream: between a byte source and a byte sink
// through the caller's buffers, or from memory to memory. Every program
// that codes a stream goes through the one worker behind these entry
// points, so the checks a stream needs (a codec that stalls, input that
// ends before the end-of-stream marker, bytes after it, an input that does
// not hold the size announced, a stream that decodes to a size other than
// the one expected) are made in one place.
//
// The incremental codec of relc.h is used in exactly its calling order, so
// the same rule holds: one stream at a time in a process, on one thread.
// Nothing is allocated here.
//
// Portable: no platform headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "codec/relc_block.h"

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

enum class StreamStatus {
    Ok,
    ReadFailed,     // the source reported an error
    WriteFailed,    // the sink refused bytes, or the memory output is full
    EmptyInput,     // relc has no stream for 0 bytes (or the depth was refused)
    SizeChanged,    // the source did not hold the size announced, or the
                    // stream decoded to another size than the one expected
    Corrupt,        // the codec reported an error (RELC_E_DATA when decoding)
    Truncated,      // the input ended before the end-of-stream marker
    TrailingData,   // bytes follow the end-of-stream marker
    Stalled,        // the codec neither took nor gave bytes: never expected
    Cancelled,      // the cancel hook said so
};

struct StreamResult {
    StreamStatus status = StreamStatus::Ok;
    uint64_t inputOffset = 0;  // input bytes the codec had taken when the loop stopped
    uint64_t bytesOut = 0;     // bytes handed to the sink
    uint32_t codecStatus = 0;  // the codec's last status word
    // Bytes read from the source that the codec never took. With
    // TrailingData: 0 when the extra bytes were found only by reading on
    // past what had been read with the end-of-stream marker.
    uint64_t unusedInput = 0;
};

constexpr uint64_t kRelcSizeUnknown = UINT64_MAX;

// Asked around every codec call, for the programs that show progress and
// can be cancelled. Plain bytes are the input taken when encoding and the
// output written when decoding.
struct RelcStreamHooks {
    void* context = nullptr;
    bool (*cancelled)(void* context) = nullptr;  // before every call: true stops with Cancelled
    void (*progress)(void* context, uint64_t plainBytes) = nullptr;  // after every call
};

struct RelcStreamOptions {
    int32_t depthLevel = 0;                    // as for RelcInitEncoder
    uint32_t* byteSum = nullptr;               // plain bytes are added to it (RelcAddByteSum)
    uint64_t expectedSize = kRelcSizeUnknown;  // decoding: the size the stream must give
    const RelcStreamHooks* hooks = nullptr;
};

// The caller's buffers: source bytes are read into in, codec output
// collects in out before it goes to the sink. Each at least 1 byte; the
// codec takes at most 4 GB - 1 of either per call.
struct RelcStreamBuffers {
    uint8_t* in;
    size_t inSize;
    uint8_t* out;
    size_t outSize;
};

// The running sum of bytes, mod 2^32, that the container's checksum is.
void RelcAddByteSum(const uint8_t* bytes, size_t count, uint32_t* sum);

// The longest stream size bytes can make: every block costs at most its
// header and the 3 bytes a coded payload may run past its new bytes.
constexpr uint64_t RelcStreamBound(uint64_t size)
{
    return size + 5 * RelcBlockCount(size == 0 ? 1 : size) + 2;
}

// One stream of a run of several (a packer's files): its source, its
// announced size, its sink, and as in RelcStreamOptions an optional byte
// sum and hooks (cancelled stops this stream only).
struct RelcFeedStream {
    ByteSource* in = nullptr;
    uint64_t totalSize = 0;
    ByteSink* out = nullptr;
    uint32_t* byteSum = nullptr;
    const RelcStreamHooks* hooks = nullptr;
};

// Where a run of streams comes from and where their ends are told. Both
// are called on the calling thread, which also does all of the streams'
// reading and writing.
class RelcStreamFeed {
public:
    virtual ~RelcStreamFeed() = default;
    // Gives the next stream, or false when there is none (and is not asked
    // again). Streams already given may still be open: a stream is begun
    // before the ones before it have ended.
    [[nodiscard]] virtual bool Next(RelcFeedStream* stream) = 0;
    // The oldest stream given and not yet ended has ended, with what
    // RelcEncodeStream would have returned for it; until then its
    // source, sink, sum and hooks must stay. Streams end in the order they
    // were given.
    virtual void Ended(const StreamResult& result) = 0;
};

// Encodes exactly totalSize bytes of in into one stream written to out.
[[nodiscard]] StreamResult RelcEncodeStream(ByteSource& in, uint64_t totalSize, ByteSink& out,
                                            const RelcStreamBuffers& buffers,
                                            const RelcStreamOptions& options = RelcStreamOptions());

// Decodes one stream that must fill in exactly.
[[nodiscard]] StreamResult RelcDecodeStream(ByteSource& in, ByteSink& out, const RelcStreamBuffers& buffers,
                                            const RelcStreamOptions& options = RelcStreamOptions());

// One shot from memory to memory: bytesOut is the size written to dst,
// which has room for dstCap bytes (RelcStreamBound(size) is always enough
// when encoding); output that does not fit is WriteFailed.
[[nodiscard]] StreamResult RelcEncodeMemory(const uint8_t* data, uint64_t size, uint8_t* dst, uint64_t dstCap,
                                            const RelcStreamOptions& options = RelcStreamOptions());
[[nodiscard]] StreamResult RelcDecodeMemory(const uint8_t* stream, uint64_t size, uint8_t* dst,
                                            uint64_t dstCap,
                                            const RelcStreamOptions& options = RelcStreamOptions());
