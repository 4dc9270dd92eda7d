// The mount's reading and writing without FUSE: containers written by the
// mount against the codec's own stream, random reads against the original
// bytes, damage found and reported once, and the names a folder shows.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "codec/relc.h"
#include "container_reader.h"
#include "container_view.h"
#include "container_writer.h"
#include "decoded_cache.h"
#include "source_tree.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes TextLike(size_t size, uint32_t seed)
{
    std::mt19937 rng(seed);
    static const char* const kWords[] = {"the ", "stick ", "report ", "of ", "a ", "container ", "relc\n", "doc "};
    Bytes out;
    while (out.size() < size) {
        const char* word = kWords[rng() % 8];
        out.insert(out.end(), word, word + std::strlen(word));
        if (rng() % 16 == 0)
            out.push_back(uint8_t(rng()));
    }
    out.resize(size);
    return out;
}

// The stream the incremental encoder, which tdz pack and the Windows code
// use, makes of bytes.
Bytes ReferenceStream(const Bytes& in)
{
    Bytes stream;
    if (RelcInitEncoder(0, in.size()) != 0)
        return stream;
    size_t at = 0;
    uint8_t out[65536];
    for (;;) {
        uint32_t inLen = uint32_t(std::min<size_t>(in.size() - at, 65536));
        uint32_t outLen = sizeof out;
        const uint32_t status = RelcEncode(in.data() + at, out, &inLen, &outLen);
        at += inLen;
        stream.insert(stream.end(), out, out + outLen);
        if ((status & RELC_STREAM_END) != 0 || (status & 0xFF) != 0)
            return stream;
    }
}

class Scratch {
public:
    Scratch()
    {
        char name[] = "/tmp/tdz-mount-test.XXXXXX";
        path_ = mkdtemp(name) != nullptr ? name : "";
        folder_ = UniqueFd(open(path_.c_str(), O_RDONLY | O_DIRECTORY));
    }
    ~Scratch() { std::system(("rm -rf '" + path_ + "'").c_str()); }
    int Folder() const { return folder_.Get(); }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

    void Write(const std::string& name, const Bytes& bytes) const
    {
        UniqueFd fd(openat(Folder(), name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644));
        ASSERT_TRUE(fd.Valid());
        ASSERT_EQ(write(fd.Get(), bytes.data(), bytes.size()), ssize_t(bytes.size()));
    }
    Bytes Read(const std::string& name) const
    {
        UniqueFd fd(openat(Folder(), name.c_str(), O_RDONLY));
        struct stat st;
        Bytes bytes(fd.Valid() && fstat(fd.Get(), &st) == 0 ? size_t(st.st_size) : 0);
        if (!bytes.empty() && !ReadAt(fd.Get(), bytes.data(), bytes.size(), 0))
            bytes.clear();
        return bytes;
    }
    // Packs bytes into name through the mount's writer.
    void Pack(const std::string& name, const Bytes& bytes) const
    {
        Write(name + ".plain", bytes);
        UniqueFd plain(openat(Folder(), (name + ".plain").c_str(), O_RDONLY));
        std::string error;
        ContainerHeader header = NewContainerHeader();
        header.lastWriteTime = 130000000000000000ull;
        ASSERT_EQ(StoreAsContainer(Folder(), plain.Get(), bytes.size(), header, name, &error), 0) << error;
        unlinkat(Folder(), (name + ".plain").c_str(), 0);
    }

private:
    std::string path_;
    UniqueFd folder_;
};

// A reader over the container name of scratch.
struct Opened {
    UniqueFd fd;
    std::unique_ptr<ContainerReader> reader;
    std::string damage;
    int indexed = -1;
};

Opened Open(const Scratch& scratch, const std::string& name)
{
    Opened opened;
    opened.fd = UniqueFd(openat(scratch.Folder(), name.c_str(), O_RDONLY));
    struct stat st;
    ContainerHeader header;
    std::string why;
    if (fstat(opened.fd.Get(), &st) != 0 || !CheckContainerHeader(opened.fd.Get(), uint64_t(st.st_size), &header, &why)) {
        opened.damage = why;
        return opened;
    }
    static uint64_t id = 0;
    opened.reader = std::make_unique<ContainerReader>(++id, header, uint64_t(st.st_size));
    opened.indexed = opened.reader->Index(opened.fd.Get(), &opened.damage);
    return opened;
}

constexpr uint64_t kSegment = 32768 + 24576 * 15;  // the first segment boundary

TEST(MountContainers, WrittenAsTheCodecWritesThemAndReadBackAtAnyOffset)
{
    const uint64_t sizes[] = {1, 32767, 32768, 32769, 57344, 57345, kSegment, kSegment + 1,
                              kSegment + 24576 * 16 + 5};
    Scratch scratch;
    for (const uint64_t size : sizes) {
        SCOPED_TRACE(size);
        const Bytes original = TextLike(size, uint32_t(size));
        scratch.Pack("f.tdz", original);
        const Bytes container = scratch.Read("f.tdz");
        ASSERT_EQ(Bytes(container.begin() + kContainerHeaderSize, container.end() - kContainerChecksumSize),
                  ReferenceStream(original));
        // No cache at all: every read decodes from a kept history.
        for (const uint64_t budget : {uint64_t(0), uint64_t(64) << 20}) {
            DecodedCache cache(budget);
            Opened opened = Open(scratch, "f.tdz");
            ASSERT_EQ(opened.indexed, 0) << opened.damage;
            std::mt19937 rng(7);
            // Sequential in odd pieces first, then anywhere.
            Bytes got(size);
            for (uint64_t at = 0; at < size;) {
                const ssize_t n = opened.reader->Read(opened.fd.Get(), at, got.data() + at,
                                                      std::min<uint64_t>(size - at, 70001), cache, &opened.damage);
                ASSERT_GT(n, 0);
                at += uint64_t(n);
            }
            EXPECT_EQ(got, original);
            EXPECT_TRUE(opened.reader->ChecksumVerified());
            for (int i = 0; i < 40; ++i) {
                const uint64_t at = rng() % size;
                Bytes piece(std::min<uint64_t>(size - at, rng() % 100000 + 1));
                ASSERT_EQ(opened.reader->Read(opened.fd.Get(), at, piece.data(), piece.size(), cache, &opened.damage),
                          ssize_t(piece.size()));
                ASSERT_TRUE(std::equal(piece.begin(), piece.end(), original.begin() + at)) << "at " << at;
            }
            uint8_t byte;
            EXPECT_EQ(opened.reader->Read(opened.fd.Get(), size, &byte, 1, cache, &opened.damage), 0);
            EXPECT_EQ(opened.damage, "");
        }
    }
}

TEST(MountContainers, DamageFailsTheContainerAndIsReportedOnce)
{
    const Bytes original = TextLike(kSegment * 2 + 100, 3);
    Scratch scratch;
    scratch.Pack("good.tdz", original);
    const Bytes good = scratch.Read("good.tdz");
    const size_t end = good.size() - kContainerChecksumSize;  // the checksum's offset
    struct Case {
        const char* name;
        Bytes bytes;
        const char* damage;
        bool atOpen;
    };
    auto changed = [&](size_t at, uint8_t value) { Bytes b = good; b[at] = value; return b; };
    auto without = [&](size_t at, size_t count) { Bytes b = good; b.erase(b.begin() + long(at), b.begin() + long(at + count)); return b; };
    auto with = [&](size_t at, Bytes extra) { Bytes b = good; b.insert(b.begin() + long(at), extra.begin(), extra.end()); return b; };
    const Case cases[] = {
        {"checksum", changed(end, uint8_t(good[end] + 1)), "checksum", false},
        {"no end marker", without(end - 2, 2), "without its end-of-stream marker", true},
        {"bytes after the end marker", with(end, {1, 2, 3}), "between the end-of-stream marker", true},
        {"a block too many", with(end - 2, {0x80, 0x01, 0x41}), "more blocks than", true},
        {"a corrupt block", changed(kContainerHeaderSize + 9, 0xFF), "damaged container", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        scratch.Write("bad.tdz", c.bytes);
        DecodedCache cache(0);
        Opened opened = Open(scratch, "bad.tdz");
        Bytes got(original.size());
        std::string damage = opened.damage;
        ssize_t n = opened.indexed;
        for (uint64_t at = 0; n >= 0 && at < original.size(); at += uint64_t(n))
            n = opened.reader->Read(opened.fd.Get(), at, got.data() + at, 65536, cache, &damage);
        EXPECT_EQ(n, -EIO);
        EXPECT_NE(damage.find(c.damage), std::string::npos) << damage;
        EXPECT_EQ(opened.indexed != 0, c.atOpen);
        // Later reads fail too, and say nothing more.
        std::string again;
        if (opened.reader) {
            EXPECT_EQ(opened.reader->Read(opened.fd.Get(), 0, got.data(), 10, cache, &again), -EIO);
        }
        EXPECT_EQ(again, "");
    }
}

TEST(MountContainers, HeaderChecks)
{
    const Bytes original = TextLike(100000, 5);
    Scratch scratch;
    scratch.Pack("good.tdz", original);
    const Bytes good = scratch.Read("good.tdz");
    Bytes zeroSize = good;
    std::memset(zeroSize.data() + 32, 0, 8);
    Bytes hugeSize = good;
    hugeSize[39] = 0x10;
    Bytes otherMagic = good;
    otherMagic[0] = 'X';
    const struct {
        const char* name;
        Bytes bytes;
        const char* why;  // nullptr: it checks out
    } cases[] = {
        {"good", good, nullptr},
        {"55 bytes", Bytes(good.begin(), good.begin() + 55), "fewer than 56 bytes"},
        {"other magic", otherMagic, "not a container: the first 16 bytes"},
        {"no room for the checksum", Bytes(good.begin(), good.begin() + 58), "no room for the checksum"},
        {"size 0", zeroSize, "a size of 0 bytes"},
        {"a size the stream cannot hold", hugeSize, "cannot hold"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        scratch.Write("x.tdz", c.bytes);
        UniqueFd fd(openat(scratch.Folder(), "x.tdz", O_RDONLY));
        ContainerHeader header;
        std::string why;
        EXPECT_EQ(CheckContainerHeader(fd.Get(), c.bytes.size(), &header, &why), c.why == nullptr);
        if (c.why != nullptr) {
            EXPECT_NE(why.find(c.why), std::string::npos) << why;
        }
    }
}

TEST(MountFolders, NamesShownAndClashes)
{
    Scratch scratch;
    const Bytes bytes = TextLike(5000, 9);
    scratch.Pack("a.txt.tdz", bytes);
    scratch.Pack("clash.txt.tdz", bytes);
    scratch.Write("clash.txt", {'r'});
    scratch.Pack("twice.tdz", bytes);
    scratch.Pack("twice.TDZ", bytes);
    scratch.Pack("UPPER.DOC.TDZ", bytes);
    scratch.Write("fake.tdz", {'n', 'o'});
    scratch.Write(".tdz", {'n', 'o'});
    mkdirat(scratch.Folder(), "folder.tdz", 0755);
    symlinkat("a.txt.tdz", scratch.Folder(), "link.tdz");
    std::vector<std::string> reports;
    FolderViews views(scratch / "", [&](const std::string& path, const std::string&) { reports.push_back(path); });
    std::vector<std::string> names;
    ASSERT_EQ(views.List(scratch.Folder(), "/", &names), 0);
    ASSERT_EQ(views.List(scratch.Folder(), "/", &names), 0);
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()),
              (std::set<std::string>{"a.txt", "clash.txt", "clash.txt.tdz", "twice.tdz", "twice.TDZ", "UPPER.DOC",
                                     "fake.tdz", ".tdz", "folder.tdz", "link.tdz"}));
    EXPECT_EQ(reports, std::vector<std::string>{scratch / "/fake.tdz"});  // once, over two listings
    ViewEntry entry;
    ASSERT_EQ(views.Lookup(scratch.Folder(), "/", "a.txt", &entry), 0);
    EXPECT_TRUE(entry.restored);
    EXPECT_EQ(entry.sourceName, "a.txt.tdz");
    EXPECT_EQ(entry.header.sourceSize, bytes.size());
    ASSERT_EQ(views.Lookup(scratch.Folder(), "/", "clash.txt", &entry), 0);
    EXPECT_FALSE(entry.restored);
    EXPECT_EQ(views.Lookup(scratch.Folder(), "/", "a.txt.tdz", &entry), -ENOENT);
    // A container added is shown at once once the mount forgets the folder.
    scratch.Pack("new.tdz", bytes);
    views.Forget("/");
    EXPECT_EQ(views.Lookup(scratch.Folder(), "/", "new", &entry), 0);
}

TEST(MountFolders, NoLinkIsFollowedOnTheWayDown)
{
    Scratch scratch;
    mkdirat(scratch.Folder(), "real", 0755);
    symlinkat("/tmp", scratch.Folder(), "out");
    symlinkat("real", scratch.Folder(), "in");
    SourceTree tree;
    std::string error;
    ASSERT_TRUE(tree.Open(scratch / "", &error)) << error;
    const int real = tree.OpenFolder("/real");
    EXPECT_GE(real, 0);
    close(real);
    EXPECT_EQ(tree.OpenFolder("/out"), -ENOTDIR);
    EXPECT_EQ(tree.OpenFolder("/in"), -ENOTDIR);
    EXPECT_EQ(tree.OpenFolder("/real/../out"), -ENOENT);
}

TEST(MountCache, BoundedLeastRecentlyUsedFirst)
{
    auto piece = [](size_t size) {
        auto segment = std::make_shared<DecodedSegment>();
        segment->bytes.resize(size);
        return segment;
    };
    DecodedCache cache(3000);
    cache.Insert(1, 0, piece(1000));
    cache.Insert(1, 1, piece(1000));
    cache.Insert(2, 0, piece(1000));
    EXPECT_NE(cache.Find(1, 0), nullptr);   // now the most recent
    cache.Insert(2, 1, piece(1000));        // over the budget: (1, 1) goes
    EXPECT_EQ(cache.Find(1, 1), nullptr);
    EXPECT_NE(cache.Find(1, 0), nullptr);
    EXPECT_EQ(cache.BytesHeld(), 3000u);
    EXPECT_EQ(cache.Recycled().size(), 1000u);  // the memory of the one that went
    EXPECT_TRUE(cache.Recycled().empty());
}

}  // namespace
