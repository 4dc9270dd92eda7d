#include "codec/relc_parallel.h"

#include <condition_variable>
#include <cstring>
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

EncoderCache& Encoders()
{
    static EncoderCache cache;
    return cache;
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
    static SlotMemoryCache cache;
    return cache;
}

enum class SlotState { Free, Read, Coded };

struct Slot {
    std::unique_ptr<uint8_t[]> input;
    std::unique_ptr<uint8_t[]> output;
    SlotState state = SlotState::Free;
    uint64_t job = 0;
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

class Pipeline {
public:
    Pipeline(const Layout& layout, unsigned threads)
        : layout_(layout),
          slots_(static_cast<size_t>(threads * kSlotsPerThread < layout.jobs ? threads * kSlotsPerThread
                                                                              : layout.jobs))
    {
    }

    ~Pipeline()
    {
        StopWorkers();
        for (Slot& slot : slots_)
            SlotMemory().Give(&slot.input, &slot.output);
    }

    // false when memory is short.
    bool Prepare(unsigned threads)
    {
        encoders_.reserve(threads);
        workers_.reserve(threads);
        for (Slot& slot : slots_) {
            if (!SlotMemory().Take(&slot.input, &slot.output))
                return false;
        }
        for (unsigned i = 0; i < threads; ++i) {
            RelcBlockEncoder* encoder = Encoders().Take();
            if (encoder == nullptr)
                return false;
            encoders_.push_back(encoder);
        }
        return true;
    }

    // The first encoder is the caller's own: it codes too whenever it has
    // nothing to read or write, rather than sleeping while the others work.
    // A thread that cannot be started leaves its share to the others.
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

    // Call before StartWorkers.
    void SumBytes(bool summing) { summing_ = summing; }

    StreamResult Run(ByteSource& in, ByteSink& out, uint32_t* byteSum, const RelcStreamHooks* hooks)
    {
        StreamResult result;
        uint64_t nextRead = 0;
        uint64_t nextWrite = 0;
        const Slot* previous = nullptr;
        while (nextWrite < layout_.jobs) {
            if (hooks != nullptr && hooks->cancelled != nullptr && hooks->cancelled(hooks->context))
                return Stop(result, StreamStatus::Cancelled);
            Slot& head = slots_[nextWrite % slots_.size()];
            if (State(head) == SlotState::Coded) {
                if (head.outLen != 0 && !out.Write(head.output.get(), head.outLen))
                    return Stop(result, StreamStatus::WriteFailed);
                result.bytesOut += head.outLen;
                result.inputOffset += head.newLen;
                if (byteSum != nullptr)
                    *byteSum += head.sum;
                SetState(head, SlotState::Free);
                ++nextWrite;
                if (hooks != nullptr && hooks->progress != nullptr)
                    hooks->progress(hooks->context, result.inputOffset);
                continue;
            }
            if (nextRead < layout_.jobs && nextRead - nextWrite < slots_.size()) {
                Slot& slot = slots_[nextRead % slots_.size()];
                const StreamStatus read = ReadJob(in, nextRead, previous, &slot);
                if (read != StreamStatus::Ok)
                    return Stop(result, read);
                previous = &slot;
                ++nextRead;
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    slot.state = SlotState::Read;
                    readJobs_ = nextRead;
                }
                workCv_.notify_one();
                continue;
            }
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
            doneCv_.wait(lock, [&] { return head.state == SlotState::Coded; });
        }
        static const uint8_t kEndMarker[2] = {0, 0};
        if (!out.Write(kEndMarker, sizeof kEndMarker))
            return Stop(result, StreamStatus::WriteFailed);
        result.bytesOut += sizeof kEndMarker;
        result.codecStatus = RELC_STREAM_END;
        return result;
    }

private:
    static StreamResult Stop(StreamResult result, StreamStatus status)
    {
        result.status = status;
        return result;
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

    // Reads the new bytes of a job behind the history its predecessor
    // holds; the last job also makes sure the source ends where announced.
    StreamStatus ReadJob(ByteSource& in, uint64_t job, const Slot* previous, Slot* slot)
    {
        slot->job = job;
        slot->historyLen = 0;
        if (job != 0) {
            const size_t prevEnd = previous->historyLen + previous->newLen;
            std::memcpy(slot->input.get(), previous->input.get() + prevEnd - RELC_HISTORY_SIZE,
                        RELC_HISTORY_SIZE);
            slot->historyLen = RELC_HISTORY_SIZE;
        }
        slot->newLen = static_cast<size_t>(layout_.End(job) - layout_.Start(job));
        uint8_t* to = slot->input.get() + slot->historyLen;
        size_t got = 0;
        while (got < slot->newLen) {
            const size_t n = in.Read(to + got, slot->newLen - got);
            if (n == 0)
                return in.Failed() ? StreamStatus::ReadFailed : StreamStatus::SizeChanged;
            got += n;
        }
        if (job + 1 == layout_.jobs) {
            uint8_t probe = 0;
            if (in.Read(&probe, 1) != 0)
                return StreamStatus::SizeChanged;
            if (in.Failed())
                return StreamStatus::ReadFailed;
        }
        return StreamStatus::Ok;
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

    void Code(RelcBlockEncoder* encoder, Slot* slot) const
    {
        const uint64_t start = layout_.Start(slot->job);
        const uint8_t* base = slot->input.get() + slot->historyLen;  // input offset start
        slot->outLen = 0;
        slot->sum = 0;
        for (uint64_t b = layout_.FirstBlock(slot->job); b < layout_.EndBlock(slot->job); ++b) {
            const uint8_t* bytes = base + (RelcBlockOffset(b) - start);
            const uint32_t count = RelcBlockLength(b, layout_.totalSize);
            const uint8_t* history = b == 0 ? nullptr : bytes - RELC_HISTORY_SIZE;
            slot->outLen += RelcEncodeBlock(encoder, history, bytes, count, slot->output.get() + slot->outLen);
            if (summing_)
                RelcAddByteSum(bytes, count, &slot->sum);
        }
    }

    Layout layout_;
    std::vector<Slot> slots_;
    std::vector<RelcBlockEncoder*> encoders_;
    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::condition_variable workCv_;
    std::condition_variable doneCv_;
    uint64_t readJobs_ = 0;
    uint64_t nextCode_ = 0;
    bool stop_ = false;
    bool summing_ = true;
};

}  // namespace

StreamResult EncodeRelcStreamParallel(ByteSource& in, uint64_t totalSize, ByteSink& out, unsigned threads,
                                      uint32_t* byteSum, const RelcStreamHooks* hooks)
{
    if (totalSize == 0) {
        StreamResult result;
        result.status = StreamStatus::EmptyInput;
        return result;
    }
    if (threads == 0)
        threads = std::thread::hardware_concurrency();
    if (threads == 0)
        threads = 1;
    const uint64_t blocks = RelcBlockCount(totalSize);
    if (threads > blocks)
        threads = static_cast<unsigned>(blocks);
    const uint64_t perJob = BlocksPerJob(blocks, threads);
    const Layout layout{totalSize, blocks, perJob, (blocks + perJob - 1) / perJob};
    if (threads > layout.jobs)
        threads = static_cast<unsigned>(layout.jobs);

    // Nothing is written before the ring and the encoders are had, so a
    // shortage of memory can still fall back on the serial driver.
    std::unique_ptr<Pipeline> pipeline;
    try {
        pipeline.reset(new Pipeline(layout, threads));
        if (!pipeline->Prepare(threads))
            pipeline.reset();
    } catch (const std::bad_alloc&) {
        pipeline.reset();
    }
    if (!pipeline) {
        // Short of memory for the ring: the serial driver needs far less.
        std::unique_ptr<uint8_t[]> inBuf(new (std::nothrow) uint8_t[RELC_STAGING_SIZE]);
        std::unique_ptr<uint8_t[]> outBuf(new (std::nothrow) uint8_t[RELC_STAGING_SIZE]);
        if (!inBuf || !outBuf) {
            StreamResult result;
            result.status = StreamStatus::ReadFailed;
            return result;
        }
        RelcStreamOptions options;
        options.byteSum = byteSum;
        options.hooks = hooks;
        return RelcEncodeStream(in, totalSize, out,
                                {inBuf.get(), RELC_STAGING_SIZE, outBuf.get(), RELC_STAGING_SIZE}, options);
    }
    pipeline->SumBytes(byteSum != nullptr);
    pipeline->StartWorkers();
    const StreamResult result = pipeline->Run(in, out, byteSum, hooks);
    pipeline->StopWorkers();
    return result;
}
