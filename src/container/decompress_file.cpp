#include "container/decompress_file.h"


#include "codec/relc_driver.h"
#include "container/ask_replace.h"
#include "container/container_file_io.h"
#include "container/file_byte_stream.h"
#include "container/file_steps.h"
#include "container/file_transfer.h"
#include "container/job_constants.h"
#include "container/job_reports.h"
#include "container/naming.h"
#include "container/parking.h"
#include "container/shell_notify.h"
#include "container/stream_buffers.h"
#include "base/win_handle.h"

namespace {

FILETIME ToFileTime(uint64_t time)
{
    FILETIME result;
    result.dwLowDateTime = static_cast<DWORD>(time);
    result.dwHighDateTime = static_cast<DWORD>(time >> 32);
    return result;
}

bool PathExists(const wchar_t* path)
{
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

// Opens a container and reads its header; leaves it positioned behind the
// header with the length of its stream in *streamLength.
ResultCode OpenContainer(HANDLE cancel, const wchar_t* path, FileHandle* container, ContainerHeader* header,
                         uint64_t* streamLength)
{
    ResultCode result = OpenSourceWithRetry(cancel, path, container);
    if (result != 0)
        return result;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(container->Get(), &size))
        return kContainerSizeUnreadable;
    result = ReadContainerHeader(container->Get(), header);
    if (result != 0)
        return result;
    // A header with the magic but no room behind it for the checksum: the
    // stream length would come out negative.
    if (static_cast<uint64_t>(size.QuadPart) < kContainerOverhead)
        return kChecksumReadShort;
    *streamLength = static_cast<uint64_t>(size.QuadPart) - kContainerOverhead;
    return 0;
}

ResultCode DecompressParked(HWND frame, HANDLE cancel, const wchar_t* parkedPath, const wchar_t* targetPath)
{
    FileHandle parked;
    ContainerHeader header;
    uint64_t streamLength = 0;
    ResultCode result = OpenContainer(cancel, parkedPath, &parked, &header, &streamLength);
    if (result != 0)
        return result;
    PostPhase(frame, kPhaseDecompress);
    result = DecompressToTarget(frame, cancel, parked.Get(), header, streamLength, targetPath, parkedPath);
    parked.Reset();
    if (result == 0)
        DiscardParked(parkedPath);
    return result;
}

ResultCode ReadStoredChecksum(HANDLE container, uint32_t* checksum)
{
    uint8_t bytes[kContainerChecksumSize];
    switch (ReadFully(container, bytes, kContainerChecksumSize)) {
    case TransferStatus::Complete:
        *checksum = DecodeChecksum(bytes);
        return 0;
    case TransferStatus::Short:
        return kChecksumReadShort;
    case TransferStatus::Failed:
        break;
    }
    return kChecksumReadFailed;
}

}  // namespace

ResultCode DecompressFile(HWND frame, HANDLE cancel, HANDLE reply, const wchar_t* containerPath,
                          const wchar_t* targetPath, bool* replaceAll, wchar_t* leftParked)
{
    if (leftParked != nullptr)
        leftParked[0] = 0;
    PostPhase(frame, kPhasePrepareDecompress);

    FileHandle container;
    ContainerHeader header;
    uint64_t streamLength = 0;
    ResultCode result = OpenContainer(cancel, containerPath, &container, &header, &streamLength);
    if (result != 0)
        return result;

    if (replaceAll != nullptr && !*replaceAll && PathExists(targetPath)) {
        result = AskReplace(frame, reply, kReplaceModeDecompress, replaceAll);
        if (result != 0)
            return result;
    }

    wchar_t root[kPathUnits];
    ULARGE_INTEGER freeBytes;
    if (!VolumeRoot(targetPath, root) || !GetDiskFreeSpaceExW(root, &freeBytes, nullptr, nullptr))
        return kDecompressFreeSpaceUnreadable;
    const uint64_t available = freeBytes.QuadPart;
    const uint64_t containerSize = streamLength + kContainerOverhead;

    if (available > header.sourceSize) {
        PostPhase(frame, kPhaseDecompress);
        result = DecompressToTarget(frame, cancel, container.Get(), header, streamLength, targetPath);
        container.Reset();
        if (result == 0)
            DeleteFileNotify(containerPath);
        return result;
    }
    // available + containerSize > sourceSize, without overflow.
    if (header.sourceSize - available >= containerSize)
        return kDecompressNoSpace;

    container.Reset();
    wchar_t parkedPath[kPathUnits];
    result = MoveToTempFolder(frame, cancel, containerPath, parkedPath);
    if (result != 0)
        return result;
    result = DecompressParked(frame, cancel, parkedPath, targetPath);
    if (result != 0) {
        PostPhase(frame, kPhaseEndDecompress);
        const ResultCode back = RestoreFromTemp(frame, cancel, parkedPath, containerPath);
        if (back != 0) {
            // The container is only in the temporary folder: the user is
            // told where.
            if (leftParked != nullptr)
                lstrcpynW(leftParked, parkedPath, kPathUnits);
            return back;
        }
    }
    return result;
}

ResultCode DecompressToTarget(HWND frame, HANDLE cancel, HANDLE container, const ContainerHeader& header,
                              uint64_t streamLength, const wchar_t* targetPath, const wchar_t* parkedPath)
{
    wchar_t tempPath[kPathUnits];
    if (Utf16Length(targetPath) > kMaxOutputPath || !JoinPath(tempPath, kPathUnits, targetPath, kTempSuffix))
        return kDecompressPathTooLong;

    FileHandle output;
    ResultCode result = CreateHiddenOutput(tempPath, &output);
    if (result != 0)
        return result;
    if (parkedPath != nullptr)
        NoteParkedJobOutput(parkedPath, tempPath);
    result = DecompressStreamToFile(frame, cancel, container, streamLength, output.Get(), header.sourceSize);
    if (result == 0) {
        const FILETIME creation = ToFileTime(header.creationTime);
        const FILETIME lastWrite = ToFileTime(header.lastWriteTime);
        SetFileTime(output.Get(), &creation, nullptr, &lastWrite);
    }
    output.Reset();
    NotifyCreated(tempPath);

    if (result != 0) {
        DeleteFileNotify(tempPath);
        return result;
    }
    if (!MoveIntoPlace(tempPath, targetPath)) {
        DeleteFileNotify(tempPath);
        return kDecompressMoveFailed;
    }
    // A file left hidden is not reported as restored: the job fails, the
    // container stays and the hidden file goes again.
    if (!FileStepsApi().setFileAttributes(targetPath, header.attributes)) {
        DeleteFileNotify(targetPath);
        return kDecompressAttributesNotSet;
    }
    NotifyAttributesChanged(targetPath);
    return 0;
}

ResultCode DecompressStreamToFile(HWND frame, HANDLE cancel, HANDLE container, uint64_t streamLength,
                                  HANDLE output, uint64_t sourceSize)
{
    static const TransferCodes kCodes = {kDecodeReadShort, kDecodeReadFailed, kDecodeWriteShort,
                                         kDecodeWriteFailed, kDecodeWriteFailed};
    FileByteSource in(container, streamLength, kCodes);
    FileByteSink out(output, kCodes);
    JobStreamHooks job(frame, cancel, sourceSize, true);
    uint32_t checksum = 0;
    RelcStreamOptions options;
    options.byteSum = &checksum;
    options.expectedSize = sourceSize;
    options.hooks = &job.hooks;
    const StreamResult result =
        RelcDecodeStream(in, out, {g_packedBuffer, kPackedBufferSize, g_plainBuffer, kPlainBufferSize}, options);
    switch (result.status) {
    case StreamStatus::Ok:
        break;
    case StreamStatus::Cancelled:
        return kResultCancelled;
    case StreamStatus::ReadFailed:
        return in.Error();
    case StreamStatus::WriteFailed:
        return out.Error();
    case StreamStatus::Corrupt:
        return kDecodeCodecBase | (result.codecStatus & 0xFF);
    case StreamStatus::SizeChanged:
        return kDamagedSizeMismatch;
    case StreamStatus::TrailingData:
        // Bytes read with the end marker, or found only by reading on.
        return result.unusedInput != 0 ? kDamagedTrailingBytes : kDamagedStreamShort;
    case StreamStatus::EmptyInput:
    case StreamStatus::Truncated:
    case StreamStatus::Stalled:
        return kDamagedNoEndMarker;
    }
    uint32_t stored = 0;
    const ResultCode read = ReadStoredChecksum(container, &stored);
    if (read != 0)
        return read;
    return stored == checksum ? 0 : kDamagedChecksum;
}
