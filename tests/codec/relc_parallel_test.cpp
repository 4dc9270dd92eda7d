// The block-parallel encoder writes the serial stream byte for byte, on any
// number of threads, and fails as the serial driver does.
#include <gtest/gtest.h>

#include <algorithm>

#include "codec/relc_parallel.h"
#include "relc_test_util.h"

namespace {

// Compressible text with a stretch of noise, so stored and coded blocks mix.
Bytes Mixed(size_t n) {
    Bytes b = StructuredBytes(n, uint32_t(n));
    const Bytes noise = RandomBytes(n / 3, 4);
    std::copy(noise.begin(), noise.end(), b.begin() + n / 3);
    return b;
}

TEST(RelcParallel, StreamEqualsTheSerialOneAtEveryBlockBoundary) {
    const size_t later = RELC_WINDOW_SIZE - RELC_HISTORY_SIZE;
    std::vector<size_t> sizes = {1, 2, 100, 8192};
    // Around the end of block k: 1 byte short, exact, 1 byte over.
    for (size_t k : {0, 1, 3, 4, 7, 8, 13})
        for (size_t d : {size_t(0), size_t(1), size_t(2)}) sizes.push_back(RELC_WINDOW_SIZE + k * later + d - 1);
    for (size_t size : sizes) {
        const Bytes data = Mixed(size);
        const Bytes serial = EncodeAll(data);
        uint32_t serialSum = 0;
        RelcAddByteSum(data.data(), data.size(), &serialSum);
        for (unsigned threads : {1u, 2u, 3u, 8u}) {
            TestSource source(data);
            TestSink sink;
            uint32_t sum = 0;
            const StreamResult r = EncodeRelcStreamParallel(source, data.size(), sink, threads, &sum);
            ASSERT_EQ(r.status, StreamStatus::Ok) << size << " on " << threads;
            EXPECT_TRUE(sink.bytes == serial) << size << " bytes on " << threads << " threads";
            EXPECT_EQ(r.bytesOut, serial.size());
            EXPECT_EQ(r.inputOffset, size);
            EXPECT_EQ(sum, serialSum);
        }
    }
}

TEST(RelcParallel, FailuresAreTheSerialDriversAndEndEveryThread) {
    const Bytes data = Mixed(1000000);
    const Bytes shorter(data.begin(), data.end() - 1);
    struct Case {
        const char* what;
        const Bytes& source;
        bool sourceFails;
        uint64_t announced;
        size_t sinkLimit;
        StreamStatus expected;
    };
    const Case cases[] = {
        {"source ends early", shorter, false, data.size(), SIZE_MAX, StreamStatus::SizeChanged},
        {"source holds more", data, false, shorter.size(), SIZE_MAX, StreamStatus::SizeChanged},
        {"source fails", shorter, true, data.size(), SIZE_MAX, StreamStatus::ReadFailed},
        {"sink refuses", data, false, data.size(), 100000, StreamStatus::WriteFailed},
        {"nothing to encode", data, false, 0, SIZE_MAX, StreamStatus::EmptyInput},
    };
    for (const Case& c : cases) {
        for (unsigned threads : {1u, 3u}) {
            TestSource source(c.source, c.sourceFails);
            TestSink sink(c.sinkLimit);
            EXPECT_EQ(EncodeRelcStreamParallel(source, c.announced, sink, threads).status, c.expected)
                << c.what << " on " << threads;
        }
    }
    RelcStreamHooks hooks;
    hooks.cancelled = [](void*) { return true; };
    TestSource source(data);
    TestSink sink;
    EXPECT_EQ(EncodeRelcStreamParallel(source, data.size(), sink, 2, nullptr, &hooks).status,
              StreamStatus::Cancelled);
}

}  // namespace
