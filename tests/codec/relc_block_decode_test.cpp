// Decoding one block at a time, the history carried by the caller: the
// original bytes back, and the same rejections as the incremental decoder.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "codec/relc_block.h"
#include "relc_test_util.h"

namespace {

struct BlockOutcome {
    uint32_t status;
    uint32_t produced;
    Bytes out;
};

// Decodes one block, copied to an exact-size heap buffer, into an exact-size
// heap window holding history at its start: the sanitizers catch any read or
// write outside them.
BlockOutcome DecodeOne(const Bytes& block, const Bytes& history) {
    std::unique_ptr<uint8_t[]> in(new uint8_t[block.size()]);
    std::copy(block.begin(), block.end(), in.get());
    std::unique_ptr<uint8_t[]> window(new uint8_t[RELC_BLOCK_WINDOW_ROOM]);
    std::copy(history.begin(), history.end(), window.get());
    BlockOutcome r{0, 0, {}};
    r.status = RelcDecodeBlock(in.get(), uint32_t(block.size()), window.get(), uint32_t(history.size()),
                               &r.produced);
    if (r.status == 0 && r.produced <= RELC_WINDOW_SIZE - history.size())
        r.out.assign(window.get() + history.size(), window.get() + history.size() + r.produced);
    return r;
}

// Decodes a stream block by block; stops at the first status other than 0.
// Returns that status (0 when the stream ran out first) and the bytes.
uint32_t DecodeByBlocks(const Bytes& stream, Bytes* out) {
    size_t pos = 0;
    for (uint64_t index = 0; pos + 2 <= stream.size(); ++index) {
        const uint32_t size = RelcBlockSize(stream.data() + pos);
        if (pos + size > stream.size()) return 0;
        // The 8192 bytes before the block; a short block that is not the last
        // leaves fewer, padded in front as the stream decoder's window would be.
        Bytes history;
        if (index > 0) {
            const size_t kept = std::min<size_t>(out->size(), RELC_HISTORY_SIZE);
            history.assign(RELC_HISTORY_SIZE - kept, 0);
            history.insert(history.end(), out->end() - long(kept), out->end());
        }
        const BlockOutcome r = DecodeOne(Bytes(stream.begin() + long(pos), stream.begin() + long(pos + size)), history);
        if (r.status != 0) return r.status;
        out->insert(out->end(), r.out.begin(), r.out.end());
        pos += size;
    }
    return 0;
}

TEST(RelcBlockDecode, StreamsDecodedBlockByBlockGiveTheOriginal) {
    const struct {
        Bytes data;
        bool stored;  // random bytes: every block is stored
    } cases[] = {
        {StructuredBytes(100, 1), false},
        {StructuredBytes(32768, 2), false},
        {StructuredBytes(32768 + 24576 * 2, 3), false},  // the last block exactly full
        {StructuredBytes(32768 + 24576 + 5000, 4), false},
        {RandomBytes(32768 + 24576 + 700, 5), true},
    };
    for (const auto& c : cases) {
        const Bytes stream = EncodeAll(c.data);
        std::vector<BlockInfo> blocks;
        ASSERT_TRUE(ParseBlocks(stream, &blocks)) << c.data.size();
        EXPECT_EQ(blocks.size(), RelcBlockCount(c.data.size()) + 1) << c.data.size();
        EXPECT_EQ(blocks[0].stored, c.stored) << c.data.size();
        Bytes out;
        EXPECT_EQ(DecodeByBlocks(stream, &out), RELC_STREAM_END) << c.data.size();
        EXPECT_TRUE(out == c.data) << c.data.size();
    }
}

// A first block of the given payload bytes.
Bytes Block(const Bytes& payload) {
    Bytes b = {uint8_t(payload.size() >> 8), uint8_t(payload.size())};
    b.insert(b.end(), payload.begin(), payload.end());
    return b;
}

TEST(RelcBlockDecode, CorruptBlocksAreRejectedAndSoundOnesTaken) {
    // Literal 'a', then a match 3 back: before the start of a first block,
    // within the history of a later one.
    const Bytes reachBack = Block({0x60, 0x00, 'a', 0x00, 0x03, 0x00, 0x00});
    // Literal 'a' and a distance-1 match of 10 + 255 * 130 + 1 bytes.
    Bytes longRun = {0x60, 0x00, 'a', 0x07, 0x01};
    longRun.insert(longRun.end(), 130, 255);
    longRun.insert(longRun.end(), {1, 0, 0});
    Bytes storedFull = {0x80, 0x00};
    storedFull.resize(2 + RELC_WINDOW_SIZE, 'z');
    const Bytes history(RELC_HISTORY_SIZE, 'h');
    const struct {
        const char* what;
        Bytes block;
        bool later;
        uint32_t status;
        uint32_t produced;
    } cases[] = {
        {"distance before the window", reachBack, false, RELC_E_DATA, 0},
        {"distance into the history", reachBack, true, 0, 4},
        {"run past the window", Block(longRun), false, RELC_E_DATA, 0},
        {"32768 stored bytes in a first block", storedFull, false, 0, RELC_WINDOW_SIZE},
        {"32768 stored bytes behind the history", storedFull, true, RELC_E_DATA, 0},
        {"bytes after the end-of-block marker", Block({0x40, 0x00, 'a', 0x00, 0x00, 'x'}), false, RELC_E_DATA, 0},
        {"half a match", Block({0x40, 0x00, 'a', 0x06}), false, RELC_E_DATA, 0},
        {"end marker first", {0x00, 0x00}, false, RELC_E_DATA, 0},
        {"end marker after a block", {0x00, 0x00}, true, RELC_STREAM_END, 0},
        {"size shorter than the header says", {0x00, 0x04, 0x00, 0x00, 'a'}, false, RELC_E_DATA, 0},
    };
    for (const auto& c : cases) {
        const BlockOutcome r = DecodeOne(c.block, c.later ? history : Bytes());
        EXPECT_EQ(r.status, c.status) << c.what;
        EXPECT_EQ(r.produced, c.produced) << c.what;
        if (!c.later && RelcBlockSize(c.block.data()) == c.block.size()) {
            // As the first block of a stream, the incremental decoder agrees.
            Bytes stream = c.block;
            stream.insert(stream.end(), {0x00, 0x00});
            EXPECT_EQ(DecodeWith(stream, {0, 1u << 17}).error, c.status == RELC_E_DATA ? RELC_E_DATA : 0u)
                << c.what;
        }
    }
    uint32_t produced = 7;
    EXPECT_EQ(RelcDecodeBlock(reachBack.data(), uint32_t(reachBack.size()), nullptr, 100, &produced), RELC_E_PARAM);
    EXPECT_EQ(produced, 0u);
}

TEST(RelcBlockDecode, FlippedBytesAreRejectedExactlyWhereTheStreamDecoderRejectsThem) {
    const Bytes clean = EncodeAll(StructuredBytes(32768 + 24576 * 2 + 900, 31));
    uint32_t st = 5;
    int rejected = 0;
    for (int round = 0; round < 200; ++round) {
        Bytes s = clean;
        st = st * 1103515245u + 12345u;
        s[(st >> 8) % s.size()] ^= uint8_t(1u << ((st >> 4) % 8));
        Bytes out;
        const uint32_t byBlocks = DecodeByBlocks(s, &out);
        EXPECT_EQ(byBlocks == RELC_E_DATA, DecodeWith(s, {0, 1u << 17}).error == RELC_E_DATA) << "round " << round;
        rejected += byBlocks == RELC_E_DATA;
    }
    EXPECT_GT(rejected, 20);
}

}  // namespace
