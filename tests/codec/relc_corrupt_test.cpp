// Hostile streams: the decoder reports RELC_E_DATA or runs out of input, and
// never reads or writes outside what it was given.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "codec/relc.h"
#include "codec/relc_workspace.h"
#include "relc_test_util.h"

namespace {

// Decodes under a few patterns; the sanitizers and exact-size buffers do the
// real checking, the result only has to be one of the allowed outcomes.
void DecodeHostile(const Bytes& s, const std::string& what) {
    for (const CallPattern& p : {CallPattern{0, 1u << 17}, CallPattern{1, 5}, CallPattern{333, 4096}}) {
        const DecodeResult r = DecodeWith(s, p);
        ASSERT_NE(r.error, 0xFFu) << what << ": counts out of range";
        ASSERT_TRUE(r.error == RELC_E_DATA || r.error == 0) << what;
        ASSERT_TRUE(r.error != 0 || r.ended || r.stalled) << what;
    }
}

uint32_t DecodeError(const Bytes& s) { return DecodeWith(s, {0, 1u << 17}).error; }

TEST(RelcCorrupt, EndMarkerBeforeAnyBlockIsAnError) {
    EXPECT_EQ(DecodeError({0x00, 0x00}), RELC_E_DATA);
    EXPECT_EQ(DecodeError({0x00, 0x00, 0x12, 0x34}), RELC_E_DATA);
}

TEST(RelcCorrupt, BytesAfterTheEndOfBlockMarkerAreAnError) {
    // control 0x4000: literal, end-of-block; then a stray byte in the payload.
    EXPECT_EQ(DecodeError({0x00, 0x06, 0x40, 0x00, 'a', 0x00, 0x00, 'x', 0x00, 0x00}), RELC_E_DATA);
}

TEST(RelcCorrupt, DistanceBeforeTheWindowIsAnError) {
    // Literal 'a', then a match 3 back from position 1 in the first block.
    EXPECT_EQ(DecodeError({0x00, 0x07, 0x60, 0x00, 'a', 0x00, 0x03, 0x00, 0x00, 0x00, 0x00}), RELC_E_DATA);
    // The largest distance, with only a few bytes decoded.
    EXPECT_EQ(DecodeError({0x00, 0x07, 0x60, 0x00, 'a', 0xF8, 0xFF, 0x00, 0x00, 0x00, 0x00}), RELC_E_DATA);
}

TEST(RelcCorrupt, OutputPastTheWindowIsAnError) {
    // A first block of one literal and a distance-1 match of 10 + 255*130
    // bytes: more than the window holds.
    Bytes s = {0x00, 0x00, 0x60, 0x00, 'a', 0x07, 0x01};
    for (int k = 0; k < 130; ++k) s.push_back(255);
    s.push_back(1);
    s.push_back(0);
    s.push_back(0);
    const uint32_t payload = uint32_t(s.size() - 2);
    s[0] = uint8_t(payload >> 8);
    s[1] = uint8_t(payload);
    s.push_back(0);
    s.push_back(0);
    EXPECT_EQ(DecodeError(s), RELC_E_DATA);

    // A later block that is stored with 32768 bytes cannot fit behind the
    // history.
    Bytes two = EncodeAll(RandomBytes(32768, 1));
    two.resize(two.size() - 2);  // drop the end marker
    const Bytes raw = RandomBytes(32768, 2);
    two.push_back(0x80);
    two.push_back(0x00);
    two.insert(two.end(), raw.begin(), raw.end());
    two.push_back(0);
    two.push_back(0);
    EXPECT_EQ(DecodeError(two), RELC_E_DATA);
}

// A match 16 bytes back: its length code and extension bytes.
struct Match16 {
    uint8_t code;
    Bytes extension;
};

// A first block of 16 literals and then the matches, closed by the
// end-of-block marker.
Bytes FirstBlockOfMatches(const std::vector<Match16>& matches) {
    Bytes payload;
    size_t control = 0;
    uint32_t tokens = 0;
    auto token = [&](bool match) {
        if (tokens % 16 == 0) {
            control = payload.size();
            payload.push_back(0);
            payload.push_back(0);
        }
        if (match) payload[control + (tokens % 16 < 8 ? 0 : 1)] |= uint8_t(0x80u >> (tokens % 8));
        ++tokens;
    };
    for (int k = 0; k < 16; ++k) {
        token(false);
        payload.push_back(uint8_t('a' + k));
    }
    for (const Match16& m : matches) {
        token(true);
        payload.push_back(m.code);  // (16 >> 8) << 3 | code
        payload.push_back(16);
        payload.insert(payload.end(), m.extension.begin(), m.extension.end());
    }
    token(true);
    payload.push_back(0);
    payload.push_back(0);
    Bytes s = {uint8_t(payload.size() >> 8), uint8_t(payload.size())};
    s.insert(s.end(), payload.begin(), payload.end());
    s.push_back(0);
    s.push_back(0);
    return s;
}

TEST(RelcCorrupt, LongMatchesAtTheWindowsEndStayInsideIt) {
    // 16 literals, 123 matches of 264 bytes and one of 210 leave 70 bytes
    // of the window: room for the decoder's fast loop to take the last
    // match, which that loop copies in 16-byte moves.
    std::vector<Match16> filling(123, Match16{7, {254}});
    filling.push_back({7, {200}});
    Bytes expected;
    for (int k = 0; k < 2048; ++k)
        for (int i = 0; i < 16; ++i) expected.push_back(uint8_t('a' + i));

    // A last match of 70 bytes fills the window exactly.
    std::vector<Match16> fits = filling;
    fits.push_back({7, {60}});
    const DecodeResult whole = DecodeWith(FirstBlockOfMatches(fits), {0, 1u << 17});
    EXPECT_EQ(whole.error, 0u);
    EXPECT_TRUE(whole.ended);
    EXPECT_EQ(whole.out, expected);

    // One of 71 or 265 bytes runs past it, as the last token or followed by
    // enough payload for the fast loop to go on; so does anything after the
    // one that fits. Nothing behind the window and its slack may change:
    // the staging buffer lies there, unused for a block offered whole.
    const struct {
        Match16 last;
        int after;
    } cases[] = {{{7, {61}}, 0}, {{7, {61}}, 40}, {{7, {255, 0}}, 0}, {{7, {255, 0}}, 40}, {{7, {60}}, 40}};
    for (const auto& c : cases) {
        std::vector<Match16> past = filling;
        past.push_back(c.last);
        past.insert(past.end(), size_t(c.after), Match16{0, {}});
        std::memset(relc_detail::g_ws.staging, 0xA5, RELC_STAGING_SIZE);
        EXPECT_EQ(DecodeError(FirstBlockOfMatches(past)), RELC_E_DATA)
            << "extension " << int(c.last.extension[0]) << ", " << c.after << " tokens after";
        EXPECT_TRUE(std::all_of(relc_detail::g_ws.staging, relc_detail::g_ws.staging + RELC_STAGING_SIZE,
                                [](uint8_t b) { return b == 0xA5; }))
            << "extension " << int(c.last.extension[0]) << ", " << c.after << " tokens after";
    }
}

TEST(RelcCorrupt, TokensRunningPastThePayloadAreErrors) {
    EXPECT_EQ(DecodeError({0x00, 0x01, 0x80, 0x00, 0x00}), RELC_E_DATA);              // half a control word
    EXPECT_EQ(DecodeError({0x00, 0x04, 0x40, 0x00, 'a', 0x06, 0x00, 0x00}), RELC_E_DATA);  // half a match
    // An extension that never ends within the payload.
    EXPECT_EQ(DecodeError({0x00, 0x07, 0x60, 0x00, 'a', 0x07, 0x01, 0xFF, 0xFF, 0x00, 0x00}), RELC_E_DATA);
}

TEST(RelcCorrupt, TruncatedStreamsStallWithoutError) {
    const Bytes s = EncodeAll(StructuredBytes(70000, 8));
    for (size_t cut : {size_t(1), size_t(2), size_t(3), s.size() / 2, s.size() - 2, s.size() - 1}) {
        const Bytes t(s.begin(), s.begin() + long(cut));
        const DecodeResult r = DecodeWith(t, {0, 65536});
        EXPECT_EQ(r.error, 0u) << cut;
        EXPECT_FALSE(r.ended) << cut;
        EXPECT_TRUE(r.stalled) << cut;
    }
}

TEST(RelcCorrupt, BytesAfterTheEndOfStreamAreNotTaken) {
    Bytes s = EncodeAll(StructuredBytes(40000, 8));
    const size_t streamLen = s.size();
    s.push_back(0x12);
    for (uint32_t room : {1u << 20, 100u}) {
        RelcInitDecoder();
        size_t pos = 0;
        Bytes out(room);
        for (int calls = 0; calls < 10000; ++calls) {
            uint32_t inLen = uint32_t(s.size() - pos), outLen = room;
            const uint32_t st = RelcDecode(s.data() + pos, out.data(), &inLen, &outLen);
            pos += inLen;
            if (st & (RELC_STREAM_END | 0xFF)) break;
        }
        EXPECT_EQ(pos, streamLen) << "room " << room;
    }
}

// A first block that ends short and is followed by another: the second
// block delivers the window's first 8192 bytes as history. They must be the
// first block's bytes and zeros, whatever the room offered and whatever the
// workspace held before (here the encoder's input, all 'Z').
TEST(RelcCorrupt, AShortFirstBlockGoingOnDeliversNoEarlierBytes) {
    const Bytes stream = {0x00, 0x09, 0x18, 0x00, 'a', 'b', 'c', 0x02, 0x03, 0x00, 0x08,  // abcabcababc
                          0x00, 0x02, 0x80, 0x05,                                         // an empty block
                          0x00, 0x00};
    Bytes expected = {'a', 'b', 'c', 'a', 'b', 'c', 'a', 'b', 'a', 'b', 'c'};
    expected.resize(expected.size() + RELC_HISTORY_SIZE);
    std::copy(expected.begin(), expected.begin() + 11, expected.begin() + 11);
    for (const CallPattern p : {CallPattern{0, 1u << 17}, CallPattern{3, 5}, CallPattern{1, 40000}}) {
        (void)EncodeAll(Bytes(RELC_WINDOW_SIZE, 'Z'));
        const DecodeResult r = DecodeWith(stream, p);
        EXPECT_TRUE(r.ended) << p.inChunk << "/" << p.outRoom;
        EXPECT_EQ(r.out, expected) << p.inChunk << "/" << p.outRoom;
    }
}

TEST(RelcCorrupt, FlippedBytesAndForgedHeadersNeverEscapeTheBuffers) {
    const Bytes clean = EncodeAll(StructuredBytes(60000, 21));
    uint32_t st = 77;
    for (int round = 0; round < 300; ++round) {
        Bytes s = clean;
        st = st * 1103515245u + 12345u;
        const size_t at = (st >> 8) % s.size();
        s[at] ^= uint8_t(1u << ((st >> 4) % 8));
        if (round % 3 == 0) {
            // Forge a block header at the start of the second block.
            std::vector<BlockInfo> blocks;
            if (ParseBlocks(clean, &blocks) && blocks.size() > 2) {
                s[blocks[0].size] = uint8_t(st >> 24);
                s[blocks[0].size + 1] = uint8_t(st >> 16);
            }
        }
        DecodeHostile(s, "round " + std::to_string(round));
    }
    DecodeHostile(RandomBytes(100000, 5), "random bytes");
}

}  // namespace
