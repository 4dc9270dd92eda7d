#include "relc_test_util.h"

#include <cstdio>
#include <dirent.h>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "codec/relc.h"

namespace {

uint32_t NextRandom(uint32_t* state) {
    *state = *state * 1664525u + 1013904223u;
    return *state >> 8;
}

}  // namespace

Bytes EncodeWith(const Bytes& data, CallPattern p, size_t* calls) {
    Bytes stream;
    if (RelcInitEncoder(0, data.size()) != 0) return stream;
    // Exactly the room given, on the heap: a write past it is caught by the
    // sanitizers. The bytes left from an earlier call are not looked at.
    std::unique_ptr<uint8_t[]> out(new uint8_t[p.outRoom ? p.outRoom : 1]);
    size_t pos = 0;
    size_t n = 0;
    for (;;) {
        const size_t left = data.size() - pos;
        uint32_t inLen = uint32_t(p.inChunk == 0 || left < p.inChunk ? left : p.inChunk);
        uint32_t outLen = p.outRoom;
        const uint32_t status = RelcEncode(data.data() + pos, out.get(), &inLen, &outLen);
        ++n;
        if (outLen > p.outRoom || inLen > left) break;
        pos += inLen;
        stream.insert(stream.end(), out.get(), out.get() + outLen);
        if (status & RELC_STREAM_END) break;
        if (n > 100000000) break;
    }
    if (calls) *calls = n;
    return stream;
}

DecodeResult DecodeWith(const Bytes& stream, CallPattern p) {
    DecodeResult r;
    RelcInitDecoder();
    // Each offer is copied to the end of a heap buffer, so a read past the
    // offer runs into the sanitizers' red zone.
    const size_t inCap = p.inChunk == 0 ? stream.size() : p.inChunk;
    std::unique_ptr<uint8_t[]> in(new uint8_t[inCap ? inCap : 1]);
    std::unique_ptr<uint8_t[]> out(new uint8_t[p.outRoom ? p.outRoom : 1]);
    size_t pos = 0;
    for (size_t n = 0; n < 100000000; ++n) {
        const size_t left = stream.size() - pos;
        uint32_t inLen = uint32_t(left < inCap ? left : inCap);
        uint8_t* offer = in.get() + (inCap - inLen);
        if (inLen) std::memcpy(offer, stream.data() + pos, inLen);
        const uint32_t offered = inLen;
        uint32_t outLen = p.outRoom;
        const uint32_t status = RelcDecode(offer, out.get(), &inLen, &outLen);
        if (outLen > p.outRoom || inLen > offered) {
            r.error = 0xFF;
            return r;
        }
        pos += inLen;
        r.out.insert(r.out.end(), out.get(), out.get() + outLen);
        r.error = status & 0xFF;
        if (r.error) return r;
        if (status & RELC_STREAM_END) {
            r.ended = true;
            return r;
        }
        if (pos == stream.size() && (status & RELC_NEED_INPUT) && !(status & RELC_OUTPUT_FULL)) {
            r.stalled = true;
            return r;
        }
    }
    r.stalled = true;
    return r;
}

Bytes EncodeAll(const Bytes& data) {
    Bytes stream(RelcStreamBound(data.size()));
    const StreamResult r = RelcEncodeMemory(data.data(), data.size(), stream.data(), stream.size());
    stream.resize(r.status == StreamStatus::Ok ? r.bytesOut : 0);
    return stream;
}

size_t TestSource::Read(uint8_t* buf, size_t cap) {
    const size_t n = std::min(cap, data_.size() - pos_);
    if (n != 0) std::memcpy(buf, data_.data() + pos_, n);
    pos_ += n;
    failed_ = n == 0 && failAtEnd_;
    return n;
}

bool TestSink::Write(const uint8_t* buf, size_t len) {
    if (bytes.size() >= limit_) return false;
    bytes.insert(bytes.end(), buf, buf + len);
    return true;
}

bool ParseBlocks(const Bytes& s, std::vector<BlockInfo>* blocks) {
    blocks->clear();
    size_t pos = 0;
    while (pos + 2 <= s.size()) {
        const uint32_t h = (uint32_t(s[pos]) << 8) | s[pos + 1];
        BlockInfo b{h, (h & 0x8000) != 0, 0};
        if (h == 0) {
            b.size = 2;
        } else if (b.stored) {
            b.size = 2 + ((h & 0x7FFF) ? (h & 0x7FFF) : 32768);
        } else {
            b.size = 2 + h;
        }
        if (pos + b.size > s.size()) return false;
        blocks->push_back(b);
        pos += b.size;
        if (h == 0) return pos == s.size();
    }
    return false;
}

Bytes RandomBytes(size_t n, uint32_t seed) {
    Bytes b(n);
    uint32_t st = seed;
    for (auto& x : b) x = uint8_t(NextRandom(&st));
    return b;
}

Bytes StructuredBytes(size_t n, uint32_t seed) {
    static const char* words[] = {"the ", "relc ", "window ", "history ", "match ", "of ", "a ",
                                  "block\n", "container ", "drive ", "E:\\report.doc ", "and "};
    Bytes b;
    b.reserve(n);
    uint32_t st = seed;
    while (b.size() < n) {
        const uint32_t r = NextRandom(&st) % 100;
        if (r < 70) {
            const char* w = words[NextRandom(&st) % 12];
            b.insert(b.end(), w, w + std::strlen(w));
        } else if (r < 80 && b.size() > 16) {
            // Copy from somewhere behind, near or far.
            const size_t len = 3 + NextRandom(&st) % 300;
            const size_t dist = 1 + NextRandom(&st) % std::min<size_t>(b.size(), 12000);
            for (size_t k = 0; k < len; ++k) b.push_back(b[b.size() - dist]);
        } else if (r < 85) {
            b.insert(b.end(), 1 + NextRandom(&st) % 600, uint8_t(NextRandom(&st)));
        } else {
            for (int k = 0; k < 8; ++k) b.push_back(uint8_t(NextRandom(&st)));
        }
    }
    b.resize(n);
    return b;
}

Bytes ReadFileBytes(const std::string& path) {
    Bytes b;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return b;
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) b.insert(b.end(), buf, buf + n);
    std::fclose(f);
    return b;
}

std::vector<std::string> CorpusFiles() {
    std::vector<std::string> files;
    const char* dir = std::getenv("TDZ_CORPUS_DIR");
#ifdef TDZ_CORPUS_DIR
    if (!dir) dir = TDZ_CORPUS_DIR;
#endif
    if (!dir) return files;
    DIR* d = opendir(dir);
    if (!d) {
        std::printf("note: corpus folder %s is absent; corpus cases skipped\n", dir);
        return files;
    }
    while (dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        if (name == "." || name == ".." || name == "README.md") continue;
        files.push_back(std::string(dir) + "/" + name);
    }
    closedir(d);
    std::sort(files.begin(), files.end());
    return files;
}
