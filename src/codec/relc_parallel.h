// relc encoding on several threads: the same stream as RelcEncodeStream,
// byte for byte, with the blocks coded side by side.
//
// Needs std::thread: built in the host tree only.
#pragma once

#include <cstdint>

#include "codec/relc_driver.h"

// Encodes exactly totalSize bytes of in into one stream written to out, as
// RelcEncodeStream does and with its failure reports, coding blocks on
// threads threads, the calling one included (0: as many as the machine
// has cores). Each thread has its own block encoder, allocated once in the
// process and kept for later streams; blocks are written in order; the
// memory held during a stream is a few blocks per thread. byteSum (optional) gets the input
// bytes added; hooks (optional) are asked between blocks, plain bytes
// being the input bytes whose blocks were written. No thread is left
// running when it returns, whatever the outcome.
[[nodiscard]] StreamResult EncodeRelcStreamParallel(ByteSource& in, uint64_t totalSize, ByteSink& out,
                                                    unsigned threads, uint32_t* byteSum = nullptr,
                                                    const RelcStreamHooks* hooks = nullptr);

// Codes every stream of the feed, each exactly as EncodeRelcStreamParallel
// would, on threads threads (0: as many as the machine has cores). The
// next stream's blocks are read and coded while the last ones of the
// stream before are still being coded, so that a run of small files keeps
// every thread busy. A failing stream ends alone; the run goes on with the
// next. No thread is left running when it returns.
void EncodeRelcStreamsParallel(RelcStreamFeed& feed, unsigned threads);
