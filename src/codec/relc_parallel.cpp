#include "codec/relc_parallel.h"

#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "codec/relc_block.h"

namespace {

// Blocks coded as one job, by one encoder in stream order: a block that
// follows its predecessor on the same encoder takes over the chains of its
// history and the wider chains a costly block built, which a block coded
// on its own must make again. Longer jobs keep more of that; a stream of a
// few blocks still needs four jobs a thread to keep every thread busy.
constexpr uint64_t kMaxBlocksPerJob = 8;
constexpr uint32_t kLaterBlock = RELC_WINDOW_SIZE - RELC_HISTORY_SIZE;

uint64_t BlocksPerJob(uint64_t blocks, unsigned threads)
{
    const uint64_t perJob = (blocks + 4 * uint64_t(threads) - 1) / (4 * uint64_t(threads));
    return perJob < 1 ? 1 : perJob > kMaxBlocksPerJob ? kMaxBlocksPerJob : perJob;
}
// Jobs in flight per thread: one being coded, one read ahead, and room for
// a block that is slow to code to hold up the writer without idling the
// others.
constexpr unsigned kSlotsPerThread = 4;

// Block encoders outlive the stream they coded: allocating and clearing
// one costs a tenth of coding a typical small file, so a tree of files
// would pay it again and again. An encoder is over half a megabyte: beyond
// a machine's worth of threads, they go.
class EncoderCache {
public:
    ~EncoderCache()
    {
        for (RelcBlockEncoder* encoder : free_)
            RelcFreeBlockEncoder(encoder);
    }

    RelcBlockEncoder* Take()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!free_.empty()) {
                RelcBlockEncoder* encoder = free_.back();
                free_.pop_back();
                return encoder;
            }
        }
        return RelcNewBlockEncoder(0);
    }

    void Give(RelcBlockEncoder* encoder)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        try {
            if (free_.size() < kMaxKept) {
                free_.push_back(encoder);
                return;
            }
        } catch (const std::bad_alloc&) {
        }
        RelcFreeBlockEncoder(encoder);
    }

private:
    static constexpr size_t kMaxKept = 16;

    std::mutex mutex_;
    std::vector<RelcBlockEncoder*> free_;
};

// The caches live until the process ends and are never destroyed: once
// threads have run, every buffer freed at exit costs a round of TLB
// flushes on each processor, for memory the exit frees anyway.
EncoderCache& Encoders()
{
    static EncoderCache* const cache = new EncoderCache;
    return *cache;
}

// The most a job's input holds (the history of its first block, then its
// new bytes; the first job has no history but a first block that much
// longer) and the most its blocks can code to.
constexpr size_t kJobInputRoom = RELC_HISTORY_SIZE + kMaxBlocksPerJob * kLaterBlock;
constexpr size_t kJobOutputRoom = kMaxBlocksPerJob * RELC_STAGING_SIZE;

// A ring's memory outlives its stream as well: buffers this size come
// from fresh pages on every allocation, and touching fresh pages costs
// more than coding a small file.
class SlotMemoryCache {
public:
    bool Take(std::unique_ptr<uint8_t[]>* input, std::unique_ptr<uint8_t[]>* output)
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!free_.empty()) {
                *input = std::move(free_.back().first);
                *output = std::move(free_.back().second);
                free_.pop_back();
                return true;
            }
        }
        input->reset(new (std::nothrow) uint8_t[kJobInputRoom]);
        output->reset(new (std::nothrow) uint8_t[kJobOutputRoom]);
        return *input && *output;
    }

    void Give(std::unique_ptr<uint8_t[]>* input, std::unique_ptr<uint8_t[]>* output)
    {
        if (!*input || !*output)
            return;
        std::lock_guard<std::mutex> lock(mutex_);
        try {
            if (free_.size() < kMaxKept)
                free_.emplace_back(std::move(*input), std::move(*output));
        } catch (const std::bad_alloc&) {
        }
    }

private:
    static constexpr size_t kMaxKept = 32;

    std::mutex mutex_;
    std::vector<std::pair<std::unique_ptr<uint8_t[]>, std::unique_ptr<uint8_t[]>>> free_;
};

SlotMemoryCache& SlotMemory()
{
    static SlotMemoryCache* const cache = new SlotMemoryCache;
    return *cache;
}

enum class SlotState { Free, Read, Coded };

struct StreamRun;

struct Slot {
    std::unique_ptr<uint8_t[]> input;
    std::unique_ptr<uint8_t[]> output;
    SlotState state = SlotState::Free;
    StreamRun* stream = nullptr;
    uint64_t job = 0;
    bool last = false;      // the stream ends behind this slot
    bool skipped = false;   // nothing to code: the stream stopped before this job
    size_t historyLen = 0;  // bytes of input before the job's new bytes
    size_t newLen = 0;
    size_t outLen = 0;
    uint32_t sum = 0;
};

struct Layout {
    uint64_t totalSize;
    uint64_t blocks;
    uint64_t blocksPerJob;
    uint64_t jobs;

    uint64_t FirstBlock(uint64_t job) const { return job * blocksPerJob; }
    uint64_t EndBlock(uint64_t job) const
    {
        const uint64_t end = FirstBlock(job) + blocksPerJob;
        return end < blocks ? end : blocks;
    }
    uint64_t Start(uint64_t job) const { return RelcBlockOffset(FirstBlock(job)); }
    uint64_t End(uint64_t job) const
    {
        const uint64_t end = RelcBlockOffset(EndBlock(job));
        return end < totalSize ? end : totalSize;
    }
};

Layout LayoutFor(uint64_t totalSize, unsigned threads)
{
    const uint64_t blocks = totalSize == 0 ? 0 : RelcBlockCount(totalSize);
    const uint64_t perJob = BlocksPerJob(blocks, threads);
    return {totalSize, blocks, perJob, (blocks + perJob - 1) / perJob};
}

// A stream from the moment it is begun until it has ended: touched by the
// calling thread only, the coders seeing just its layout.
struct StreamRun {
    RelcFeedStream feed;
    Layout layout;
    StreamResult result;
    uint64_t nextJob = 0;
    const Slot* lastRead = nullptr;  // holds the history of the next job
    bool stopped = false;            // failed or cancelled: nothing more read or written

    bool Cancelled() const
    {
        return feed.hooks != nullptr && feed.hooks->cancelled != nullptr &&
               feed.hooks->cancelled(feed.hooks->context);
    }
    void Stop(StreamStatus status)
    {
        if (!stopped)
            result.status = status;
        stopped = true;
    }
};

// The blocks of a run of streams in one ring: the calling thread reads
// jobs into it and writes them out in order, coding too whenever it has
// nothing to read or write; the other threads only code. A stream's first
// jobs are read and coded while the last ones of the stream before are
// still being coded, so that the threads do not wait at every stream's end.
class Pipeline {
public:
    Pipeline(size_t slots, unsigned threads) : threads_(threads), slots_(slots) {}

    ~Pipeline()
    {
        StopWorkers();
        for (Slot& slot : slots_)
            SlotMemory().Give(&slot.input, &slot.output);
    }

    // false when memory is short.
    bool Prepare()
    {
        encoders_.reserve(threads_);
        workers_.reserve(threads_);
        for (Slot& slot : slots_) {
            if (!SlotMemory().Take(&slot.input, &slot.output))
                return false;
        }
        for (unsigned i = 0; i < threads_; ++i) {
            RelcBlockEncoder* encoder = Encoders().Take();
            if (encoder == nullptr)
                return false;
            encoders_.push_back(encoder);
        }
        return true;
    }

    // The first encoder is the caller's own. A thread that cannot be
    // started leaves its share to the others.
    void StartWorkers()
    {
        for (size_t i = 1; i < encoders_.size(); ++i) {
            RelcBlockEncoder* encoder = encoders_[i];
            try {
                workers_.emplace_back([this, encoder] { Work(encoder); });
            } catch (const std::system_error&) {
                return;
            }
        }
    }

    // Joins every worker and frees the encoders; safe to call twice.
    void StopWorkers()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        workCv_.notify_all();
        for (std::thread& t : workers_)
            t.join();
        workers_.clear();
        // Last in, first out: the calling thread's encoder goes back last,
        // so that the next stream's calling thread gets it again with its
        // tables still in this core's cache.
        for (size_t i = encoders_.size(); i-- > 0;)
            Encoders().Give(encoders_[i]);
        encoders_.clear();
    }

    void Run(RelcStreamFeed& feed)
    {
        std::deque<StreamRun> open;  // begun and not yet ended, in order
        StreamRun* reading = nullptr;
        bool feedDone = false;
        uint64_t nextRead = 0;
        uint64_t nextWrite = 0;
        for (;;) {
            if (nextWrite < nextRead) {
                Slot& head = slots_[nextWrite % slots_.size()];
                if (State(head) == SlotState::Coded) {
                    StreamRun& stream = *head.stream;
                    WriteSlot(head);
                    SetState(head, SlotState::Free);
                    ++nextWrite;
                    if (head.last) {
                        EndStream(&stream);
                        feed.Ended(stream.result);
                        open.pop_front();
                    }
                    continue;
                }
            }
            if (nextRead - nextWrite < slots_.size()) {
                // Each stream begun holds its source and sink open (a file
                // pair in a packer) until it ends: a few per thread keep
                // the threads busy across stream ends, more only use up
                // handles.
                if (reading == nullptr && !feedDone && open.size() < MaxOpenStreams()) {
                    RelcFeedStream next;
                    if (feed.Next(&next)) {
                        open.emplace_back();
                        reading = &open.back();
                        reading->feed = next;
                        reading->layout = LayoutFor(next.totalSize, threads_);
                        if (next.totalSize == 0)
                            reading->Stop(StreamStatus::EmptyInput);
                    } else {
                        feedDone = true;
                    }
                }
                if (reading != nullptr) {
                    Slot& slot = slots_[nextRead % slots_.size()];
                    ReadJob(reading, &slot);
                    if (slot.last)
                        reading = nullptr;
                    ++nextRead;
                    {
                        std::lock_guard<std::mutex> lock(mutex_);
                        slot.state = SlotState::Read;
                        readJobs_ = nextRead;
                    }
                    workCv_.notify_one();
                    continue;
                }
            }
            if (feedDone && nextWrite == nextRead)
                return;
            std::unique_lock<std::mutex> lock(mutex_);
            if (nextCode_ < readJobs_) {
                Slot& slot = slots_[nextCode_ % slots_.size()];
                ++nextCode_;
                lock.unlock();
                Code(encoders_[0], &slot);
                lock.lock();
                slot.state = SlotState::Coded;
                continue;
            }
            Slot& head = slots_[nextWrite % slots_.size()];
            doneCv_.wait(lock, [&] { return head.state == SlotState::Coded; });
        }
    }

private:
    size_t MaxOpenStreams() const
    {
        constexpr size_t kMostOpen = 64;
        return 2 * size_t(threads_) < kMostOpen ? 2 * size_t(threads_) : kMostOpen;
    }

    SlotState State(const Slot& slot)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return slot.state;
    }

    void SetState(Slot& slot, SlotState state)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        slot.state = state;
    }

    // Reads the stream's next job into slot, behind the history its
    // predecessor holds; the last job also makes sure the source ends where
    // announced. A stream that cannot go on gets an empty last slot, which
    // carries its end through the ring in order.
    void ReadJob(StreamRun* stream, Slot* slot)
    {
        slot->stream = stream;
        slot->job = stream->nextJob;
        slot->historyLen = 0;
        slot->newLen = 0;
        slot->skipped = true;
        slot->last = true;
        if (!stream->stopped && stream->Cancelled())
            stream->Stop(StreamStatus::Cancelled);
        if (stream->stopped)
            return;
        const StreamStatus read = ReadNewBytes(stream, slot);
        if (read != StreamStatus::Ok) {
            stream->Stop(read);
            slot->newLen = 0;
            return;
        }
        slot->skipped = false;
        slot->last = ++stream->nextJob == stream->layout.jobs;
        stream->lastRead = slot;
    }

    StreamStatus ReadNewBytes(StreamRun* stream, Slot* slot)
    {
        const Layout& layout = stream->layout;
        const uint64_t job = slot->job;
        if (job != 0) {
            const Slot* previous = stream->lastRead;
            const size_t prevEnd = previous->historyLen + previous->newLen;
            std::memcpy(slot->input.get(), previous->input.get() + prevEnd - RELC_HISTORY_SIZE,
                        RELC_HISTORY_SIZE);
            slot->historyLen = RELC_HISTORY_SIZE;
        }
        slot->newLen = static_cast<size_t>(layout.End(job) - layout.Start(job));
        ByteSource& in = *stream->feed.in;
        uint8_t* to = slot->input.get() + slot->historyLen;
        size_t got = 0;
        while (got < slot->newLen) {
            const size_t n = in.Read(to + got, slot->newLen - got);
            if (n == 0)
                return in.Failed() ? StreamStatus::ReadFailed : StreamStatus::SizeChanged;
            got += n;
        }
        if (job + 1 == layout.jobs) {
            uint8_t probe = 0;
            if (in.Read(&probe, 1) != 0)
                return StreamStatus::SizeChanged;
            if (in.Failed())
                return StreamStatus::ReadFailed;
        }
        return StreamStatus::Ok;
    }

    static void WriteSlot(const Slot& slot)
    {
        StreamRun& stream = *slot.stream;
        if (stream.stopped || slot.skipped)
            return;
        if (stream.Cancelled()) {
            stream.Stop(StreamStatus::Cancelled);
            return;
        }
        if (slot.outLen != 0 && !stream.feed.out->Write(slot.output.get(), slot.outLen)) {
            stream.Stop(StreamStatus::WriteFailed);
            return;
        }
        stream.result.bytesOut += slot.outLen;
        stream.result.inputOffset += slot.newLen;
        if (stream.feed.byteSum != nullptr)
            *stream.feed.byteSum += slot.sum;
        const RelcStreamHooks* hooks = stream.feed.hooks;
        if (hooks != nullptr && hooks->progress != nullptr)
            hooks->progress(hooks->context, stream.result.inputOffset);
    }

    static void EndStream(StreamRun* stream)
    {
        if (stream->stopped)
            return;
        static const uint8_t kEndMarker[2] = {0, 0};
        if (!stream->feed.out->Write(kEndMarker, sizeof kEndMarker)) {
            stream->Stop(StreamStatus::WriteFailed);
            return;
        }
        stream->result.bytesOut += sizeof kEndMarker;
        stream->result.codecStatus = RELC_STREAM_END;
    }

    void Work(RelcBlockEncoder* encoder)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            workCv_.wait(lock, [&] { return stop_ || nextCode_ < readJobs_; });
            if (stop_)
                return;
            Slot& slot = slots_[nextCode_ % slots_.size()];
            ++nextCode_;
            lock.unlock();
            Code(encoder, &slot);
            lock.lock();
            slot.state = SlotState::Coded;
            doneCv_.notify_one();
        }
    }

    static void Code(RelcBlockEncoder* encoder, Slot* slot)
    {
        slot->outLen = 0;
        slot->sum = 0;
        if (slot->skipped)
            return;
        const Layout& layout = slot->stream->layout;
        const bool summing = slot->stream->feed.byteSum != nullptr;
        const uint64_t start = layout.Start(slot->job);
        const uint8_t* base = slot->input.get() + slot->historyLen;  // input offset start
        for (uint64_t b = layout.FirstBlock(slot->job); b < layout.EndBlock(slot->job); ++b) {
            const uint8_t* bytes = base + (RelcBlockOffset(b) - start);
            const uint32_t count = RelcBlockLength(b, layout.totalSize);
            const uint8_t* history = b == 0 ? nullptr : bytes - RELC_HISTORY_SIZE;
            slot->outLen += RelcEncodeBlock(encoder, history, bytes, count, slot->output.get() + slot->outLen);
            if (summing)
                RelcAddByteSum(bytes, count, &slot->sum);
        }
    }

    unsigned threads_;
    std::vector<Slot> slots_;
    std::vector<RelcBlockEncoder*> encoders_;
    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::condition_variable workCv_;
    std::condition_variable doneCv_;
    uint64_t readJobs_ = 0;
    uint64_t nextCode_ = 0;
    bool stop_ = false;
};

// Short of memory for the ring: the serial driver needs far less.
StreamResult EncodeSerially(const RelcFeedStream& stream)
{
    StreamResult result;
    if (stream.totalSize == 0) {
        result.status = StreamStatus::EmptyInput;
        return result;
    }
    std::unique_ptr<uint8_t[]> inBuf(new (std::nothrow) uint8_t[RELC_STAGING_SIZE]);
    std::unique_ptr<uint8_t[]> outBuf(new (std::nothrow) uint8_t[RELC_STAGING_SIZE]);
    if (!inBuf || !outBuf) {
        result.status = StreamStatus::ReadFailed;
        return result;
    }
    RelcStreamOptions options;
    options.byteSum = stream.byteSum;
    options.hooks = stream.hooks;
    return RelcEncodeStream(*stream.in, stream.totalSize, *stream.out,
                            {inBuf.get(), RELC_STAGING_SIZE, outBuf.get(), RELC_STAGING_SIZE}, options);
}

// The feed of a single stream.
class OneStream final : public RelcStreamFeed {
public:
    explicit OneStream(const RelcFeedStream& stream) : stream_(stream) {}
    bool Next(RelcFeedStream* stream) override
    {
        if (given_)
            return false;
        given_ = true;
        *stream = stream_;
        return true;
    }
    void Ended(const StreamResult& result) override { result_ = result; }
    const StreamResult& Result() const { return result_; }

private:
    RelcFeedStream stream_;
    bool given_ = false;
    StreamResult result_;
};

unsigned ThreadsWanted(unsigned threads)
{
    if (threads == 0)
        threads = std::thread::hardware_concurrency();
    return threads == 0 ? 1 : threads;
}

void RunFeed(RelcStreamFeed& feed, unsigned threads, size_t slots)
{
    // Nothing is written before the ring and the encoders are had, so a
    // shortage of memory can still fall back on the serial driver.
    std::unique_ptr<Pipeline> pipeline;
    try {
        pipeline.reset(new Pipeline(slots, threads));
        if (!pipeline->Prepare())
            pipeline.reset();
    } catch (const std::bad_alloc&) {
        pipeline.reset();
    }
    if (!pipeline) {
        RelcFeedStream stream;
        while (feed.Next(&stream))
            feed.Ended(EncodeSerially(stream));
        return;
    }
    pipeline->StartWorkers();
    pipeline->Run(feed);
    pipeline->StopWorkers();
}

}  // namespace

StreamResult EncodeRelcStreamParallel(ByteSource& in, uint64_t totalSize, ByteSink& out, unsigned threads,
                                      uint32_t* byteSum, const RelcStreamHooks* hooks)
{
    RelcFeedStream stream;
    stream.in = &in;
    stream.totalSize = totalSize;
    stream.out = &out;
    stream.byteSum = byteSum;
    stream.hooks = hooks;
    OneStream feed(stream);
    if (totalSize == 0) {
        StreamResult result;
        result.status = StreamStatus::EmptyInput;
        return result;
    }
    // No more threads, nor ring slots, than the stream has jobs.
    threads = ThreadsWanted(threads);
    const uint64_t blocks = RelcBlockCount(totalSize);
    if (threads > blocks)
        threads = static_cast<unsigned>(blocks);
    const uint64_t jobs = LayoutFor(totalSize, threads).jobs;
    if (threads > jobs)
        threads = static_cast<unsigned>(jobs);
    const uint64_t slots = uint64_t(threads) * kSlotsPerThread;
    RunFeed(feed, threads, static_cast<size_t>(slots < jobs ? slots : jobs));
    return feed.Result();
}

void EncodeRelcStreamsParallel(RelcStreamFeed& feed, unsigned threads)
{
    threads = ThreadsWanted(threads);
    RunFeed(feed, threads, size_t(threads) * kSlotsPerThread);
}
