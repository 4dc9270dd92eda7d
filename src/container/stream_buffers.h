// The two static buffers of the stream loops, shared by compression and
// decompression. Like the codec's workspace they belong to the one worker
// thread of a process: one stream at a time.
#pragma once

#include <cstddef>
#include <cstdint>

// Source bytes: read from the file when compressing, decoded into when
// decompressing.
constexpr size_t kPlainBufferSize = 524288;
// Stream bytes: encoded into when compressing, read from the container when
// decompressing. A whole plain buffer of incompressible bytes, with its
// block headers, nearly fits.
constexpr size_t kPackedBufferSize = 524320;

extern uint8_t g_plainBuffer[kPlainBufferSize];
extern uint8_t g_packedBuffer[kPackedBufferSize];
