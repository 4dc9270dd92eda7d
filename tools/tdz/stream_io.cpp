#include "stream_io.h"

#include <memory>

#include "codec/relc.h"

namespace {

// A call that moves no byte is legal once in a while (a flush that only
// changes state); two in a row would loop forever.
constexpr int kMaxIdleCalls = 2;

struct Buffers {
    std::unique_ptr<uint8_t[]> in{new uint8_t[kStreamBufferSize]};
    std::unique_ptr<uint8_t[]> out{new uint8_t[kStreamBufferSize]};
};

// The part of the input buffer that was read but not yet taken by the codec.
struct Pending {
    size_t pos = 0;
    size_t end = 0;
    uint64_t totalRead = 0;
    bool inputDone = false;
    bool readFailed = false;

    // Refills the buffer once the codec has taken everything in it.
    void RefillIfTaken(ByteSource& src, uint8_t* buf)
    {
        if (pos != end || inputDone)
            return;
        pos = 0;
        end = src.Read(buf, kStreamBufferSize);
        totalRead += end;
        if (end == 0) {
            inputDone = true;
            readFailed = src.Failed();
        }
    }
    uint32_t Offered() const { return static_cast<uint32_t>(end - pos); }
};

}  // namespace

StreamResult EncodeRelcStream(ByteSource& in, uint64_t totalSize, ByteSink& out)
{
    StreamResult result;
    if (totalSize == 0 || RelcInitEncoder(0, totalSize) != 0) {
        result.status = StreamStatus::EmptyInput;
        return result;
    }
    Buffers buf;
    Pending pending;
    int idleCalls = 0;
    for (;;) {
        pending.RefillIfTaken(in, buf.in.get());
        if (pending.readFailed) {
            result.status = StreamStatus::ReadFailed;
            return result;
        }
        // The codec was told totalSize; a file that grew or shrank since
        // would make that a lie.
        if (pending.totalRead > totalSize || (pending.inputDone && pending.totalRead != totalSize)) {
            result.status = StreamStatus::SizeChanged;
            return result;
        }
        // Once the input is exhausted, inLen = 0 asks the encoder to flush.
        uint32_t inLen = pending.Offered();
        uint32_t outLen = static_cast<uint32_t>(kStreamBufferSize);
        const uint32_t status = RelcEncode(buf.in.get() + pending.pos, buf.out.get(), &inLen, &outLen);
        pending.pos += inLen;
        result.inputOffset += inLen;
        if (outLen != 0 && !out.Write(buf.out.get(), outLen)) {
            result.status = StreamStatus::WriteFailed;
            return result;
        }
        result.bytesOut += outLen;
        if (status & RELC_STREAM_END)
            return result;
        idleCalls = (inLen == 0 && outLen == 0) ? idleCalls + 1 : 0;
        if (idleCalls >= kMaxIdleCalls) {
            result.status = StreamStatus::Stalled;
            return result;
        }
    }
}

StreamResult DecodeRelcStream(ByteSource& in, ByteSink& out)
{
    StreamResult result;
    RelcInitDecoder();
    Buffers buf;
    Pending pending;
    int idleCalls = 0;
    for (;;) {
        pending.RefillIfTaken(in, buf.in.get());
        if (pending.readFailed) {
            result.status = StreamStatus::ReadFailed;
            return result;
        }
        uint32_t inLen = pending.Offered();
        uint32_t outLen = static_cast<uint32_t>(kStreamBufferSize);
        const uint32_t status = RelcDecode(buf.in.get() + pending.pos, buf.out.get(), &inLen, &outLen);
        pending.pos += inLen;
        result.inputOffset += inLen;
        // Bytes decoded before damage was found are still written: they are
        // correct, and the output file is dropped on failure anyway.
        if (outLen != 0 && !out.Write(buf.out.get(), outLen)) {
            result.status = StreamStatus::WriteFailed;
            return result;
        }
        result.bytesOut += outLen;
        if ((status & 0xFF) != 0) {
            result.status = StreamStatus::Corrupt;
            return result;
        }
        if (status & RELC_STREAM_END) {
            uint8_t probe = 0;
            if (pending.pos != pending.end || (!pending.inputDone && in.Read(&probe, 1) != 0))
                result.status = StreamStatus::TrailingData;
            else if (in.Failed())
                result.status = StreamStatus::ReadFailed;
            return result;
        }
        // Everything offered was taken and nothing waits for room: only more
        // input could make progress, and there is none.
        if (pending.inputDone && (status & RELC_NEED_INPUT) && !(status & RELC_OUTPUT_FULL)) {
            result.status = StreamStatus::Truncated;
            return result;
        }
        idleCalls = (inLen == 0 && outLen == 0) ? idleCalls + 1 : 0;
        if (idleCalls >= kMaxIdleCalls) {
            result.status = StreamStatus::Stalled;
            return result;
        }
    }
}
