#include "stream_io.h"

StreamResult EncodeRelcStream(ByteSource& in, uint64_t totalSize, ByteSink& out)
{
    if (totalSize == 0) {
        StreamResult result;
        result.status = StreamStatus::EmptyInput;
        return result;
    }
    const StreamBuffers buffers;
    return RelcEncodeStream(in, totalSize, out, buffers.View());
}

StreamResult DecodeRelcStream(ByteSource& in, ByteSink& out)
{
    const StreamBuffers buffers;
    return RelcDecodeStream(in, out, buffers.View());
}
