// relc decoder: block gathering, block decoding and the window discipline.
#include <cstring>

#include "codec/relc.h"
#include "codec/relc_block.h"
#include "codec/relc_workspace.h"

using namespace relc_detail;

namespace {

constexpr uint32_t DECODE_DONE = 0;
constexpr uint32_t DECODE_END_OF_STREAM = 1;

// The copies below move whole chunks and may write up to 31 bytes past the
// end of what they copy (four 16-byte moves for a match of 33); the window's
// slack takes those.
static_assert(WINDOW_SLACK >= 31, "fast copies overshoot by up to 31 bytes");

// Control words as the fast loop holds them, a byte at a time: the bits in
// reverse order (first token lowest) and, from bit 24, the count of
// matches, which with the sixteen tokens' first bytes sizes the group. The
// entries of a word's two bytes add up.
struct ControlTable {
    uint32_t first[256];
    uint32_t second[256];
    constexpr ControlTable() : first(), second() {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t mirrored = 0;
            uint32_t ones = 0;
            for (uint32_t bit = 0; bit < 8; ++bit) {
                if (i & (1u << bit)) {
                    mirrored |= 0x80u >> bit;
                    ++ones;
                }
            }
            first[i] = mirrored | ones << 24;
            second[i] = mirrored << 8 | ones << 24;
        }
    }
};
constexpr ControlTable kControl;

// The control word at p: mirrored in bits 0 to 15, its count of matches
// from bit 24.
inline uint32_t ControlAt(const uint8_t* p) {
    return kControl.first[p[0]] + kControl.second[p[1]];
}

inline void Copy16(uint8_t* dst, const uint8_t* src) { std::memcpy(dst, src, 16); }

// For a distance d of 1 to 8: the mask of a word's first d bytes, the
// factor that repeats them across the word (the copies do not overlap, so
// nothing carries), and the whole periods the word holds.
struct ShortPeriods {
    uint64_t mask[9];
    uint64_t repeat[9];
    uint32_t step[9];
    constexpr ShortPeriods() : mask(), repeat(), step() {
        for (uint32_t d = 1; d <= 8; ++d) {
            mask[d] = d == 8 ? ~uint64_t(0) : (uint64_t(1) << (8 * d)) - 1;
            for (uint32_t k = 0; k < 8; k += d) repeat[d] |= uint64_t(1) << (8 * k);
            step[d] = 8 / d * d;
        }
    }
};
constexpr ShortPeriods kShort;

// Copies a match front to back, so that a distance below the length repeats
// the pattern. dst + length must lie within the window; the moves may write
// up to 15 bytes past it.
inline void CopyMatch(uint8_t* dst, uint32_t distance, uint32_t length) {
    const uint8_t* src = dst - distance;
    if (distance >= 16) {
        // Each chunk reads only bytes at least 16 behind what it writes.
        for (uint32_t k = 0; k < length; k += 16) Copy16(dst + k, src + k);
    } else if (distance > 8) {
        // One period and what follows it, written once per period: only the
        // first distance bytes of each move count, the next move covers the
        // rest. The pattern comes from a single load.
        uint8_t period[16];
        std::memcpy(period, src, 16);
        for (uint32_t k = 0; k < length; k += distance) std::memcpy(dst + k, period, 16);
    } else {
        // The pattern repeated across a word, written a word of whole periods
        // at a time.
        uint64_t v;
        std::memcpy(&v, src, 8);
        v = (v & kShort.mask[distance]) * kShort.repeat[distance];
        const uint32_t step = kShort.step[distance];
        std::memcpy(dst, &v, 8);
        std::memcpy(dst + step, &v, 8);
        for (uint32_t k = 2 * step; k < length; k += step) std::memcpy(dst + k, &v, 8);
    }
}

// Decodes the payload of one stored or coded block (size bytes at block,
// header included) to target, inside a window that starts at window and
// ends at limit. Returns 0 with *produced set, or RELC_E_DATA. Never reads
// past the block; writes only from target up to limit plus WINDOW_SLACK;
// a distance may reach back to window and no further. The one token loop
// of the codec: the incremental decoder and the block decoder both run it.
// kBehindHistory: target lies RELC_HISTORY_SIZE bytes into the window, so
// every distance a match can carry (13 bits) stays inside it and the token
// loop need not check. The token loop's speed swings by several percent
// with where its branches fall in the cache lines, so its start is pinned
// to a line: the layout then depends on this code alone, not on whatever
// the link puts before it; a group's switch sits out of the steps' line.
template <bool kBehindHistory>
__attribute__((aligned(64))) uint32_t DecodePayload(const uint8_t* block, uint32_t size, uint8_t* const window,
                                                    uint8_t* const target, uint8_t* const limit, uint32_t* produced) {
    const uint32_t h = ReadBE16(block);
    uint8_t* op = target;
    const uint8_t* ip = block + 2;
    const uint8_t* const end = block + size;

    if (h & 0x8000) {
        const uint32_t n = size - 2;
        if (n > uint32_t(limit - target)) return RELC_E_DATA;
        std::memcpy(target, ip, n);
        op += n;
    } else {
        // The control bits sit at the top of c with a marker bit behind the
        // sixteenth: the leading zeros are the literals that come next, and
        // c equal to the marker alone means the group is used up.
        constexpr uint32_t GROUP_DONE = 0x80000000u;
        if (end - ip < 2) return RELC_E_DATA;
        uint32_t c = (ReadBE16(ip) << 16) | 0x8000u;
        ip += 2;
        // Fast loop, while two steps' worth of payload and window are left.
        // bits holds the group's control bits still to come, mirrored, so
        // that bit 0 is the next token: its trailing zeros are the literals
        // before the next match, and shifting past them and the match is
        // all that moving on takes. No bit left means no match left: the
        // rest of the group is literals up to the next control word, at np.
        // Each step copies the coming literal run with one 16-byte move
        // (however long the run) and then takes the match behind it: one
        // that reaches back 16 bytes or more is copied in 16-byte moves when
        // it has at most one extension byte. Everything else goes to the
        // general match code below the steps.
        {
            const uint8_t* wp = ip - 2;  // the group's control word
            uint32_t bits = ControlAt(wp);
            uint32_t code = 0;
            size_t distance = 0;  // as wide as a pointer: no widening before each move
            // The next group's control word lies behind this group's sixteen
            // tokens, a byte for a literal and two for a match, and behind
            // their extension bytes: np counts those as they are read, and nb
            // holds the bits found there. Once the group is used up np is the
            // next word, and its bits are at hand without a load for the
            // token loop to wait on.
            const uint8_t* np = ip + 16 + (bits >> 24);
            bits &= 0xFFFFu;
            uint32_t nb = 0;
            if (end - np >= 2) nb = ControlAt(np);
            const uintptr_t ipStop = uintptr_t(end) - 96;
            const uintptr_t opStop = uintptr_t(limit) - 96;
            // Written out twice per pass: two copies of the step give the
            // branch predictor two sites and halve the loop's checks.
#define RELC_FAST_STEP                                                                 \
    {                                                                                  \
        if (__builtin_expect(bits == 0, 0)) {                                          \
            const size_t tail = size_t(np - ip);                                       \
            Copy16(op, ip);                                                            \
            op += tail;                                                                \
            wp = np;                                                                   \
            ip = np + 2;                                                               \
            bits = nb & 0xFFFFu;                                                       \
            np += 18 + (nb >> 24);                                                     \
            nb = ControlAt(np);                                                        \
            if (bits == 0) continue; /* a group of literals only */                    \
        }                                                                              \
        const uint32_t run = uint32_t(__builtin_ctz(bits));                            \
        Copy16(op, ip);                                                                \
        op += run;                                                                     \
        ip += run;                                                                     \
        bits >>= run + 1;                                                              \
        const uint32_t b0 = ip[0];                                                     \
        code = b0 & 7;                                                                 \
        const uint32_t len3 = code + 3;                                                \
        distance = (size_t(b0 >> 3) << 8) | ip[1];                                     \
        ip += 2;                                                                       \
        if (kBehindHistory ? distance < 16                                             \
                           : !((distance >= 16) & (distance <= size_t(op - window))))  \
            goto general_match;                                                        \
        Copy16(op, op - distance);                                                     \
        if (len3 != 10) {                                                              \
            op += len3;                                                                \
        } else {                                                                       \
            /* One extension byte: the rest in 16-byte moves, the second one   */      \
            /* always and the next two for any match past 32 bytes (most such */     \
            /* matches are 10 to 64 bytes long, and a loop that ends after a  */      \
            /* pass or two is a guess lost), then the loop's checks again, as */      \
            /* the room left may be short of a step's.                        */      \
            const uint32_t x = *ip;                                                    \
            const uint32_t length = 10 + x;                                            \
            if ((x == 255) | (length > uint32_t(limit - op))) goto general_match;      \
            ++ip;                                                                      \
            ++np;                                                                      \
            nb = ControlAt(np);                                                        \
            Copy16(op + 16, op + 16 - distance);                                       \
            if (length > 32) {                                                         \
                Copy16(op + 32, op + 32 - distance);                                   \
                Copy16(op + 48, op + 48 - distance);                                   \
                for (uint32_t k = 64; k < length; k += 16) Copy16(op + k, op + k - distance); \
            }                                                                          \
            op += length;                                                              \
            continue;                                                                  \
        }                                                                              \
    }
            // A step takes at most 16 literals, a control word, 15 literals
            // and a match of 3 bytes, and reads 16 past its literals; the
            // next group's control word lies at most 34 bytes past the start
            // of its group. Short of a long match a step writes at most 16 +
            // 15 + 16 bytes from its start, and a long match ends the pass.
            while (uintptr_t(ip) <= ipStop && uintptr_t(op) <= opStop) {
                RELC_FAST_STEP
                RELC_FAST_STEP
                continue;
            general_match:
                if (distance == 0) {
                    if (ip != end) return RELC_E_DATA;
                    goto block_done;
                }
                uint32_t length = code + 3;
                if (code == 7) {
                    const uint8_t* const first = ip;
                    uint32_t x;
                    do {
                        if (ip >= end) return RELC_E_DATA;
                        x = *ip++;
                        length += x;
                    } while (x == 255);
                    np += ip - first;
                    if (end - np >= 2) nb = ControlAt(np);
                }
                if (distance > size_t(op - window)) return RELC_E_DATA;
                if (length > uint32_t(limit - op)) return RELC_E_DATA;
                CopyMatch(op, uint32_t(distance), length);
                op += length;
            }
#undef RELC_FAST_STEP
            // Back to the group's bits at the top of c: of the tokens still
            // to come, the matches are the bits left and take two bytes each
            // before np, the literals one.
            const uint32_t matchesLeft = (kControl.first[bits & 0xFF] + kControl.first[bits >> 8]) >> 24;
            const uint32_t pos = 16 - (uint32_t(np - ip) - matchesLeft);
            c = ((ReadBE16(wp) << 16) | 0x8000u) << pos;
        }
        // Careful loop for the rest, token by token.
        while (ip < end) {
            if (c == GROUP_DONE) {
                if (end - ip < 2) return RELC_E_DATA;
                c = (ReadBE16(ip) << 16) | 0x8000u;
                ip += 2;
                continue;
            }
            if ((c & 0x80000000u) == 0) {
                const uint32_t run = uint32_t(__builtin_clz(c));
                const uint32_t left = uint32_t(end - ip);
                const uint32_t n = run < left ? run : left;  // a payload may end mid-run
                if (n > uint32_t(limit - op)) return RELC_E_DATA;
                if (left >= 16) {
                    Copy16(op, ip);
                } else {
                    std::memcpy(op, ip, n);
                }
                op += n;
                ip += n;
                c <<= n;
                continue;
            }
            if (end - ip < 2) return RELC_E_DATA;
            const uint32_t b0 = ip[0];
            const uint32_t distance = ((b0 >> 3) << 8) | ip[1];
            ip += 2;
            if (distance == 0) {
                if (ip != end) return RELC_E_DATA;
                break;
            }
            uint32_t length = (b0 & 7) + 3;
            if ((b0 & 7) == 7) {
                uint32_t x;
                do {
                    if (ip >= end) return RELC_E_DATA;
                    x = *ip++;
                    length += x;
                } while (x == 255);
            }
            if (distance > uint32_t(op - window)) return RELC_E_DATA;
            if (length > uint32_t(limit - op)) return RELC_E_DATA;
            CopyMatch(op, distance, length);
            op += length;
            c <<= 1;
        }
    }

block_done:
    *produced = uint32_t(op - target);
    return 0;
}

// Decodes one whole block (size bytes at block) of the incremental stream
// into the window at base, which holds the held-back history at its start
// when there is one. Returns DECODE_DONE, DECODE_END_OF_STREAM or
// RELC_E_DATA, and the bytes to deliver from base.
uint32_t DecodeBlock(const uint8_t* block, uint32_t size, uint8_t* base, uint32_t* delivery) {
    Workspace& ws = g_ws;
    const bool history = (ws.flags & FLAG_HISTORY_PRESENT) != 0;

    if (ReadBE16(block) == 0) {
        if (!history) return RELC_E_DATA;
        *delivery = (ws.flags & FLAG_WINDOW_WAS_FULL) ? RELC_HISTORY_SIZE : 0;
        ws.flags = FLAG_END_MARKER | FLAG_HISTORY_PRESENT;
        return DECODE_END_OF_STREAM;
    }

    uint32_t produced = 0;
    const uint32_t e = history ? DecodePayload<true>(block, size, base, base + RELC_HISTORY_SIZE,
                                                     base + RELC_WINDOW_SIZE, &produced)
                               : DecodePayload<false>(block, size, base, base, base + RELC_WINDOW_SIZE, &produced);
    if (e != 0)
        return RELC_E_DATA;
    if (!history) {
        if (produced == RELC_WINDOW_SIZE) {
            *delivery = NEW_BYTES_LATER_BLOCK;
            ws.flags = FLAG_HISTORY_PRESENT | FLAG_WINDOW_WAS_FULL;
        } else {
            // Only a corrupt stream goes on after a short first block; its
            // next block would take the fast copies' overshoot behind these
            // bytes for history, and that lands in the window or in the
            // caller's output depending on the room offered.
            std::memset(base + produced, 0, WINDOW_SLACK);
            *delivery = produced;
            ws.flags = FLAG_HISTORY_PRESENT;
        }
    } else if (produced < NEW_BYTES_LATER_BLOCK) {
        *delivery = produced + RELC_HISTORY_SIZE;
        ws.flags = FLAG_HISTORY_PRESENT;
    } else {
        *delivery = NEW_BYTES_LATER_BLOCK;
    }
    return DECODE_DONE;
}

}  // namespace

void RelcInitDecoder() {
    Workspace& ws = g_ws;
    // A corrupt stream can end its first block short and go on: the next
    // block then takes the window's first 8192 bytes as its history and
    // delivers them. Whatever the workspace held before (another stream,
    // the encoder's input) must not come out that way, nor make the bytes
    // depend on how the stream was offered.
    std::memset(ws.window, 0, RELC_HISTORY_SIZE);
    ws.flags = 0;
    ws.stagedBytes = 0;
    ws.stagedComplete = false;
    ws.outputRead = 0;
    ws.outputPending = 0;
}

uint32_t RelcDecode(const uint8_t* in, uint8_t* out, uint32_t* inLen, uint32_t* outLen) {
    Workspace& ws = g_ws;
    const uint32_t offered = *inLen;
    const uint32_t room0 = *outLen;
    uint32_t taken = 0;
    uint32_t written = 0;
    uint32_t status = 0;

    // Copies pending decoded bytes from the window; once the last of them
    // has gone out, a full window's last 8192 bytes become the history.
    // Where the held-back history of a full window lies: the window's start,
    // or the output right behind the bytes written in this call.
    uint8_t* base = ws.window;

    auto deliver = [&]() {
        const uint32_t room = room0 - written;
        uint32_t n = ws.outputPending;
        if (n > room) {
            std::memcpy(out + written, ws.window + ws.outputRead, room);
            written += room;
            ws.outputRead += room;
            ws.outputPending = uint16_t(n - room);
            status |= RELC_OUTPUT_FULL;
            return;
        }
        std::memcpy(out + written, ws.window + ws.outputRead, n);
        written += n;
        ws.outputRead = 0;
        ws.outputPending = 0;
        if (ws.flags & FLAG_WINDOW_WAS_FULL) {
            std::memmove(ws.window, ws.window + NEW_BYTES_LATER_BLOCK, RELC_HISTORY_SIZE);
        }
        if (written == room0) status |= RELC_OUTPUT_FULL;
    };

    for (;;) {
        // Gather. Once the end-of-stream marker has been read nothing more
        // belongs to the stream, so nothing more is taken.
        const uint8_t* inPlace = nullptr;
        uint32_t inPlaceSize = 0;
        const bool ended = (ws.flags & FLAG_END_MARKER) != 0;
        if (taken < offered && !ended) {
            if (!ws.stagedComplete) {
                if (ws.stagedBytes > 0) {
                    if (ws.stagedBytes == 1) ws.staging[ws.stagedBytes++] = in[taken++];
                    const uint32_t missing = RelcBlockSize(ws.staging) - ws.stagedBytes;
                    const uint32_t rest = offered - taken;
                    if (rest >= missing) {
                        std::memcpy(ws.staging + ws.stagedBytes, in + taken, missing);
                        taken += missing;
                        ws.stagedBytes += missing;
                        ws.stagedComplete = true;
                    } else {
                        std::memcpy(ws.staging + ws.stagedBytes, in + taken, rest);
                        taken += rest;
                        ws.stagedBytes += rest;
                        status |= RELC_NEED_INPUT;
                    }
                } else {
                    const uint32_t rest = offered - taken;
                    if (rest < 2) {
                        ws.staging[0] = in[taken++];
                        ws.stagedBytes = 1;
                        status |= RELC_NEED_INPUT;
                    } else {
                        const uint32_t size = RelcBlockSize(in + taken);
                        if (rest >= size) {
                            inPlace = in + taken;
                            inPlaceSize = size;
                        } else {
                            std::memcpy(ws.staging, in + taken, rest);
                            taken += rest;
                            ws.stagedBytes = rest;
                            status |= RELC_NEED_INPUT;
                        }
                    }
                }
            }
        } else if (taken >= offered) {
            status |= RELC_NEED_INPUT;
        }
        const bool atHand = inPlace != nullptr || ws.stagedComplete;

        // Choose.
        bool decode;
        if (status & RELC_OUTPUT_FULL) {
            if (ws.outputPending != 0 || !atHand) break;
            decode = true;
        } else if (atHand) {
            decode = true;
        } else if (ws.outputPending == 0) {
            break;
        } else {
            decode = false;
        }

        uint32_t e = DECODE_DONE;
        bool decodedInPlace = false;
        if (decode && ws.outputPending == 0) {
            // With room for a whole window and its slack behind what has
            // been written, the block is decoded straight into the output,
            // behind the held-back history, which then needs no moves.
            const bool direct = room0 - written >= RELC_WINDOW_SIZE + WINDOW_SLACK &&
                                (ws.flags == 0 || (ws.flags & FLAG_WINDOW_WAS_FULL) != 0);
            if (direct) {
                if (base == ws.window && (ws.flags & FLAG_WINDOW_WAS_FULL))
                    std::memcpy(out + written, ws.window, RELC_HISTORY_SIZE);
                base = out + written;
            } else if (base != ws.window) {
                std::memcpy(ws.window, base, RELC_HISTORY_SIZE);
                base = ws.window;
            }
            uint32_t delivery = 0;
            e = inPlace ? DecodeBlock(inPlace, inPlaceSize, base, &delivery)
                        : DecodeBlock(ws.staging, ws.stagedBytes, base, &delivery);
            if (e == RELC_E_DATA) {
                status |= RELC_E_DATA;
                break;
            }
            if (inPlace) {
                taken += inPlaceSize;
            } else {
                ws.stagedBytes = 0;
                ws.stagedComplete = false;
            }
            if (direct) {
                // The room left exceeds any delivery, so it never fills here.
                decodedInPlace = true;
                written += delivery;
                if (ws.flags & FLAG_WINDOW_WAS_FULL) {
                    base = out + written;
                } else {
                    // A short block (or the end marker): the window gets
                    // what a following block would reach back to, as if
                    // this one had been decoded there.
                    std::memcpy(ws.window, base, delivery < RELC_HISTORY_SIZE ? delivery : RELC_HISTORY_SIZE);
                    base = ws.window;
                }
            } else {
                ws.outputRead = 0;
                ws.outputPending = uint16_t(delivery);
            }
        }
        if (!decodedInPlace) deliver();

        if ((ws.flags & FLAG_END_MARKER) && ws.outputPending == 0) {
            status |= RELC_STREAM_END;
            break;
        }
        if (e != DECODE_DONE) break;
    }
    // The held-back history goes back to the window for the next call.
    if (base != ws.window) std::memcpy(ws.window, base, RELC_HISTORY_SIZE);

    *inLen = taken;
    *outLen = written;
    return status;
}

uint32_t RelcDecodeBlock(const uint8_t* block, uint32_t size, uint8_t* window, uint32_t historyLen,
                         uint32_t* produced) {
    *produced = 0;
    if (historyLen != 0 && historyLen != RELC_HISTORY_SIZE) return RELC_E_PARAM;
    // A size that disagrees with the header is not a block; the checks
    // below then hold for exactly the bytes given.
    if (size < 2 || size != RelcBlockSize(block)) return RELC_E_DATA;
    if (ReadBE16(block) == 0) return historyLen == 0 ? RELC_E_DATA : RELC_STREAM_END;
    return historyLen != 0
               ? DecodePayload<true>(block, size, window, window + historyLen, window + RELC_WINDOW_SIZE, produced)
               : DecodePayload<false>(block, size, window, window, window + RELC_WINDOW_SIZE, produced);
}
