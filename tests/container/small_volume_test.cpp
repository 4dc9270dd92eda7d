// The free-space routes on a real small volume (a tmpfs of 3 MB mapped to a
// removable drive by small_volume.sh): the temporary-folder route, a disk
// that fills up while the container is written, and not enough room at
// all. tmpfs counts space in 4096-byte blocks, so sizes are chosen around
// block multiples.
#include <gtest/gtest.h>

#include "container/container_header.h"
#include "container/job_protocol.h"
#include "file_ops_fixture.h"

namespace {

constexpr uint64_t kBlock = 4096;

// The drive root of the small volume, or empty when the fixture could not
// make it.
std::wstring SmallVolumeRoot()
{
    wchar_t drive[8] = L"";
    if (GetEnvironmentVariableW(L"TDZ_SMALL_VOLUME", drive, 8) != 2)
        return L"";
    const std::wstring root = std::wstring(drive) + L"\\";
    if (GetFileAttributesW((root + L".tdz-small-volume").c_str()) == INVALID_FILE_ATTRIBUTES)
        return L"";
    return root;
}

class SmallVolumeTest : public FileOpsTest {
protected:
    SmallVolumeTest() : FileOpsTest(SmallVolumeRoot()), root_(SmallVolumeRoot()) {}

    void SetUp() override
    {
        if (root_.empty())
            GTEST_SKIP() << "no small volume: TDZ_SMALL_VOLUME unset or its drive has no marker "
                            "(small_volume.sh needs root to mount a tmpfs)";
        ASSERT_EQ(GetFileAttributesW(folder.Work().c_str()) & FILE_ATTRIBUTE_DIRECTORY,
                  DWORD(FILE_ATTRIBUTE_DIRECTORY));
    }

    uint64_t FreeBytes() const
    {
        ULARGE_INTEGER free;
        return GetDiskFreeSpaceExW(root_.c_str(), &free, nullptr, nullptr) ? free.QuadPart : 0;
    }

    // Leaves exactly free bytes (a block multiple) free with a filler file
    // in place of the one before.
    ::testing::AssertionResult LeaveFree(uint64_t free)
    {
        const std::wstring filler = folder / L"filler.bin";
        DeleteFileW(filler.c_str());
        const uint64_t now = FreeBytes();
        if (free % kBlock != 0 || now < free)
            return ::testing::AssertionFailure() << "cannot leave " << free << " of " << now << " bytes free";
        if (now > free && !WriteBytes(filler, Bytes(static_cast<size_t>(now - free), 0x5A)))
            return ::testing::AssertionFailure() << "filler of " << (now - free) << " bytes not written";
        if (FreeBytes() != free)
            return ::testing::AssertionFailure() << FreeBytes() << " bytes free, not " << free;
        return ::testing::AssertionSuccess();
    }

    // Whether the last operation took the temporary-folder route: only the
    // copy to the temporary folder reports progress before the stream phase.
    bool TookTempRoute()
    {
        for (const NotifyWindow::Message& m : window.Messages()) {
            if (m.id == WM_JOB_PHASE && (m.wParam == kPhaseCompress || m.wParam == kPhaseDecompress))
                return false;
            if (m.id == WM_JOB_PROGRESS)
                return true;
        }
        return false;
    }

private:
    std::wstring root_;
};

TEST_F(SmallVolumeTest, FreeSpaceOfSourceSizePlus58TakesTheTemporaryFolderRoute)
{
    EXPECT_EQ(GetDriveTypeW(L"T:\\"), UINT(DRIVE_REMOVABLE));
    const std::wstring parkedSource = folder / L"parked.txt";
    const Bytes parkedBytes = TextBytes(100 * kBlock - 58, 31);
    ASSERT_TRUE(WriteBytes(parkedSource, parkedBytes));
    ASSERT_TRUE(LeaveFree(parkedBytes.size() + 58));
    ASSERT_EQ(Compress(parkedSource), 0u);
    EXPECT_TRUE(TookTempRoute());
    EXPECT_TRUE(Missing(parkedSource));
    EXPECT_TRUE(NoLeftovers(folder));

    window.Clear();
    const std::wstring directSource = folder / L"direct.txt";
    const Bytes directBytes = TextBytes(100 * kBlock - 59, 32);
    ASSERT_TRUE(WriteBytes(directSource, directBytes));
    ASSERT_TRUE(LeaveFree(directBytes.size() + 59));
    ASSERT_EQ(Compress(directSource), 0u);
    EXPECT_FALSE(TookTempRoute());
    EXPECT_TRUE(NoLeftovers(folder));

    window.Clear();
    ASSERT_EQ(Decompress(parkedSource + L".tdz"), 0u);
    EXPECT_EQ(ReadBytes(parkedSource), parkedBytes);
}

TEST_F(SmallVolumeTest, DiskThatFillsUpWhileTheContainerIsWrittenKeepsTheSource)
{
    // The direct route, one byte beyond the margin, for bytes that do not
    // compress: the container needs a few bytes more than that.
    const std::wstring source = folder / L"noise.bin";
    ASSERT_TRUE(WriteBytes(source, NoiseBytes(100 * kBlock - 59, 33)));
    SetFileAttributesW(source.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    const FileState before = Capture(source);
    ASSERT_TRUE(LeaveFree(100 * kBlock));
    const ResultCode result = Compress(source);
    EXPECT_EQ(ResultKind(result), kKindDiskFull) << Hex(result);
    EXPECT_FALSE(TookTempRoute());
    EXPECT_TRUE(Unchanged(source, before));
    EXPECT_TRUE(Missing(source + L".tdz"));
    EXPECT_TRUE(NoLeftovers(folder));
    EXPECT_EQ(FreeBytes(), 100 * kBlock);
    SetFileAttributesW(source.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(SmallVolumeTest, FullDiskOnTheTemporaryFolderRouteBringsTheSourceBack)
{
    // Nothing free at all: the source is parked, which frees exactly its
    // blocks, and its container does not fit in them.
    const std::wstring source = folder / L"full.bin";
    ASSERT_TRUE(WriteBytes(source, NoiseBytes(200 * kBlock, 34)));
    SetFileAttributesW(source.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    const FileState before = Capture(source);
    ASSERT_TRUE(LeaveFree(0));
    const ResultCode result = Compress(source);
    EXPECT_EQ(ResultKind(result), kKindDiskFull) << Hex(result);
    EXPECT_EQ(window.Phases(), (std::vector<uint32_t>{kPhasePrepareCompress, kPhaseCompress, kPhaseEndCompress}));
    EXPECT_TRUE(Unchanged(source, before));
    EXPECT_EQ(Capture(source).creationTime, before.creationTime);
    EXPECT_TRUE(Missing(source + L".tdz"));
    EXPECT_TRUE(NoLeftovers(folder));
    SetFileAttributesW(source.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(SmallVolumeTest, CancelOnTheTemporaryFolderRouteBringsTheSourceBack)
{
    const std::wstring source = folder / L"cancel.txt";
    ASSERT_TRUE(WriteBytes(source, TextBytes(2 * 1024 * 1024, 35)));
    SetFileAttributesW(source.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    const FileState before = Capture(source);
    ASSERT_TRUE(LeaveFree(2 * kBlock));
    EventHandle cancel = NewEvent();

    // During the copy to the temporary folder.
    copyLikeWindows.CancelAfterFirstChunk(cancel.Get());
    EXPECT_EQ(Compress(source, cancel.Get()), kResultCancelled);
    EXPECT_EQ(window.Phases(), (std::vector<uint32_t>{kPhasePrepareCompress}));
    EXPECT_TRUE(Unchanged(source, before));
    EXPECT_TRUE(NoLeftovers(folder));

    // Once the source is parked, so that the compression of the parked
    // copy is cancelled: the cancel is still set when the source is copied
    // back, which must happen all the same.
    window.Clear();
    ResetEvent(cancel.Get());
    copyLikeWindows.CancelWhenCopied(cancel.Get());
    EXPECT_EQ(Compress(source, cancel.Get()), kResultCancelled);
    EXPECT_EQ(window.Phases(), (std::vector<uint32_t>{kPhasePrepareCompress, kPhaseCompress, kPhaseEndCompress}));
    EXPECT_TRUE(Unchanged(source, before));
    EXPECT_TRUE(Missing(source + L".tdz"));
    EXPECT_TRUE(NoLeftovers(folder));
    SetFileAttributesW(source.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(SmallVolumeTest, DecompressionRoutesByFreeSpace)
{
    const Bytes text = TextBytes(1536 * 1024, 36);
    const std::wstring container = MakeContainer(L"big.txt", text);
    const std::wstring target = folder / L"big.txt";
    const uint64_t containerSize = ReadBytes(container).size();
    ASSERT_LT(containerSize, text.size() / 2);
    SetFileAttributesW(container.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    const FileState before = Capture(container);

    // Not even with the container moved away.
    const uint64_t tooLittle = (text.size() - containerSize) / kBlock * kBlock;
    ASSERT_TRUE(LeaveFree(tooLittle));
    EXPECT_EQ(Decompress(container), kDecompressNoSpace);
    EXPECT_TRUE(Unchanged(container, before));
    EXPECT_TRUE(Missing(target));
    EXPECT_TRUE(NoLeftovers(folder));

    // Enough with the container parked; a damaged one comes back.
    const uint64_t withParking = (text.size() - containerSize / 2) / kBlock * kBlock;
    ASSERT_TRUE(LeaveFree(withParking));
    const std::wstring damaged = folder / L"damaged.txt.tdz";
    Bytes bytes = ReadBytes(container);
    bytes.back() ^= 0x40;
    ASSERT_TRUE(WriteBytes(damaged, bytes));
    SetFileAttributesW(damaged.c_str(), FILE_ATTRIBUTE_READONLY);
    const FileState damagedBefore = Capture(damaged);
    ASSERT_TRUE(LeaveFree(withParking));
    window.Clear();
    EXPECT_EQ(Decompress(damaged), kDamagedChecksum);
    EXPECT_TRUE(TookTempRoute());
    EXPECT_EQ(window.Phases(),
              (std::vector<uint32_t>{kPhasePrepareDecompress, kPhaseDecompress, kPhaseEndDecompress}));
    EXPECT_TRUE(Unchanged(damaged, damagedBefore));
    EXPECT_EQ(Capture(damaged).creationTime, damagedBefore.creationTime);
    EXPECT_TRUE(NoLeftovers(folder));
    SetFileAttributesW(damaged.c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_TRUE(DeleteFileW(damaged.c_str()));

    ASSERT_TRUE(LeaveFree(withParking));
    window.Clear();
    EXPECT_EQ(Decompress(container), 0u);
    EXPECT_TRUE(TookTempRoute());
    EXPECT_EQ(ReadBytes(target), text);
    EXPECT_TRUE(Missing(container));
    EXPECT_TRUE(NoLeftovers(folder));
}

}  // namespace
