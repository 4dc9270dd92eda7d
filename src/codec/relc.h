// relc: the byte-oriented LZ77 coder that .tdz containers carry.
//
// Stream: blocks, then the end-of-stream marker 00 00. Every multi-byte
// field is big-endian. A block header H is 0x0000 (end of stream), 0x8000|n
// (n raw bytes follow, n = 0 meaning 32768) or the length of a coded payload.
// A coded payload is a 16-bit control word (bit 15 first, 1 = match) followed
// by up to sixteen tokens, repeated; a literal is one byte, a match two bytes
// ((dist >> 8) << 3 | code, dist & 0xFF) plus extension bytes when code is 7.
// Distance 0 is the end-of-block marker. The first block codes up to 32768
// input bytes, every later block up to 24576 behind 8192 bytes of history.
//
// Both directions share one process-wide static workspace: one stream at a
// time, on one thread, and never an encoder and a decoder interleaved.
// Nothing is allocated per stream or per block.
//
// Portable: no platform headers, built by every toolchain of the project.
#pragma once

#include <cstdint>

// Status word bits of RelcEncode and RelcDecode. The low byte carries an
// error code (RELC_E_DATA) or 0.
constexpr uint32_t RELC_NEED_INPUT  = 0x100;  // every offered byte was taken
constexpr uint32_t RELC_OUTPUT_FULL = 0x200;  // the output room ran out (or was filled exactly)
constexpr uint32_t RELC_STREAM_END  = 0x400;  // end-of-stream marker delivered / read
constexpr uint32_t RELC_E_PARAM     = 10;     // RelcInitEncoder: bad argument
constexpr uint32_t RELC_E_DATA      = 11;     // RelcDecode: corrupt stream

constexpr uint32_t RELC_WINDOW_SIZE  = 32768;  // bytes of one window
constexpr uint32_t RELC_HISTORY_SIZE = 8192;   // bytes a later block keeps of its predecessor
constexpr uint32_t RELC_STAGING_SIZE = 32770;  // one block with its header
constexpr uint32_t RELC_MAX_DISTANCE = 8191;

// Starts a compression stream of totalSize bytes. depthLevel 0 selects the
// unbounded chain walk (32767 candidates); any other value up to 128 is the
// candidate limit itself. Returns 0, or RELC_E_PARAM for totalSize 0 or
// depthLevel > 128, leaving the workspace untouched.
[[nodiscard]] uint32_t RelcInitEncoder(int32_t depthLevel, uint64_t totalSize);

// Offers *inLen input bytes and *outLen bytes of room. On return *inLen holds
// the bytes taken and *outLen the bytes written. Offer inLen = 0 once all
// input has been offered, and keep calling so until RELC_STREAM_END; after a
// call without RELC_NEED_INPUT, offer again the bytes that were not taken.
// Never writes more than *outLen bytes; the output of a stream is the same
// whatever the sizes of the offers and of the room.
[[nodiscard]] uint32_t RelcEncode(const uint8_t* in, uint8_t* out, uint32_t* inLen, uint32_t* outLen);

// Starts a decompression stream.
void RelcInitDecoder();

// Offers *inLen stream bytes and *outLen bytes of room; on return the bytes
// taken and written. Call until RELC_STREAM_END, or until the low byte is
// RELC_E_DATA (the stream is corrupt and cannot be resumed). A call that
// reports RELC_NEED_INPUT without RELC_OUTPUT_FULL has nothing left to
// deliver until more bytes are offered. Whatever it is fed, it reads only
// the *inLen bytes offered and writes only the *outLen bytes of room.
[[nodiscard]] uint32_t RelcDecode(const uint8_t* in, uint8_t* out, uint32_t* inLen, uint32_t* outLen);
