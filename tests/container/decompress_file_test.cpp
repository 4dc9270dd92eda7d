// DecompressFile on damaged and foreign containers: every damage is found
// before the container goes, and a failed restore leaves nothing behind.
#include <gtest/gtest.h>

#include <functional>

#include "container/container_header.h"
#include "container/job_protocol.h"
#include "file_ops_fixture.h"

namespace {

using DecompressFileTest = FileOpsTest;

struct Damage {
    const char* what;
    std::function<void(Bytes*)> apply;
    ResultCode expected;
};

Bytes Spliced(const Bytes& container, size_t at, size_t erase, const Bytes& insert)
{
    Bytes out(container.begin(), container.begin() + at);
    out.insert(out.end(), insert.begin(), insert.end());
    out.insert(out.end(), container.begin() + at + erase, container.end());
    return out;
}

void SetSourceSize(Bytes* container, uint64_t size)
{
    for (int i = 0; i < 8; ++i)
        (*container)[32 + i] = static_cast<uint8_t>(size >> (8 * i));
}

TEST_F(DecompressFileTest, DamagedContainersAreKeptAndReported)
{
    const Bytes text = TextBytes(300000, 11);
    const std::wstring made = MakeContainer(L"made.txt", text);
    const Bytes good = ReadBytes(made);
    ASSERT_GT(good.size(), 1000u);
    const size_t end = good.size() - 4;  // where the checksum starts

    const Damage damages[] = {
        {"checksum off by one", [](Bytes* c) { (*c)[c->size() - 4] ^= 1; }, kDamagedChecksum},
        {"extra bytes read with the end marker",
         [end](Bytes* c) { *c = Spliced(*c, end, 0, {'x', 'y'}); }, kDamagedTrailingBytes},
        {"end marker cut off", [end](Bytes* c) { *c = Spliced(*c, end - 2, 2, {}); }, kDamagedNoEndMarker},
        {"stream cut inside a block", [end](Bytes* c) { *c = Spliced(*c, 56 + 700, end - 56 - 700, {}); },
         kDamagedNoEndMarker},
        {"stream cut to nothing", [end](Bytes* c) { *c = Spliced(*c, 56, end - 56, {}); }, kDamagedNoEndMarker},
        {"header says one byte more", [&](Bytes* c) { SetSourceSize(c, text.size() + 1); }, kDamagedSizeMismatch},
        {"header says one byte less", [&](Bytes* c) { SetSourceSize(c, text.size() - 1); }, kDamagedSizeMismatch},
        {"payload behind an end-of-block marker",
         [end](Bytes* c) { *c = Spliced(*c, 56, end - 56, {0, 5, 0x80, 0, 0, 0, 'a', 0, 0}); },
         kDecodeCodecBase | 11},
        {"wrong magic", [](Bytes* c) { (*c)[3] = 'X'; }, kHeaderWrongMagic},
        {"55 bytes", [](Bytes* c) { c->resize(55); }, kHeaderTooShort},
        {"empty", [](Bytes* c) { c->clear(); }, kHeaderTooShort},
        {"header and no room for a checksum", [](Bytes* c) { c->resize(58); }, kChecksumReadShort},
    };
    const std::wstring container = folder / L"damaged.txt.tdz";
    const std::wstring target = folder / L"damaged.txt";
    for (const Damage& damage : damages) {
        Bytes bytes = good;
        damage.apply(&bytes);
        ASSERT_TRUE(WriteBytes(container, bytes));
        SetFileAttributesW(container.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
        const FileState before = Capture(container);
        EXPECT_EQ(Decompress(container), damage.expected) << damage.what;
        EXPECT_TRUE(Unchanged(container, before)) << damage.what;
        EXPECT_TRUE(Missing(target)) << damage.what;
        EXPECT_TRUE(NoLeftovers(folder)) << damage.what;
        SetFileAttributesW(container.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

TEST_F(DecompressFileTest, ExtraBytesAfterAStreamThatFillsTheFirstRead)
{
    // 524276 bytes that do not compress make a stream of exactly 524320
    // bytes (21 stored blocks and the end marker): one full read, so bytes
    // inserted behind it are not read with the marker.
    const std::wstring made = MakeContainer(L"noise.bin", NoiseBytes(524276, 3));
    const Bytes good = ReadBytes(made);
    ASSERT_EQ(good.size(), 524320u + 60u);
    const std::wstring container = folder / L"extra.bin.tdz";
    ASSERT_TRUE(WriteBytes(container, Spliced(good, good.size() - 4, 0, {1, 2, 3})));
    const FileState before = Capture(container);
    EXPECT_EQ(Decompress(container), kDamagedStreamShort);
    EXPECT_TRUE(Unchanged(container, before));
    EXPECT_TRUE(NoLeftovers(folder));
    EXPECT_EQ(Decompress(made), 0u);
}

TEST_F(DecompressFileTest, ExistingTargetIsReplacedOnlyAsTheAnswerSays)
{
    const Bytes text = TextBytes(50000, 12);
    const std::wstring container = MakeContainer(L"letter.txt", text);
    const std::wstring target = folder / L"letter.txt";
    ASSERT_TRUE(WriteBytes(target, TextBytes(4000, 13)));
    SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY);
    const FileState targetBefore = Capture(target);
    const FileState containerBefore = Capture(container);

    window.SetAnswers({kAnswerNo});
    EXPECT_EQ(Decompress(container), kResultDeclined);
    EXPECT_TRUE(Unchanged(target, targetBefore));
    EXPECT_TRUE(Unchanged(container, containerBefore));
    for (const NotifyWindow::Message& m : window.Messages()) {
        if (m.id == WM_REPLACE_QUERY) {
            EXPECT_EQ(m.wParam, kReplaceModeDecompress);
        }
    }

    // A read-only file in the way goes too once the user says so.
    window.SetAnswers({kAnswerYes});
    EXPECT_EQ(Decompress(container), 0u);
    EXPECT_EQ(ReadBytes(target), text);
    EXPECT_TRUE(Missing(container));
    EXPECT_TRUE(NoLeftovers(folder));

    // A folder in the way stays, and so does the container.
    const std::wstring second = MakeContainer(L"box", text);
    ASSERT_TRUE(CreateDirectoryW((folder / L"box").c_str(), nullptr));
    const FileState secondBefore = Capture(second);
    window.SetAnswers({kAnswerYes});
    EXPECT_EQ(Decompress(second), kDecompressMoveFailed);
    EXPECT_TRUE(Unchanged(second, secondBefore));
    EXPECT_TRUE(NoLeftovers(folder));
}

TEST_F(DecompressFileTest, CancelledOrBusyContainerStays)
{
    const std::wstring container = MakeContainer(L"long.txt", TextBytes(3 * 1024 * 1024, 14));
    const FileState before = Capture(container);
    EventHandle cancel = NewEvent(true);
    EXPECT_EQ(Decompress(container, cancel.Get()), kResultCancelled);
    EXPECT_TRUE(Unchanged(container, before));
    EXPECT_TRUE(Missing(folder / L"long.txt"));
    EXPECT_TRUE(NoLeftovers(folder));
    {
        FileHolder holder(container, 10000);
        EXPECT_EQ(Decompress(container), kResultInUse);
    }
    EXPECT_TRUE(Unchanged(container, before));
    EXPECT_EQ(Decompress(folder / L"absent.txt.tdz"), kOpenNotFound);
}

}  // namespace
