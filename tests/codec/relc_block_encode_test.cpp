// The block-at-a-time encoder writes, block by block, exactly the stream of
// the incremental one.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "codec/relc_block.h"
#include "relc_test_util.h"

namespace {

struct EncoderDeleter {
    void operator()(RelcBlockEncoder* e) const { RelcFreeBlockEncoder(e); }
};
using EncoderPtr = std::unique_ptr<RelcBlockEncoder, EncoderDeleter>;

// Codes the blocks last to first when backwards is set: a state that codes
// a block in stream order takes over the chains of its history, so both
// orders must give the same bytes.
Bytes EncodeByBlocks(RelcBlockEncoder* encoder, const Bytes& data, bool backwards = false) {
    const uint64_t count = RelcBlockCount(data.size());
    std::vector<Bytes> blocks(count);
    uint8_t out[RELC_STAGING_SIZE];
    for (uint64_t k = 0; k < count; ++k) {
        const uint64_t b = backwards ? count - 1 - k : k;
        const uint64_t at = RelcBlockOffset(b);
        const uint8_t* history = b == 0 ? nullptr : data.data() + at - RELC_HISTORY_SIZE;
        const uint32_t n = RelcEncodeBlock(encoder, history, data.data() + at, RelcBlockLength(b, data.size()), out);
        if (n == 0 || n > RELC_STAGING_SIZE) return {};
        blocks[b].assign(out, out + n);
    }
    Bytes stream;
    for (const Bytes& b : blocks) stream.insert(stream.end(), b.begin(), b.end());
    stream.push_back(0);
    stream.push_back(0);
    return stream;
}

TEST(RelcBlockEncode, BlocksConcatenateToTheIncrementalStream) {
    const size_t later = RELC_WINDOW_SIZE - RELC_HISTORY_SIZE;
    const size_t sizes[] = {1, 3, 4, 32767, 32768, 32769, 32768 + later, 32768 + later + 1, 32768 + 5 * later + 999};
    struct Kind {
        const char* name;
        Bytes (*make)(size_t n);
    };
    const Kind kinds[] = {
        {"structured", [](size_t n) { return StructuredBytes(n, 11); }},
        {"random", [](size_t n) { return RandomBytes(n, 12); }},
        {"run", [](size_t n) { return Bytes(n, 0x5A); }},
    };
    // One encoder for all inputs: nothing of one block may leak into the next.
    EncoderPtr encoder(RelcNewBlockEncoder(0));
    ASSERT_TRUE(encoder);
    for (const Kind& k : kinds) {
        for (size_t size : sizes) {
            const Bytes data = k.make(size);
            const Bytes stream = EncodeAll(data);
            EXPECT_EQ(EncodeByBlocks(encoder.get(), data), stream) << k.name << " " << size;
            EXPECT_EQ(EncodeByBlocks(encoder.get(), data, true), stream) << k.name << " " << size << " backwards";
        }
    }
    for (const std::string& f : CorpusFiles()) {
        const Bytes data = ReadFileBytes(f);
        const Bytes stream = EncodeAll(data);
        EXPECT_EQ(EncodeByBlocks(encoder.get(), data), stream) << f;
        EXPECT_EQ(EncodeByBlocks(encoder.get(), data, true), stream) << f << " backwards";
    }
}

TEST(RelcBlockEncode, RejectsWhatNoBlockCanHold) {
    EXPECT_EQ(RelcNewBlockEncoder(129), nullptr);
    EncoderPtr encoder(RelcNewBlockEncoder(0));
    ASSERT_TRUE(encoder);
    const Bytes data(RELC_WINDOW_SIZE + 1, 1);
    uint8_t out[RELC_STAGING_SIZE];
    EXPECT_EQ(RelcEncodeBlock(encoder.get(), nullptr, data.data(), 0, out), 0u);
    EXPECT_EQ(RelcEncodeBlock(encoder.get(), nullptr, data.data(), RELC_WINDOW_SIZE + 1, out), 0u);
    EXPECT_EQ(RelcEncodeBlock(encoder.get(), data.data(), data.data(), RELC_WINDOW_SIZE - RELC_HISTORY_SIZE + 1, out), 0u);
}

}  // namespace
