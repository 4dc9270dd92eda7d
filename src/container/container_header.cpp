#include "container/container_header.h"

#include <cstring>

#include "codec/relc_driver.h"

namespace {

void Put32(uint8_t* at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<uint8_t>(value >> (8 * i));
}

void Put64(uint8_t* at, uint64_t value)
{
    Put32(at, static_cast<uint32_t>(value));
    Put32(at + 4, static_cast<uint32_t>(value >> 32));
}

uint32_t Get32(const uint8_t* at)
{
    return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
}

uint64_t Get64(const uint8_t* at)
{
    return uint64_t(Get32(at)) | uint64_t(Get32(at + 4)) << 32;
}

}  // namespace

ContainerHeader NewContainerHeader()
{
    ContainerHeader header{};
    std::memcpy(header.magic, kContainerMagic, kContainerMagicSize);
    header.headerSize = kContainerHeaderSize;
    return header;
}

void EncodeContainerHeader(const ContainerHeader& header, uint8_t (&bytes)[kContainerHeaderSize])
{
    std::memcpy(bytes, header.magic, kContainerMagicSize);
    Put32(bytes + 16, header.headerSize);
    Put32(bytes + 20, header.reserved1);
    Put32(bytes + 24, header.reserved2);
    Put32(bytes + 28, header.attributes);
    Put64(bytes + 32, header.sourceSize);
    Put64(bytes + 40, header.creationTime);
    Put64(bytes + 48, header.lastWriteTime);
}

ContainerHeader DecodeContainerHeader(const uint8_t (&bytes)[kContainerHeaderSize])
{
    ContainerHeader header;
    std::memcpy(header.magic, bytes, kContainerMagicSize);
    header.headerSize = Get32(bytes + 16);
    header.reserved1 = Get32(bytes + 20);
    header.reserved2 = Get32(bytes + 24);
    header.attributes = Get32(bytes + 28);
    header.sourceSize = Get64(bytes + 32);
    header.creationTime = Get64(bytes + 40);
    header.lastWriteTime = Get64(bytes + 48);
    return header;
}

bool HasContainerMagic(const ContainerHeader& header)
{
    return std::memcmp(header.magic, kContainerMagic, kContainerMagicSize) == 0;
}

void AddToChecksum(const uint8_t* bytes, size_t count, uint32_t* sum)
{
    RelcAddByteSum(bytes, count, sum);
}

void EncodeChecksum(uint32_t sum, uint8_t (&bytes)[kContainerChecksumSize])
{
    Put32(bytes, sum);
}

uint32_t DecodeChecksum(const uint8_t (&bytes)[kContainerChecksumSize])
{
    return Get32(bytes);
}
