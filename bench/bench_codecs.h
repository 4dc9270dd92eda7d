// The codecs relc_bench compares, behind one whole-buffer interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Returned by Compress and Decompress when the codec failed.
constexpr size_t kCodecFailed = static_cast<size_t>(-1);

struct BenchCodec {
    const char* name;
    // Room Compress needs for size input bytes.
    size_t (*bound)(size_t size);
    // Returns the compressed size.
    size_t (*compress)(const uint8_t* src, size_t size, uint8_t* dst, size_t capacity);
    // Returns the decompressed size; capacity is the original size.
    size_t (*decompress)(const uint8_t* src, size_t size, uint8_t* dst, size_t capacity);
};

extern const BenchCodec kBenchCodecs[];
extern const size_t kBenchCodecCount;

// Codes inputs one after another as tdz pack FILE... does: on one thread
// each through the serial driver, on more as one run of streams whose
// files overlap. outputs gets each stream; returns false if one failed.
bool RelcPackRun(const std::vector<std::vector<uint8_t>>& inputs, unsigned threads,
                 std::vector<std::vector<uint8_t>>* outputs);
