#include "container/parking.h"

#include <cstring>
#include <cwchar>
#include <initializer_list>

#include "container/file_steps.h"
#include "container/job_reports.h"
#include "container/naming.h"
#include "container/shell_notify.h"
#include "base/win_handle.h"

namespace {

constexpr wchar_t kReportedLine[] = L"reported";
// The copy is still being made: the original has not been deleted.
constexpr wchar_t kCopyingLine[] = L"copying";
// Followed by the hidden output the parked copy's job writes.
constexpr wchar_t kOutputPrefix[] = L"output=";
// The job succeeded: the copy is no longer needed.
constexpr wchar_t kDoneLine[] = L"done";
// The copies one process can have in flight at once (one per worker).
constexpr int kMaxInFlight = 16;

// A copy this process has parked, with the open record that tells other
// processes it is in use.
struct InFlight {
    wchar_t parked[kPathUnits];
    HANDLE record;
};

class ParkTable {
public:
    ParkTable() { InitializeCriticalSection(&lock_); }
    ParkTable(const ParkTable&) = delete;
    ParkTable& operator=(const ParkTable&) = delete;

    void Enter() { EnterCriticalSection(&lock_); }
    void Leave() { LeaveCriticalSection(&lock_); }
    CRITICAL_SECTION lock_;
    InFlight slots[kMaxInFlight] = {};
    LONG count = 0;
};

ParkTable& Table()
{
    static ParkTable table;
    return table;
}

class TableLock {
public:
    TableLock() { Table().Enter(); }
    ~TableLock() { Table().Leave(); }
    TableLock(const TableLock&) = delete;
    TableLock& operator=(const TableLock&) = delete;
};

bool AddInFlight(const wchar_t* parked, HANDLE record)
{
    TableLock lock;
    for (InFlight& slot : Table().slots) {
        if (slot.record == nullptr) {
            lstrcpynW(slot.parked, parked, kPathUnits);
            slot.record = record;
            InterlockedIncrement(&Table().count);
            return true;
        }
    }
    return false;
}

// Closes the record handle of the copy (deleting the record first when
// deleteRecord) and ends its flight.
void EndFlight(const wchar_t* parked, bool deleteRecord)
{
    wchar_t record[kPathUnits];
    const bool named = JoinPath(record, kPathUnits, parked, kParkRecordSuffix);
    TableLock lock;
    for (InFlight& slot : Table().slots) {
        if (slot.record != nullptr && lstrcmpiW(slot.parked, parked) == 0) {
            if (deleteRecord && named)
                DeleteFileW(record);
            CloseHandle(slot.record);
            slot.record = nullptr;
            slot.parked[0] = 0;
            InterlockedDecrement(&Table().count);
            return;
        }
    }
    if (deleteRecord && named)
        DeleteFileW(record);
}

// A copy keeps the attributes and the last-write time on Windows, but gets
// a new creation time, and some copies (Wine's onto an existing name) keep
// neither. Whatever is parked must carry all of them for the way back.
bool SetTimesAndAttributes(const wchar_t* path, const WIN32_FILE_ATTRIBUTE_DATA& info)
{
    {
        // Not while it may be read-only: that could refuse the open.
        SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL);
        FileHandle file(CreateFileW(path, FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        if (!file.Valid() || !SetFileTime(file.Get(), &info.ftCreationTime, nullptr, &info.ftLastWriteTime))
            return false;
    }
    if (!SetFileAttributesW(path, info.dwFileAttributes))
        return false;
    NotifyAttributesChanged(path);
    return true;
}

// What a record says.
struct ParkRecord {
    wchar_t origin[kPathUnits] = {};
    wchar_t reserved[kPathUnits] = {};  // the way back's name, or empty
    bool reported = false;
    bool copying = false;
    bool done = false;
    wchar_t output[kPathUnits] = {};  // the job's hidden output, or empty
};

// Writes the parts with one write: a run ended midway leaves all of them or
// none, so a record is never read with a line cut short (a cut path would
// name another file).
bool WriteAtOnce(HANDLE file, std::initializer_list<const wchar_t*> parts)
{
    wchar_t text[4 * kPathUnits + 64];
    size_t used = 0;
    for (const wchar_t* part : parts) {
        const size_t length = std::wcslen(part);
        if (length > sizeof text / sizeof text[0] - used)
            return false;
        std::wmemcpy(text + used, part, length);
        used += length;
    }
    const DWORD bytes = static_cast<DWORD>(used * sizeof(wchar_t));
    DWORD written = 0;
    return WriteFile(file, text, bytes, &written, nullptr) && written == bytes;
}

// Writes the record's text over what the file held. The old text stays
// whole until the new one is there: it is cut to length only then.
bool WriteRecordText(HANDLE file, const ParkRecord& record)
{
    return SetFilePointer(file, 0, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
           WriteAtOnce(file, {L"\xFEFF", record.origin, L"\r\n", record.reserved, L"\r\n",
                              record.copying ? kCopyingLine : L"", record.copying ? L"\r\n" : L""}) &&
           SetEndOfFile(file) && FlushFileBuffers(file);
}

// Creates the record and keeps it open (the caller owns the handle); null
// on failure, with nothing left.
HANDLE WriteRecord(const wchar_t* recordPath, const ParkRecord& record)
{
    HANDLE file = CreateFileW(recordPath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                              CREATE_ALWAYS, FILE_FLAG_WRITE_THROUGH, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return nullptr;
    if (!WriteRecordText(file, record)) {
        CloseHandle(file);
        DeleteFileW(recordPath);
        return nullptr;
    }
    return file;
}

bool ReadRecord(HANDLE file, ParkRecord* record)
{
    wchar_t text[4 * kPathUnits + 64] = {};
    DWORD got = 0;
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    if (!ReadFile(file, text, sizeof text - sizeof(wchar_t), &got, nullptr))
        return false;
    text[got / sizeof(wchar_t)] = 0;
    const wchar_t* p = text[0] == 0xFEFF ? text + 1 : text;
    // The origin, the reserved name, then marks in any order.
    const size_t prefixLength = std::wcslen(kOutputPrefix);
    wchar_t line[kPathUnits + 16];
    for (int i = 0; i < 6 && *p != 0; ++i) {
        const wchar_t* end = std::wcsstr(p, L"\r\n");
        if (end == nullptr)
            end = p + std::wcslen(p);
        const size_t length = static_cast<size_t>(end - p);
        if (length >= (i < 2 ? kPathUnits : kPathUnits + 16))
            return false;
        wchar_t* to = i == 0 ? record->origin : i == 1 ? record->reserved : line;
        std::wmemcpy(to, p, length);
        to[length] = 0;
        p = *end != 0 ? end + 2 : end;
        if (i < 2)
            continue;
        if (std::wcscmp(line, kReportedLine) == 0)
            record->reported = true;
        else if (std::wcscmp(line, kCopyingLine) == 0)
            record->copying = true;
        else if (std::wcscmp(line, kDoneLine) == 0)
            record->done = true;
        else if (std::wcsncmp(line, kOutputPrefix, prefixLength) == 0 && length - prefixLength < kPathUnits)
            std::wmemcpy(record->output, line + prefixLength, length - prefixLength + 1);
    }
    return record->origin[0] != 0;
}

bool PathExists(const wchar_t* path)
{
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

// The reserved name is deleted only while it is what the way back left
// there: hidden or empty, never a file of the user's.
void DeleteReserved(const wchar_t* reserved)
{
    if (reserved[0] != 0 && PathExists(reserved))
        DeleteFileNotify(reserved);
}

bool ReadRecordOf(const wchar_t* parkedPath, ParkRecord* record)
{
    wchar_t recordPath[kPathUnits];
    if (!JoinPath(recordPath, kPathUnits, parkedPath, kParkRecordSuffix))
        return false;
    FileHandle file(CreateFileW(recordPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr));
    return file.Valid() && ReadRecord(file.Get(), record);
}

// Copies parked to path, never over an existing file: through the reserved
// name (hidden until it has its name), else straight onto path. On failure
// nothing of ours is left in path's folder.
ResultCode CopyBack(HWND frame, const wchar_t* parkedPath, const wchar_t* path, const wchar_t* reserved)
{
    WIN32_FILE_ATTRIBUTE_DATA info;
    if (!GetFileAttributesExW(parkedPath, GetFileExInfoStandard, &info))
        return kRestoreAttributesUnreadable;
    WIN32_FILE_ATTRIBUTE_DATA hiddenInfo = info;
    hiddenInfo.dwFileAttributes = FILE_ATTRIBUTE_HIDDEN;

    // Not cancellable: the cancel that made the job fail is likely still
    // set, and cancelling here would leave the source in the temporary
    // folder.
    CopyProgressContext copy{frame, nullptr};
    ResultCode result = kRestoreCopyFailed;
    wchar_t copyPath[kPathUnits] = {};
    if (reserved[0] != 0 && PathExists(reserved)) {
        lstrcpynW(copyPath, reserved, kPathUnits);
    } else {
        wchar_t folder[kPathUnits];
        ParentFolder(path, folder);
        (void)CreateUniqueFile(folder, copyPath);
    }
    if (copyPath[0] != 0) {
        // The reserved name is hidden: a copy may refuse to replace that.
        SetFileAttributesW(copyPath, FILE_ATTRIBUTE_NORMAL);
        if (ParkingApi().copyFileEx(parkedPath, copyPath, CopyProgress, &copy, nullptr, 0)) {
            NotifyCreated(copyPath);
            if (!SetTimesAndAttributes(copyPath, hiddenInfo))
                result = kRestoreCopyFailed;
            // Never over a file that took the name meanwhile.
            else if (!MoveFileExW(copyPath, path, 0))
                result = kRestoreMoveFailed;
            else
                result = 0;
        }
        if (result != 0)
            DeleteFileNotify(copyPath);
    }
    if (result != 0 && !PathExists(path)) {
        // The way through a second name failed (no room for two names, the
        // folder too deep): the name parking freed takes the copy itself.
        copy.lastPercent = ~0u;
        if (ParkingApi().copyFileEx(parkedPath, path, CopyProgress, &copy, nullptr, COPY_FILE_FAIL_IF_EXISTS)) {
            NotifyCreated(path);
            result = SetTimesAndAttributes(path, info) ? 0 : kRestoreCopyFailed;
            if (result != 0)
                DeleteFileNotify(path);
            return result;
        }
        // A partial copy of ours; never a file that took the name.
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS && PathExists(path))
            DeleteFileNotify(path);
        return result;
    }
    if (result != 0)
        return result;
    NotifyMoved(copyPath, path);
    if (SetFileAttributesW(path, info.dwFileAttributes))
        NotifyAttributesChanged(path);
    return 0;
}

// Whether two files hold the same bytes.
bool SameBytes(const wchar_t* a, const wchar_t* b)
{
    FileHandle fa(CreateFileW(a, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                              nullptr));
    FileHandle fb(CreateFileW(b, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                              nullptr));
    LARGE_INTEGER sa;
    LARGE_INTEGER sb;
    if (!fa.Valid() || !fb.Valid() || !GetFileSizeEx(fa.Get(), &sa) || !GetFileSizeEx(fb.Get(), &sb) ||
        sa.QuadPart != sb.QuadPart)
        return false;
    static uint8_t bufferA[1 << 16];
    static uint8_t bufferB[1 << 16];
    for (;;) {
        DWORD ga = 0;
        DWORD gb = 0;
        if (!ReadFile(fa.Get(), bufferA, sizeof bufferA, &ga, nullptr) ||
            !ReadFile(fb.Get(), bufferB, sizeof bufferB, &gb, nullptr) || ga != gb)
            return false;
        if (ga == 0)
            return true;
        if (std::memcmp(bufferA, bufferB, ga) != 0)
            return false;
    }
}

// Adds a line to the record of a copy in flight.
void AppendToRecord(const wchar_t* parkedPath, const wchar_t* prefix, const wchar_t* text)
{
    TableLock lock;
    for (const InFlight& slot : Table().slots) {
        if (slot.record != nullptr && lstrcmpiW(slot.parked, parkedPath) == 0) {
            SetFilePointer(slot.record, 0, nullptr, FILE_END);
            (void)(WriteAtOnce(slot.record, {prefix, text, L"\r\n"}) && FlushFileBuffers(slot.record));
            return;
        }
    }
}

}  // namespace

ParkingPlatform& ParkingApi()
{
    static ParkingPlatform platform;
    return platform;
}

DWORD CALLBACK CopyProgress(LARGE_INTEGER totalSize, LARGE_INTEGER transferred, LARGE_INTEGER, LARGE_INTEGER,
                            DWORD, DWORD, HANDLE, HANDLE, LPVOID context)
{
    auto* copy = static_cast<CopyProgressContext*>(context);
    if (copy->cancel != nullptr && WaitForSingleObject(copy->cancel, 0) == WAIT_OBJECT_0) {
        copy->cancelled = true;
        return PROGRESS_CANCEL;
    }
    // The routine runs for every chunk the system copies; one message per
    // percent keeps a large file from flooding the window's queue.
    const uint32_t percent = ProgressPercent(static_cast<uint64_t>(transferred.QuadPart),
                                             static_cast<uint64_t>(totalSize.QuadPart));
    if (percent != copy->lastPercent) {
        copy->lastPercent = percent;
        PostProgress(copy->frame, percent);
    }
    return PROGRESS_CONTINUE;
}

bool ParkFolder(wchar_t (&folder)[kPathUnits], bool create)
{
    folder[0] = 0;
    wchar_t temp[MAX_PATH + 2];
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    if (length == 0 || length > MAX_PATH)
        return false;
    if (!JoinPath(folder, kPathUnits, temp, kParkFolderName))
        return false;
    if (create && !CreateDirectoryW(folder, nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        return false;
    const size_t end = std::wcslen(folder);
    if (end + 2 > kPathUnits)
        return false;
    folder[end] = L'\\';
    folder[end + 1] = 0;
    return true;
}

bool ParkedCopyInFlight()
{
    return InterlockedCompareExchange(&Table().count, 0, 0) != 0;
}

ResultCode MoveToTempFolder(HWND frame, HANDLE cancel, const wchar_t* path, wchar_t (&parkedPath)[kPathUnits])
{
    parkedPath[0] = 0;
    ParkRecord record;
    lstrcpynW(record.origin, path, kPathUnits);

    wchar_t parkFolder[kPathUnits];
    wchar_t recordPath[kPathUnits];
    if (!ParkFolder(parkFolder, true))
        return kParkNoTempFolder;
    if (!CreateUniqueFile(parkFolder, parkedPath) ||
        !JoinPath(recordPath, kPathUnits, parkedPath, kParkRecordSuffix)) {
        if (parkedPath[0] != 0)
            DeleteFileNotify(parkedPath);
        parkedPath[0] = 0;
        return kParkNoUniqueName;
    }
    // The record comes before anything else, marked as a copy being made: a
    // run ended from here on leaves a record by which the next start drops
    // the partial copy and the reserved name.
    record.copying = true;
    HANDLE recordFile = WriteRecord(recordPath, record);
    if (recordFile == nullptr) {
        DeleteFileNotify(parkedPath);
        parkedPath[0] = 0;
        return kParkCopyFailed;
    }
    // From here on a failure leaves the original where it is: the copy, its
    // record and the reserved name must not stay behind.
    const auto giveUp = [&](ResultCode failure) {
        bool tracked = false;
        {
            TableLock lock;
            for (const InFlight& slot : Table().slots)
                tracked = tracked || slot.record == recordFile;
        }
        if (tracked) {
            EndFlight(parkedPath, true);
        } else {
            DeleteFileW(recordPath);
            CloseHandle(recordFile);
        }
        DeleteFileNotify(parkedPath);
        parkedPath[0] = 0;
        DeleteReserved(record.reserved);
        return failure;
    };

    // Then the way back: a name beside the original, reserved (hidden,
    // empty) until the copy comes back through it, and at once in the
    // record.
    wchar_t originFolder[kPathUnits];
    ParentFolder(path, originFolder);
    if (!CreateUniqueFile(originFolder, record.reserved)) {
        record.reserved[0] = 0;
        return giveUp(kParkNoWayBack);
    }
    const bool noted = WriteRecordText(recordFile, record);
    if (SetFileAttributesW(record.reserved, FILE_ATTRIBUTE_HIDDEN))
        NotifyAttributesChanged(record.reserved);
    record.copying = false;
    if (!noted)
        return giveUp(kParkCopyFailed);

    WIN32_FILE_ATTRIBUTE_DATA info;
    CopyProgressContext copy{frame, cancel};
    if (!GetFileAttributesExW(path, GetFileExInfoStandard, &info))
        return giveUp(kParkCopyFailed);
    if (!ParkingApi().copyFileEx(path, parkedPath, CopyProgress, &copy, nullptr, 0))
        return giveUp(copy.cancelled ? kResultCancelled : kParkCopyFailed);
    if (!SetTimesAndAttributes(parkedPath, info))
        return giveUp(kParkCopyFailed);

    // The record loses its mark before the original goes, and stays open
    // while the copy is in flight.
    if (!WriteRecordText(recordFile, record) || !AddInFlight(parkedPath, recordFile))
        return giveUp(kParkCopyFailed);
    FileHandle check(CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!check.Valid())
        return giveUp(GetLastError() == ERROR_SHARING_VIOLATION ? kParkSourceInUse : kParkSourceUnopenable);
    check.Reset();
    if (!DeleteFileNotify(path))
        return giveUp(kParkSourceUndeletable);
    return 0;
}

ResultCode RestoreFromTemp(HWND frame, HANDLE /*cancel*/, const wchar_t* parkedPath, const wchar_t* path)
{
    ParkRecord record;
    if (!ReadRecordOf(parkedPath, &record))
        record.reserved[0] = 0;
    const ResultCode result = CopyBack(frame, parkedPath, path, record.reserved);
    if (result != 0) {
        // The parked copy may now be the only one: it stays, as it was,
        // with its record, for the next start; the reserved name goes (the
        // next start reserves another).
        DeleteReserved(record.reserved);
        EndFlight(parkedPath, false);
        return result;
    }
    DeleteReserved(record.reserved);
    DeleteFileNotify(parkedPath);
    EndFlight(parkedPath, true);
    return 0;
}

void NoteParkedJobOutput(const wchar_t* parkedPath, const wchar_t* outputPath)
{
    AppendToRecord(parkedPath, kOutputPrefix, outputPath);
}

void DiscardParked(const wchar_t* parkedPath)
{
    // A run ended from here on needs the copy no more: the next start
    // drops it.
    AppendToRecord(parkedPath, kDoneLine, L"");
    ParkRecord record;
    if (ReadRecordOf(parkedPath, &record))
        DeleteReserved(record.reserved);
    // Only once the copy is gone does its record go.
    if (DeleteFileNotify(parkedPath) || !PathExists(parkedPath))
        EndFlight(parkedPath, true);
    else
        EndFlight(parkedPath, false);
}

namespace {

// A run ended between making a parked copy's name and writing its record
// leaves an empty file there without a record. Nothing was copied into it
// (the copy comes after the record), so it goes. Held without sharing while
// it is checked: a process that is just then writing its record sees its
// copy fail and keeps its original.
void DropUnrecordedNames(const wchar_t* folder)
{
    wchar_t pattern[kPathUnits];
    if (!JoinPath(pattern, kPathUnits, folder, L"tdz*.tmp"))
        return;
    WIN32_FIND_DATAW found;
    FindHandle search(FindFirstFileW(pattern, &found));
    if (!search.Valid())
        return;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || found.nFileSizeHigh != 0 ||
            found.nFileSizeLow != 0)
            continue;
        wchar_t parkedPath[kPathUnits];
        wchar_t recordPath[kPathUnits];
        if (!JoinPath(parkedPath, kPathUnits, folder, found.cFileName) ||
            !JoinPath(recordPath, kPathUnits, parkedPath, kParkRecordSuffix))
            continue;
        FileHandle held(CreateFileW(parkedPath, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        LARGE_INTEGER size;
        if (!held.Valid() || PathExists(recordPath) || !GetFileSizeEx(held.Get(), &size) || size.QuadPart != 0)
            continue;
        held.Reset();
        DeleteFileW(parkedPath);
    } while (FindNextFileW(search.Get(), &found));
}

}  // namespace

size_t RestoreParkedCopies(std::vector<std::wstring>* leftOver)
{
    wchar_t folder[kPathUnits];
    wchar_t pattern[kPathUnits];
    if (!ParkFolder(folder, false) || !JoinPath(pattern, kPathUnits, folder, L"*.origin"))
        return 0;
    DropUnrecordedNames(folder);
    WIN32_FIND_DATAW found;
    FindHandle search(FindFirstFileW(pattern, &found));
    if (!search.Valid())
        return 0;
    size_t left = 0;
    const size_t suffixLength = std::wcslen(kParkRecordSuffix);
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            continue;
        wchar_t recordPath[kPathUnits];
        wchar_t parkedPath[kPathUnits];
        if (!JoinPath(recordPath, kPathUnits, folder, found.cFileName))
            continue;
        const size_t length = std::wcslen(recordPath);
        if (length <= suffixLength)
            continue;
        lstrcpynW(parkedPath, recordPath, static_cast<int>(length - suffixLength + 1));

        // A record another process holds open is a copy in flight there.
        FileHandle file(CreateFileW(recordPath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr));
        if (!file.Valid())
            continue;
        ParkRecord record;
        if (!ReadRecord(file.Get(), &record)) {
            // A run ended between creating the record and writing it: the
            // copy, which comes after a complete record, never began.
            WIN32_FILE_ATTRIBUTE_DATA parked;
            const bool copied = GetFileAttributesExW(parkedPath, GetFileExInfoStandard, &parked) &&
                                (parked.nFileSizeHigh != 0 || parked.nFileSizeLow != 0);
            if (copied) {
                ++left;
            } else {
                DeleteFileW(parkedPath);
                DeleteFileW(recordPath);
            }
            continue;
        }
        bool done = false;
        if (!PathExists(parkedPath)) {
            done = true;  // discarded, or put back, before the record went
        } else if (record.done) {
            done = DeleteFileNotify(parkedPath);
        } else if (PathExists(record.origin)) {
            // The original was not yet deleted, or the way back had ended:
            // the copy is only a spare when it holds the same bytes, or when
            // it was never finished.
            if (record.copying || SameBytes(parkedPath, record.origin))
                done = DeleteFileNotify(parkedPath);
        } else if (!record.copying) {
            // The hidden output of a job that ended midway goes first: it
            // may take the room the copy needs. Its name was made for that
            // job alone.
            const DWORD output = record.output[0] != 0 ? GetFileAttributesW(record.output) : INVALID_FILE_ATTRIBUTES;
            if (output != INVALID_FILE_ATTRIBUTES && (output & FILE_ATTRIBUTE_HIDDEN) != 0)
                DeleteFileNotify(record.output);
            wchar_t originFolder[kPathUnits];
            ParentFolder(record.origin, originFolder);
            const DWORD attributes = GetFileAttributesW(originFolder);
            if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                CopyBack(nullptr, parkedPath, record.origin, record.reserved) == 0)
                done = DeleteFileNotify(parkedPath);
        }
        if (done) {
            DeleteReserved(record.reserved);
            DeleteFileW(recordPath);
            continue;
        }
        ++left;
        if (!record.reported) {
            if (leftOver != nullptr)
                leftOver->push_back(parkedPath);
            SetFilePointer(file.Get(), 0, nullptr, FILE_END);
            (void)WriteAtOnce(file.Get(), {kReportedLine, L"\r\n"});
        }
    } while (FindNextFileW(search.Get(), &found));
    return left;
}
