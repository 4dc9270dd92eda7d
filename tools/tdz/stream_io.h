// The tool's streams through the codec's stream driver, with buffers of the
// size the tool reads and writes in.
#pragma once

#include <cstddef>
#include <cstdint>

#include "byte_stream.h"

constexpr size_t kStreamBufferSize = 512 * 1024;

// Encodes exactly totalSize bytes of in into a relc stream.
[[nodiscard]] StreamResult EncodeRelcStream(ByteSource& in, uint64_t totalSize, ByteSink& out,
                                            const RelcStreamOptions& options = RelcStreamOptions());

// Decodes one relc stream that must fill in exactly.
[[nodiscard]] StreamResult DecodeRelcStream(ByteSource& in, ByteSink& out);
