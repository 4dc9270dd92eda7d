#include "container/decompress_file.h"

#include <cstring>

#include "codec/relc.h"
#include "container/ask_replace.h"
#include "container/container_file_io.h"
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

// Two calls in a row that neither take nor give a byte, with nothing left
// to read, can only repeat for ever.
constexpr int kMaxIdleDecodeCalls = 2;

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
    RelcInitDecoder();
    uint32_t held = 0;
    uint64_t remaining = streamLength;
    uint64_t written = 0;
    uint32_t checksum = 0;
    uint32_t status = RELC_NEED_INPUT | RELC_OUTPUT_FULL;
    int idleCalls = 0;
    for (;;) {
        if (IsSignalled(cancel))
            return kResultCancelled;

        if ((status & RELC_NEED_INPUT) != 0) {
            const uint64_t room = kPackedBufferSize - held;
            const uint32_t want = static_cast<uint32_t>(remaining < room ? remaining : room);
            if (want != 0) {
                switch (ReadFully(container, g_packedBuffer + held, want)) {
                case TransferStatus::Complete:
                    break;
                case TransferStatus::Short:
                    return kDecodeReadShort;
                case TransferStatus::Failed:
                    return kDecodeReadFailed;
                }
                held += want;
                remaining -= want;
            }
        }

        uint32_t inLen = held;
        uint32_t outLen = static_cast<uint32_t>(kPlainBufferSize);
        status = RelcDecode(g_packedBuffer, g_plainBuffer, &inLen, &outLen);
        if ((status & 0xFF) != 0)
            return kDecodeCodecBase | (status & 0xFF);

        if (outLen != 0) {
            // More bytes than the header promised: damaged, and no reason
            // to let the rest fill the disk before saying so.
            if (outLen > sourceSize - written)
                return kDamagedSizeMismatch;
            switch (WriteFully(output, g_plainBuffer, outLen)) {
            case TransferStatus::Complete:
                break;
            case TransferStatus::Short:
                return kDecodeWriteShort;
            case TransferStatus::Failed:
                return kDecodeWriteFailed;
            }
            AddToChecksum(g_plainBuffer, outLen, &checksum);
            written += outLen;
            PostProgress(frame, ProgressPercent(written, sourceSize));
        }

        std::memmove(g_packedBuffer, g_packedBuffer + inLen, held - inLen);
        held -= inLen;

        if ((status & RELC_STREAM_END) != 0) {
            if (held != 0)
                return kDamagedTrailingBytes;
            if (remaining != 0)
                return kDamagedStreamShort;
            if (written != sourceSize)
                return kDamagedSizeMismatch;
            uint32_t stored = 0;
            const ResultCode result = ReadStoredChecksum(container, &stored);
            if (result != 0)
                return result;
            return stored == checksum ? 0 : kDamagedChecksum;
        }

        // Every stream byte read and taken, nothing waiting for room, and
        // still no end marker: the stream was cut short.
        if (remaining == 0) {
            const bool starved = (status & RELC_NEED_INPUT) != 0 && (status & RELC_OUTPUT_FULL) == 0;
            idleCalls = (inLen == 0 && outLen == 0) ? idleCalls + 1 : 0;
            if (starved || idleCalls >= kMaxIdleDecodeCalls)
                return kDamagedNoEndMarker;
        }
    }
}
