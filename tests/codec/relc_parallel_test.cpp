// The block-parallel encoder writes the serial stream byte for byte, on any
// number of threads, and fails as the serial driver does.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>

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

// A run of streams ends each one, in order, as it would end alone, whatever
// fails around it; the good ones are the serial streams byte for byte.
TEST(RelcParallel, ARunEndsEveryStreamAsItWouldEndAlone) {
    const Bytes big = Mixed(300000);
    const Bytes small = Mixed(5000);
    const Bytes shorter(big.begin(), big.end() - 1);
    struct Case {
        const char* what;
        const Bytes& data;
        bool sourceFails;
        uint64_t announced;
        size_t sinkLimit;
        bool cancel;
        StreamStatus expected;
    };
    const Case cases[] = {
        {"small", small, false, small.size(), SIZE_MAX, false, StreamStatus::Ok},
        {"nothing", small, false, 0, SIZE_MAX, false, StreamStatus::EmptyInput},
        {"big", big, false, big.size(), SIZE_MAX, false, StreamStatus::Ok},
        {"source ends early", shorter, false, big.size(), SIZE_MAX, false, StreamStatus::SizeChanged},
        {"sink refuses", big, false, big.size(), 50000, false, StreamStatus::WriteFailed},
        {"cancelled", big, false, big.size(), SIZE_MAX, true, StreamStatus::Cancelled},
        {"source fails", shorter, true, big.size(), SIZE_MAX, false, StreamStatus::ReadFailed},
        {"small after", small, false, small.size(), SIZE_MAX, false, StreamStatus::Ok},
    };
    constexpr size_t kCases = sizeof cases / sizeof cases[0];

    class Feed final : public RelcStreamFeed {
    public:
        explicit Feed(const Case* cases) : cases_(cases) { hooks_.cancelled = [](void*) { return true; }; }
        bool Next(RelcFeedStream* stream) override {
            if (given_ == kCases) return false;
            const Case& c = cases_[given_++];
            mostOpen = std::max(mostOpen, given_ - ended.size());
            sources.emplace_back(c.data, c.sourceFails);
            sinks.emplace_back(c.sinkLimit);
            sums.push_back(0);
            stream->in = &sources.back();
            stream->totalSize = c.announced;
            stream->out = &sinks.back();
            stream->byteSum = &sums.back();
            stream->hooks = c.cancel ? &hooks_ : nullptr;
            return true;
        }
        void Ended(const StreamResult& result) override {
            EXPECT_LT(ended.size(), given_) << "a stream ended before it was given";
            ended.push_back(result);
        }
        std::deque<TestSource> sources;
        std::deque<TestSink> sinks;
        std::deque<uint32_t> sums;
        std::vector<StreamResult> ended;
        size_t mostOpen = 0;

    private:
        const Case* cases_;
        size_t given_ = 0;
        RelcStreamHooks hooks_;
    };

    for (unsigned threads : {1u, 2u, 3u}) {
        Feed feed(cases);
        EncodeRelcStreamsParallel(feed, threads);
        ASSERT_EQ(feed.ended.size(), kCases) << threads;
        EXPECT_LE(feed.mostOpen, 2 * threads) << "streams open at once";
        for (size_t i = 0; i < kCases; ++i) {
            const Case& c = cases[i];
            EXPECT_EQ(feed.ended[i].status, c.expected) << c.what << " on " << threads;
            if (c.expected != StreamStatus::Ok) continue;
            const Bytes serial = EncodeAll(c.data);
            uint32_t sum = 0;
            RelcAddByteSum(c.data.data(), c.data.size(), &sum);
            EXPECT_TRUE(feed.sinks[i].bytes == serial) << c.what << " on " << threads;
            EXPECT_EQ(feed.ended[i].bytesOut, serial.size());
            EXPECT_EQ(feed.sums[i], sum);
        }
    }
}

}  // namespace
