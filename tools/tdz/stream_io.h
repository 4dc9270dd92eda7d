// The tool's streams through the codec's stream driver, with buffers of the
// size the tool reads and writes in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "byte_stream.h"

constexpr size_t kStreamBufferSize = 512 * 1024;

// The pair of buffers a stream goes through; a run of streams keeps one
// pair, as fresh pages cost their first touch again for every file.
struct StreamBuffers {
    std::unique_ptr<uint8_t[]> in{new uint8_t[kStreamBufferSize]};
    std::unique_ptr<uint8_t[]> out{new uint8_t[kStreamBufferSize]};

    RelcStreamBuffers View() const { return {in.get(), kStreamBufferSize, out.get(), kStreamBufferSize}; }
};

// Encodes exactly totalSize bytes of in into a relc stream.
[[nodiscard]] StreamResult EncodeRelcStream(ByteSource& in, uint64_t totalSize, ByteSink& out);

// Decodes one relc stream that must fill in exactly.
[[nodiscard]] StreamResult DecodeRelcStream(ByteSource& in, ByteSink& out);
