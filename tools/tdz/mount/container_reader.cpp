#include "container_reader.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "codec/relc_block.h"
#include "source_tree.h"

namespace {

constexpr size_t kIndexChunk = 65536;

uint64_t SegmentOfOffset(uint64_t offset)
{
    const uint64_t block =
        offset < RELC_WINDOW_SIZE ? 0 : 1 + (offset - RELC_WINDOW_SIZE) / (RELC_WINDOW_SIZE - RELC_HISTORY_SIZE);
    return block / ContainerReader::kBlocksPerSegment;
}

std::string Damaged(const std::string& why)
{
    return "damaged container: " + why;
}

}  // namespace

ContainerReader::ContainerReader(uint64_t id, const ContainerHeader& header, uint64_t fileSize)
    : id_(id),
      header_(header),
      streamLength_(fileSize - kContainerOverhead),
      blockCount_(RelcBlockCount(header.sourceSize)),
      segmentCount_((blockCount_ + kBlocksPerSegment - 1) / kBlocksPerSegment)
{
}

void ContainerReader::Fail(const std::string& why, std::string* damage)
{
    if (!failed_.exchange(true))
        *damage = why;
}

int ContainerReader::Index(int fd, std::string* damage)
{
    if (indexed_.load())
        return failed_.load() ? -EIO : 0;
    std::lock_guard<std::mutex> lock(mutex_);
    if (indexed_.load() || failed_.load())
        return failed_.load() ? -EIO : 0;

    std::vector<uint64_t> starts;
    starts.reserve(blockCount_ + 1);
    std::vector<uint8_t> chunk(kIndexChunk);
    uint64_t chunkStart = 0;
    uint64_t chunkLength = 0;
    uint64_t at = 0;
    for (;;) {
        if (at + 2 > streamLength_) {
            Fail(Damaged("the stream ends without its end-of-stream marker"), damage);
            return -EIO;
        }
        if (at + 2 > chunkStart + chunkLength) {
            chunkStart = at;
            chunkLength = streamLength_ - at < kIndexChunk ? streamLength_ - at : kIndexChunk;
            if (!ReadAt(fd, chunk.data(), size_t(chunkLength), kContainerHeaderSize + chunkStart))
                return -errno;
        }
        const uint8_t* header = chunk.data() + (at - chunkStart);
        starts.push_back(at);
        if (header[0] == 0 && header[1] == 0)
            break;
        if (starts.size() > blockCount_) {
            Fail(Damaged("more blocks than the header's size of " + std::to_string(header_.sourceSize) +
                         " bytes needs"),
                 damage);
            return -EIO;
        }
        at += RelcBlockSize(header);
    }
    if (starts.size() != blockCount_ + 1) {
        Fail(Damaged(std::to_string(starts.size() - 1) + " blocks where the header's size needs " +
                     std::to_string(blockCount_)),
             damage);
        return -EIO;
    }
    if (at + 2 != streamLength_) {
        Fail(Damaged("bytes between the end-of-stream marker and the checksum"), damage);
        return -EIO;
    }
    uint8_t stored[kContainerChecksumSize];
    if (!ReadAt(fd, stored, sizeof stored, kContainerHeaderSize + streamLength_))
        return -errno;
    storedChecksum_ = DecodeChecksum(stored);
    blockStart_ = std::move(starts);
    history_.resize(segmentCount_);
    indexed_.store(true);
    return 0;
}

int ContainerReader::DecodeSegment(int fd, uint64_t segment, DecodedCache& cache,
                                   std::shared_ptr<DecodedSegment>* out, std::string* damage)
{
    const uint64_t first = segment * kBlocksPerSegment;
    const uint64_t end = first + kBlocksPerSegment < blockCount_ ? first + kBlocksPerSegment : blockCount_;
    const uint64_t outputStart = RelcBlockOffset(first);
    const uint64_t outputEnd = end == blockCount_ ? header_.sourceSize : RelcBlockOffset(end);
    const uint64_t length = outputEnd - outputStart;
    // Every window but the last ends 32 bytes behind its block's output; the
    // last block may be short, and its window still needs the whole room.
    const uint32_t lastHistory = end - 1 == 0 ? 0 : RELC_HISTORY_SIZE;
    const uint64_t lastWindow = DecodedSegment::kPrefix + RelcBlockOffset(end - 1) - outputStart - lastHistory;
    uint64_t room = DecodedSegment::kPrefix + length + (RELC_BLOCK_WINDOW_ROOM - RELC_WINDOW_SIZE);
    if (lastWindow + RELC_BLOCK_WINDOW_ROOM > room)
        room = lastWindow + RELC_BLOCK_WINDOW_ROOM;

    auto decoded = std::make_shared<DecodedSegment>();
    decoded->bytes = cache.Recycled();
    decoded->bytes.resize(size_t(room));
    decoded->length = size_t(length);
    if (segment > 0)
        std::memcpy(decoded->bytes.data(), history_[segment].get(), RELC_HISTORY_SIZE);

    const uint64_t streamStart = blockStart_[first];
    // One buffer per thread, kept: fresh memory costs a page fault a page.
    thread_local std::vector<uint8_t> stream;
    stream.resize(size_t(blockStart_[end] - streamStart));
    if (!ReadAt(fd, stream.data(), stream.size(), kContainerHeaderSize + streamStart))
        return -errno;
    uint64_t written = 0;
    for (uint64_t block = first; block < end; ++block) {
        const uint32_t historyLength = block == 0 ? 0 : RELC_HISTORY_SIZE;
        uint8_t* window = decoded->bytes.data() + DecodedSegment::kPrefix + written - historyLength;
        uint32_t produced = 0;
        const uint32_t status =
            RelcDecodeBlock(stream.data() + (blockStart_[block] - streamStart),
                            uint32_t(blockStart_[block + 1] - blockStart_[block]), window, historyLength, &produced);
        if (status != 0 || produced != RelcBlockLength(block, header_.sourceSize)) {
            Fail(Damaged("corrupt stream at stream offset " + std::to_string(blockStart_[block])), damage);
            return -EIO;
        }
        written += produced;
    }
    *out = std::move(decoded);
    return 0;
}

std::shared_ptr<const DecodedSegment> ContainerReader::Segment(int fd, uint64_t segment, DecodedCache& cache,
                                                               std::string* damage)
{
    if (auto hit = cache.Find(id_, segment))
        return hit;
    std::lock_guard<std::mutex> lock(mutex_);
    if (failed_.load())
        return nullptr;
    if (auto hit = cache.Find(id_, segment))
        return hit;
    std::shared_ptr<DecodedSegment> decoded;
    for (uint64_t next = segment < reached_ ? segment : reached_; next <= segment; ++next) {
        errno = 0;
        if (DecodeSegment(fd, next, cache, &decoded, damage) != 0)
            return nullptr;
        if (next + 1 < segmentCount_ && !history_[next + 1]) {
            history_[next + 1].reset(new uint8_t[RELC_HISTORY_SIZE]);
            std::memcpy(history_[next + 1].get(), decoded->Data() + decoded->length - RELC_HISTORY_SIZE,
                        RELC_HISTORY_SIZE);
        }
        if (next == reached_) {
            AddToChecksum(decoded->Data(), decoded->length, &sum_);
            if (++reached_ == segmentCount_) {
                if (sum_ != storedChecksum_) {
                    char text[96];
                    std::snprintf(text, sizeof text, "checksum 0x%08X stored, 0x%08X computed", storedChecksum_,
                                  sum_);
                    Fail(Damaged(text), damage);
                    return nullptr;
                }
                checksumVerified_.store(true);
            }
        }
        cache.Insert(id_, next, decoded);
    }
    return decoded;
}

ssize_t ContainerReader::Read(int fd, uint64_t offset, uint8_t* out, size_t count, DecodedCache& cache,
                              std::string* damage)
{
    if (failed_.load() || !indexed_.load())
        return -EIO;
    if (offset >= header_.sourceSize)
        return 0;
    if (count > header_.sourceSize - offset)
        count = size_t(header_.sourceSize - offset);
    size_t done = 0;
    while (done < count) {
        const uint64_t at = offset + done;
        const uint64_t segment = SegmentOfOffset(at);
        const std::shared_ptr<const DecodedSegment> data = Segment(fd, segment, cache, damage);
        if (!data)
            return -EIO;
        const uint64_t segmentStart = RelcBlockOffset(segment * kBlocksPerSegment);
        const uint64_t inSegment = at - segmentStart;
        size_t n = count - done;
        if (n > data->length - inSegment)
            n = size_t(data->length - inSegment);
        std::memcpy(out + done, data->Data() + inSegment, n);
        done += n;
    }
    return ssize_t(done);
}
