// What the encoder emits: the stream layout, block cutting, stored blocks,
// length coding, and the decoder's reading of hand-made streams.
#include <gtest/gtest.h>

#include "codec/relc.h"
#include "relc_test_util.h"

namespace {

const Bytes kAbc4 = {0x61, 0x62, 0x63, 0x61, 0x62, 0x63, 0x61, 0x62, 0x63, 0x61, 0x62, 0x63};
const Bytes kAbc4Stream = {0x00, 0x09, 0x18, 0x00, 0x61, 0x62, 0x63, 0x06, 0x03, 0x00, 0x00, 0x00, 0x00};

// The tokens of one coded block, read back for checking what was chosen.
struct Token {
    bool match;
    uint32_t length;    // literal: 1
    uint32_t distance;  // literal: 0; end-of-block: 0 with match set
};

std::vector<Token> TokensOfBlock(const Bytes& s, size_t blockStart) {
    std::vector<Token> tokens;
    const size_t len = (uint32_t(s[blockStart]) << 8) | s[blockStart + 1];
    size_t p = blockStart + 2;
    const size_t end = p + len;
    uint32_t ctrl = 0, mask = 0;
    while (p < end) {
        if (mask == 0) {
            ctrl = (uint32_t(s[p]) << 8) | s[p + 1];
            p += 2;
            mask = 0x8000;
            continue;
        }
        if (!(ctrl & mask)) {
            tokens.push_back({false, 1, 0});
            ++p;
        } else {
            const uint32_t b0 = s[p], dist = ((b0 >> 3) << 8) | s[p + 1];
            p += 2;
            uint32_t length = (b0 & 7) + 3;
            if (dist != 0 && (b0 & 7) == 7) {
                uint32_t x;
                do {
                    x = s[p++];
                    length += x;
                } while (x == 255);
            }
            tokens.push_back({true, dist ? length : 0, dist});
        }
        mask >>= 1;
    }
    return tokens;
}

TEST(RelcFormat, WorkedExampleEncodesAndDecodesByteForByte) {
    EXPECT_EQ(EncodeAll(kAbc4), kAbc4Stream);
    for (uint32_t room : {12u, 13u, 100u}) {
        RelcInitDecoder();
        uint8_t out[100];
        uint32_t inLen = uint32_t(kAbc4Stream.size()), outLen = room;
        const uint32_t st = RelcDecode(kAbc4Stream.data(), out, &inLen, &outLen);
        EXPECT_TRUE(st & RELC_STREAM_END) << "room " << room;
        EXPECT_EQ(inLen, kAbc4Stream.size());
        EXPECT_EQ(Bytes(out, out + outLen), kAbc4);
    }
}

TEST(RelcFormat, InitRejectsZeroSizeAndDeepLevels) {
    EXPECT_EQ(RelcInitEncoder(0, 0), RELC_E_PARAM);
    EXPECT_EQ(RelcInitEncoder(129, 10), RELC_E_PARAM);
    EXPECT_EQ(RelcInitEncoder(128, 10), 0u);
    EXPECT_EQ(RelcInitEncoder(-5, 10), 0u);
}

TEST(RelcFormat, BlocksAreCutAtTheWindowAndItsLaterShare) {
    // 32768 + 24576k bytes end with a full block and then the end marker;
    // one byte more needs one more block.
    for (size_t k = 0; k < 3; ++k) {
        const size_t n = 32768 + 24576 * k;
        for (size_t size : {n - 1, n, n + 1}) {
            const Bytes data = StructuredBytes(size, uint32_t(size));
            const Bytes s = EncodeAll(data);
            std::vector<BlockInfo> blocks;
            ASSERT_TRUE(ParseBlocks(s, &blocks)) << size;
            const size_t expectBlocks = size <= 32768 ? 1 : 1 + (size - 32768 + 24575) / 24576;
            EXPECT_EQ(blocks.size(), expectBlocks + 1) << size;
            EXPECT_EQ(blocks.back().header, 0u);
            EXPECT_EQ(DecodeWith(s, {0, 1u << 20}).out, data) << size;
        }
    }
}

TEST(RelcFormat, IncompressibleDataIsStoredWithTwoBytesPerBlock) {
    for (size_t size : {1u, 2u, 3u, 4u, 100u, 32768u, 32769u, 100000u}) {
        const Bytes data = RandomBytes(size, 7);
        const Bytes s = EncodeAll(data);
        std::vector<BlockInfo> blocks;
        ASSERT_TRUE(ParseBlocks(s, &blocks));
        const size_t b = blocks.size() - 1;
        EXPECT_EQ(s.size(), size + 2 * b + 2) << size;
        for (size_t k = 0; k < b; ++k) EXPECT_TRUE(blocks[k].stored) << size;
        EXPECT_EQ(blocks[0].header, 0x8000u | (std::min<size_t>(size, 32768) & 0x7FFF));
    }
}

// Random bytes with one exact repeat of len bytes, so the repeat is the
// block's first match; a long run at the end pays for the literals, or the
// block would be stored.
Bytes WithRepeat(size_t len, size_t* at) {
    Bytes data = RandomBytes(600, 99);
    Bytes tail = RandomBytes(40, 5);
    *at = data.size();
    data.insert(data.end(), data.begin() + 10, data.begin() + 10 + len);
    data.push_back(uint8_t(data[10 + len] ^ 0x55));  // break the repeat
    data.insert(data.end(), tail.begin(), tail.end());
    data.insert(data.end(), 4000, 0);
    return data;
}

TEST(RelcFormat, LengthsTenAndTenPlus255kAreShortenedByOne) {
    struct Case {
        size_t repeat;
        uint32_t firstMatch;
    } cases[] = {{9, 9}, {10, 9}, {11, 11}, {264, 264}, {265, 264}, {266, 266}, {520, 519}, {521, 521}};
    for (const Case& c : cases) {
        size_t at = 0;
        const Bytes data = WithRepeat(c.repeat, &at);
        const Bytes s = EncodeAll(data);
        ASSERT_FALSE(s[0] & 0x80) << "expected a coded block for repeat " << c.repeat;
        const std::vector<Token> tokens = TokensOfBlock(s, 0);
        std::vector<Token> matches;
        for (const Token& t : tokens)
            if (t.match && t.distance) matches.push_back(t);
        ASSERT_FALSE(matches.empty()) << c.repeat;
        EXPECT_EQ(matches[0].length, c.firstMatch) << "repeat " << c.repeat;
        EXPECT_EQ(matches[0].distance, at - 10) << "repeat " << c.repeat;
        EXPECT_EQ(DecodeWith(s, {0, 4096}).out, data);
    }
}

TEST(RelcFormat, ExtensionBytesEndBelow255) {
    // Every long match's extension bytes run 255... and end with 1..254.
    const Bytes data(200000, 'x');
    const Bytes s = EncodeAll(data);
    std::vector<BlockInfo> blocks;
    ASSERT_TRUE(ParseBlocks(s, &blocks));
    size_t pos = 0;
    for (const BlockInfo& b : blocks) {
        if (b.header == 0) break;
        ASSERT_FALSE(b.stored);
        for (const Token& t : TokensOfBlock(s, pos)) {
            if (!t.match || !t.distance) continue;
            EXPECT_EQ(t.distance, 1u);
            EXPECT_NE(t.length, 10u);
            if (t.length > 10) {
                EXPECT_NE((t.length - 10) % 255, 0u);
            }
        }
        pos += b.size;
    }
    EXPECT_EQ(DecodeWith(s, {0, 1000}).out, data);
}

// Matches reaching back fewer than 16 bytes overlap what they write: every
// period from 1 to 15, at lengths around the decoder's move sizes, comes
// back byte for byte through the fast loop (a whole block offered at once)
// and the careful one (a byte of room at a time).
TEST(RelcFormat, MatchesReachingBackUnderSixteenBytesRepeatTheirPattern) {
    const Bytes noise = RandomBytes(400, 77);
    for (uint32_t period = 1; period < 16; ++period) {
        for (uint32_t length : {3u, 4u, 7u, 8u, 9u, 10u, 15u, 16u, 17u, 23u, 31u, 32u, 33u, 48u, 49u, 64u, 65u,
                                 100u, 265u, 600u}) {
            Bytes data(noise.begin(), noise.begin() + 8);
            for (uint32_t k = 0; k < period + length; ++k) data.push_back(noise[300 + k % period]);
            data.insert(data.end(), noise.begin() + 8, noise.begin() + 208);
            const Bytes s = EncodeAll(data);
            // Too short a repeat may leave the block stored: nothing to check.
            if ((s[0] & 0x80) == 0) {
                bool reached = false;
                for (const Token& t : TokensOfBlock(s, 0)) reached = reached || (t.match && t.distance == period);
                EXPECT_TRUE(reached || length < 16) << "no match at distance " << period << " x " << length;
            }
            EXPECT_EQ(DecodeWith(s, {0, 1u << 16}).out, data) << period << " x " << length;
            EXPECT_EQ(DecodeWith(s, {0, 1}).out, data) << period << " x " << length;
        }
    }
}

TEST(RelcFormat, RunLongerThanTheWindowUsesDistanceOneMatches) {
    const Bytes data(32768 + 24576 + 5000, 0);
    const Bytes s = EncodeAll(data);
    std::vector<BlockInfo> blocks;
    ASSERT_TRUE(ParseBlocks(s, &blocks));
    ASSERT_EQ(blocks.size(), 4u);
    // The first block: one literal, then matches at distance 1 up to the end.
    const std::vector<Token> t0 = TokensOfBlock(s, 0);
    ASSERT_GE(t0.size(), 3u);
    EXPECT_FALSE(t0[0].match);
    uint32_t covered = 1;
    for (size_t k = 1; k + 1 < t0.size(); ++k) {
        EXPECT_TRUE(t0[k].match);
        EXPECT_EQ(t0[k].distance, 1u);
        covered += t0[k].length;
    }
    EXPECT_EQ(covered, 32768u);
    // A later block reaches into its history from the first position.
    const std::vector<Token> t1 = TokensOfBlock(s, blocks[0].size);
    EXPECT_TRUE(t1[0].match);
    EXPECT_EQ(t1[0].distance, 1u);
    EXPECT_EQ(DecodeWith(s, {0, 1u << 20}).out, data);
}

TEST(RelcFormat, FirstBlockWhosePayloadWouldReachTheWindowIsStoredWithinRoom) {
    // A compressible head followed by random bytes: sweeping the head's
    // length crosses the point where the coded payload of a 32768-byte block
    // runs into 32765..32771 bytes. Each encode writes straight into a heap
    // buffer of exactly 32770 bytes, so a coded attempt that overran the
    // room would be caught; every block must read back.
    const Bytes noise = RandomBytes(32768, 1234);
    size_t codedNearLimit = 0, flips = 0;
    bool lastCoded = false;
    for (size_t head = 3000; head < 3900; ++head) {
        Bytes data(noise);
        for (size_t k = 0; k < head; ++k) data[k] = uint8_t(k % 7 == 0 ? 'a' : 'b');
        const Bytes s = EncodeWith(data, {0, 32770});
        std::vector<BlockInfo> blocks;
        ASSERT_TRUE(ParseBlocks(s, &blocks));
        ASSERT_EQ(blocks.size(), 2u);
        if (blocks[0].stored) {
            EXPECT_EQ(blocks[0].header, 0x8000u);
            if (lastCoded) ++flips;
            lastCoded = false;
        } else {
            EXPECT_LT(blocks[0].header, 32768u);
            if (blocks[0].header >= 32760) ++codedNearLimit;
            if (!lastCoded && head > 3000) ++flips;
            lastCoded = true;
        }
        ASSERT_EQ(DecodeWith(s, {0, 65536}).out, data) << head;
    }
    EXPECT_GT(codedNearLimit, 0u) << "the sweep never came near the limit";
    EXPECT_GT(flips, 0u);
}

TEST(RelcFormat, DecoderReadsHandMadeStreams) {
    // A stored block with header 0x8000 carries 32768 bytes.
    Bytes stored = {0x80, 0x00};
    const Bytes raw = RandomBytes(32768, 3);
    stored.insert(stored.end(), raw.begin(), raw.end());
    stored.push_back(0);
    stored.push_back(0);
    EXPECT_EQ(DecodeWith(stored, {0, 1u << 20}).out, raw);

    // Distance 1, length 100 repeats the previous byte 100 times:
    // control 0x6000 (literal, match, end), 'z', code 7 + 90, end marker.
    const Bytes run = {0x00, 0x08, 0x60, 0x00, 'z', 0x07, 0x01, 90, 0x00, 0x00, 0x00, 0x00};
    DecodeResult r = DecodeWith(run, {0, 1000});
    EXPECT_TRUE(r.ended);
    EXPECT_EQ(r.out, Bytes(101, 'z'));
}

TEST(RelcFormat, FullFirstBlockHoldsBackItsLast8192BytesUntilTheEndMarker) {
    const Bytes data = StructuredBytes(32768, 11);
    const Bytes s = EncodeAll(data);
    std::vector<BlockInfo> blocks;
    ASSERT_TRUE(ParseBlocks(s, &blocks));
    ASSERT_EQ(blocks.size(), 2u);
    RelcInitDecoder();
    Bytes out(40000);
    uint32_t inLen = blocks[0].size, outLen = uint32_t(out.size());
    uint32_t st = RelcDecode(s.data(), out.data(), &inLen, &outLen);
    EXPECT_EQ(st, RELC_NEED_INPUT);
    EXPECT_EQ(outLen, 24576u);
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + 24576, data.begin()));
    uint32_t inLen2 = 2, outLen2 = uint32_t(out.size());
    st = RelcDecode(s.data() + blocks[0].size, out.data(), &inLen2, &outLen2);
    EXPECT_TRUE(st & RELC_STREAM_END);
    EXPECT_EQ(outLen2, 8192u);
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + 8192, data.begin() + 24576));
}

}  // namespace
