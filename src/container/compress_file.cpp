#include "container/compress_file.h"

#include <utility>

#include "codec/relc_driver.h"
#include "container/ask_replace.h"
#include "container/container_file_io.h"
#include "container/eligibility.h"
#include "container/file_byte_stream.h"
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
    static const TransferCodes kCodes = {kEncodeReadShort, kEncodeReadFailed, kEncodeWriteShort,
                                         kEncodeWriteFailed, kEncodeWriteDiskFull};
    FileByteSource in(source, sourceSize, kCodes);
    FileByteSink out(output, kCodes);
    JobStreamHooks job(frame, cancel, sourceSize, false);
    uint32_t checksum = 0;
    RelcStreamOptions options;
    options.byteSum = &checksum;
    options.hooks = &job.hooks;
    const StreamResult result = RelcEncodeStream(
        in, sourceSize, out, {g_plainBuffer, kPlainBufferSize, g_packedBuffer, kPackedBufferSize}, options);
    switch (result.status) {
    case StreamStatus::Ok:
        break;
    case StreamStatus::Cancelled:
        return kResultCancelled;
    case StreamStatus::EmptyInput:
        return kEncodeInitRefused;
    case StreamStatus::ReadFailed:
    case StreamStatus::SizeChanged:
        return in.Error() != 0 ? in.Error() : kEncodeReadShort;
    case StreamStatus::WriteFailed:
        return out.Error();
    case StreamStatus::Corrupt:
    case StreamStatus::Truncated:
    case StreamStatus::TrailingData:
    case StreamStatus::Stalled:
        return kEncodeCodecBase | (result.codecStatus & 0xFF);
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
