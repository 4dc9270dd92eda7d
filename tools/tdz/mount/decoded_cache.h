// Decoded pieces of containers, shared by every open file of the mount and
// bounded in bytes: the least recently used piece goes first. A piece still
// in a reader's hands stays alive through its shared_ptr after it leaves the
// cache, so a cache smaller than one piece still works, only without hits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

// One decoded segment: bytes[0, kPrefix) is room for the history its first
// block was decoded behind; the segment's bytes start at Data().
struct DecodedSegment {
    static constexpr size_t kPrefix = 8192;
    std::vector<uint8_t> bytes;
    size_t length = 0;  // bytes of the segment itself
    const uint8_t* Data() const { return bytes.data() + kPrefix; }
};

class DecodedCache {
public:
    explicit DecodedCache(uint64_t budgetBytes) : budget_(budgetBytes) {}
    DecodedCache(const DecodedCache&) = delete;
    DecodedCache& operator=(const DecodedCache&) = delete;

    // Thread-safe.
    std::shared_ptr<const DecodedSegment> Find(uint64_t container, uint64_t segment);
    void Insert(uint64_t container, uint64_t segment, std::shared_ptr<DecodedSegment> data);
    uint64_t BytesHeld();

    // Memory of a piece that left the cache with no reader holding it, or
    // an empty vector. Fresh memory costs a page fault per page, which
    // costs more than decoding it.
    std::vector<uint8_t> Recycled();

private:
    struct Key {
        uint64_t container;
        uint64_t segment;
        bool operator==(const Key& other) const { return container == other.container && segment == other.segment; }
    };
    struct KeyHash {
        size_t operator()(const Key& key) const { return std::hash<uint64_t>()(key.container * 0x9E3779B97F4A7C15ull ^ key.segment); }
    };
    struct Entry {
        Key key;
        std::shared_ptr<DecodedSegment> data;
    };
    static constexpr size_t kMaxRecycled = 8;

    std::mutex mutex_;
    const uint64_t budget_;
    uint64_t held_ = 0;
    std::list<Entry> order_;  // most recently used first
    std::unordered_map<Key, std::list<Entry>::iterator, KeyHash> where_;
    std::vector<std::vector<uint8_t>> recycled_;
};
