// The .tdz container: a 56-byte header, the relc stream of the source bytes
// and a 4-byte checksum, all integers little-endian:
//
//   0   16  magic "KR TD FORMAT1.00"
//   16   4  headerSize (56)        20, 24: reserved, 0
//   28   4  attributes of the source
//   32   8  sourceSize
//   40   8  creationTime   (100 ns since 1601-01-01 UTC)
//   48   8  lastWriteTime
//   56   L  relc stream, then the checksum (sum of the source bytes mod 2^32)
//
// The file is L + 60 bytes long; a reader takes L from the file size and
// never searches for the stream's end. The name is not stored inside.
//
// Portable: no platform headers. Reading and writing through file handles is
// container_file_io.h.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint32_t kContainerHeaderSize = 56;
constexpr uint32_t kContainerChecksumSize = 4;
constexpr uint32_t kContainerOverhead = kContainerHeaderSize + kContainerChecksumSize;
constexpr size_t kContainerMagicSize = 16;
constexpr char kContainerMagic[kContainerMagicSize + 1] = "KR TD FORMAT1.00";

struct ContainerHeader {
    uint8_t magic[kContainerMagicSize];
    uint32_t headerSize;
    uint32_t reserved1;
    uint32_t reserved2;
    uint32_t attributes;     // as the file system reports them (0x1 read-only, 0x20 archive ...)
    uint64_t sourceSize;
    uint64_t creationTime;   // the platform's file time
    uint64_t lastWriteTime;
};

// Zeros, the magic and headerSize 56: what a writer starts from.
[[nodiscard]] ContainerHeader NewContainerHeader();

void EncodeContainerHeader(const ContainerHeader& header, uint8_t (&bytes)[kContainerHeaderSize]);

// Takes every field as it stands; whether the magic matches is a separate
// question, and no other field is checked.
[[nodiscard]] ContainerHeader DecodeContainerHeader(const uint8_t (&bytes)[kContainerHeaderSize]);

[[nodiscard]] bool HasContainerMagic(const ContainerHeader& header);

// Adds each byte, as a value from 0 to 255, to *sum (mod 2^32).
void AddToChecksum(const uint8_t* bytes, size_t count, uint32_t* sum);

void EncodeChecksum(uint32_t sum, uint8_t (&bytes)[kContainerChecksumSize]);
[[nodiscard]] uint32_t DecodeChecksum(const uint8_t (&bytes)[kContainerChecksumSize]);
