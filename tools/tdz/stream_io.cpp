#include "stream_io.h"

#include <memory>

namespace {

struct Buffers {
    std::unique_ptr<uint8_t[]> in{new uint8_t[kStreamBufferSize]};
    std::unique_ptr<uint8_t[]> out{new uint8_t[kStreamBufferSize]};

    RelcStreamBuffers View() const { return {in.get(), kStreamBufferSize, out.get(), kStreamBufferSize}; }
};

}  // namespace

StreamResult EncodeRelcStream(ByteSource& in, uint64_t totalSize, ByteSink& out, const RelcStreamOptions& options)
{
    if (totalSize == 0) {
        StreamResult result;
        result.status = StreamStatus::EmptyInput;
        return result;
    }
    const Buffers buffers;
    return RelcEncodeStream(in, totalSize, out, buffers.View(), options);
}

StreamResult DecodeRelcStream(ByteSource& in, ByteSink& out)
{
    const Buffers buffers;
    return RelcDecodeStream(in, out, buffers.View());
}
