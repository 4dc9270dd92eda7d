// relc one block at a time, outside the process-wide workspace.
//
// A stream's block boundaries depend only on input offsets: block 0 codes
// the first min(total, 32768) bytes, every later block the next
// min(remaining, 24576) bytes behind the 8192 input bytes before them. Each
// block can therefore be coded on its own, given those 8192 bytes, and its
// bytes are exactly those the incremental encoder writes for it. That lets
// several threads code the blocks of one stream, and lets a reader decode
// from any block boundary whose preceding 8192 output bytes it has kept.
//
// The incremental interface of relc.h keeps its one static workspace; the
// states here are the caller's, one per thread.
//
// Portable: no platform headers.
#pragma once

#include <cstdint>

#include "codec/relc.h"

// Room a decoding window needs: the window plus the bytes that the fast
// copies may write past its end.
constexpr uint32_t RELC_BLOCK_WINDOW_ROOM = RELC_WINDOW_SIZE + 32;

// Block layout of a stream of totalSize (> 0) input bytes.
constexpr uint64_t RelcBlockCount(uint64_t totalSize)
{
    return totalSize <= RELC_WINDOW_SIZE
               ? 1
               : 1 + (totalSize - RELC_WINDOW_SIZE + (RELC_WINDOW_SIZE - RELC_HISTORY_SIZE) - 1) /
                         (RELC_WINDOW_SIZE - RELC_HISTORY_SIZE);
}
constexpr uint64_t RelcBlockOffset(uint64_t index)
{
    return index == 0 ? 0 : RELC_WINDOW_SIZE + (index - 1) * (RELC_WINDOW_SIZE - RELC_HISTORY_SIZE);
}
constexpr uint32_t RelcBlockLength(uint64_t index, uint64_t totalSize)
{
    const uint64_t start = RelcBlockOffset(index);
    const uint64_t full = index == 0 ? RELC_WINDOW_SIZE : RELC_WINDOW_SIZE - RELC_HISTORY_SIZE;
    return start >= totalSize ? 0 : uint32_t(totalSize - start < full ? totalSize - start : full);
}

// The encoder state of one thread: allocated once, reused for every block.
struct RelcBlockEncoder;

// depthLevel as for RelcInitEncoder. Returns nullptr for depthLevel > 128 or
// when the memory cannot be had.
[[nodiscard]] RelcBlockEncoder* RelcNewBlockEncoder(int32_t depthLevel);
void RelcFreeBlockEncoder(RelcBlockEncoder* encoder);

// Codes one block: history is the RELC_HISTORY_SIZE input bytes before it
// (nullptr for block 0), newBytes its 1 to 32768 (block 0) or 1 to 24576
// (later blocks) new bytes. Writes the block, header included, to out, which
// has room for RELC_STAGING_SIZE bytes; returns the bytes written, 0 for a
// newCount out of those bounds. The end of the stream is the 2-byte marker
// 00 00 after the last block. The bytes never depend on what the encoder
// coded before, but a block that directly follows the encoder's previous
// full block in the stream reuses its history's search tables: an owner
// that hands each encoder runs of consecutive blocks codes them faster.
[[nodiscard]] uint32_t RelcEncodeBlock(RelcBlockEncoder* encoder, const uint8_t* history,
                                       const uint8_t* newBytes, uint32_t newCount, uint8_t* out);

// Total size of the block whose first two (header) bytes are at header:
// 2 for the end-of-stream marker.
constexpr uint32_t RelcBlockSize(const uint8_t* header)
{
    const uint32_t h = (uint32_t(header[0]) << 8) | header[1];
    if (h == 0) return 2;
    if (h & 0x8000) return 2 + ((h & 0x7FFF) == 0 ? RELC_WINDOW_SIZE : (h & 0x7FFF));
    return 2 + h;
}

// Decodes one whole block (header included, size bytes, as RelcBlockSize
// gives) into window, which has RELC_BLOCK_WINDOW_ROOM bytes and holds
// historyLen (0 for block 0, else RELC_HISTORY_SIZE) bytes of history at its
// start. The new bytes land at window + historyLen; *produced tells how
// many. Returns 0, RELC_STREAM_END for the end-of-stream marker (nothing
// produced), RELC_E_DATA for a corrupt block (the end marker as block 0, or
// a size other than RelcBlockSize gives included), with the same checks as
// RelcDecode, or RELC_E_PARAM for any other historyLen. It never reads
// outside the size bytes nor writes outside the window room, and touches no
// state but its arguments: threads may decode blocks at the same time.
[[nodiscard]] uint32_t RelcDecodeBlock(const uint8_t* block, uint32_t size, uint8_t* window,
                                       uint32_t historyLen, uint32_t* produced);
