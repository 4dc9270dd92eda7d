// Nothing of the user's is lost: a file at the output's temporary name, a
// file whose final attributes cannot be set, a parked copy whose way back
// fails, and the next start that puts parked copies back.
#include <gtest/gtest.h>

#include "container/file_steps.h"
#include "container/parking.h"
#include "file_ops_fixture.h"

namespace {

using SafetyTest = FileOpsTest;

// The final-attribute call fails for every file not hidden-only: the
// finished file keeps its hidden attribute.
BOOL WINAPI RefuseFinalAttributes(LPCWSTR path, DWORD attributes)
{
    if (attributes == FILE_ATTRIBUTE_HIDDEN)
        return SetFileAttributesW(path, attributes);
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

// Copies that fail outside the park folder: every one (no way back works),
// or only those to a "tdz" unique name (the way through a second name).
PVOID g_realCopy = nullptr;
bool g_onlyUniqueNamesFail = false;
BOOL WINAPI CopyOnlyIntoParkFolder(LPCWSTR from, LPCWSTR to, LPPROGRESS_ROUTINE progress, LPVOID context,
                                   LPBOOL cancel, DWORD flags)
{
    const wchar_t* name = wcsrchr(to, L'\\');
    const bool unique = name != nullptr && wcsncmp(name + 1, L"tdz", 3) == 0;
    if (wcsstr(to, L"\\Tandrel Parked\\") == nullptr && (unique || !g_onlyUniqueNamesFail)) {
        SetLastError(ERROR_DISK_FULL);
        return FALSE;
    }
    return reinterpret_cast<CopyFileExFunction>(g_realCopy)(from, to, progress, context, cancel, flags);
}

struct FailingCopyBack {
    explicit FailingCopyBack(bool onlyUniqueNames = false)
    {
        g_onlyUniqueNamesFail = onlyUniqueNames;
        g_realCopy = reinterpret_cast<PVOID>(ParkingApi().copyFileEx);
        ParkingApi().copyFileEx = CopyOnlyIntoParkFolder;
    }
    ~FailingCopyBack() { ParkingApi().copyFileEx = reinterpret_cast<CopyFileExFunction>(g_realCopy); }
};

std::vector<std::wstring> ParkedNames(const TestFolder& folder)
{
    return ListNames(folder.Temp() + L"Tandrel Parked\\", L"tdz*");
}

TEST_F(SafetyTest, AUsersFileAtTheTemporaryNameIsNeverTouched)
{
    const Bytes text = TextBytes(300000, 41);
    const std::wstring container = MakeContainer(L"report", text);
    const std::wstring users = folder / L"report.tmp";
    const Bytes usersBytes = TextBytes(5000, 42);
    ASSERT_TRUE(WriteBytes(users, usersBytes));
    const FileState usersBefore = Capture(users);

    // A damaged container: its output is deleted, the user's file is not.
    const std::wstring damaged = folder / L"damaged.tdz";
    Bytes bytes = ReadBytes(container);
    bytes.back() ^= 0x40;
    ASSERT_TRUE(WriteBytes(damaged, bytes));
    ASSERT_TRUE(WriteBytes(folder / L"damaged.tmp", usersBytes));
    const FileState damagedTmp = Capture(folder / L"damaged.tmp");
    EXPECT_EQ(Decompress(damaged), kDamagedChecksum);
    EXPECT_TRUE(Unchanged(folder / L"damaged.tmp", damagedTmp));

    EXPECT_EQ(Decompress(container), 0u);
    EXPECT_EQ(ReadBytes(folder / L"report"), text);
    EXPECT_TRUE(Unchanged(users, usersBefore));

    // Compressing: NAME.tdz.tmp is the user's too.
    const std::wstring source = folder / L"notes.txt";
    ASSERT_TRUE(WriteBytes(source, text));
    ASSERT_TRUE(WriteBytes(source + L".tdz.tmp", usersBytes));
    const FileState containerTmp = Capture(source + L".tdz.tmp");
    EXPECT_EQ(Compress(source), 0u);
    EXPECT_TRUE(Unchanged(source + L".tdz.tmp", containerTmp));
    EXPECT_TRUE(Missing(source));
    // Only the user's three files end in .tmp.
    EXPECT_EQ(ListNames(folder.Work(), L"*.tmp").size(), 3u);
}

TEST_F(SafetyTest, AFileThatWouldStayHiddenIsAFailureAndTheSourceStays)
{
    const Bytes text = TextBytes(200000, 43);
    const std::wstring container = MakeContainer(L"shown.txt", text);
    const FileState containerBefore = Capture(container);
    const std::wstring source = folder / L"other.txt";
    ASSERT_TRUE(WriteBytes(source, text));
    const FileState sourceBefore = Capture(source);

    FileStepsApi().setFileAttributes = RefuseFinalAttributes;
    const ResultCode decompressed = Decompress(container);
    const ResultCode compressed = Compress(source);
    FileStepsApi().setFileAttributes = SetFileAttributesW;

    EXPECT_EQ(decompressed, kDecompressAttributesNotSet);
    EXPECT_TRUE(IsFailure(decompressed));
    EXPECT_TRUE(Unchanged(container, containerBefore));
    EXPECT_TRUE(Missing(folder / L"shown.txt"));
    EXPECT_EQ(compressed, kCompressAttributesNotSet);
    EXPECT_TRUE(Unchanged(source, sourceBefore));
    EXPECT_TRUE(Missing(source + L".tdz"));
    EXPECT_TRUE(NoLeftovers(folder));
}

TEST_F(SafetyTest, NoParkingWithoutAWayBack)
{
    // A folder so deep that no unique name fits beside the source.
    std::wstring deep = folder.Work();
    while (deep.size() < 236)
        deep += L"d\\", CreateDirectoryW(deep.c_str(), nullptr);
    deep += std::wstring(247 - deep.size(), L'x') + L"\\";
    ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
    const std::wstring source = deep + L"a";
    ASSERT_TRUE(WriteBytes(source, TextBytes(5000, 44)));
    const FileState before = Capture(source);
    wchar_t parked[kPathUnits];
    EXPECT_EQ(MoveToTempFolder(nullptr, nullptr, source.c_str(), parked), kParkNoWayBack);
    EXPECT_TRUE(Unchanged(source, before));
    EXPECT_TRUE(ParkedNames(folder).empty());
}

TEST_F(SafetyTest, AFailedWayBackFallsBackToTheFreedName)
{
    const std::wstring source = folder / L"fallback.doc";
    const Bytes bytes = TextBytes(50000, 45);
    ASSERT_TRUE(WriteBytes(source, bytes));
    wchar_t parked[kPathUnits];
    ASSERT_EQ(MoveToTempFolder(nullptr, nullptr, source.c_str(), parked), 0u);
    EXPECT_EQ(ListNames(folder.Work(), L"tdz*.tmp").size(), 1u);  // the way back, reserved
    // The copy through the second name fails (as on a stick too full for
    // two names): it goes straight onto the name parking freed.
    {
        FailingCopyBack failing(true);
        EXPECT_EQ(RestoreFromTemp(nullptr, nullptr, parked, source.c_str()), 0u);
    }
    EXPECT_EQ(ReadBytes(source), bytes);
    EXPECT_TRUE(ParkedNames(folder).empty());
    EXPECT_FALSE(ParkedCopyInFlight());
}

TEST_F(SafetyTest, AJobLeftParkedNamesItsCopyAndTheNextStartPutsItBack)
{
    const std::wstring source = folder / L"kept.doc";
    const Bytes bytes = TextBytes(60000, 46);
    ASSERT_TRUE(WriteBytes(source, bytes));
    SetFileAttributesW(source.c_str(), FILE_ATTRIBUTE_READONLY);
    const FileState before = Capture(source);
    wchar_t parked[kPathUnits];
    ASSERT_EQ(MoveToTempFolder(nullptr, nullptr, source.c_str(), parked), 0u);
    EXPECT_TRUE(ParkedCopyInFlight());
    // In flight: a start of another program leaves it alone.
    std::vector<std::wstring> left;
    EXPECT_EQ(RestoreParkedCopies(&left), 0u);
    EXPECT_TRUE(left.empty());
    {
        FailingCopyBack failing;
        EXPECT_EQ(RestoreFromTemp(nullptr, nullptr, parked, source.c_str()), kRestoreCopyFailed);
    }
    EXPECT_FALSE(ParkedCopyInFlight());
    EXPECT_TRUE(Missing(source));
    EXPECT_TRUE(ListNames(folder.Work(), L"*.tmp").empty());

    // A file took the name: left over, reported once with its path.
    ASSERT_TRUE(WriteBytes(source, TextBytes(100, 47)));
    EXPECT_EQ(RestoreParkedCopies(&left), 1u);
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0], std::wstring(parked));
    left.clear();
    EXPECT_EQ(RestoreParkedCopies(&left), 1u);
    EXPECT_TRUE(left.empty());

    // The name is free again: the next start puts it back, as it was.
    ASSERT_TRUE(DeleteFileW(source.c_str()));
    EXPECT_EQ(RestoreParkedCopies(&left), 0u);
    EXPECT_TRUE(Unchanged(source, before));
    EXPECT_TRUE(ParkedNames(folder).empty());
    EXPECT_TRUE(NoLeftovers(folder));
    SetFileAttributesW(source.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(SafetyTest, ACopyWhoseOriginalWasNeverDeletedIsDropped)
{
    const std::wstring source = folder / L"twice.doc";
    const Bytes bytes = TextBytes(40000, 48);
    ASSERT_TRUE(WriteBytes(source, bytes));
    wchar_t parked[kPathUnits];
    ASSERT_EQ(MoveToTempFolder(nullptr, nullptr, source.c_str(), parked), 0u);
    {
        FailingCopyBack failing;
        ASSERT_NE(RestoreFromTemp(nullptr, nullptr, parked, source.c_str()), 0u);
    }
    // As after a kill between the record and the delete: the original and
    // the parked copy hold the same bytes.
    ASSERT_TRUE(WriteBytes(source, bytes));
    std::vector<std::wstring> left;
    EXPECT_EQ(RestoreParkedCopies(&left), 0u);
    EXPECT_TRUE(left.empty());
    EXPECT_EQ(ReadBytes(source), bytes);
    EXPECT_TRUE(ParkedNames(folder).empty());
}

}  // namespace
