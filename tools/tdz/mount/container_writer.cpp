#include "container_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "codec/relc_block.h"
#include "source_tree.h"

namespace {

bool WriteAll(int fd, const uint8_t* bytes, size_t count)
{
    while (count > 0) {
        const ssize_t n = write(fd, bytes, count);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes += n;
        count -= size_t(n);
    }
    return true;
}

struct EncoderOwner {
    void operator()(RelcBlockEncoder* encoder) const { RelcFreeBlockEncoder(encoder); }
};

}  // namespace

std::string TemporaryName(const std::string& base)
{
    static std::atomic<uint64_t> counter{0};
    return "." + base + "." + std::to_string(getpid()) + "-" + std::to_string(++counter) + ".tmp";
}

int StoreAsContainer(int folderFd, int plainFd, uint64_t size, ContainerHeader header,
                     const std::string& containerName, std::string* error)
{
    std::unique_ptr<RelcBlockEncoder, EncoderOwner> encoder(RelcNewBlockEncoder(0));
    if (!encoder) {
        *error = "no memory for the encoder";
        return -ENOMEM;
    }
    const std::string tempName = TemporaryName(containerName);
    UniqueFd out(openat(folderFd, tempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!out.Valid()) {
        *error = "cannot create '" + tempName + "': " + std::strerror(errno);
        return -errno;
    }
    header.sourceSize = size;
    uint8_t headerBytes[kContainerHeaderSize];
    EncodeContainerHeader(header, headerBytes);
    std::vector<uint8_t> window(RELC_WINDOW_SIZE);
    std::vector<uint8_t> block(RELC_STAGING_SIZE);
    uint32_t sum = 0;
    bool ok = WriteAll(out.Get(), headerBytes, sizeof headerBytes);
    int failure = EIO;
    uint64_t offset = 0;
    for (uint64_t index = 0; ok && offset < size; ++index) {
        const uint32_t length = RelcBlockLength(index, size);
        const uint32_t history = index == 0 ? 0 : RELC_HISTORY_SIZE;
        if (index > 0)
            std::memmove(window.data(), window.data() + RELC_WINDOW_SIZE - RELC_HISTORY_SIZE, RELC_HISTORY_SIZE);
        if (!ReadAt(plainFd, window.data() + history, length, offset)) {
            failure = errno;
            ok = false;
            break;
        }
        AddToChecksum(window.data() + history, length, &sum);
        const uint32_t coded = RelcEncodeBlock(encoder.get(), index == 0 ? nullptr : window.data(),
                                               window.data() + history, length, block.data());
        ok = coded > 0 && WriteAll(out.Get(), block.data(), coded);
        if (!ok)
            failure = errno != 0 ? errno : EIO;
        offset += length;
    }
    uint8_t tail[2 + kContainerChecksumSize] = {0, 0};
    uint8_t checksum[kContainerChecksumSize];
    EncodeChecksum(sum, checksum);
    std::memcpy(tail + 2, checksum, sizeof checksum);
    if (ok && (!WriteAll(out.Get(), tail, sizeof tail) || fsync(out.Get()) != 0)) {
        failure = errno;
        ok = false;
    }
    if (ok && (header.attributes & 0x1) != 0 && fchmod(out.Get(), 0444) != 0) {
        failure = errno;
        ok = false;
    }
    if (ok && renameat(folderFd, tempName.c_str(), folderFd, containerName.c_str()) != 0) {
        failure = errno;
        ok = false;
    }
    if (!ok) {
        unlinkat(folderFd, tempName.c_str(), 0);
        *error = "cannot store '" + containerName + "': " + std::strerror(failure);
        return -failure;
    }
    return 0;
}
