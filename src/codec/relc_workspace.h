// The one process-wide workspace shared by the relc encoder and decoder.
// Internal to src/codec.
#pragma once

#include <cstdint>

#include "codec/relc.h"

namespace relc_detail {

constexpr uint32_t FLAG_HISTORY_PRESENT = 0x001;
constexpr uint32_t FLAG_WINDOW_WAS_FULL = 0x002;
constexpr uint32_t FLAG_END_MARKER      = 0x100;

// Bytes a later block adds behind the history.
constexpr uint32_t NEW_BYTES_LATER_BLOCK = RELC_WINDOW_SIZE - RELC_HISTORY_SIZE;

// Bytes behind the window that the decoder's fast copies may scribble on:
// they write whole 16-byte chunks past the end of a match or literal run.
constexpr uint32_t WINDOW_SLACK = 32;

constexpr uint32_t PREV_HASH_BITS = 16;
constexpr uint32_t PREV_HASH_SIZE = 1u << PREV_HASH_BITS;

// What the encoder needs to code one block: the window and the match
// search's tables. The process-wide workspace is one; every RelcBlockEncoder
// is another, so one encoder core serves both interfaces. Zero-initialised
// before its first block (a static, or value-initialised): the heads must
// start out empty.
struct EncoderState {
    uint8_t window[RELC_WINDOW_SIZE];
    uint8_t windowSlack[WINDOW_SLACK];
    // prev[s]: distance back to the nearest earlier position with the same
    // three bytes as s, 0 when there is none. Window positions are below
    // 32768, so every distance fits in 16 bits.
    uint16_t prev[RELC_WINDOW_SIZE];
    // The same for five and for eight bytes, built for a block only once
    // its three-byte chains prove long (wideChains set): the search then
    // walks the sparser chains its match length allows.
    uint16_t prev5[RELC_WINDOW_SIZE];
    uint16_t prev8[RELC_WINDOW_SIZE];
    bool wideChains;
    // Candidates the block's searches visited beyond a share per search.
    int32_t chainExcess;
    // The chain builders' heads: the last position of each key hash, as
    // headBase + position, so that every build moves headBase on instead
    // of clearing them; and for each position the distance back to the one
    // before it with the same hash.
    uint32_t head[PREV_HASH_SIZE];
    uint16_t hashPrev[RELC_WINDOW_SIZE];
    uint32_t headBase;
    // prev, hashPrev and the heads hold the three-byte chains of a whole
    // window, which a block behind it can take over for its history.
    bool chainsCarry;
    int32_t searchDepth;
};

// The decoder shares the window (and its slack) with the encoder.
struct Workspace : EncoderState {
    uint8_t staging[RELC_STAGING_SIZE];

    uint32_t flags;
    uint64_t totalSize;

    // Encoder: free bytes of the window; staging holds one coded block (or
    // the end marker) of which stagingCount bytes from stagingRead are
    // still to be delivered.
    uint16_t windowFree;
    uint16_t stagingCount;
    uint32_t stagingRead;

    // Decoder: bytes of the block being gathered, whether that block is
    // complete, and the decoded bytes of the last block not yet delivered
    // (outputPending bytes from outputRead).
    uint32_t stagedBytes;
    bool stagedComplete;
    uint32_t outputRead;
    uint16_t outputPending;
};

extern Workspace g_ws;

struct Match {
    uint32_t length;  // 0: none
    uint32_t distance;
};

// Longest earlier occurrence of the window's bytes at position i, among the
// first count bytes, as the encoder searches it (prev table already built).
Match FindMatch(EncoderState& st, uint32_t i, uint32_t count);
inline Match FindMatch(uint32_t i, uint32_t count) { return FindMatch(g_ws, i, count); }

// Fills st.prev[0..count) for the window's first count bytes, and starts
// the block without its wider chains.
void BuildPrevTable(EncoderState& st, uint32_t count);
// The same when the window's first RELC_HISTORY_SIZE bytes are the last
// ones of the window st coded before: their chains are taken over.
void BuildPrevTableBehind(EncoderState& st, uint32_t count);
// Fills st.prev5 and st.prev8 for the same bytes and sets wideChains.
void BuildWideChains(EncoderState& st, uint32_t count);
inline void BuildPrevTable(uint32_t count) { BuildPrevTable(g_ws, count); }

// Codes window[start..count) behind the history window[0..start) as one
// block, header included, into target (room for RELC_STAGING_SIZE bytes);
// returns the bytes written. count > start. follows: the history is the
// end of the window st coded last.
uint32_t EncodeBlock(EncoderState& st, uint32_t start, uint32_t count, uint8_t* target, bool follows);

inline uint32_t ReadBE16(const uint8_t* p) { return (uint32_t(p[0]) << 8) | p[1]; }
inline void WriteBE16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 8);
    p[1] = uint8_t(v);
}

}  // namespace relc_detail
