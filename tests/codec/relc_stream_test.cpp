// The incremental interface: the same stream whatever the sizes of offers and
// room, and the input restored under every pattern.
#include <gtest/gtest.h>

#include "codec/relc.h"
#include "relc_test_util.h"

namespace {

const CallPattern kPatterns[] = {
    {1, 1}, {7, 3}, {4096, 100}, {0, 32769}, {0, 32770}, {4096, 32770}, {1, 65536}, {65536, 1},
    {0, 2}, {100000, 524320},
};

void ExpectSameStreamEverywhere(const Bytes& data, const std::string& what) {
    const Bytes reference = EncodeAll(data);
    std::vector<BlockInfo> blocks;
    ASSERT_TRUE(ParseBlocks(reference, &blocks)) << what;
    for (const CallPattern& p : kPatterns) {
        // One-byte offers or rooms over large inputs only add time.
        if ((p.inChunk == 1 || p.outRoom <= 3) && data.size() > 120000) continue;
        EXPECT_EQ(EncodeWith(data, p), reference) << what << " encoded with in " << p.inChunk << " room " << p.outRoom;
        const DecodeResult r = DecodeWith(reference, p);
        EXPECT_TRUE(r.ended) << what;
        EXPECT_EQ(r.error, 0u) << what;
        EXPECT_TRUE(r.out == data) << what << " decoded with in " << p.inChunk << " room " << p.outRoom;
    }
}

TEST(RelcStream, GeneratedInputsAtBlockBoundaries) {
    for (size_t k = 0; k < 4; ++k) {
        const size_t n = 32768 + 24576 * k;
        for (size_t size : {n - 1, n, n + 1}) {
            ExpectSameStreamEverywhere(StructuredBytes(size, uint32_t(k)), "structured " + std::to_string(size));
            ExpectSameStreamEverywhere(RandomBytes(size, uint32_t(k)), "random " + std::to_string(size));
        }
    }
}

TEST(RelcStream, SmallAndDegenerateInputs) {
    for (size_t size : {1u, 2u, 3u, 4u, 5u, 17u, 100u, 8192u, 8193u}) {
        ExpectSameStreamEverywhere(StructuredBytes(size, 9), "structured " + std::to_string(size));
        ExpectSameStreamEverywhere(Bytes(size, 0), "zeros " + std::to_string(size));
    }
    ExpectSameStreamEverywhere(Bytes(300000, 0xAB), "long run");
}

TEST(RelcStream, CorpusFiles) {
    const std::vector<std::string> files = CorpusFiles();
    if (files.empty()) GTEST_SKIP() << "corpus absent";
    for (const std::string& f : files) ExpectSameStreamEverywhere(ReadFileBytes(f), f);
}

TEST(RelcStream, EncoderReportsStatusAsItGoes) {
    const Bytes data = StructuredBytes(50000, 3);
    ASSERT_EQ(RelcInitEncoder(0, data.size()), 0u);
    // All input taken into a window that is not full: only NEED_INPUT.
    uint8_t out[40000];
    uint32_t inLen = 1000, outLen = sizeof out;
    EXPECT_EQ(RelcEncode(data.data(), out, &inLen, &outLen), RELC_NEED_INPUT);
    EXPECT_EQ(inLen, 1000u);
    EXPECT_EQ(outLen, 0u);
    // Filling the window with too little room stages the block.
    uint32_t inLen2 = uint32_t(data.size() - 1000), outLen2 = 10;
    const uint32_t st = RelcEncode(data.data() + 1000, out, &inLen2, &outLen2);
    EXPECT_TRUE(st & RELC_OUTPUT_FULL);
    EXPECT_EQ(outLen2, 10u);
}

TEST(RelcStream, OneByteRoomReportsOutputFullOnEveryCallButTheLast) {
    const Bytes s = EncodeAll(StructuredBytes(40000, 5));
    RelcInitDecoder();
    size_t pos = 0, calls = 0, fullCalls = 0;
    for (;;) {
        uint32_t inLen = uint32_t(s.size() - pos), outLen = 1;
        uint8_t b;
        const uint32_t st = RelcDecode(s.data() + pos, &b, &inLen, &outLen);
        ASSERT_EQ(st & 0xFF, 0u);
        pos += inLen;
        ++calls;
        if (st & RELC_STREAM_END) break;
        ASSERT_TRUE(st & RELC_OUTPUT_FULL) << "call " << calls;
        ++fullCalls;
        ASSERT_LT(calls, 100000u);
    }
    EXPECT_EQ(fullCalls + 1, calls);
}

}  // namespace
