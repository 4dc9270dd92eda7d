#include "codec/relc_workspace.h"

#include <cstring>

namespace relc_detail {

Workspace g_ws;

namespace {

// One stable counting-sort pass of src[0..m) into dst, keyed by W[s + off];
// hist holds the key counts, starts is scratch for the bucket starts.
inline void SortPass(const uint8_t* W, uint32_t off, const uint32_t* src, uint32_t* dst, uint32_t m,
                     const uint32_t* hist, uint32_t* starts) {
    uint32_t sum = 0;
    for (uint32_t k = 0; k < 256; ++k) {
        starts[k] = sum;
        sum += hist[k];
    }
    if (src == nullptr) {
        for (uint32_t s = 0; s < m; ++s) dst[starts[W[s + off]]++] = s;
    } else {
        for (uint32_t k = 0; k < m; ++k) {
            const uint32_t s = src[k];
            dst[starts[W[s + off]]++] = s;
        }
    }
}

}  // namespace

// prev[s] = s - s' for the greatest s' < s with the same three bytes at s'
// as at s, else 0. Sorting the start positions stably by their three bytes
// (three counting-sort passes, least significant byte first) puts equal keys
// next to each other in ascending position order, so each position's
// predecessor in the sorted order is the occurrence wanted.
//
// The prev table doubles as the middle pass's output: it is only written for
// real by the last loop, which reads the sorted positions alone.
void BuildPrevTable(EncoderState& ws, uint32_t count) {
    const uint8_t* W = ws.window;
    int32_t* prev = ws.prev;
    if (count <= 3) {
        prev[0] = prev[1] = prev[2] = 0;
        return;
    }
    const uint32_t m = count - 2;  // start positions 0 .. count-3
    uint32_t* hist = ws.counts[0];
    uint32_t* starts = ws.counts[1];
    uint32_t* scratch = reinterpret_cast<uint32_t*>(prev);

    // Key W[s+2] over s < m counts the bytes W[2..count); each later key's
    // histogram differs by the one byte that enters and the one that leaves.
    std::memset(hist, 0, 256 * sizeof(uint32_t));
    for (uint32_t j = 2; j < count; ++j) hist[W[j]]++;
    SortPass(W, 2, nullptr, ws.sorted, m, hist, starts);
    hist[W[1]]++;
    hist[W[count - 1]]--;
    SortPass(W, 1, ws.sorted, scratch, m, hist, starts);
    hist[W[0]]++;
    hist[W[count - 2]]--;
    SortPass(W, 0, scratch, ws.sorted, m, hist, starts);

    const uint32_t* order = ws.sorted;
    uint32_t prevPos = order[0];
    uint32_t prevKey = (uint32_t(W[prevPos]) << 16) | (uint32_t(W[prevPos + 1]) << 8) | W[prevPos + 2];
    prev[prevPos] = 0;
    for (uint32_t k = 1; k < m; ++k) {
        const uint32_t s = order[k];
        const uint32_t key = (uint32_t(W[s]) << 16) | (uint32_t(W[s + 1]) << 8) | W[s + 2];
        prev[s] = key == prevKey ? int32_t(s - prevPos) : 0;
        prevPos = s;
        prevKey = key;
    }
    prev[count - 2] = 0;
    prev[count - 1] = 0;
}

}  // namespace relc_detail
