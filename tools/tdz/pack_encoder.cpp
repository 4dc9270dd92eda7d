#include "pack_encoder.h"

#ifdef TDZ_PARALLEL_PACK
#include "codec/relc_parallel.h"
#endif

StreamResult EncodeOnThreads(ByteSource& in, uint64_t totalSize, ByteSink& out, unsigned threads)
{
#ifdef TDZ_PARALLEL_PACK
    if (threads > 1)
        return EncodeRelcStreamParallel(in, totalSize, out, threads);
#endif
    // The Windows builds have no threads to spare (their thread model has
    // no std::thread); one thread gives the same stream.
    (void)threads;
    return EncodeRelcStream(in, totalSize, out);
}

void EncodeStreamsOnThreads(RelcStreamFeed& feed, unsigned threads)
{
#ifdef TDZ_PARALLEL_PACK
    if (threads > 1) {
        EncodeRelcStreamsParallel(feed, threads);
        return;
    }
#endif
    (void)threads;
    const StreamBuffers buffers;  // one pair for the whole run
    RelcFeedStream stream;
    while (feed.Next(&stream)) {
        RelcStreamOptions options;
        options.byteSum = stream.byteSum;
        options.hooks = stream.hooks;
        feed.Ended(RelcEncodeStream(*stream.in, stream.totalSize, *stream.out, buffers.View(), options));
    }
}
