// The stream driver: what it reports when a source, a sink or a stream lets
// it down, and that its sums, hooks and one-shots agree with the codec.
#include <gtest/gtest.h>

#include <functional>

#include "codec/relc_driver.h"
#include "relc_test_util.h"

namespace {

// Small buffers, so that streams take many reads and writes.
struct SmallBuffers {
    uint8_t in[1000];
    uint8_t out[700];
    RelcStreamBuffers View() { return {in, sizeof in, out, sizeof out}; }
};

uint32_t Sum(const Bytes& b) {
    uint32_t s = 0;
    for (uint8_t x : b) s += x;
    return s;
}

Bytes Cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(RelcDriver, FailuresAreReportedAsWhatWentWrong) {
    const Bytes data = StructuredBytes(70000, 5);
    const Bytes stream = EncodeAll(data);
    ASSERT_FALSE(stream.empty());
    Bytes corrupt = stream;
    corrupt[2] ^= 0xFF;  // the first coded block's control word: a match from nowhere
    const Bytes shorter(data.begin(), data.end() - 1);
    const Bytes cut(stream.begin(), stream.end() - 1);
    struct Case {
        const char* what;
        std::function<StreamResult(const RelcStreamBuffers&)> run;
        StreamStatus expected;
    };
    const Case cases[] = {
        {"encode: nothing to encode",
         [&](const RelcStreamBuffers& b) { TestSource s(data); TestSink k; return RelcEncodeStream(s, 0, k, b); },
         StreamStatus::EmptyInput},
        {"encode: source ends early",
         [&](const RelcStreamBuffers& b) { TestSource s(shorter); TestSink k; return RelcEncodeStream(s, data.size(), k, b); },
         StreamStatus::SizeChanged},
        {"encode: source holds more",
         [&](const RelcStreamBuffers& b) { TestSource s(data); TestSink k; return RelcEncodeStream(s, shorter.size(), k, b); },
         StreamStatus::SizeChanged},
        {"encode: source fails",
         [&](const RelcStreamBuffers& b) { TestSource s(shorter, true); TestSink k; return RelcEncodeStream(s, data.size(), k, b); },
         StreamStatus::ReadFailed},
        {"encode: sink refuses",
         [&](const RelcStreamBuffers& b) { TestSource s(data); TestSink k(5000); return RelcEncodeStream(s, data.size(), k, b); },
         StreamStatus::WriteFailed},
        {"decode: corrupt block",
         [&](const RelcStreamBuffers& b) { TestSource s(corrupt); TestSink k; return RelcDecodeStream(s, k, b); },
         StreamStatus::Corrupt},
        {"decode: no end marker",
         [&](const RelcStreamBuffers& b) { TestSource s(cut); TestSink k; return RelcDecodeStream(s, k, b); },
         StreamStatus::Truncated},
        {"decode: nothing at all",
         [&](const RelcStreamBuffers& b) { const Bytes none; TestSource s(none); TestSink k; return RelcDecodeStream(s, k, b); },
         StreamStatus::Truncated},
        {"decode: bytes behind the end marker",
         [&](const RelcStreamBuffers& b) { const Bytes more = Cat(stream, {1}); TestSource s(more); TestSink k; return RelcDecodeStream(s, k, b); },
         StreamStatus::TrailingData},
        {"decode: source fails",
         [&](const RelcStreamBuffers& b) { TestSource s(cut, true); TestSink k; return RelcDecodeStream(s, k, b); },
         StreamStatus::ReadFailed},
        {"decode: sink refuses",
         [&](const RelcStreamBuffers& b) { TestSource s(stream); TestSink k(5000); return RelcDecodeStream(s, k, b); },
         StreamStatus::WriteFailed},
        {"decode: one byte more than expected",
         [&](const RelcStreamBuffers& b) {
             RelcStreamOptions o; o.expectedSize = data.size() - 1;
             TestSource s(stream); TestSink k; return RelcDecodeStream(s, k, b, o); },
         StreamStatus::SizeChanged},
        {"decode: one byte fewer than expected",
         [&](const RelcStreamBuffers& b) {
             RelcStreamOptions o; o.expectedSize = data.size() + 1;
             TestSource s(stream); TestSink k; return RelcDecodeStream(s, k, b, o); },
         StreamStatus::SizeChanged},
        {"decode: cancelled",
         [&](const RelcStreamBuffers& b) {
             RelcStreamHooks h; h.cancelled = [](void*) { return true; };
             RelcStreamOptions o; o.hooks = &h;
             TestSource s(stream); TestSink k; return RelcDecodeStream(s, k, b, o); },
         StreamStatus::Cancelled},
    };
    SmallBuffers small;
    for (const Case& c : cases) EXPECT_EQ(c.run(small.View()).status, c.expected) << c.what;

    // The one-shots: output that does not fit, and the same checks.
    Bytes room(stream.size() - 1);
    EXPECT_EQ(RelcEncodeMemory(data.data(), data.size(), room.data(), room.size()).status, StreamStatus::WriteFailed);
    room.resize(data.size() - 1);
    EXPECT_EQ(RelcDecodeMemory(stream.data(), stream.size(), room.data(), room.size()).status, StreamStatus::WriteFailed);
    room.resize(data.size());
    EXPECT_EQ(RelcDecodeMemory(cut.data(), cut.size(), room.data(), room.size()).status, StreamStatus::Truncated);
    EXPECT_EQ(RelcDecodeMemory(corrupt.data(), corrupt.size(), room.data(), room.size()).status, StreamStatus::Corrupt);
}

TEST(RelcDriver, TrailingBytesSayWhetherTheyCameWithTheMarker) {
    const Bytes data = RandomBytes(3000, 6);
    const Bytes stream = Cat(EncodeAll(data), {7, 7});
    // An input buffer ending with the marker: the extra bytes are read after it.
    std::vector<uint8_t> in(stream.size() - 2), out(4096);
    for (size_t inSize : {in.size(), in.size() + 2}) {
        in.resize(inSize);
        TestSource s(stream);
        TestSink k;
        const StreamResult r = RelcDecodeStream(s, k, {in.data(), in.size(), out.data(), out.size()});
        EXPECT_EQ(r.status, StreamStatus::TrailingData);
        EXPECT_EQ(r.unusedInput, inSize == stream.size() ? 2u : 0u);
        EXPECT_EQ(r.inputOffset, stream.size() - 2);
    }
}

TEST(RelcDriver, RoundTripSumsAndReportsProgress) {
    const Bytes data = Cat(StructuredBytes(100000, 8), RandomBytes(40000, 9));
    SmallBuffers small;
    struct Seen {
        uint64_t last = 0;
        bool backwards = false;
    };
    RelcStreamHooks hooks;
    hooks.progress = [](void* c, uint64_t n) {
        Seen* s = static_cast<Seen*>(c);
        s->backwards |= n < s->last;
        s->last = n;
    };
    for (bool encoding : {true, false}) {
        Seen seen;
        hooks.context = &seen;
        uint32_t sum = 0;
        RelcStreamOptions o;
        o.byteSum = &sum;
        o.hooks = &hooks;
        const Bytes stream = EncodeAll(data);
        const Bytes& input = encoding ? data : stream;
        TestSource s(input);
        TestSink k;
        o.expectedSize = encoding ? kRelcSizeUnknown : data.size();
        const StreamResult r = encoding ? RelcEncodeStream(s, data.size(), k, small.View(), o)
                                        : RelcDecodeStream(s, k, small.View(), o);
        EXPECT_EQ(r.status, StreamStatus::Ok);
        EXPECT_EQ(k.bytes, encoding ? stream : data);
        EXPECT_EQ(r.inputOffset, input.size());
        EXPECT_EQ(sum, Sum(data));
        EXPECT_EQ(seen.last, data.size());
        EXPECT_FALSE(seen.backwards);
    }
}

}  // namespace
