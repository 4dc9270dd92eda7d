#include "codec/relc_driver.h"

#include "codec/relc.h"

namespace {

// A call that moves no byte is legal once in a while (a flush that only
// changes state); two in a row would loop forever.
constexpr int kMaxIdleCalls = 2;

// The codec takes lengths as 32 bits; memory is offered in pieces below that.
constexpr uint64_t kMaxOffer = 1u << 30;

uint32_t Offer(uint64_t left, uint64_t cap)
{
    const uint64_t n = left < cap ? left : cap;
    return static_cast<uint32_t>(n < kMaxOffer ? n : kMaxOffer);
}

// The input side over a byte source and the caller's buffer. The codec is
// offered what is left of the last read; a new read happens only once it
// has taken all of it.
class SourceInput {
public:
    SourceInput(ByteSource& source, uint8_t* buf, size_t cap) : source_(source), buf_(buf), cap_(cap) {}

    // false when the source failed.
    bool Refill()
    {
        pos_ = 0;
        end_ = source_.Read(buf_, cap_);
        read_ += end_;
        if (end_ == 0) {
            done_ = true;
            return !source_.Failed();
        }
        return true;
    }
    const uint8_t* Data() const { return buf_ + pos_; }
    uint32_t Offered() const { return Offer(end_ - pos_, cap_); }
    void Take(uint32_t n) { pos_ += n; }
    bool Done() const { return done_; }
    uint64_t Read() const { return read_; }
    uint64_t Held() const { return end_ - pos_; }
    // After the end-of-stream marker: 1 if the source has more, 0 if not,
    // -1 if it failed.
    int More()
    {
        if (done_)
            return source_.Failed() ? -1 : 0;
        uint8_t probe = 0;
        if (source_.Read(&probe, 1) != 0)
            return 1;
        return source_.Failed() ? -1 : 0;
    }

private:
    ByteSource& source_;
    uint8_t* buf_;
    size_t cap_;
    size_t pos_ = 0;
    size_t end_ = 0;
    uint64_t read_ = 0;
    bool done_ = false;
};

class MemoryInput {
public:
    MemoryInput(const uint8_t* data, uint64_t size) : data_(data), size_(size) {}

    bool Refill()
    {
        done_ = pos_ == size_;
        return true;
    }
    const uint8_t* Data() const { return data_ + pos_; }
    uint32_t Offered() const { return Offer(size_ - pos_, kMaxOffer); }
    void Take(uint32_t n) { pos_ += n; }
    bool Done() const { return done_; }
    uint64_t Read() const { return size_; }
    uint64_t Held() const { return size_ - pos_; }
    int More() const { return 0; }

private:
    const uint8_t* data_;
    uint64_t size_;
    uint64_t pos_ = 0;
    bool done_ = false;
};

// The output side: the codec writes into Room(); Commit hands the bytes on.
class SinkOutput {
public:
    SinkOutput(ByteSink& sink, uint8_t* buf, size_t cap) : sink_(sink), buf_(buf), cap_(cap) {}

    uint8_t* Room() const { return buf_; }
    uint32_t RoomSize() const { return Offer(cap_, cap_); }
    const uint8_t* Committable() const { return buf_; }
    bool Commit(uint32_t n) { return sink_.Write(buf_, n); }

private:
    ByteSink& sink_;
    uint8_t* buf_;
    size_t cap_;
};

class MemoryOutput {
public:
    MemoryOutput(uint8_t* dst, uint64_t cap) : dst_(dst), cap_(cap) {}

    uint8_t* Room() const { return dst_ + pos_; }
    uint32_t RoomSize() const { return Offer(cap_ - pos_, kMaxOffer); }
    const uint8_t* Committable() const { return dst_ + pos_; }
    bool Commit(uint32_t n)
    {
        pos_ += n;
        return true;
    }

private:
    uint8_t* dst_;
    uint64_t cap_;
    uint64_t pos_ = 0;
};

bool Cancelled(const RelcStreamOptions& options)
{
    const RelcStreamHooks* h = options.hooks;
    return h != nullptr && h->cancelled != nullptr && h->cancelled(h->context);
}

void Progress(const RelcStreamOptions& options, uint64_t plainBytes)
{
    const RelcStreamHooks* h = options.hooks;
    if (h != nullptr && h->progress != nullptr)
        h->progress(h->context, plainBytes);
}

StreamResult Stop(StreamResult result, StreamStatus status)
{
    result.status = status;
    return result;
}

template <class Input, class Output>
StreamResult EncodeWorker(Input& in, uint64_t totalSize, Output& out, const RelcStreamOptions& options)
{
    StreamResult result;
    if (totalSize == 0 || RelcInitEncoder(options.depthLevel, totalSize) != 0)
        return Stop(result, StreamStatus::EmptyInput);
    uint32_t status = RELC_NEED_INPUT;
    int idleCalls = 0;
    for (;;) {
        if (Cancelled(options))
            return Stop(result, StreamStatus::Cancelled);
        if ((status & RELC_NEED_INPUT) != 0 && !in.Done() && !in.Refill())
            return Stop(result, StreamStatus::ReadFailed);
        // The codec was told totalSize; a source that grew or shrank since
        // would make that a lie.
        if (in.Read() > totalSize || (in.Done() && in.Read() != totalSize))
            return Stop(result, StreamStatus::SizeChanged);

        // Once the input is exhausted, inLen = 0 asks the encoder to flush.
        const uint32_t room = out.RoomSize();
        uint32_t inLen = in.Offered();
        uint32_t outLen = room;
        status = RelcEncode(in.Data(), out.Room(), &inLen, &outLen);
        result.codecStatus = status;
        if ((status & 0xFF) != 0)
            return Stop(result, StreamStatus::Corrupt);
        const uint8_t* taken = in.Data();
        in.Take(inLen);
        result.inputOffset += inLen;
        if (outLen != 0 && !out.Commit(outLen))
            return Stop(result, StreamStatus::WriteFailed);
        result.bytesOut += outLen;
        if (options.byteSum != nullptr)
            RelcAddByteSum(taken, inLen, options.byteSum);
        Progress(options, result.inputOffset);

        if ((status & RELC_STREAM_END) != 0)
            return result;
        if (room == 0 && (status & RELC_OUTPUT_FULL) != 0)
            return Stop(result, StreamStatus::WriteFailed);
        idleCalls = (inLen == 0 && outLen == 0) ? idleCalls + 1 : 0;
        if (idleCalls >= kMaxIdleCalls)
            return Stop(result, StreamStatus::Stalled);
    }
}

template <class Input, class Output>
StreamResult DecodeWorker(Input& in, Output& out, const RelcStreamOptions& options)
{
    StreamResult result;
    const uint64_t expected = options.expectedSize;
    RelcInitDecoder();
    uint32_t status = RELC_NEED_INPUT;
    int idleCalls = 0;
    for (;;) {
        if (Cancelled(options))
            return Stop(result, StreamStatus::Cancelled);
        if ((status & RELC_NEED_INPUT) != 0 && !in.Done() && !in.Refill())
            return Stop(result, StreamStatus::ReadFailed);

        const uint32_t room = out.RoomSize();
        uint32_t inLen = in.Offered();
        uint32_t outLen = room;
        status = RelcDecode(in.Data(), out.Room(), &inLen, &outLen);
        result.codecStatus = status;
        in.Take(inLen);
        result.inputOffset += inLen;
        if ((status & 0xFF) != 0)
            return Stop(result, StreamStatus::Corrupt);
        if (outLen != 0) {
            // More bytes than expected: no reason to let the rest fill the
            // disk before saying so.
            if (expected != kRelcSizeUnknown && outLen > expected - result.bytesOut)
                return Stop(result, StreamStatus::SizeChanged);
            const uint8_t* produced = out.Committable();
            if (!out.Commit(outLen))
                return Stop(result, StreamStatus::WriteFailed);
            result.bytesOut += outLen;
            if (options.byteSum != nullptr)
                RelcAddByteSum(produced, outLen, options.byteSum);
        }
        Progress(options, result.bytesOut);

        if ((status & RELC_STREAM_END) != 0) {
            result.unusedInput = in.Held();
            if (result.unusedInput != 0)
                return Stop(result, StreamStatus::TrailingData);
            const int more = in.More();
            if (more != 0)
                return Stop(result, more > 0 ? StreamStatus::TrailingData : StreamStatus::ReadFailed);
            if (expected != kRelcSizeUnknown && result.bytesOut != expected)
                return Stop(result, StreamStatus::SizeChanged);
            return result;
        }
        if (room == 0 && (status & RELC_OUTPUT_FULL) != 0)
            return Stop(result, StreamStatus::WriteFailed);
        // Everything offered was taken and nothing waits for room: only more
        // input could make progress, and there is none.
        if (in.Done() && (status & RELC_NEED_INPUT) != 0 && (status & RELC_OUTPUT_FULL) == 0)
            return Stop(result, StreamStatus::Truncated);
        idleCalls = (inLen == 0 && outLen == 0) ? idleCalls + 1 : 0;
        if (idleCalls >= kMaxIdleCalls)
            return Stop(result, StreamStatus::Stalled);
    }
}

}  // namespace

void RelcAddByteSum(const uint8_t* bytes, size_t count, uint32_t* sum)
{
    // Four independent lanes keep the loop from waiting on one adder; the
    // sum is the same mod 2^32 in any order.
    uint32_t lane[4] = {*sum, 0, 0, 0};
    size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        lane[0] += bytes[i];
        lane[1] += bytes[i + 1];
        lane[2] += bytes[i + 2];
        lane[3] += bytes[i + 3];
    }
    for (; i < count; ++i)
        lane[0] += bytes[i];
    *sum = lane[0] + lane[1] + lane[2] + lane[3];
}

StreamResult RelcEncodeStream(ByteSource& in, uint64_t totalSize, ByteSink& out, const RelcStreamBuffers& buffers,
                              const RelcStreamOptions& options)
{
    SourceInput input(in, buffers.in, buffers.inSize);
    SinkOutput output(out, buffers.out, buffers.outSize);
    return EncodeWorker(input, totalSize, output, options);
}

StreamResult RelcDecodeStream(ByteSource& in, ByteSink& out, const RelcStreamBuffers& buffers,
                              const RelcStreamOptions& options)
{
    SourceInput input(in, buffers.in, buffers.inSize);
    SinkOutput output(out, buffers.out, buffers.outSize);
    return DecodeWorker(input, output, options);
}

StreamResult RelcEncodeMemory(const uint8_t* data, uint64_t size, uint8_t* dst, uint64_t dstCap,
                              const RelcStreamOptions& options)
{
    MemoryInput input(data, size);
    MemoryOutput output(dst, dstCap);
    return EncodeWorker(input, size, output, options);
}

StreamResult RelcDecodeMemory(const uint8_t* stream, uint64_t size, uint8_t* dst, uint64_t dstCap,
                              const RelcStreamOptions& options)
{
    MemoryInput input(stream, size);
    MemoryOutput output(dst, dstCap);
    return DecodeWorker(input, output, options);
}
