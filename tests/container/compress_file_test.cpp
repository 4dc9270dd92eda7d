// CompressFile and DecompressFile on real files: round trips, the files
// that are passed over, busy sources, path limits, replace questions and
// cancellation. After every failure the source is as it was and nothing is
// left behind.
#include <gtest/gtest.h>

#include "container/container_header.h"
#include "container/job_protocol.h"
#include "file_ops_fixture.h"

namespace {

constexpr uint64_t kCreation2005 = 127502208000000000ull;   // 2005-01-19
constexpr uint64_t kLastWrite2010 = 129106080000000000ull;  // 2010-02-14

using CompressFileTest = FileOpsTest;

ContainerHeader HeaderOf(const Bytes& container)
{
    uint8_t bytes[kContainerHeaderSize] = {};
    std::copy(container.begin(), container.begin() + std::min<size_t>(container.size(), 56), bytes);
    return DecodeContainerHeader(bytes);
}

TEST_F(CompressFileTest, CorpusRoundTripKeepsBytesAttributesAndTimes)
{
    const std::vector<std::wstring> corpus = CorpusFiles();
    if (corpus.empty())
        GTEST_SKIP() << "corpus absent";
    bool readOnly = false;
    for (const std::wstring& file : corpus) {
        const std::wstring name = file.substr(file.find_last_of(L'\\') + 1);
        const std::wstring source = folder / name;
        const Bytes original = ReadBytes(file);
        ASSERT_TRUE(WriteBytes(source, original));
        if (original.size() <= 2048) {
            EXPECT_EQ(Compress(source), kSkipSmallFile);
            continue;
        }
        ASSERT_TRUE(SetTimes(source, kCreation2005, kLastWrite2010));
        readOnly = !readOnly;
        SetFileAttributesW(source.c_str(), readOnly ? FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE
                                                    : FILE_ATTRIBUTE_ARCHIVE);
        const FileState before = Capture(source);
        window.Clear();

        ASSERT_EQ(Compress(source), 0u) << Narrow(name);
        EXPECT_TRUE(Missing(source));
        const std::wstring container = source + L".tdz";
        const Bytes packed = ReadBytes(container);
        ASSERT_GE(packed.size(), 60u);
        const ContainerHeader header = HeaderOf(packed);
        EXPECT_TRUE(HasContainerMagic(header));
        EXPECT_EQ(header.headerSize, 56u);
        EXPECT_EQ(header.sourceSize, original.size());
        EXPECT_EQ(header.attributes, before.attributes);
        EXPECT_EQ(header.creationTime, before.creationTime);
        EXPECT_EQ(header.lastWriteTime, kLastWrite2010);
        // Wine shows a file without attributes as archive, Windows as normal.
        EXPECT_EQ(GetFileAttributesW(container.c_str()) & ~DWORD(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NORMAL), 0u);
        uint32_t sum = 0;
        AddToChecksum(original.data(), original.size(), &sum);
        EXPECT_EQ(packed[packed.size() - 4] | packed[packed.size() - 3] << 8 | packed[packed.size() - 2] << 16 |
                      uint32_t(packed[packed.size() - 1]) << 24,
                  sum);
        EXPECT_EQ(window.Phases(), (std::vector<uint32_t>{kPhasePrepareCompress, kPhaseCompress}));
        const std::vector<NotifyWindow::Message> messages = window.Messages();
        ASSERT_FALSE(messages.empty());
        EXPECT_EQ(messages.back().id, WM_JOB_PROGRESS);
        EXPECT_EQ(messages.back().lParam, 100);
        window.Clear();

        ASSERT_EQ(Decompress(container), 0u) << Narrow(name);
        EXPECT_TRUE(Missing(container));
        const FileState after = Capture(source);
        EXPECT_TRUE(after.bytes == original) << Narrow(name);
        EXPECT_EQ(after.attributes, before.attributes) << Narrow(name);
        EXPECT_EQ(after.creationTime, before.creationTime) << Narrow(name);
        EXPECT_EQ(after.lastWriteTime, kLastWrite2010) << Narrow(name);
        EXPECT_EQ(window.Phases(), (std::vector<uint32_t>{kPhasePrepareDecompress, kPhaseDecompress}));
        EXPECT_TRUE(NoLeftovers(folder));
        SetFileAttributesW(source.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

TEST_F(CompressFileTest, IncompressibleFileGrowsByTheBlockHeaders)
{
    // One first block of 32768 bytes and two later blocks: 62 + 2 * 3 bytes more.
    const Bytes noise = NoiseBytes(32768 + 24576 + 100, 5);
    const std::wstring source = folder / L"noise.bin";
    ASSERT_TRUE(WriteBytes(source, noise));
    ASSERT_EQ(Compress(source), 0u);
    EXPECT_EQ(ReadBytes(source + L".tdz").size(), noise.size() + 60 + 2 * 3 + 2);
}

TEST_F(CompressFileTest, SmallHiddenSystemAndSpecialFilesArePassedOver)
{
    struct Case {
        const wchar_t* name;
        size_t size;
        DWORD attributes;
        ResultCode expected;
    };
    const Case cases[] = {
        {L"exactly2048.txt", 2048, FILE_ATTRIBUTE_ARCHIVE, kSkipSmallFile},
        {L"hidden.txt", 5000, FILE_ATTRIBUTE_HIDDEN, kSkipHiddenOrSystem},
        {L"system.txt", 5000, FILE_ATTRIBUTE_SYSTEM, kSkipHiddenOrSystem},
        {L"other.TDZ", 5000, FILE_ATTRIBUTE_ARCHIVE, kSkipContainer},
        {L"Tandrel.exe", 5000, FILE_ATTRIBUTE_ARCHIVE, kSkipOwnProgram},
        {L"left.tmp", 5000, FILE_ATTRIBUTE_ARCHIVE, kSkipTmpFile},
    };
    for (const Case& c : cases) {
        const std::wstring source = folder / c.name;
        ASSERT_TRUE(WriteBytes(source, TextBytes(c.size, 1)));
        SetFileAttributesW(source.c_str(), c.attributes);
        const FileState before = Capture(source);
        EXPECT_EQ(Compress(source), c.expected) << Narrow(c.name);
        EXPECT_TRUE(Unchanged(source, before));
        EXPECT_TRUE(Missing(source + L".tdz"));
        SetFileAttributesW(source.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(source.c_str());
        EXPECT_TRUE(NoLeftovers(folder));
    }
    const std::wstring larger = folder / L"exactly2049.txt";
    ASSERT_TRUE(WriteBytes(larger, TextBytes(2049, 1)));
    EXPECT_EQ(Compress(larger), 0u);
    EXPECT_EQ(Compress(folder / L"missing.txt"), kOpenNotFound);
    CreateDirectoryW((folder / L"folder.txt").c_str(), nullptr);
    EXPECT_EQ(Compress(folder / L"folder.txt"), kOpenFailed);
}

TEST_F(CompressFileTest, BusySourceIsTriedFourTimesHalfASecondApart)
{
    const std::wstring source = folder / L"busy.doc";
    ASSERT_TRUE(WriteBytes(source, TextBytes(10000, 2)));
    const FileState before = Capture(source);
    {
        FileHolder holder(source, 10000);
        ASSERT_TRUE(holder.Holding());
        const DWORD start = GetTickCount();
        EXPECT_EQ(Compress(source), kResultInUse);
        const DWORD elapsed = GetTickCount() - start;
        EXPECT_GE(elapsed, 1400u);
        EXPECT_LT(elapsed, 4000u);
    }
    EXPECT_TRUE(Unchanged(source, before));
    EXPECT_TRUE(NoLeftovers(folder));

    {
        // Cancelled while waiting for the file.
        FileHolder holder(source, 10000);
        EventHandle cancel = NewEvent();
        window.CancelAt(kPhasePrepareCompress, cancel.Get());
        EXPECT_EQ(Compress(source, cancel.Get()), kResultCancelled);
        window.CancelAt(~0u, nullptr);
    }
    EXPECT_TRUE(Unchanged(source, before));

    {
        // Released after the second attempt: the third one gets it.
        FileHolder holder(source, 700);
        EXPECT_EQ(Compress(source), 0u);
    }
    EXPECT_TRUE(Missing(source));
}

TEST_F(CompressFileTest, OutputPathsAtTheLengthLimit)
{
    // Container path of 254 units works, 255 does not; the same for the
    // restored path of a container.
    const size_t prefix = folder.Work().size();
    ASSERT_LT(prefix, 200u);
    const std::wstring fits = folder / (std::wstring(250 - prefix - 4, L'a') + L".txt");
    ASSERT_EQ(fits.size(), 250u);
    ASSERT_TRUE(WriteBytes(fits, TextBytes(5000, 3)));
    ASSERT_EQ(Compress(fits), 0u);
    ASSERT_EQ(Decompress(fits + L".tdz"), 0u);

    const std::wstring tooLong = folder / (std::wstring(251 - prefix - 4, L'b') + L".txt");
    ASSERT_TRUE(WriteBytes(tooLong, TextBytes(5000, 3)));
    const FileState before = Capture(tooLong);
    EXPECT_EQ(Compress(tooLong), kCompressPathTooLong);
    EXPECT_TRUE(Unchanged(tooLong, before));
    EXPECT_TRUE(NoLeftovers(folder));

    // A container whose restored path would have 255 units.
    const std::wstring container = fits + L".tdz";
    ASSERT_EQ(Compress(fits), 0u);
    const std::wstring longContainer = folder / (std::wstring(255 - prefix, L'c') + L".tdz");
    ASSERT_TRUE(MoveFileW(container.c_str(), longContainer.c_str()));
    const FileState packed = Capture(longContainer);
    EXPECT_EQ(Decompress(longContainer), kDecompressPathTooLong);
    EXPECT_TRUE(Unchanged(longContainer, packed));
    EXPECT_TRUE(NoLeftovers(folder));
}

TEST_F(CompressFileTest, ExistingContainerIsReplacedOnlyAsTheAnswerSays)
{
    const std::wstring source = folder / L"report.doc";
    const std::wstring container = source + L".tdz";
    const Bytes oldContainer = TextBytes(3000, 9);
    auto prepare = [&] {
        SetFileAttributesW(source.c_str(), FILE_ATTRIBUTE_NORMAL);
        EXPECT_TRUE(WriteBytes(source, TextBytes(20000, 4)));
        EXPECT_TRUE(WriteBytes(container, oldContainer));
        replaceAll = false;
        window.Clear();
        return std::make_pair(Capture(source), Capture(container));
    };

    auto [sourceBefore, containerBefore] = prepare();
    window.SetAnswers({kAnswerNo});
    EXPECT_EQ(Compress(source), kResultDeclined);
    EXPECT_TRUE(Unchanged(source, sourceBefore));
    EXPECT_TRUE(Unchanged(container, containerBefore));
    const std::vector<NotifyWindow::Message> asked = window.Messages();
    ASSERT_EQ(window.Questions(), 1);
    for (const NotifyWindow::Message& m : asked) {
        if (m.id == WM_REPLACE_QUERY) {
            EXPECT_EQ(m.wParam, kReplaceModeCompress);
        }
    }
    EXPECT_TRUE(NoLeftovers(folder));

    std::tie(sourceBefore, containerBefore) = prepare();
    window.SetAnswers({kAnswerCancel});
    EXPECT_EQ(Compress(source), kResultCancelled);
    EXPECT_TRUE(Unchanged(source, sourceBefore));
    EXPECT_TRUE(Unchanged(container, containerBefore));

    std::tie(sourceBefore, containerBefore) = prepare();
    window.SetAnswers({kAnswerYes});
    EXPECT_EQ(Compress(source), 0u);
    EXPECT_TRUE(Missing(source));
    EXPECT_NE(ReadBytes(container), oldContainer);
    EXPECT_FALSE(replaceAll);
    EXPECT_TRUE(NoLeftovers(folder));

    // Yes to All: the flag is set and its end is queued to this thread.
    std::tie(sourceBefore, containerBefore) = prepare();
    MSG pending;
    while (PeekMessageW(&pending, nullptr, WM_REPLACE_ALL_END, WM_REPLACE_ALL_END, PM_REMOVE)) {
    }
    window.SetAnswers({kAnswerYesToAll});
    EXPECT_EQ(Compress(source), 0u);
    EXPECT_TRUE(replaceAll);
    EXPECT_TRUE(PeekMessageW(&pending, nullptr, WM_REPLACE_ALL_END, WM_REPLACE_ALL_END, PM_REMOVE));
    // While it is set nobody is asked.
    EXPECT_TRUE(WriteBytes(source, TextBytes(20000, 4)));
    EXPECT_TRUE(WriteBytes(container, oldContainer));
    window.Clear();
    EXPECT_EQ(Compress(source), 0u);
    EXPECT_EQ(window.Questions(), 0);

    // A job that must not ask replaces.
    prepare();
    EXPECT_EQ(CompressFile(window.Handle(), nullptr, reply.Get(), source.c_str(), container.c_str(), nullptr), 0u);
    EXPECT_EQ(window.Questions(), 0);
    EXPECT_TRUE(Missing(source));

    // Nobody to ask: the job is cancelled rather than waiting for ever.
    std::tie(sourceBefore, containerBefore) = prepare();
    EXPECT_EQ(CompressFile(nullptr, nullptr, reply.Get(), source.c_str(), container.c_str(), &replaceAll),
              kResultCancelled);
    EXPECT_TRUE(Unchanged(source, sourceBefore));
    EXPECT_TRUE(Unchanged(container, containerBefore));
    EXPECT_TRUE(NoLeftovers(folder));
}

TEST_F(CompressFileTest, FolderInTheWayOfTheContainerIsNotReplaced)
{
    const std::wstring source = folder / L"data.bin";
    ASSERT_TRUE(WriteBytes(source, TextBytes(9000, 6)));
    ASSERT_TRUE(CreateDirectoryW((source + L".tdz").c_str(), nullptr));
    ASSERT_TRUE(WriteBytes(source + L".tdz\\inside.txt", TextBytes(100, 1)));
    const FileState before = Capture(source);
    window.SetAnswers({kAnswerYes});
    EXPECT_EQ(Compress(source), kCompressMoveFailed);
    EXPECT_TRUE(Unchanged(source, before));
    EXPECT_EQ(ReadBytes(source + L".tdz\\inside.txt"), TextBytes(100, 1));
    EXPECT_TRUE(NoLeftovers(folder));
}

TEST_F(CompressFileTest, CancelDuringTheStreamLeavesTheSource)
{
    const std::wstring source = folder / L"big.txt";
    ASSERT_TRUE(WriteBytes(source, TextBytes(6 * 1024 * 1024, 7)));
    SetFileAttributesW(source.c_str(), FILE_ATTRIBUTE_READONLY);
    const FileState before = Capture(source);

    // Set before the start: seen at the loop's first pass.
    EventHandle cancel = NewEvent(true);
    EXPECT_EQ(Compress(source, cancel.Get()), kResultCancelled);
    EXPECT_TRUE(Unchanged(source, before));
    EXPECT_TRUE(Missing(source + L".tdz"));
    EXPECT_TRUE(NoLeftovers(folder));

    // Set as the first progress report is posted, a dozen passes early.
    ResetEvent(cancel.Get());
    window.CancelAt(0, cancel.Get());
    EXPECT_EQ(Compress(source, cancel.Get()), kResultCancelled);
    EXPECT_TRUE(Unchanged(source, before));
    EXPECT_TRUE(NoLeftovers(folder));
    SetFileAttributesW(source.c_str(), FILE_ATTRIBUTE_NORMAL);
}

}  // namespace
