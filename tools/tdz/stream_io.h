// Streaming loops between byte sources and sinks and the relc codec, through
// bounded buffers, following the codec's calling order.
#pragma once

#include <cstddef>
#include <cstdint>

#include "byte_stream.h"

constexpr size_t kStreamBufferSize = 512 * 1024;

enum class StreamStatus {
    Ok,
    ReadFailed,     // the source reported an error
    WriteFailed,    // the sink refused bytes
    EmptyInput,     // relc has no stream for 0 bytes
    SizeChanged,    // the source did not hold the size announced
    Corrupt,        // the decoder reported RELC_E_DATA
    Truncated,      // the input ended before the end-of-stream marker
    TrailingData,   // bytes follow the end-of-stream marker
    Stalled,        // the codec neither took nor gave bytes: never expected
};

struct StreamResult {
    StreamStatus status = StreamStatus::Ok;
    uint64_t inputOffset = 0;  // input bytes the codec had taken when the loop stopped
    uint64_t bytesOut = 0;     // bytes handed to the sink
};

// Encodes exactly totalSize bytes of in into a relc stream.
[[nodiscard]] StreamResult EncodeRelcStream(ByteSource& in, uint64_t totalSize, ByteSink& out);

// Decodes one relc stream that must fill in exactly.
[[nodiscard]] StreamResult DecodeRelcStream(ByteSource& in, ByteSink& out);
