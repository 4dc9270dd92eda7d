#include "container/container_file_io.h"

#include "container/file_transfer.h"

ResultCode WriteContainerHeader(HANDLE file, const ContainerHeader& header)
{
    uint8_t bytes[kContainerHeaderSize];
    EncodeContainerHeader(header, bytes);
    switch (WriteFully(file, bytes, kContainerHeaderSize)) {
    case TransferStatus::Complete:
        return 0;
    case TransferStatus::Short:
        return kHeaderWriteShort;
    case TransferStatus::Failed:
        break;
    }
    return LastErrorIsDiskFull() ? kHeaderWriteDiskFull : kHeaderWriteFailed;
}

ResultCode ReadContainerHeader(HANDLE file, ContainerHeader* header)
{
    uint8_t bytes[kContainerHeaderSize];
    switch (ReadFully(file, bytes, kContainerHeaderSize)) {
    case TransferStatus::Complete:
        break;
    case TransferStatus::Short:
        return kHeaderTooShort;
    case TransferStatus::Failed:
        return kHeaderReadFailed;
    }
    *header = DecodeContainerHeader(bytes);
    return HasContainerMagic(*header) ? 0 : kHeaderWrongMagic;
}
