#include "codec/relc_workspace.h"

#include <cstring>

namespace relc_detail {

Workspace g_ws;

namespace {

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "keys are read as the low bytes of a word");
static_assert(WINDOW_SLACK >= 8, "a key is read as a whole word, past the window's last position");

// The Width bytes at p as a key, and its hash.
template <uint32_t Width>
struct Key;
template <>
struct Key<3> {
    static uint32_t At(const uint8_t* p) {
        uint32_t v;
        std::memcpy(&v, p, 4);
        return v & 0xFFFFFF;
    }
    static uint32_t Hash(uint32_t k) { return (k * 2654435761u) >> (32 - PREV_HASH_BITS); }
};
template <uint32_t Width>
struct Key {
    static uint64_t At(const uint8_t* p) {
        uint64_t v;
        std::memcpy(&v, p, 8);
        return Width == 8 ? v : v & ((uint64_t(1) << (8 * Width)) - 1);
    }
    static uint32_t Hash(uint64_t k) { return uint32_t((k * 0x9E3779B97F4A7C15ull) >> (64 - PREV_HASH_BITS)); }
};

// Moves st.headBase on by advance for a new build, so that the heads of
// earlier builds lie before its position 0. False when the bases ran out
// and the heads were cleared, which forgets every earlier build.
bool AdvanceBase(EncoderState& st, uint32_t advance) {
    if (st.headBase <= 0xFFFFFFFFu - 4 * RELC_WINDOW_SIZE) {
        st.headBase += advance;
        return true;
    }
    std::memset(st.head, 0, sizeof st.head);
    st.headBase = 2 * RELC_WINDOW_SIZE;  // a cleared head lies before it
    return false;
}

// chain[s] = s - s' for the greatest s' < s with the same Width bytes at s'
// as at s, else 0, for the start positions s from `from` on of the window's
// first count bytes (the earlier ones and their heads are in place); 0 for
// the positions too near the end to start a key. One pass keeps the last
// position of every key hash: when that position holds the same key, it is
// s'. When it holds another (two keys share the hash), the positions with
// that hash are followed back until one holds the key; the hash keeps
// those walks short. A head below headBase (an earlier build's) or at s
// and above reads as empty.
template <uint32_t Width>
void BuildChain(EncoderState& st, uint32_t from, uint32_t count, uint16_t* chain) {
    const uint8_t* W = st.window;
    const uint32_t base = st.headBase;
    uint32_t* head = st.head;
    uint16_t* hashPrev = st.hashPrev;

    const uint32_t m = count >= Width ? count - Width + 1 : 0;
    for (uint32_t s = from; s < m; ++s) {
        const auto key = Key<Width>::At(W + s);
        uint32_t* slot = head + Key<Width>::Hash(key);
        const uint32_t c = *slot - base;  // an earlier build's head wraps past s
        *slot = base + s;
        // Hit or miss without a branch: a miss looks at s itself.
        const uint32_t back = (s - c) & (0u - uint32_t(c < s));
        hashPrev[s] = uint16_t(back);
        uint32_t found = back;
        if (Key<Width>::At(W + s - back) != key) {
            found = 0;
            for (uint32_t x = c; hashPrev[x] != 0;) {
                x -= hashPrev[x];
                if (Key<Width>::At(W + x) == key) {
                    found = s - x;
                    break;
                }
            }
        }
        chain[s] = uint16_t(found);
    }
    for (uint32_t s = m > from ? m : from; s < count; ++s) chain[s] = 0;
}

}  // namespace

void BuildPrevTable(EncoderState& st, uint32_t count) {
    st.wideChains = false;
    st.chainExcess = 0;
    st.chainsCarry = false;
    if (count <= 3) {
        st.prev[0] = st.prev[1] = st.prev[2] = 0;
        return;
    }
    AdvanceBase(st, 2 * RELC_WINDOW_SIZE);
    BuildChain<3>(st, 0, count, st.prev);
    st.chainsCarry = count == RELC_WINDOW_SIZE;
}

// The history's chains are the old window's, cut where they reach before
// its new start; its heads are the old heads, moved back with the base. Its
// last two positions start keys that reach into the new bytes, so the
// build goes on from there.
void BuildPrevTableBehind(EncoderState& st, uint32_t count) {
    constexpr uint32_t moved = RELC_WINDOW_SIZE - RELC_HISTORY_SIZE;
    if (!st.chainsCarry || count <= RELC_HISTORY_SIZE || !AdvanceBase(st, moved)) {
        BuildPrevTable(st, count);
        return;
    }
    st.wideChains = false;
    st.chainExcess = 0;
    for (uint32_t s = 0; s < RELC_HISTORY_SIZE; ++s) {
        const uint16_t p = st.prev[moved + s];
        const uint16_t h = st.hashPrev[moved + s];
        st.prev[s] = p <= s ? p : 0;
        st.hashPrev[s] = h <= s ? h : 0;
    }
    BuildChain<3>(st, RELC_HISTORY_SIZE - 2, count, st.prev);
    st.chainsCarry = count == RELC_WINDOW_SIZE;
}

void BuildWideChains(EncoderState& st, uint32_t count) {
    // These builds take over the heads and hashPrev.
    st.chainsCarry = false;
    AdvanceBase(st, 2 * RELC_WINDOW_SIZE);
    BuildChain<5>(st, 0, count, st.prev5);
    AdvanceBase(st, 2 * RELC_WINDOW_SIZE);
    BuildChain<8>(st, 0, count, st.prev8);
    st.wideChains = true;
}

}  // namespace relc_detail
