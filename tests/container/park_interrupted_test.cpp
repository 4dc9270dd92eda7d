// A run ended while a source was being copied into the park folder, or while
// the job of a parked copy wrote its output: what it leaves (the partial
// copy, its record, the reserved way back, the hidden output) is what the
// next start finds.
#include <gtest/gtest.h>

#include "container/parking.h"
#include "file_ops_fixture.h"

namespace {

using ParkInterruptedTest = FileOpsTest;

// The park folder and the source's folder as they were halfway through the
// copy.
struct Halfway {
    std::wstring parked;
    Bytes partial;
    Bytes record;  // empty when there was none
    std::vector<std::wstring> besideSource;
};
Halfway g_halfway;
std::wstring g_workFolder;

// Read while the parking process holds the record open for writing.
Bytes ReadShared(const std::wstring& path)
{
    FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr));
    Bytes bytes(4096);
    DWORD got = 0;
    if (!file.Valid() || !ReadFile(file.Get(), bytes.data(), DWORD(bytes.size()), &got, nullptr))
        got = 0;
    bytes.resize(got);
    return bytes;
}

// Writes half the source, notes what is there, then fails as a copy cut
// short would.
BOOL WINAPI CopyHalfway(LPCWSTR from, LPCWSTR to, LPPROGRESS_ROUTINE, LPVOID, LPBOOL, DWORD)
{
    const Bytes all = ReadBytes(from);
    g_halfway.parked = to;
    g_halfway.partial.assign(all.begin(), all.begin() + all.size() / 2);
    WriteBytes(to, g_halfway.partial);
    g_halfway.record = ReadShared(std::wstring(to) + kParkRecordSuffix);
    g_halfway.besideSource = ListNames(g_workFolder, L"*");
    SetLastError(ERROR_DISK_FULL);
    return FALSE;
}

// Parks source with the copy cut short, then puts back what a kill at that
// moment would have left.
void ParkAndEndHalfway(const TestFolder& folder, const std::wstring& source)
{
    g_workFolder = folder.Work();
    const CopyFileExFunction real = ParkingApi().copyFileEx;
    ParkingApi().copyFileEx = CopyHalfway;
    wchar_t parked[kPathUnits];
    EXPECT_EQ(MoveToTempFolder(nullptr, nullptr, source.c_str(), parked), kParkCopyFailed);
    ParkingApi().copyFileEx = real;

    ASSERT_TRUE(WriteBytes(g_halfway.parked, g_halfway.partial));
    if (!g_halfway.record.empty()) {
        ASSERT_TRUE(WriteBytes(g_halfway.parked + kParkRecordSuffix, g_halfway.record));
    }
    for (const std::wstring& name : g_halfway.besideSource) {
        if (!Exists(folder / name)) {  // the reserved name
            ASSERT_TRUE(WriteBytes(folder / name, {}));
            SetFileAttributesW((folder / name).c_str(), FILE_ATTRIBUTE_HIDDEN);
        }
    }
}

TEST_F(ParkInterruptedTest, APartialCopyBesideItsOriginalIsDroppedWithItsWayBack)
{
    const std::wstring source = folder / L"whole.doc";
    ASSERT_TRUE(WriteBytes(source, TextBytes(50000, 61)));
    const FileState before = Capture(source);
    ParkAndEndHalfway(folder, source);
    ASSERT_FALSE(g_halfway.record.empty()) << "no record while the copy is made";

    std::vector<std::wstring> left;
    EXPECT_EQ(RestoreParkedCopies(&left), 0u);
    EXPECT_TRUE(left.empty());
    EXPECT_TRUE(Unchanged(source, before));
    EXPECT_EQ(ListNames(folder.Work(), L"*"), std::vector<std::wstring>{L"whole.doc"});
    EXPECT_TRUE(NoLeftovers(folder));
}

TEST_F(ParkInterruptedTest, APartialCopyIsNeverPutBack)
{
    const std::wstring source = folder / L"gone.doc";
    ASSERT_TRUE(WriteBytes(source, TextBytes(50000, 62)));
    ParkAndEndHalfway(folder, source);
    // The original went by other means: half of it is not the file.
    ASSERT_TRUE(DeleteFileW(source.c_str()));

    std::vector<std::wstring> left;
    EXPECT_EQ(RestoreParkedCopies(&left), 1u);
    EXPECT_EQ(left, std::vector<std::wstring>{g_halfway.parked});
    EXPECT_TRUE(Missing(source));
    EXPECT_EQ(ReadBytes(g_halfway.parked), g_halfway.partial);
    left.clear();
    EXPECT_EQ(RestoreParkedCopies(&left), 1u);
    EXPECT_TRUE(left.empty());  // reported once
    DeleteFileW(g_halfway.parked.c_str());
    DeleteFileW((g_halfway.parked + kParkRecordSuffix).c_str());
}

// Every copy out of the park folder fails: a run that cannot put its copy
// back keeps it, with its record, as one ended midway would.
CopyFileExFunction g_realCopy = nullptr;
BOOL WINAPI CopyOnlyIntoParkFolder(LPCWSTR from, LPCWSTR to, LPPROGRESS_ROUTINE progress, LPVOID context,
                                   LPBOOL cancel, DWORD flags)
{
    if (wcsstr(to, L"\\Tandrel Parked\\") == nullptr) {
        SetLastError(ERROR_DISK_FULL);
        return FALSE;
    }
    return g_realCopy(from, to, progress, context, cancel, flags);
}

TEST_F(ParkInterruptedTest, TheHiddenOutputOfAJobEndedMidwayGoesBeforeItsCopyComesBack)
{
    const std::wstring container = folder / L"held.doc.tdz";
    ASSERT_TRUE(WriteBytes(container, TextBytes(30000, 63)));
    const FileState before = Capture(container);
    wchar_t parked[kPathUnits];
    ASSERT_EQ(MoveToTempFolder(nullptr, nullptr, container.c_str(), parked), 0u);
    const std::wstring output = folder / L"held.doc.tmp";
    ASSERT_TRUE(WriteBytes(output, TextBytes(20000, 64)));
    SetFileAttributesW(output.c_str(), FILE_ATTRIBUTE_HIDDEN);
    NoteParkedJobOutput(parked, output.c_str());
    g_realCopy = ParkingApi().copyFileEx;
    ParkingApi().copyFileEx = CopyOnlyIntoParkFolder;
    EXPECT_NE(RestoreFromTemp(nullptr, nullptr, parked, container.c_str()), 0u);
    ParkingApi().copyFileEx = g_realCopy;

    std::vector<std::wstring> left;
    EXPECT_EQ(RestoreParkedCopies(&left), 0u);
    EXPECT_TRUE(left.empty());
    EXPECT_TRUE(Unchanged(container, before));
    EXPECT_TRUE(Missing(output));
    EXPECT_TRUE(NoLeftovers(folder));
}

TEST_F(ParkInterruptedTest, ACopyWhoseJobSucceededIsNeverPutBack)
{
    const std::wstring container = folder / L"done.doc.tdz";
    ASSERT_TRUE(WriteBytes(container, TextBytes(30000, 65)));
    wchar_t parked[kPathUnits];
    ASSERT_EQ(MoveToTempFolder(nullptr, nullptr, container.c_str(), parked), 0u);
    {
        // Held open, the copy outlives the discard, as after a run ended
        // before it was deleted.
        FileHandle held(CreateFileW(parked, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held.Valid());
        DiscardParked(parked);
    }
    ASSERT_TRUE(Exists(parked));
    std::vector<std::wstring> left;
    EXPECT_EQ(RestoreParkedCopies(&left), 0u);
    EXPECT_TRUE(left.empty());
    EXPECT_TRUE(Missing(container));  // the job had turned it into its file
    EXPECT_TRUE(NoLeftovers(folder));
}

// A run ended between making a parked copy's name and writing its record,
// or between creating the record and writing it: nothing was copied, and
// the next start drops both. A copy with bytes is not dropped that way.
TEST_F(ParkInterruptedTest, APartOfAParkingNeverBegunGoesAtTheNextStart)
{
    wchar_t park[kPathUnits];
    ASSERT_TRUE(ParkFolder(park, true));
    struct Case {
        const wchar_t* name;
        size_t copied;
        bool emptyRecord;
        bool dropped;
    };
    const Case cases[] = {
        {L"tdzA1.tmp", 0, false, true},
        {L"tdzA2.tmp", 0, true, true},
        {L"tdzA3.tmp", 100, false, false},
        {L"tdzA4.tmp", 100, true, false},
    };
    for (const Case& c : cases) {
        const std::wstring parked = std::wstring(park) + c.name;
        ASSERT_TRUE(WriteBytes(parked, TextBytes(c.copied, 66)));
        if (c.emptyRecord) {
            ASSERT_TRUE(WriteBytes(parked + kParkRecordSuffix, {}));
        }
    }
    EXPECT_EQ(RestoreParkedCopies(nullptr), 1u);  // the one with a record
    for (const Case& c : cases) {
        const std::wstring parked = std::wstring(park) + c.name;
        EXPECT_EQ(Missing(parked), c.dropped) << c.name;
        EXPECT_EQ(Missing(parked + kParkRecordSuffix), c.dropped || !c.emptyRecord) << c.name;
        DeleteFileW(parked.c_str());
        DeleteFileW((parked + kParkRecordSuffix).c_str());
    }
}

}  // namespace
