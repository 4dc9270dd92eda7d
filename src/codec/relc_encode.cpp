// relc encoder: block cutting, match search, and the two interfaces over
// one core: the incremental one on the process-wide workspace and the
// block-at-a-time one on the caller's states.
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>

#include "codec/relc.h"
#include "codec/relc_block.h"
#include "codec/relc_workspace.h"

using namespace relc_detail;

namespace {

constexpr int32_t DEFAULT_SEARCH_DEPTH = 32767;
constexpr uint32_t MAX_DISTANCE_EXCL = RELC_MAX_DISTANCE + 1;  // 8192

}  // namespace

namespace relc_detail {

namespace {

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "word-wise compares assume little-endian loads");

inline uint64_t Load64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

inline uint32_t Load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// Grows n while W[a + n] == W[b + n] and a + n < count (b < a), eight bytes
// at a time where the window allows.
inline uint32_t Extend(const uint8_t* W, uint32_t a, uint32_t b, uint32_t n, uint32_t count) {
    while (a + n + 8 <= count) {
        const uint64_t x = Load64(W + a + n) ^ Load64(W + b + n);
        if (x != 0) return n + uint32_t(__builtin_ctzll(x) >> 3);
        n += 8;
    }
    while (a + n < count && W[a + n] == W[b + n]) ++n;
    return n;
}

}  // namespace

namespace {

// The search under a candidate limit (depth levels 1 to 128): the chain of
// equal three-byte keys from i, nearest first, for as many candidates as
// the limit allows. Runs of one byte value (prev = 1) are walked position
// by position, since the chain there only ever steps back by one.
//
// Every stop of the walk returns the same (L, best), so the checks are
// placed where their inputs change rather than repeated for every candidate.
Match WalkChain(const EncoderState& st, uint32_t i, uint32_t count) {
    const uint8_t* W = st.window;
    const uint16_t* P = st.prev;

    if (P[i] >= int32_t(MAX_DISTANCE_EXCL)) return {0, 0};
    uint32_t best = i - uint32_t(P[i]);
    uint32_t L = Extend(W, i, best, 3, count);
    if (st.searchDepth <= 1) return {L, i - best};

    int32_t t = P[i + L - 2];
    if (t == 0 || uint32_t(t) > i) return {L, i - best};

    uint32_t d = best;
    uint32_t run = 0;
    uint32_t e = 0;
    if (P[i + 1] == 1) {
        run = 2;
        while (P[i + run] == 1) ++run;
        e = 1;
        if (P[d] == 1) {
            if (P[i] == 1) {
                while (P[d] == 1) --d;
            } else {
                e = 2;
            }
        }
    }
    if (P[d] <= 0) return {L, i - best};
    if (i + L >= count) return {L, i - best};
    int32_t steps = st.searchDepth;
    // Candidates below this position are 8192 or more bytes back.
    const uint32_t lowest = i >= RELC_MAX_DISTANCE ? i - RELC_MAX_DISTANCE : 0;

    if (run == 0) {
        for (;;) {
            d -= uint32_t(P[d]);
            if (--steps <= 0 || d < lowest) break;
            // A longer match must agree at L; bytes 0..2 agree along the
            // chain, so the four bytes ending at L and then those from L-4
            // down to 3 decide.
            if (W[i + L] == W[d + L] && Load32(W + i + L - 3) == Load32(W + d + L - 3) &&
                (L <= 6 || std::memcmp(W + i + 3, W + d + 3, L - 6) == 0)) {
                {
                    best = d;
                    L = Extend(W, i, d, L + 1, count);
                    if (i + L >= count) break;
                    t = P[i + L - 2];
                    if (t == 0 || uint32_t(t) > i) break;
                }
            }
            if (P[d] <= 0) break;
        }
        return {L, i - best};
    }

    for (;;) {
        d -= uint32_t(P[d]);
        if (--steps <= 0 || d < lowest) break;
        if (P[d] == 1) {
            // Slide d down its run for as long as the bytes agreeing with
            // the run at i can grow and the distance allows.
            uint32_t dist = i - d + 1;
            do {
                if (run <= e || dist >= MAX_DISTANCE_EXCL) break;
                --d;
                ++dist;
                ++e;
            } while (P[d] == 1);
        }
        const uint32_t k = Extend(W, i, d, e + 2, count);
        if (k > L) {
            L = k;
            best = d;
            if (i + L >= count) break;
        }
        if (P[i + L - 2] == 0) break;
        while (P[d] == 1) --d;
        e = 1;
        if (P[d] <= 0) break;
    }
    return {L, i - best};
}

// A chain table and the key width it chains.
struct Chains {
    const uint16_t* P;
    uint32_t width;
};

// The sparsest chains a match longer than L is sure to lie on.
inline Chains ChainsFor(const EncoderState& st, uint32_t L) {
    if (st.wideChains) {
        if (L + 1 >= 8) return {st.prev8, 8};
        if (L + 1 >= 5) return {st.prev5, 5};
    }
    return {st.prev, 3};
}

// Raises *far to the largest P[at + k] - 1 (a missing occurrence, 0, being
// the largest of all) among the offsets k below n, and sets *kk to its k.
// Every offset gives a sound bound, so beyond FARTHEST_SPREAD offsets only
// an even spread of about that many is looked at: along one long match the
// chains are much alike.
constexpr uint32_t FARTHEST_SPREAD = 16;
inline void Farthest(const uint16_t* P, uint32_t at, uint32_t n, uint32_t* far, uint32_t* kk) {
    uint32_t f = *far;
    uint32_t w = *kk;
    const uint32_t stride = n > FARTHEST_SPREAD ? n / FARTHEST_SPREAD : 1;
    for (uint32_t k = 0; k < n; k += stride) {
        const uint32_t s = uint32_t(P[at + k]) - 1u;
        const bool further = s >= f;
        f = further ? s : f;
        w = further ? k : w;
    }
    *far = f;
    *kk = w;
}

// A block's chains prove long once its searches have visited more than
// WIDE_CHAIN_RATIO candidates each, by WIDE_CHAIN_STEPS in all: about what
// building the wider chains costs, and more than text ever needs.
constexpr uint32_t WIDE_CHAIN_STEPS = 4096;
constexpr uint32_t WIDE_CHAIN_RATIO = 12;
inline bool ChainsProveLong(const EncoderState& st) {
    return st.chainExcess > int32_t(WIDE_CHAIN_STEPS);
}

// The nearest of the longest matches at i that are longer than L (at least
// 2) and within reach; length 0 when there is none. With no candidate limit
// the chain walk returns exactly this, so any search that finds it gives
// the same tokens, and this one visits far fewer candidates.
//
// A match longer than L agrees with the bytes at i on every key of w bytes
// at offsets 0 to L + 1 - w, so a candidate d must lie, shifted by k, on
// the chain of i + k for each such k: no candidate lies above i - P[i + k].
// The walk follows the one chain whose first step reaches farthest; once a
// candidate d agrees with i on all L bytes, every offset up to L - w holds
// for d as well, and the choice is made again from there, on the widest
// keys the new L allows when the block has its wider chains.
Match SearchLonger(EncoderState& st, uint32_t i, uint32_t count, uint32_t L) {
    if (i + L >= count) return {0, 0};
    if (!st.wideChains && ChainsProveLong(st)) BuildWideChains(st, count);
    const uint8_t* W = st.window;
    const uint32_t lowest = i >= RELC_MAX_DISTANCE ? i - RELC_MAX_DISTANCE : 0;
    const uint32_t reach = i - lowest;
    Chains c = ChainsFor(st, L);

    // Steps are kept less one, so that a missing occurrence (0) is the
    // longest of all.
    uint32_t far = 0;
    uint32_t kk = 0;  // d + kk lies on the chain of i + kk
    Farthest(c.P, i, L + 2 - c.width, &far, &kk);
    if (far >= reach) return {0, 0};
    uint32_t d = i - (far + 1);
    uint32_t best = 0;
    bool found = false;
    uint32_t steps = 1;
    uint8_t next = W[i + L];

    for (;;) {
        if (W[d + L] == next) {
            const uint32_t m = Extend(W, i, d, 0, count);
            if (m > L) {
                L = m;
                best = d;
                found = true;
                if (i + L >= count) break;
                next = W[i + L];
                c = ChainsFor(st, L);
                // The key that ends at byte L of i, which d does not share,
                // bounds every candidate from i's side.
                const uint32_t s = uint32_t(c.P[i + L + 1 - c.width]) - 1u;
                if (s >= reach) break;
                const uint32_t bound = i - (s + 1);
                const bool below = bound < d;
                far = below ? d - bound - 1 : 0;
                kk = below ? L + 1 - c.width : 0;
                Farthest(c.P, d, L + 1 - c.width, &far, &kk);
                if (far >= d - lowest) break;
                d -= far + 1;
                ++steps;
                continue;
            }
        }
        far = uint32_t(c.P[d + kk]) - 1u;
        if (far >= d - lowest) break;
        d -= far + 1;
        ++steps;
    }
    st.chainExcess += int32_t(steps) - int32_t(WIDE_CHAIN_RATIO);
    return found ? Match{L, i - best} : Match{0, 0};
}

}  // namespace

// Longest earlier occurrence of the bytes at i within the distance bound,
// as the encoder's search depth lets it go.
Match FindMatch(EncoderState& st, uint32_t i, uint32_t count) {
    if (st.searchDepth > int32_t(RELC_MAX_DISTANCE)) {
        if (st.prev[i] >= int32_t(MAX_DISTANCE_EXCL)) return {0, 0};
        return SearchLonger(st, i, count, 2);
    }
    return WalkChain(st, i, count);
}

// Both interfaces code their blocks here.
uint32_t EncodeBlock(EncoderState& st, uint32_t start, uint32_t count, uint8_t* target, bool follows) {
    const uint32_t n = count - start;
    const uint8_t* W = st.window;
    const uint16_t* P = st.prev;
    uint8_t* payload = target + 2;

    // A walk of more than 8191 candidates always ends at the distance bound
    // first: such a depth asks for the longest match in reach.
    const bool exhaustive = st.searchDepth > int32_t(RELC_MAX_DISTANCE);
    // Blocks of a stream tend to be alike: one whose chains proved long
    // starts the next with the wider chains at once.
    const bool wide = exhaustive && ChainsProveLong(st);
    if (follows) {
        BuildPrevTableBehind(st, count);
    } else {
        BuildPrevTable(st, count);
    }
    if (wide && count > 3) BuildWideChains(st, count);

    uint32_t w = 2;        // write offset in the payload
    uint32_t ctrlPos = 0;  // where the current control word goes
    uint32_t bits = 0;
    uint32_t mask = 0x8000;
    bool lazyPending = false;
    Match lazy = {0, 0};
    bool stored = false;

    uint32_t i = start;
    while (i < count) {
        Match m = {0, 0};
        if (lazyPending) {
            m = lazy;
            lazyPending = false;
        } else if (P[i] > 0) {
            if (!exhaustive) {
                m = WalkChain(st, i, count);
            } else if (P[i] < MAX_DISTANCE_EXCL) {
                m = SearchLonger(st, i, count, 2);
            }
            if (m.length != 0 && P[i + 1] > 0) {
                // Only a longer match one byte on matters, and the unbounded
                // search can look for that alone.
                const Match m2 = exhaustive ? SearchLonger(st, i + 1, count, m.length) : WalkChain(st, i + 1, count);
                if (m2.length > m.length) {
                    lazy = m2;
                    lazyPending = true;
                    m.length = 0;  // the literal W[i] goes first
                }
            }
        }

        if (m.length == 0) {
            if (!(w + 1 < n)) {
                stored = true;
                break;
            }
            payload[w++] = W[i];
            ++i;
        } else {
            if (!(w + 2 < n)) {
                stored = true;
                break;
            }
            bits |= mask;
            uint32_t L = m.length;
            // Lengths 10 and 10 + 255k have no code of their own.
            if (L == 10 || (L > 10 && (L - 10) % 255 == 0)) --L;
            const uint32_t D = m.distance;
            const uint32_t code = L <= 9 ? L - 3 : 7;
            payload[w++] = uint8_t(((D >> 8) << 3) | code);
            payload[w++] = uint8_t(D);
            if (L >= 11) {
                uint32_t r = L - 10;
                while (r > 0) {
                    if (!(w + 1 < n)) {
                        stored = true;
                        break;
                    }
                    const uint32_t x = r < 255 ? r : 255;
                    payload[w++] = uint8_t(x);
                    r -= x;
                }
                if (stored) break;
            }
            i += L;
        }

        mask >>= 1;
        if (mask == 0) {
            WriteBE16(payload + ctrlPos, bits);
            ctrlPos = w;
            w += 2;
            mask = 0x8000;
            bits = 0;
        }
    }

    // The end-of-block marker takes the next control bit. A payload that
    // would reach 32768 bytes cannot be told from a stored header; it is
    // checked before its last bytes are written, as the target holds only
    // one stored block's worth.
    const uint32_t payloadLen = w + 2;
    if (!stored && payloadLen < RELC_WINDOW_SIZE) {
        bits |= mask;
        WriteBE16(payload + ctrlPos, bits);
        payload[w] = 0;
        payload[w + 1] = 0;
        WriteBE16(target, payloadLen);
        return payloadLen + 2;
    }
    WriteBE16(target, 0x8000 | (n & 0x7FFF));
    std::memcpy(target + 2, W + start, n);
    return n + 2;
}

}  // namespace relc_detail

namespace {

// Codes the workspace window's first count bytes as one block into target
// (room for RELC_STAGING_SIZE bytes). Returns the bytes produced via
// *produced and 0, or RELC_E_PARAM when there is nothing at all to code.
uint32_t EncodeWindow(uint32_t count, uint8_t* target, uint32_t* produced) {
    Workspace& ws = g_ws;
    *produced = 0;
    const bool history = (ws.flags & FLAG_HISTORY_PRESENT) != 0;
    const uint32_t start = history ? RELC_HISTORY_SIZE : 0;
    if (history && count <= start) {
        // Only the history is left: the previous block was the last.
        ws.flags = FLAG_HISTORY_PRESENT;
        return 0;
    }
    if (!history && count == 0) return RELC_E_PARAM;

    // A later block's history is the end of the window coded before.
    *produced = EncodeBlock(ws, start, count, target, history);
    if (count == RELC_WINDOW_SIZE) {
        ws.flags |= FLAG_WINDOW_WAS_FULL;
    } else {
        ws.flags &= ~FLAG_WINDOW_WAS_FULL;
    }
    ws.flags |= FLAG_HISTORY_PRESENT;
    return 0;
}

}  // namespace

uint32_t RelcInitEncoder(int32_t depthLevel, uint64_t totalSize) {
    if (totalSize == 0 || depthLevel > 128) return RELC_E_PARAM;
    Workspace& ws = g_ws;
    ws.searchDepth = depthLevel == 0 ? DEFAULT_SEARCH_DEPTH : depthLevel;
    ws.flags = 0;
    ws.totalSize = totalSize;
    ws.windowFree = uint16_t(RELC_WINDOW_SIZE);
    ws.stagingCount = 0;
    ws.stagingRead = 0;
    return 0;
}

uint32_t RelcEncode(const uint8_t* in, uint8_t* out, uint32_t* inLen, uint32_t* outLen) {
    Workspace& ws = g_ws;
    const uint32_t offered = *inLen;
    const uint32_t room0 = *outLen;
    const bool flush = offered == 0;
    uint32_t taken = 0;
    uint32_t written = 0;
    uint32_t status = 0;

    for (;;) {
        // Gather.
        bool blockWaiting = ws.windowFree == 0;
        if (taken < offered) {
            if (!blockWaiting) {
                const uint32_t fill = RELC_WINDOW_SIZE - ws.windowFree;
                uint32_t n = offered - taken;
                if (n > ws.windowFree) n = ws.windowFree;
                std::memcpy(ws.window + fill, in + taken, n);
                taken += n;
                ws.windowFree = uint16_t(ws.windowFree - n);
                if (ws.windowFree == 0) {
                    blockWaiting = true;
                } else {
                    status |= RELC_NEED_INPUT;
                }
            }
        } else {
            if (flush) blockWaiting = true;
            status |= RELC_NEED_INPUT;
        }

        // Code.
        uint32_t blockResult = 0;
        if (blockWaiting && ws.stagingCount == 0) {
            const uint32_t room = room0 - written;
            const bool direct = room >= RELC_STAGING_SIZE;
            uint8_t* target = direct ? out + written : ws.staging;
            uint32_t produced = 0;
            blockResult = EncodeWindow(RELC_WINDOW_SIZE - ws.windowFree, target, &produced);
            if (direct) {
                written += produced;
            } else {
                ws.stagingRead = 0;
                ws.stagingCount = uint16_t(produced);
            }
            blockWaiting = false;
            if (blockResult == 0 && (ws.flags & FLAG_WINDOW_WAS_FULL) != 0 && produced != 0) {
                std::memmove(ws.window, ws.window + NEW_BYTES_LATER_BLOCK, RELC_HISTORY_SIZE);
                ws.windowFree = uint16_t(NEW_BYTES_LATER_BLOCK);
            } else {
                ws.windowFree = uint16_t(RELC_WINDOW_SIZE);
            }
        }

        // Deliver.
        if (ws.stagingCount != 0) {
            const uint32_t room = room0 - written;
            uint32_t n = ws.stagingCount;
            if (n >= room) {
                status |= RELC_OUTPUT_FULL;
                n = room;
            }
            std::memcpy(out + written, ws.staging + ws.stagingRead, n);
            written += n;
            ws.stagingRead += n;
            ws.stagingCount = uint16_t(ws.stagingCount - n);
        }

        if ((status & RELC_NEED_INPUT) != 0 || blockResult != 0) break;
        if (ws.stagingCount != 0 && ws.windowFree == 0) break;
    }

    // End marker.
    if (flush && ws.stagingCount == 0 && ws.windowFree == RELC_WINDOW_SIZE) {
        if ((ws.flags & FLAG_END_MARKER) == 0) {
            ws.flags |= FLAG_END_MARKER;
            const uint32_t room = room0 - written;
            if (room >= 3) {
                out[written++] = 0;
                out[written++] = 0;
                status |= RELC_STREAM_END;
            } else {
                ws.staging[0] = 0;
                ws.staging[1] = 0;
                ws.stagingRead = 0;
                ws.stagingCount = 2;
            }
        } else {
            status |= RELC_STREAM_END;
        }
    }

    *inLen = taken;
    *outLen = written;
    return status;
}

struct RelcBlockEncoder : relc_detail::EncoderState {};
// Default-initialising it on zeroed memory must leave every field zero.
static_assert(std::is_trivially_default_constructible<RelcBlockEncoder>::value, "an encoder starts as zeroed memory");

RelcBlockEncoder* RelcNewBlockEncoder(int32_t depthLevel) {
    if (depthLevel > 128) return nullptr;
    // Zeroed pages from the system rather than half a megabyte cleared
    // by hand: a short-lived process (a tool packing a few files) would
    // spend a good part of a small file's coding time on that.
    void* memory = std::calloc(1, sizeof(RelcBlockEncoder));
    if (memory == nullptr) return nullptr;
    RelcBlockEncoder* encoder = new (memory) RelcBlockEncoder;
    encoder->searchDepth = depthLevel == 0 ? DEFAULT_SEARCH_DEPTH : depthLevel;
    return encoder;
}

void RelcFreeBlockEncoder(RelcBlockEncoder* encoder) {
    if (encoder == nullptr) return;
    encoder->~RelcBlockEncoder();
    std::free(encoder);
}

uint32_t RelcEncodeBlock(RelcBlockEncoder* encoder, const uint8_t* history, const uint8_t* newBytes, uint32_t newCount,
                         uint8_t* out) {
    const uint32_t start = history != nullptr ? RELC_HISTORY_SIZE : 0;
    if (newCount == 0 || newCount > RELC_WINDOW_SIZE - start) return 0;
    // Blocks coded in stream order by one state take over the chains of
    // the history from the block before.
    bool follows = false;
    if (history != nullptr) {
        uint8_t* const tail = encoder->window + (RELC_WINDOW_SIZE - RELC_HISTORY_SIZE);
        follows = encoder->chainsCarry && std::memcmp(tail, history, RELC_HISTORY_SIZE) == 0;
        std::memcpy(encoder->window, history, RELC_HISTORY_SIZE);
    }
    std::memcpy(encoder->window + start, newBytes, newCount);
    return EncodeBlock(*encoder, start, start + newCount, out, follows);
}
