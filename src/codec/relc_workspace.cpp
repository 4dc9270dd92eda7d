#include "codec/relc_workspace.h"

#include <cstring>

namespace relc_detail {

Workspace g_ws;

namespace {

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "keys are read as the low bytes of a word");
static_assert(RELC_WINDOW_SIZE <= 0x10000, "a stamped head holds a window position in its low 16 bits");
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

// chain[s] = s - s' for the greatest s' < s with the same Width bytes at s'
// as at s, else 0, for the start positions s of the window's first count
// bytes; 0 for the positions too near the end to start a key. One pass
// keeps the last position of every key hash: when that position holds the
// same key, it is s'. When it holds another (two keys share the hash), the
// positions with that hash are followed back until one holds the key; the
// hash keeps those walks short.
//
// Each build stamps the heads it writes, so a head of an earlier build reads
// as empty and the heads are never cleared, except when the stamps run out.
template <uint32_t Width>
void BuildChain(EncoderState& st, uint32_t count, uint16_t* chain) {
    const uint8_t* W = st.window;
    if (++st.headStamp > 0xFFFF) {
        std::memset(st.head, 0, sizeof st.head);
        st.headStamp = 1;
    }
    const uint32_t base = st.headStamp << 16;
    uint32_t* head = st.head;
    uint16_t* hashPrev = st.hashPrev;

    const uint32_t m = count >= Width ? count - Width + 1 : 0;
    for (uint32_t s = 0; s < m; ++s) {
        const auto key = Key<Width>::At(W + s);
        uint32_t* slot = head + Key<Width>::Hash(key);
        const uint32_t c = *slot - base;  // a head of an earlier build wraps past s
        *slot = base | s;
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
    for (uint32_t s = m; s < count; ++s) chain[s] = 0;
}

}  // namespace

void BuildPrevTable(EncoderState& st, uint32_t count) {
    st.wideChains = false;
    st.chainSteps = 0;
    st.chainSearches = 0;
    if (count <= 3) {
        st.prev[0] = st.prev[1] = st.prev[2] = 0;
        return;
    }
    BuildChain<3>(st, count, st.prev);
}

void BuildWideChains(EncoderState& st, uint32_t count) {
    BuildChain<5>(st, count, st.prev5);
    BuildChain<8>(st, count, st.prev8);
    st.wideChains = true;
}

}  // namespace relc_detail
