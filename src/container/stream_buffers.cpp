#include "container/stream_buffers.h"

alignas(64) uint8_t g_plainBuffer[kPlainBufferSize];
alignas(64) uint8_t g_packedBuffer[kPackedBufferSize];
