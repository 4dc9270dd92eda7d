#include "bench_codecs.h"

#include <climits>
#include <cstring>

#include <lz4.h>
#include <lz4hc.h>
#include <zlib.h>

#include "codec/relc_driver.h"
#include "codec/relc_parallel.h"

namespace {

size_t RelcBound(size_t size) { return static_cast<size_t>(RelcStreamBound(size)); }

size_t RelcCompress(const uint8_t* src, size_t size, uint8_t* dst, size_t capacity)
{
    const StreamResult r = RelcEncodeMemory(src, size, dst, capacity);
    return r.status == StreamStatus::Ok ? static_cast<size_t>(r.bytesOut) : kCodecFailed;
}

size_t RelcDecompress(const uint8_t* src, size_t size, uint8_t* dst, size_t capacity)
{
    RelcStreamOptions options;
    options.expectedSize = capacity;
    const StreamResult r = RelcDecodeMemory(src, size, dst, capacity, options);
    return r.status == StreamStatus::Ok ? static_cast<size_t>(r.bytesOut) : kCodecFailed;
}

// What tdz pack writes into: the destination buffer.
class BufferSink final : public ByteSink {
public:
    BufferSink(uint8_t* dst, size_t capacity) : dst_(dst), capacity_(capacity) {}
    bool Write(const uint8_t* buf, size_t len) override
    {
        if (len > capacity_ - used_)
            return false;
        std::memcpy(dst_ + used_, buf, len);
        used_ += len;
        return true;
    }

private:
    uint8_t* dst_;
    size_t capacity_;
    size_t used_ = 0;
};

// The same stream coded block-parallel, as tdz pack -T 2 does; it decodes
// with the serial decoder.
size_t RelcParallel2Compress(const uint8_t* src, size_t size, uint8_t* dst, size_t capacity)
{
    MemorySource in(src, size);
    BufferSink out(dst, capacity);
    const StreamResult r = EncodeRelcStreamParallel(in, size, out, 2);
    return r.status == StreamStatus::Ok ? static_cast<size_t>(r.bytesOut) : kCodecFailed;
}

class RunFeed final : public RelcStreamFeed {
public:
    RunFeed(const std::vector<std::vector<uint8_t>>& inputs, std::vector<std::vector<uint8_t>>* outputs)
        : inputs_(inputs), outputs_(outputs)
    {
        sources_.reserve(inputs.size());
        sinks_.reserve(inputs.size());
    }

    bool Next(RelcFeedStream* stream) override
    {
        if (sources_.size() == inputs_.size())
            return false;
        const std::vector<uint8_t>& input = inputs_[sources_.size()];
        std::vector<uint8_t>& output = (*outputs_)[sinks_.size()];
        output.resize(RelcStreamBound(input.size()));
        sources_.emplace_back(input.data(), input.size());
        sinks_.emplace_back(output.data(), output.size());
        stream->in = &sources_.back();
        stream->totalSize = input.size();
        stream->out = &sinks_.back();
        return true;
    }

    void Ended(const StreamResult& result) override
    {
        std::vector<uint8_t>& output = (*outputs_)[ended_++];
        output.resize(result.status == StreamStatus::Ok ? result.bytesOut : 0);
        ok_ = ok_ && result.status == StreamStatus::Ok;
    }

    bool Ok() const { return ok_ && ended_ == inputs_.size(); }

private:
    const std::vector<std::vector<uint8_t>>& inputs_;
    std::vector<std::vector<uint8_t>>* outputs_;
    std::vector<MemorySource> sources_;  // reserved: never moved while in use
    std::vector<BufferSink> sinks_;
    size_t ended_ = 0;
    bool ok_ = true;
};

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
    {"relc-par2", RelcBound, RelcParallel2Compress, RelcDecompress},
    {"zlib-1", ZlibBound, ZlibCompress<1>, ZlibDecompress},
    {"zlib-6", ZlibBound, ZlibCompress<6>, ZlibDecompress},
    {"lz4", Lz4Bound, Lz4Compress, Lz4Decompress},
    {"lz4hc-9", Lz4Bound, Lz4HcCompress, Lz4Decompress},
    {"memcpy", CopyBound, Copy, Copy},
};
const size_t kBenchCodecCount = sizeof(kBenchCodecs) / sizeof(kBenchCodecs[0]);

bool RelcPackRun(const std::vector<std::vector<uint8_t>>& inputs, unsigned threads,
                 std::vector<std::vector<uint8_t>>* outputs)
{
    outputs->resize(inputs.size());
    if (threads <= 1) {
        for (size_t i = 0; i < inputs.size(); ++i) {
            std::vector<uint8_t>& output = (*outputs)[i];
            output.resize(RelcStreamBound(inputs[i].size()));
            const size_t n = RelcCompress(inputs[i].data(), inputs[i].size(), output.data(), output.size());
            if (n == kCodecFailed)
                return false;
            output.resize(n);
        }
        return true;
    }
    RunFeed feed(inputs, outputs);
    EncodeRelcStreamsParallel(feed, threads);
    return feed.Ok();
}
