#include "container/compress_file.h"

#include <cstring>
#include <utility>

#include "codec/relc.h"
#include "container/ask_replace.h"
#include "container/container_file_io.h"
#include "container/eligibility.h"
#include "container/file_steps.h"
#include "container/file_transfer.h"
#include "container/job_constants.h"
#include "container/job_reports.h"
#include "container/naming.h"
#include "container/parking.h"
#include "container/shell_notify.h"
#include "container/stream_buffers.h"

namespace {

// The direct route needs more free bytes than this beyond the source's size.
constexpr uint64_t kDirectRouteMargin = 58;

uint64_t FromFileTime(const FILETIME& time)
{
    return uint64_t(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}

bool PathExists(const wchar_t* path)
{
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

// The parked copy is what gets compressed, and the source was not held
// between building the header and the copy: size and last-write time are
// taken again from the copy, or a file that grew meanwhile would lose its
// new end.
ResultCode RefreshHeaderFromParked(HANDLE parked, ContainerHeader* header)
{
    LARGE_INTEGER size;
    if (!GetFileSizeEx(parked, &size))
        return kHeaderSizeUnreadable;
    FILETIME lastWrite;
    if (!GetFileTime(parked, nullptr, nullptr, &lastWrite))
        return kHeaderTimesUnreadable;
    header->sourceSize = static_cast<uint64_t>(size.QuadPart);
    header->lastWriteTime = FromFileTime(lastWrite);
    return 0;
}

ResultCode CompressParked(HWND frame, HANDLE cancel, const wchar_t* parkedPath, ContainerHeader header,
                          const wchar_t* containerPath)
{
    FileHandle parked;
    ResultCode result = OpenSourceWithRetry(cancel, parkedPath, &parked);
    if (result == 0)
        result = RefreshHeaderFromParked(parked.Get(), &header);
    if (result != 0)
        return result;
    PostPhase(frame, kPhaseCompress);
    result = CompressToTarget(frame, cancel, parked.Get(), header, containerPath, parkedPath);
    parked.Reset();
    if (result == 0)
        DiscardParked(parkedPath);
    return result;
}

}  // namespace

ResultCode CompressFile(HWND frame, HANDLE cancel, HANDLE reply, const wchar_t* sourcePath,
                        const wchar_t* containerPath, bool* replaceAll, wchar_t* leftParked)
{
    if (leftParked != nullptr)
        leftParked[0] = 0;
    if (ResultCode special = CheckSpecialName(sourcePath))
        return special;
    PostPhase(frame, kPhasePrepareCompress);

    FileHandle source;
    ContainerHeader header;
    ResultCode result = BuildContainerHeader(cancel, sourcePath, &source, &header);
    if (result != 0)
        return result;

    if (replaceAll != nullptr && !*replaceAll && PathExists(containerPath)) {
        result = AskReplace(frame, reply, kReplaceModeCompress, replaceAll);
        if (result != 0)
            return result;
    }

    wchar_t root[kPathUnits];
    ULARGE_INTEGER freeBytes;
    if (!VolumeRoot(containerPath, root) || !GetDiskFreeSpaceExW(root, &freeBytes, nullptr, nullptr))
        return kCompressFreeSpaceUnreadable;

    if (freeBytes.QuadPart > header.sourceSize + kDirectRouteMargin) {
        PostPhase(frame, kPhaseCompress);
        result = CompressToTarget(frame, cancel, source.Get(), header, containerPath);
        source.Reset();
        if (result == 0)
            DeleteFileNotify(sourcePath);
        return result;
    }

    // Too little room beside the source: park it in the temporary folder,
    // which frees its space, and compress the parked copy back.
    source.Reset();
    wchar_t parkedPath[kPathUnits];
    result = MoveToTempFolder(frame, cancel, sourcePath, parkedPath);
    if (result != 0)
        return result;
    result = CompressParked(frame, cancel, parkedPath, header, containerPath);
    if (result != 0) {
        PostPhase(frame, kPhaseEndCompress);
        const ResultCode back = RestoreFromTemp(frame, cancel, parkedPath, sourcePath);
        if (back != 0) {
            // The source is only in the temporary folder: the user is told
            // where.
            if (leftParked != nullptr)
                lstrcpynW(leftParked, parkedPath, kPathUnits);
            return back;
        }
    }
    return result;
}

ResultCode BuildContainerHeader(HANDLE cancel, const wchar_t* path, FileHandle* source, ContainerHeader* header)
{
    FileHandle file;
    ResultCode result = OpenSourceWithRetry(cancel, path, &file);
    if (result != 0)
        return result;

    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.Get(), &size))
        return kHeaderSizeUnreadable;
    if (IsTooSmallToCompress(static_cast<uint64_t>(size.QuadPart)))
        return kSkipSmallFile;
    // Unreadable attributes come back with every bit set, hidden included.
    const DWORD attributes = GetFileAttributesW(path);
    if (IsHiddenOrSystem(attributes))
        return kSkipHiddenOrSystem;

    *header = NewContainerHeader();
    header->attributes = attributes;
    header->sourceSize = static_cast<uint64_t>(size.QuadPart);
    FILETIME creation;
    FILETIME lastWrite;
    if (!GetFileTime(file.Get(), &creation, nullptr, &lastWrite))
        return kHeaderTimesUnreadable;
    header->creationTime = FromFileTime(creation);
    header->lastWriteTime = FromFileTime(lastWrite);
    *source = std::move(file);
    return 0;
}

ResultCode CompressToTarget(HWND frame, HANDLE cancel, HANDLE source, const ContainerHeader& header,
                            const wchar_t* containerPath, const wchar_t* parkedPath)
{
    wchar_t tempPath[kPathUnits];
    if (Utf16Length(containerPath) > kMaxOutputPath || !JoinPath(tempPath, kPathUnits, containerPath, kTempSuffix))
        return kCompressPathTooLong;
    // May become another name, when a file of the user's has this one.

    FileHandle output;
    ResultCode result = CreateHiddenOutput(tempPath, &output);
    if (result != 0)
        return result;
    if (parkedPath != nullptr)
        NoteParkedJobOutput(parkedPath, tempPath);
    result = WriteContainerHeader(output.Get(), header);
    if (result == 0)
        result = CompressStreamToFile(frame, cancel, source, header.sourceSize, output.Get());
    output.Reset();
    NotifyCreated(tempPath);

    if (result != 0) {
        DeleteFileNotify(tempPath);
        return result;
    }
    if (!MoveIntoPlace(tempPath, containerPath)) {
        DeleteFileNotify(tempPath);
        return kCompressMoveFailed;
    }
    // A container left hidden would be lost to the user once its source
    // goes: the job fails, the source stays and the container goes again.
    if (!FileStepsApi().setFileAttributes(containerPath, FILE_ATTRIBUTE_NORMAL)) {
        DeleteFileNotify(containerPath);
        return kCompressAttributesNotSet;
    }
    NotifyAttributesChanged(containerPath);
    return 0;
}

ResultCode CompressStreamToFile(HWND frame, HANDLE cancel, HANDLE source, uint64_t sourceSize, HANDLE output)
{
    if ((RelcInitEncoder(0, sourceSize) & 0xFF) != 0)
        return kEncodeInitRefused;

    uint32_t held = 0;
    uint64_t remaining = sourceSize;
    uint64_t taken = 0;
    uint32_t checksum = 0;
    uint32_t status = RELC_NEED_INPUT | RELC_OUTPUT_FULL;
    for (;;) {
        if (IsSignalled(cancel))
            return kResultCancelled;

        if ((status & RELC_NEED_INPUT) != 0) {
            const uint64_t room = kPlainBufferSize - held;
            const uint32_t want = static_cast<uint32_t>(remaining < room ? remaining : room);
            if (want != 0) {
                switch (ReadFully(source, g_plainBuffer + held, want)) {
                case TransferStatus::Complete:
                    break;
                case TransferStatus::Short:
                    return kEncodeReadShort;
                case TransferStatus::Failed:
                    return kEncodeReadFailed;
                }
                held += want;
                remaining -= want;
            }
        }

        // With the source read to its end and every byte taken, this offers
        // 0 bytes: the codec's flush.
        uint32_t inLen = held;
        uint32_t outLen = static_cast<uint32_t>(kPackedBufferSize);
        status = RelcEncode(g_plainBuffer, g_packedBuffer, &inLen, &outLen);
        if ((status & 0xFF) != 0)
            return kEncodeCodecBase | (status & 0xFF);

        if (outLen != 0) {
            switch (WriteFully(output, g_packedBuffer, outLen)) {
            case TransferStatus::Complete:
                break;
            case TransferStatus::Short:
                return kEncodeWriteShort;
            case TransferStatus::Failed:
                return LastErrorIsDiskFull() ? kEncodeWriteDiskFull : kEncodeWriteFailed;
            }
        }

        AddToChecksum(g_plainBuffer, inLen, &checksum);
        std::memmove(g_plainBuffer, g_plainBuffer + inLen, held - inLen);
        held -= inLen;
        taken += inLen;
        PostProgress(frame, ProgressPercent(taken, sourceSize));

        if ((status & RELC_STREAM_END) != 0)
            break;
    }

    uint8_t bytes[kContainerChecksumSize];
    EncodeChecksum(checksum, bytes);
    switch (WriteFully(output, bytes, kContainerChecksumSize)) {
    case TransferStatus::Complete:
        return 0;
    case TransferStatus::Short:
        return kChecksumWriteShort;
    case TransferStatus::Failed:
        break;
    }
    return LastErrorIsDiskFull() ? kChecksumWriteDiskFull : kChecksumWriteFailed;
}
