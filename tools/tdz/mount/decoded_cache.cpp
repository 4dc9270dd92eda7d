#include "decoded_cache.h"

std::shared_ptr<const DecodedSegment> DecodedCache::Find(uint64_t container, uint64_t segment)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = where_.find(Key{container, segment});
    if (it == where_.end())
        return nullptr;
    order_.splice(order_.begin(), order_, it->second);
    return it->second->data;
}

void DecodedCache::Insert(uint64_t container, uint64_t segment, std::shared_ptr<DecodedSegment> data)
{
    const uint64_t size = data->bytes.size();
    std::lock_guard<std::mutex> lock(mutex_);
    const Key key{container, segment};
    const auto it = where_.find(key);
    if (it != where_.end()) {
        held_ -= it->second->data->bytes.size();
        order_.erase(it->second);
        where_.erase(it);
    }
    order_.push_front(Entry{key, std::move(data)});
    where_[key] = order_.begin();
    held_ += size;
    while (held_ > budget_ && !order_.empty()) {
        Entry& last = order_.back();
        held_ -= last.data->bytes.size();
        if (last.data.use_count() == 1 && recycled_.size() < kMaxRecycled)
            recycled_.push_back(std::move(last.data->bytes));
        where_.erase(last.key);
        order_.pop_back();
    }
}

uint64_t DecodedCache::BytesHeld()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return held_;
}

std::vector<uint8_t> DecodedCache::Recycled()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (recycled_.empty())
        return {};
    std::vector<uint8_t> bytes = std::move(recycled_.back());
    recycled_.pop_back();
    return bytes;
}
