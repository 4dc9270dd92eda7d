#include "bench_codecs.h"

#include <climits>
#include <cstring>

#include <lz4.h>
#include <lz4hc.h>
#include <zlib.h>

#include "codec/relc.h"

namespace {

// The product streams through 512 KB buffers; relc is fed and drained in
// pieces of that size, straight into the destination as the other codecs
// write theirs.
constexpr uint32_t kChunk = 512 * 1024;

size_t Min(size_t a, size_t b) { return a < b ? a : b; }

size_t RelcBound(size_t size)
{
    const size_t blocks = 1 + (size > RELC_WINDOW_SIZE ? (size - RELC_WINDOW_SIZE) / 24576 + 1 : 0);
    // A coded block may end up to 3 bytes past its stored size.
    return size + 5 * blocks + 2;
}

size_t RelcCompress(const uint8_t* src, size_t size, uint8_t* dst, size_t capacity)
{
    if (RelcInitEncoder(0, size) != 0)
        return kCodecFailed;
    size_t pos = 0;
    size_t written = 0;
    for (size_t calls = 0; calls <= size + 16; ++calls) {
        uint32_t inLen = static_cast<uint32_t>(Min(size - pos, kChunk));
        uint32_t outLen = static_cast<uint32_t>(Min(capacity - written, kChunk));
        const uint32_t status = RelcEncode(src + pos, dst + written, &inLen, &outLen);
        pos += inLen;
        written += outLen;
        if (status & RELC_STREAM_END)
            return written;
    }
    return kCodecFailed;
}

size_t RelcDecompress(const uint8_t* src, size_t size, uint8_t* dst, size_t capacity)
{
    RelcInitDecoder();
    size_t pos = 0;
    size_t written = 0;
    for (size_t calls = 0; calls <= size + capacity / kChunk + 16; ++calls) {
        uint32_t inLen = static_cast<uint32_t>(Min(size - pos, kChunk));
        uint32_t outLen = static_cast<uint32_t>(Min(capacity - written, kChunk));
        const uint32_t status = RelcDecode(src + pos, dst + written, &inLen, &outLen);
        pos += inLen;
        written += outLen;
        if ((status & 0xFF) != 0)
            return kCodecFailed;
        if (status & RELC_STREAM_END)
            return written;
    }
    return kCodecFailed;
}

size_t ZlibBound(size_t size) { return compressBound(static_cast<uLong>(size)); }

template <int Level>
size_t ZlibCompress(const uint8_t* src, size_t size, uint8_t* dst, size_t capacity)
{
    uLongf dstLen = capacity;
    if (compress2(dst, &dstLen, src, size, Level) != Z_OK)
        return kCodecFailed;
    return dstLen;
}

size_t ZlibDecompress(const uint8_t* src, size_t size, uint8_t* dst, size_t capacity)
{
    uLongf dstLen = capacity;
    if (uncompress(dst, &dstLen, src, size) != Z_OK)
        return kCodecFailed;
    return dstLen;
}

size_t Lz4Bound(size_t size) { return static_cast<size_t>(LZ4_compressBound(static_cast<int>(size))); }

size_t Lz4Compress(const uint8_t* src, size_t size, uint8_t* dst, size_t capacity)
{
    const int n = LZ4_compress_default(reinterpret_cast<const char*>(src), reinterpret_cast<char*>(dst),
                                       static_cast<int>(size), static_cast<int>(capacity));
    return n > 0 ? static_cast<size_t>(n) : kCodecFailed;
}

size_t Lz4HcCompress(const uint8_t* src, size_t size, uint8_t* dst, size_t capacity)
{
    const int n = LZ4_compress_HC(reinterpret_cast<const char*>(src), reinterpret_cast<char*>(dst),
                                  static_cast<int>(size), static_cast<int>(capacity), LZ4HC_CLEVEL_DEFAULT);
    return n > 0 ? static_cast<size_t>(n) : kCodecFailed;
}

size_t Lz4Decompress(const uint8_t* src, size_t size, uint8_t* dst, size_t capacity)
{
    const int n = LZ4_decompress_safe(reinterpret_cast<const char*>(src), reinterpret_cast<char*>(dst),
                                      static_cast<int>(size), static_cast<int>(capacity));
    return n >= 0 ? static_cast<size_t>(n) : kCodecFailed;
}

size_t CopyBound(size_t size) { return size; }

size_t Copy(const uint8_t* src, size_t size, uint8_t* dst, size_t capacity)
{
    if (size > capacity)
        return kCodecFailed;
    std::memcpy(dst, src, size);
    return size;
}

}  // namespace

const BenchCodec kBenchCodecs[] = {
    {"relc", RelcBound, RelcCompress, RelcDecompress},
    {"zlib-1", ZlibBound, ZlibCompress<1>, ZlibDecompress},
    {"zlib-6", ZlibBound, ZlibCompress<6>, ZlibDecompress},
    {"lz4", Lz4Bound, Lz4Compress, Lz4Decompress},
    {"lz4hc-9", Lz4Bound, Lz4HcCompress, Lz4Decompress},
    {"memcpy", CopyBound, Copy, Copy},
};
const size_t kBenchCodecCount = sizeof(kBenchCodecs) / sizeof(kBenchCodecs[0]);
