// The container header's byte layout and the checksum, as other programs
// (and older containers) see them.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "container/container_header.h"
#include "container/result_code.h"

namespace {

TEST(ContainerHeader, LayoutIsLittleEndianAtFixedOffsets)
{
    ContainerHeader header = NewContainerHeader();
    header.attributes = 0x00002021;
    header.sourceSize = 0x0000000123456789ull;
    header.creationTime = 0x01D9A1B2C3D4E5F6ull;
    header.lastWriteTime = 0x01DA000000000001ull;
    uint8_t bytes[kContainerHeaderSize];
    std::memset(bytes, 0xCC, sizeof bytes);
    EncodeContainerHeader(header, bytes);

    const uint8_t expected[kContainerHeaderSize] = {
        'K', 'R', ' ', 'T', 'D', ' ', 'F', 'O', 'R', 'M', 'A', 'T', '1', '.', '0', '0',
        56, 0, 0, 0,  0, 0, 0, 0,  0, 0, 0, 0,           // headerSize, two reserved
        0x21, 0x20, 0, 0,                                 // attributes
        0x89, 0x67, 0x45, 0x23, 0x01, 0, 0, 0,            // sourceSize
        0xF6, 0xE5, 0xD4, 0xC3, 0xB2, 0xA1, 0xD9, 0x01,   // creationTime
        0x01, 0, 0, 0, 0, 0, 0xDA, 0x01,                  // lastWriteTime
    };
    EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 56), std::vector<uint8_t>(expected, expected + 56));

    const ContainerHeader back = DecodeContainerHeader(bytes);
    EXPECT_TRUE(HasContainerMagic(back));
    EXPECT_EQ(back.headerSize, 56u);
    EXPECT_EQ(back.attributes, header.attributes);
    EXPECT_EQ(back.sourceSize, header.sourceSize);
    EXPECT_EQ(back.creationTime, header.creationTime);
    EXPECT_EQ(back.lastWriteTime, header.lastWriteTime);
}

TEST(ContainerHeader, ReaderIgnoresSizeAndReservedFieldsButNotTheMagic)
{
    uint8_t bytes[kContainerHeaderSize];
    EncodeContainerHeader(NewContainerHeader(), bytes);
    bytes[16] = 99;  // headerSize
    bytes[20] = 1;
    bytes[27] = 0xFF;
    EXPECT_TRUE(HasContainerMagic(DecodeContainerHeader(bytes)));
    bytes[15] = '1';  // "FORMAT1.01"
    EXPECT_FALSE(HasContainerMagic(DecodeContainerHeader(bytes)));
    bytes[15] = '0';
    bytes[0] = 'k';   // the magic is compared with case
    EXPECT_FALSE(HasContainerMagic(DecodeContainerHeader(bytes)));
}

TEST(ContainerChecksum, SumsUnsignedBytesModulo2To32)
{
    uint32_t sum = 0;
    const uint8_t abc[] = {'a', 'b', 'c'};
    AddToChecksum(abc, 3, &sum);
    EXPECT_EQ(sum, 0x126u);
    uint8_t stored[kContainerChecksumSize];
    EncodeChecksum(sum, stored);
    EXPECT_EQ(std::vector<uint8_t>(stored, stored + 4), (std::vector<uint8_t>{0x26, 0x01, 0x00, 0x00}));
    EXPECT_EQ(DecodeChecksum(stored), 0x126u);

    // Bytes above 127 count as unsigned, pieces of any length add up to the
    // whole, and the sum wraps.
    std::vector<uint8_t> data(100003);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i * 7919 + 13);
    uint32_t whole = 0;
    AddToChecksum(data.data(), data.size(), &whole);
    uint64_t reference = 0;
    for (uint8_t b : data)
        reference += b;
    EXPECT_EQ(whole, static_cast<uint32_t>(reference));
    for (size_t piece : {1u, 3u, 5u, 4096u}) {
        uint32_t pieces = 0;
        for (size_t at = 0; at < data.size(); at += piece)
            AddToChecksum(data.data() + at, std::min(piece, data.size() - at), &pieces);
        EXPECT_EQ(pieces, whole) << "pieces of " << piece;
    }
    uint32_t wrapped = 0xFFFFFF00u;
    const uint8_t ff[] = {0xFF, 0x02};
    AddToChecksum(ff, 2, &wrapped);
    EXPECT_EQ(wrapped, 0x1u);
}

TEST(ResultCodes, ClassificationFollowsTheKind)
{
    for (ResultCode handled : {kResultDone, kResultCancelled, kResultDeclined, kResultInUse, kSkipSmallFile,
                               kSkipHiddenOrSystem, kHeaderTooShort, kHeaderWrongMagic, kSkipRecycleBin,
                               kJobPathTooLong, kOpenNotFound}) {
        EXPECT_TRUE(IsHandledWithoutFailure(handled)) << std::hex << handled;
        EXPECT_FALSE(IsFailure(handled)) << std::hex << handled;
    }
    for (ResultCode failed : {kContainerWithoutExtension, kDecodeCodecBase | 11, kDamagedNoEndMarker,
                              kEncodeWriteDiskFull, kParkSourceInUse, kOpenFailed, kRestoreMoveFailed}) {
        EXPECT_TRUE(IsFailure(failed)) << std::hex << failed;
        EXPECT_TRUE(IsReportedToUser(failed)) << std::hex << failed;
    }
    EXPECT_FALSE(IsPassedOver(kResultInUse));
    EXPECT_TRUE(IsPassedOver(kHeaderWrongMagic));
    // Passed over, yet the user is told: the name was too long for the job.
    EXPECT_TRUE(IsPassedOver(kJobPathTooLong));
    EXPECT_TRUE(IsReportedToUser(kJobPathTooLong));
    EXPECT_FALSE(IsReportedToUser(kSkipSmallFile));
    EXPECT_EQ(ResultKind(kDamagedNoEndMarker), kKindDamaged);
    EXPECT_EQ(ResultKind(kDecodeCodecBase | 11), kKindCodec + 11);
}

}  // namespace
