// Fuzz target: relc encode, then decode.
//
// Input: a byte choosing the encoder's offer sizes, one its output rooms,
// one the decoder's offers and rooms, one the search depth (and whether to
// poke the encoder with refused restarts mid-stream), then the data. The
// stream made in the chosen pieces must be byte for byte the one the stream
// driver makes in one go (and, on the host, the one the block-parallel
// encoder makes on 1 to 4 threads, alone or cut in two as a run of two
// streams), and must decode, in other pieces and through the driver, to the
// data.
#include <algorithm>

#include "codec/relc_driver.h"
#include "fuzz_support.h"
#if TDZ_FUZZ_PARALLEL
#include "codec/relc_parallel.h"

namespace {

struct VectorSink final : ByteSink {
    std::vector<uint8_t> bytes;
    bool Write(const uint8_t* buf, size_t len) override
    {
        bytes.insert(bytes.end(), buf, buf + len);
        return true;
    }
};

}  // namespace
#endif

using namespace relc_fuzz;

namespace {

constexpr size_t kParamBytes = 4;
// The system always uses 0; the others bound the chain walk (negative ones
// and 1 stop it at the first candidate).
constexpr int32_t kDepths[8] = {0, 0, 0, 1, 2, 16, 128, -5};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < kParamBytes)
        return 0;
    const uint8_t* payload = data + kParamBytes;
    const size_t payloadSize = size - kParamBytes;
    const int32_t depth = kDepths[data[3] & 7];
    if (payloadSize == 0) {
        FUZZ_CHECK(RelcInitEncoder(depth, 0) == RELC_E_PARAM, "empty input accepted");
        return 0;
    }

    // The reference: the whole input through the stream driver at once.
    std::vector<uint8_t> stream(RelcStreamBound(payloadSize));
    RelcStreamOptions options;
    options.depthLevel = depth;
    const StreamResult oneShot = RelcEncodeMemory(payload, payloadSize, stream.data(), stream.size(), options);
    FUZZ_CHECK(oneShot.status == StreamStatus::Ok, "the driver could not encode");
    stream.resize(oneShot.bytesOut);
    const EncodeResult pieces = EncodeChunked(payload, payloadSize, depth, SizeSequence(data[0]),
                                              SizeSequence(data[1]), (data[3] & 8) != 0);
    FUZZ_CHECK(pieces.stream == stream, "the stream depends on how the input was offered");
#if TDZ_FUZZ_PARALLEL
    if (depth == 0) {
        MemorySource source(payload, payloadSize);
        VectorSink sink;
        uint32_t sum = 0;
        uint32_t expectedSum = 0;
        RelcAddByteSum(payload, payloadSize, &expectedSum);
        const StreamResult r = EncodeRelcStreamParallel(source, payloadSize, sink, 1 + (data[2] >> 6), &sum);
        FUZZ_CHECK(r.status == StreamStatus::Ok, "the parallel encoder failed");
        FUZZ_CHECK(sink.bytes == stream, "the parallel stream differs from the serial one");
        FUZZ_CHECK(sum == expectedSum, "the parallel byte sum differs");
    }
    if (depth == 0 && (data[0] & 1) != 0) {
        // The data cut in two and coded as one run: each part's stream is
        // the one it has alone, whatever the other's blocks are doing.
        class TwoParts final : public RelcStreamFeed {
        public:
            TwoParts(const uint8_t* bytes, size_t cut, size_t size)
                : first_(bytes, cut), second_(bytes + cut, size - cut), sizes_{cut, size - cut}
            {
            }
            bool Next(RelcFeedStream* stream) override
            {
                if (given_ == 2)
                    return false;
                stream->in = given_ == 0 ? static_cast<ByteSource*>(&first_) : &second_;
                stream->totalSize = sizes_[given_];
                stream->out = &sinks[given_];
                ++given_;
                return true;
            }
            void Ended(const StreamResult& result) override { results[ended_++] = result; }
            VectorSink sinks[2];
            StreamResult results[2];

        private:
            MemorySource first_;
            MemorySource second_;
            uint64_t sizes_[2];
            size_t given_ = 0;
            size_t ended_ = 0;
        };
        const size_t cut = payloadSize * data[1] / 256;
        TwoParts run(payload, cut, payloadSize);
        EncodeRelcStreamsParallel(run, 1 + (data[2] & 3));
        const uint8_t* parts[2] = {payload, payload + cut};
        const size_t partSizes[2] = {cut, payloadSize - cut};
        for (int i = 0; i < 2; ++i) {
            if (partSizes[i] == 0) {
                FUZZ_CHECK(run.results[i].status == StreamStatus::EmptyInput, "an empty part was coded");
                continue;
            }
            std::vector<uint8_t> alone(RelcStreamBound(partSizes[i]));
            const StreamResult r = RelcEncodeMemory(parts[i], partSizes[i], alone.data(), alone.size());
            alone.resize(r.bytesOut);
            FUZZ_CHECK(run.results[i].status == StreamStatus::Ok && run.sinks[i].bytes == alone,
                       "a part coded in a run differs from its stream alone");
        }
    }
#endif

    // A block costs at most its header and the 3 bytes a coded payload may
    // run past its new bytes.
    const size_t blocks = 1 + (payloadSize > RELC_WINDOW_SIZE ? (payloadSize - RELC_WINDOW_SIZE - 1) / 24576 + 1 : 0);
    FUZZ_CHECK(stream.size() <= payloadSize + 5 * blocks + 2, "stream longer than its blocks allow");

    const DecodeResult decoded = DecodeChunked(stream.data(), stream.size(), SizeSequence(data[2]),
                                               SizeSequence(static_cast<uint8_t>(data[2] * 7 + 3)),
                                               2 * (stream.size() + payloadSize) + 64);
    FUZZ_CHECK(decoded.end == DecodeEnd::StreamEnd, "own stream does not decode to its end");
    FUZZ_CHECK(decoded.taken == stream.size(), "own stream has bytes after its end marker");
    FUZZ_CHECK(decoded.output.size() == payloadSize &&
                   std::equal(decoded.output.begin(), decoded.output.end(), payload),
               "round trip MISMATCH");

    std::vector<uint8_t> restored(payloadSize);
    options.expectedSize = payloadSize;
    const StreamResult back = RelcDecodeMemory(stream.data(), stream.size(), restored.data(), restored.size(), options);
    FUZZ_CHECK(back.status == StreamStatus::Ok && restored == std::vector<uint8_t>(payload, payload + payloadSize),
               "the driver's round trip MISMATCH");
    return 0;
}
