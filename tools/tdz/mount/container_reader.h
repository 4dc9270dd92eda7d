// Random access to the bytes a container holds. relc blocks depend on the
// output before them, so the reader indexes the block headers once, decodes
// in segments of kBlocksPerSegment blocks and keeps, for each segment
// reached so far, the 8192 bytes of history its first block needs: a read
// at any offset then decodes at most one segment. The first pass over the
// container is sequential by necessity; it also sums the bytes, and once it
// reaches the end the stored checksum is compared.
//
// Damage (a corrupt block, a wrong size, a wrong checksum) fails the
// container for good: every later read is an I/O error, and the damage is
// reported once. An error of the underlying file fails only that read.
//
// Thread-safe; decoding one container is serialised, different containers
// decode in parallel.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "container/container_header.h"
#include "decoded_cache.h"

class ContainerReader {
public:
    // Blocks per segment: 16 blocks are 393,216 bytes of output.
    static constexpr uint64_t kBlocksPerSegment = 16;

    // id names the container in the shared cache and must be unique.
    ContainerReader(uint64_t id, const ContainerHeader& header, uint64_t fileSize);
    ContainerReader(const ContainerReader&) = delete;
    ContainerReader& operator=(const ContainerReader&) = delete;

    // Walks the block headers of the container open as fd. Returns 0, or
    // -EIO with *damage set when the blocks do not add up to the header's
    // size or the stream does not end where the checksum begins; -errno on
    // a read error. Does nothing once it has succeeded.
    [[nodiscard]] int Index(int fd, std::string* damage);

    // Reads up to count bytes at offset into out (fewer only at the end).
    // Returns the count, or -EIO; *damage is set only on the read that
    // first finds the container damaged.
    [[nodiscard]] ssize_t Read(int fd, uint64_t offset, uint8_t* out, size_t count, DecodedCache& cache,
                               std::string* damage);

    uint64_t Size() const { return header_.sourceSize; }
    bool ChecksumVerified() const { return checksumVerified_.load(); }

private:
    std::shared_ptr<const DecodedSegment> Segment(int fd, uint64_t segment, DecodedCache& cache,
                                                  std::string* damage);
    // With mutex_ held.
    int DecodeSegment(int fd, uint64_t segment, DecodedCache& cache, std::shared_ptr<DecodedSegment>* out,
                      std::string* damage);
    void Fail(const std::string& why, std::string* damage);

    const uint64_t id_;
    const ContainerHeader header_;
    const uint64_t streamLength_;
    const uint64_t blockCount_;
    const uint64_t segmentCount_;

    std::mutex mutex_;
    std::atomic<bool> indexed_{false};
    std::atomic<bool> failed_{false};
    std::atomic<bool> checksumVerified_{false};
    uint32_t storedChecksum_ = 0;
    std::vector<uint64_t> blockStart_;                 // stream offsets; the last is the end marker's
    std::vector<std::unique_ptr<uint8_t[]>> history_;  // per segment, once reached
    uint64_t reached_ = 0;                             // segments decoded in order so far
    uint32_t sum_ = 0;                                 // of the bytes of those segments
};
