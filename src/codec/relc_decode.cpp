// relc decoder: block gathering, block decoding and the window discipline.
#include <cstring>

#include "codec/relc.h"
#include "codec/relc_workspace.h"

using namespace relc_detail;

namespace {

constexpr uint32_t DECODE_DONE = 0;
constexpr uint32_t DECODE_END_OF_STREAM = 1;

// Size of a whole block, header included, from its header.
inline uint32_t BlockSize(uint32_t h) {
    if (h & 0x8000) {
        const uint32_t n = h & 0x7FFF;
        return 2 + (n == 0 ? RELC_WINDOW_SIZE : n);
    }
    return 2 + h;
}

// Copies a match front to back, so that a distance below the length repeats
// the pattern. Non-overlapping copies go in one piece.
inline void CopyMatch(uint8_t* dst, uint32_t distance, uint32_t length) {
    const uint8_t* src = dst - distance;
    if (distance >= length) {
        std::memcpy(dst, src, length);
    } else if (distance >= 8) {
        // Each 8-byte step reads only bytes already written.
        uint32_t k = 0;
        for (; k + 8 <= length; k += 8) std::memcpy(dst + k, src + k, 8);
        for (; k < length; ++k) dst[k] = src[k];
    } else if (distance == 1) {
        std::memset(dst, *src, length);
    } else {
        for (uint32_t k = 0; k < length; ++k) dst[k] = src[k];
    }
}

// Decodes one whole block (size bytes at block). Returns DECODE_DONE,
// DECODE_END_OF_STREAM or RELC_E_DATA, and the bytes to deliver from the
// window's start. Never reads past the block nor writes outside the window.
uint32_t DecodeBlock(const uint8_t* block, uint32_t size, uint32_t* delivery) {
    Workspace& ws = g_ws;
    const uint32_t h = ReadBE16(block);
    const bool history = (ws.flags & FLAG_HISTORY_PRESENT) != 0;

    if (h == 0) {
        if (!history) return RELC_E_DATA;
        *delivery = (ws.flags & FLAG_WINDOW_WAS_FULL) ? RELC_HISTORY_SIZE : 0;
        ws.flags = FLAG_END_MARKER | FLAG_HISTORY_PRESENT;
        return DECODE_END_OF_STREAM;
    }

    uint8_t* const target = ws.window + (history ? RELC_HISTORY_SIZE : 0);
    uint8_t* const limit = ws.window + RELC_WINDOW_SIZE;
    uint8_t* op = target;
    const uint8_t* ip = block + 2;
    const uint8_t* const end = block + size;

    if (h & 0x8000) {
        const uint32_t n = size - 2;
        if (n > uint32_t(limit - target)) return RELC_E_DATA;
        std::memcpy(target, ip, n);
        op += n;
    } else {
        if (end - ip < 2) return RELC_E_DATA;
        uint32_t ctrl = ReadBE16(ip);
        ip += 2;
        uint32_t mask = 0x8000;
        while (ip < end) {
            if (mask == 0) {
                if (end - ip < 2) return RELC_E_DATA;
                ctrl = ReadBE16(ip);
                ip += 2;
                mask = 0x8000;
                continue;
            }
            if ((ctrl & mask) == 0) {
                if (op >= limit) return RELC_E_DATA;
                *op++ = *ip++;
            } else {
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
                if (distance > uint32_t(op - ws.window)) return RELC_E_DATA;
                if (length > uint32_t(limit - op)) return RELC_E_DATA;
                CopyMatch(op, distance, length);
                op += length;
            }
            mask >>= 1;
        }
    }

    const uint32_t produced = uint32_t(op - target);
    if (!history) {
        if (produced == RELC_WINDOW_SIZE) {
            *delivery = NEW_BYTES_LATER_BLOCK;
            ws.flags = FLAG_HISTORY_PRESENT | FLAG_WINDOW_WAS_FULL;
        } else {
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
                    const uint32_t missing = BlockSize(ReadBE16(ws.staging)) - ws.stagedBytes;
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
                        const uint32_t size = BlockSize(ReadBE16(in + taken));
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
        if (decode && ws.outputPending == 0) {
            uint32_t delivery = 0;
            e = inPlace ? DecodeBlock(inPlace, inPlaceSize, &delivery)
                        : DecodeBlock(ws.staging, ws.stagedBytes, &delivery);
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
            ws.outputRead = 0;
            ws.outputPending = uint16_t(delivery);
        }
        deliver();

        if ((ws.flags & FLAG_END_MARKER) && ws.outputPending == 0) {
            status |= RELC_STREAM_END;
            break;
        }
        if (e != DECODE_DONE) break;
    }

    *inLen = taken;
    *outLen = written;
    return status;
}
