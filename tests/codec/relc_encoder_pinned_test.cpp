// The encoder's token choices never change: the streams of fixed inputs
// are pinned by size and FNV-1a hash, as the first encoder wrote them. A
// faster search that chose one other match would still round-trip, so only
// this catches it.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "codec/relc_workspace.h"
#include "relc_test_util.h"

namespace {

uint64_t Fnv1a(const Bytes& b) {
    uint64_t h = 1469598103934665603ull;
    for (uint8_t x : b) h = (h ^ x) * 1099511628211ull;
    return h;
}

struct Pinned {
    const char* name;
    size_t streamSize;
    uint64_t hash;
};

Bytes Runs(size_t n) {
    Bytes runs;
    for (uint32_t len = 1; runs.size() < n; len = len % 700 + 1) runs.insert(runs.end(), len, uint8_t(len % 5));
    return runs;
}

TEST(RelcEncoderPinned, GeneratedInputs) {
    const struct {
        Pinned pin;
        Bytes data;
    } cases[] = {
        {{"structured", 28776, 0x555ee0c03f491782ull}, StructuredBytes(300000, 21)},
        {{"random", 100010, 0x8125653c20a9f14aull}, RandomBytes(100000, 22)},
        {{"runs", 2498, 0x9271dcf1c4017088ull}, Runs(200000)},
    };
    for (const auto& c : cases) {
        const Bytes s = EncodeAll(c.data);
        EXPECT_EQ(s.size(), c.pin.streamSize) << c.pin.name;
        EXPECT_EQ(Fnv1a(s), c.pin.hash) << c.pin.name;
    }
}

TEST(RelcEncoderPinned, CorpusFiles) {
    const Pinned pins[] = {
        {"alice29.txt", 65500, 0x06d353a0a923dff4ull},    {"asyoulik.txt", 58590, 0xb3b5cdeec04f82edull},
        {"fireworks.jpeg", 123105, 0x53656abac4dfb620ull}, {"geo.protodata", 20851, 0x5d4e8c56075f8574ull},
        {"html", 17861, 0xb98be714907443f0ull},            {"html_x_4", 70835, 0xa189c9f355542044ull},
        {"kppkn.gtb", 46521, 0x4f9c1660fcad6759ull},       {"lcet10.txt", 176899, 0x1c4621c9dd3fb83aull},
        {"paper-100k.pdf", 86268, 0x2c89da655cd8bd7eull},  {"plrabn12.txt", 232837, 0x4c5d03f30006b954ull},
        {"urls.10K", 305123, 0x78f20f2fbdc0c620ull},
    };
    size_t seen = 0;
    for (const std::string& f : CorpusFiles()) {
        const std::string name = f.substr(f.rfind('/') + 1);
        for (const Pinned& p : pins) {
            if (name != p.name) continue;
            const Bytes s = EncodeAll(ReadFileBytes(f));
            EXPECT_EQ(s.size(), p.streamSize) << name;
            EXPECT_EQ(Fnv1a(s), p.hash) << name;
            ++seen;
        }
    }
    if (seen == 0) GTEST_SKIP() << "corpus absent";
}

// A block behind a full window takes over the chains of its history; they
// must be those a build from scratch gives.
TEST(RelcEncoderPinned, ChainsTakenOverEqualRebuiltOnes) {
    using namespace relc_detail;
    std::unique_ptr<EncoderState> carried(new EncoderState());
    std::unique_ptr<EncoderState> fresh(new EncoderState());
    const Bytes data = StructuredBytes(3 * RELC_WINDOW_SIZE, 23);
    const uint32_t later = RELC_WINDOW_SIZE - RELC_HISTORY_SIZE;
    std::memcpy(carried->window, data.data(), RELC_WINDOW_SIZE);
    BuildPrevTable(*carried, RELC_WINDOW_SIZE);
    for (uint32_t block = 1; block <= 3; ++block) {
        // The last block is short, and the one before it is taken over too.
        const uint32_t count = block == 3 ? RELC_HISTORY_SIZE + 1000 : RELC_WINDOW_SIZE;
        std::memcpy(carried->window, data.data() + block * later, count);
        std::memcpy(fresh->window, carried->window, count);
        BuildPrevTableBehind(*carried, count);
        BuildPrevTable(*fresh, count);
        ASSERT_EQ(std::memcmp(carried->prev, fresh->prev, count * sizeof carried->prev[0]), 0) << "block " << block;
    }
}

}  // namespace
