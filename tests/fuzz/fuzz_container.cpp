// Fuzz target: the container reader behind "tdz test" and "tdz unpack", on
// real files.
//
// Input: one byte choosing how a container is damaged, four bytes of
// argument, one byte of flags (bit 0: unpack with --replace), then the
// payload. Kind 0 takes the payload as the container itself; every other
// kind packs the payload into a well-formed container first and then
// damages its size, checksum, length field, header or stream.
//
// Whatever the bytes: unpack succeeds exactly when test does; when it
// fails the container is as it was and nothing is left beside it; when it
// succeeds the file holds the header's size (the payload itself when
// nothing was damaged), and the container is gone exactly with --replace.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include <fcntl.h>
#ifdef _WIN32
#include <io.h>
#include <process.h>
#else
#include <unistd.h>
#endif

#include "byte_stream.h"
#include "container/container_header.h"
#include "container_commands.h"
#include "fuzz_support.h"
#include "stream_io.h"

namespace {

namespace fs = std::filesystem;

enum Kind : uint8_t { kRaw, kIntact, kResized, kChecksum, kLengthField, kHeaderByte, kStreamByte, kKinds };

constexpr size_t kPrefix = 6;
constexpr uint32_t kArchive = 0x20;
constexpr uint64_t kFeb2010 = 129105504000000000ull;  // a plausible file time

class VectorSink final : public ByteSink {
public:
    explicit VectorSink(std::vector<uint8_t>* bytes) : bytes_(bytes) {}
    bool Write(const uint8_t* buf, size_t len) override
    {
        bytes_->insert(bytes_->end(), buf, buf + len);
        return true;
    }

private:
    std::vector<uint8_t>* bytes_;
};

std::vector<uint8_t> Pack(const uint8_t* data, size_t size)
{
    ContainerHeader header = NewContainerHeader();
    header.attributes = kArchive;
    header.sourceSize = size;
    header.creationTime = kFeb2010;
    header.lastWriteTime = kFeb2010;
    uint8_t headerBytes[kContainerHeaderSize];
    EncodeContainerHeader(header, headerBytes);
    std::vector<uint8_t> container(headerBytes, headerBytes + sizeof headerBytes);
    MemorySource source(data, size);
    VectorSink sink(&container);
    FUZZ_CHECK(EncodeRelcStream(source, size, sink).status == StreamStatus::Ok, "cannot pack the payload");
    uint32_t sum = 0;
    AddToChecksum(data, size, &sum);
    uint8_t checksum[kContainerChecksumSize];
    EncodeChecksum(sum, checksum);
    container.insert(container.end(), checksum, checksum + sizeof checksum);
    return container;
}

void Damage(Kind kind, uint32_t arg, std::vector<uint8_t>* c)
{
    const size_t streamLength = c->size() - kContainerOverhead;
    switch (kind) {
    case kResized:
        // Low bit: cut (up to the whole file) or grow by up to 64 bytes.
        if (arg & 1)
            c->resize((arg >> 1) % (c->size() + 1));
        else
            c->resize(c->size() + 1 + (arg >> 1) % 64, static_cast<uint8_t>(arg >> 8));
        break;
    case kChecksum:
        for (int i = 0; i < 4; ++i)
            (*c)[c->size() - 4 + i] ^= static_cast<uint8_t>((arg | 1) >> (8 * i));
        break;
    case kLengthField: {
        // sourceSize (offset 32) moved by a signed amount.
        uint64_t size = 0;
        for (int i = 0; i < 8; ++i)
            size |= uint64_t((*c)[32 + i]) << (8 * i);
        size += static_cast<int64_t>(static_cast<int32_t>(arg | 1));
        for (int i = 0; i < 8; ++i)
            (*c)[32 + i] = static_cast<uint8_t>(size >> (8 * i));
        break;
    }
    case kHeaderByte:
        (*c)[arg % kContainerHeaderSize] ^= static_cast<uint8_t>((arg >> 8) | 1);
        break;
    case kStreamByte:
        (*c)[kContainerHeaderSize + arg % streamLength] ^= static_cast<uint8_t>((arg >> 8) | 1);
        break;
    default:
        break;
    }
}

// Keeps the commands' messages out of the fuzzer's log.
class Silenced {
public:
    Silenced()
    {
        std::fflush(stdout);
        std::fflush(stderr);
#ifdef _WIN32
        const int null = _open("NUL", _O_WRONLY);
        savedOut_ = _dup(1);
        savedErr_ = _dup(2);
        _dup2(null, 1);
        _dup2(null, 2);
        _close(null);
#else
        const int null = open("/dev/null", O_WRONLY);
        savedOut_ = dup(1);
        savedErr_ = dup(2);
        dup2(null, 1);
        dup2(null, 2);
        close(null);
#endif
    }
    ~Silenced()
    {
        std::fflush(stdout);
        std::fflush(stderr);
#ifdef _WIN32
        _dup2(savedOut_, 1);
        _dup2(savedErr_, 2);
        _close(savedOut_);
        _close(savedErr_);
#else
        dup2(savedOut_, 1);
        dup2(savedErr_, 2);
        close(savedOut_);
        close(savedErr_);
#endif
    }

private:
    int savedOut_;
    int savedErr_;
};

fs::path WorkFolder()
{
#ifdef _WIN32
    const int pid = _getpid();
#else
    const int pid = getpid();
    // A memory file system where there is one: thousands of files a second.
    if (fs::is_directory("/dev/shm"))
        return fs::path("/dev/shm") / ("tdz-fuzz-container-" + std::to_string(pid));
#endif
    return fs::temp_directory_path() / ("tdz-fuzz-container-" + std::to_string(pid));
}

// What an unpack restored may be read-only.
void Remove(const fs::path& folder)
{
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec))
        fs::permissions(entry.path(), fs::perms::owner_all, ec);
    fs::remove_all(folder, ec);
}

std::vector<uint8_t> ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

size_t CountEntries(const fs::path& folder)
{
    std::error_code ec;
    size_t n = 0;
    for (auto it = fs::directory_iterator(folder, ec); !ec && it != fs::directory_iterator(); it.increment(ec))
        ++n;
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < kPrefix)
        return 0;
    const Kind kind = static_cast<Kind>(data[0] % kKinds);
    const uint32_t arg = uint32_t(data[1]) | uint32_t(data[2]) << 8 | uint32_t(data[3]) << 16 |
                         uint32_t(data[4]) << 24;
    const bool replace = (data[5] & 1) != 0;
    const uint8_t* payload = data + kPrefix;
    const size_t payloadSize = size - kPrefix;
    if (kind != kRaw && payloadSize == 0)
        return 0;

    std::vector<uint8_t> container;
    if (kind == kRaw) {
        container.assign(payload, payload + payloadSize);
    } else {
        container = Pack(payload, payloadSize);
        Damage(kind, arg, &container);
    }

    static const fs::path folder = WorkFolder();
    Remove(folder);
    std::error_code ec;
    fs::create_directories(folder, ec);
    const fs::path containerPath = folder / "f.tdz";
    const fs::path target = folder / "f";
    std::ofstream(containerPath, std::ios::binary)
        .write(reinterpret_cast<const char*>(container.data()), static_cast<std::streamsize>(container.size()));

    bool tested;
    bool unpacked;
    {
        Silenced quiet;
        tested = RunTestCommand({containerPath.string()}) == 0;
        unpacked = RunUnpackCommand({containerPath.string()}, replace) == 0;
    }
    FUZZ_CHECK(tested == unpacked, "unpack and test disagree");
    if (!unpacked) {
        FUZZ_CHECK(ReadAll(containerPath) == container, "a failed unpack changed the container");
        FUZZ_CHECK(CountEntries(folder) == 1, "a failed unpack left a file beside the container");
    } else {
        FUZZ_CHECK(fs::exists(containerPath, ec) != replace, "the container kept or deleted against --replace");
        FUZZ_CHECK(CountEntries(folder) == (replace ? 1u : 2u), "unpack left a stray file");
        const std::vector<uint8_t> restored = ReadAll(target);
        uint64_t stated = 0;
        for (int i = 0; i < 8; ++i)
            stated |= uint64_t(container[32 + i]) << (8 * i);
        FUZZ_CHECK(restored.size() == stated, "the restored file is not the size the header states");
        if (kind == kIntact)
            FUZZ_CHECK(restored == std::vector<uint8_t>(payload, payload + payloadSize),
                       "an intact container gave other bytes");
    }
    Remove(folder);
    return 0;
}
