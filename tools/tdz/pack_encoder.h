// The one place where the thread count of -T meets the encoder: pack and
// encode both code their input through here.
#pragma once

#include <cstdint>

#include "byte_stream.h"
#include "stream_io.h"

// Encodes exactly totalSize bytes of in into a relc stream on up to threads
// threads; the stream is the same byte for byte whatever the count.
[[nodiscard]] StreamResult EncodeOnThreads(ByteSource& in, uint64_t totalSize, ByteSink& out, unsigned threads);

// Codes the feed's streams in order, each as EncodeOnThreads would; on more
// than one thread a stream is begun while the last blocks of the one
// before are still being coded.
void EncodeStreamsOnThreads(RelcStreamFeed& feed, unsigned threads);
