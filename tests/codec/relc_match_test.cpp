// The match search against brute force: the prev table must be exact, and
// the chain walk (with its run shortcuts) must find the longest match that
// lies within reach.
#include <gtest/gtest.h>

#include <cstring>

#include "codec/relc_workspace.h"
#include "relc_test_util.h"

using namespace relc_detail;

namespace {

void LoadWindow(const Bytes& data) {
    ASSERT_LE(data.size(), RELC_WINDOW_SIZE);
    std::memcpy(g_ws.window, data.data(), data.size());
}

int32_t BrutePrev(const Bytes& w, uint32_t s) {
    if (s + 3 > w.size()) return 0;
    for (uint32_t t = s; t-- > 0;)
        if (w[t] == w[s] && w[t + 1] == w[s + 1] && w[t + 2] == w[s + 2]) return int32_t(s - t);
    return 0;
}

uint32_t BruteLongest(const Bytes& w, uint32_t i) {
    uint32_t best = 0;
    for (uint32_t d = 1; d <= RELC_MAX_DISTANCE && d <= i; ++d) {
        uint32_t L = 0;
        while (i + L < w.size() && w[i + L] == w[i + L - d]) ++L;
        if (L > best) best = L;
    }
    return best >= 3 ? best : 0;
}

std::vector<Bytes> Windows() {
    std::vector<Bytes> ws;
    ws.push_back(StructuredBytes(32768, 1));
    ws.push_back(StructuredBytes(20000, 2));
    // Runs of every length next to each other, and runs inside patterns.
    Bytes runs;
    for (uint32_t len = 1; runs.size() < 30000; len = len % 40 + 1) runs.insert(runs.end(), len, uint8_t('a' + len % 3));
    ws.push_back(runs);
    Bytes mixed = RandomBytes(16384, 4);
    for (size_t k = 0; k < mixed.size(); ++k) mixed[k] = uint8_t(mixed[k] % 3);
    ws.push_back(mixed);
    ws.push_back(Bytes(5000, 7));
    return ws;
}

TEST(RelcMatch, PrevTableEqualsTheGreatestEarlierEqualKey) {
    for (const Bytes& w : Windows()) {
        LoadWindow(w);
        BuildPrevTable(uint32_t(w.size()));
        for (uint32_t s = 0; s < w.size(); ++s) ASSERT_EQ(g_ws.prev[s], BrutePrev(w, s)) << "position " << s;
    }
}

TEST(RelcMatch, ChainWalkFindsTheLongestMatchInReach) {
    g_ws.searchDepth = 32767;
    for (const Bytes& w : Windows()) {
        LoadWindow(w);
        const uint32_t count = uint32_t(w.size());
        BuildPrevTable(count);
        // Every position is costly to brute-force; a stride keeps it quick
        // while still landing inside runs, at run starts and in patterns.
        for (uint32_t i = 1; i + 3 <= count; i += 3 + i % 29) {
            if (g_ws.prev[i] <= 0) continue;
            const Match m = FindMatch(i, count);
            if (g_ws.prev[i] >= 8192) {
                EXPECT_EQ(m.length, 0u);
                continue;
            }
            ASSERT_EQ(m.length, BruteLongest(w, i)) << "position " << i;
            ASSERT_GE(m.distance, 1u);
            ASSERT_LE(m.distance, RELC_MAX_DISTANCE);
            ASSERT_EQ(std::memcmp(&w[i], &w[i - m.distance], m.length), 0) << "position " << i;
        }
    }
}

}  // namespace
