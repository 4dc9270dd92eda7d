#include "pack_encoder.h"

StreamResult EncodeOnThreads(ByteSource& in, uint64_t totalSize, ByteSink& out, unsigned threads)
{
    // One thread until the block-parallel encoder is there to hand the
    // count to; the stream would be the same either way.
    (void)threads;
    return EncodeRelcStream(in, totalSize, out);
}
