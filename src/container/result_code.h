// Result codes of the file operations and how the rest of the program reads
// them.
//
// 0 done, 1 cancelled, 2 declined, 3 still in use. Any other code names the
// operation and step in its high 16 bits and a kind in its low 16 bits:
// kinds below 0x8000 pass the file over (the job counts as handled), kinds
// from 0x8000 up are failures.
//
// Portable: no platform headers.
#pragma once

#include <cstdint>

using ResultCode = uint32_t;

constexpr ResultCode kResultDone      = 0;
constexpr ResultCode kResultCancelled = 1;  // also: skipped after an earlier cancel
constexpr ResultCode kResultDeclined  = 2;  // the user kept the existing target
constexpr ResultCode kResultInUse     = 3;  // another program kept the source open

// Kinds (low 16 bits).
constexpr uint32_t kKindPassedOver     = 0x1000;  // below the size limit
constexpr uint32_t kKindNotForUs       = 0x1001;  // container, .tmp, own program, hidden, not a container
constexpr uint32_t kKindMissing        = 0x1002;  // source vanished before the job ran
constexpr uint32_t kKindPathTooLong    = 0x1003;
constexpr uint32_t kKindFailedOpen     = 0x8000;  // opens and queries
constexpr uint32_t kKindFailedRead     = 0x8001;
constexpr uint32_t kKindFailedWrite    = 0x8002;  // creates, writes, moves, deletes
constexpr uint32_t kKindDamaged        = 0x8005;  // the container is damaged
constexpr uint32_t kKindCodec          = 0x9000;  // + the codec's error byte
constexpr uint32_t kKindDiskFull       = 0xA000;  // disk full or too little free space
constexpr uint32_t kKindFileInUse      = 0xA001;

// Eligibility (special names, size and attributes).
constexpr ResultCode kSkipContainer       = 0x10001001;
constexpr ResultCode kSkipTmpFile         = 0x10011001;
constexpr ResultCode kSkipOwnProgram      = 0x10021001;
// Parking the source in the temporary folder.
constexpr ResultCode kParkNoTempFolder    = 0x20008002;
constexpr ResultCode kParkNoUniqueName    = 0x20018002;
constexpr ResultCode kParkCopyFailed      = 0x20028002;
constexpr ResultCode kParkSourceUndeletable = 0x20038002;
constexpr ResultCode kParkSourceInUse     = 0x2004A001;
constexpr ResultCode kParkSourceUnopenable = 0x20058002;
// No free name can be reserved beside the original for its way back.
constexpr ResultCode kParkNoWayBack       = 0x20068002;
// Opening the source.
constexpr ResultCode kOpenNotFound        = 0x30001002;
constexpr ResultCode kOpenFailed          = 0x30018000;
// The hidden .tmp output.
constexpr ResultCode kOutputNotCreatable  = 0x40008002;
// Building the container header from the source.
constexpr ResultCode kHeaderSizeUnreadable = 0x50008000;
constexpr ResultCode kSkipSmallFile       = 0x50011000;
constexpr ResultCode kSkipHiddenOrSystem  = 0x50021001;
constexpr ResultCode kHeaderTimesUnreadable = 0x50038001;
// Writing and reading the container header.
constexpr ResultCode kHeaderWriteDiskFull = 0x6000A000;
constexpr ResultCode kHeaderWriteFailed   = 0x60018002;
constexpr ResultCode kHeaderWriteShort    = 0x60028002;
constexpr ResultCode kHeaderReadFailed    = 0x70008001;
constexpr ResultCode kHeaderTooShort      = 0x70011001;
constexpr ResultCode kHeaderWrongMagic    = 0x70021001;
// Compressing the stream.
constexpr ResultCode kEncodeInitRefused   = 0x80008001;
constexpr ResultCode kEncodeReadFailed    = 0x80018001;
constexpr ResultCode kEncodeReadShort     = 0x80028001;
constexpr ResultCode kEncodeCodecBase     = 0x80039000;  // | codec error byte
constexpr ResultCode kEncodeWriteDiskFull = 0x8004A000;
constexpr ResultCode kEncodeWriteFailed   = 0x80058002;
constexpr ResultCode kEncodeWriteShort    = 0x80068002;
constexpr ResultCode kChecksumWriteDiskFull = 0x8007A000;
constexpr ResultCode kChecksumWriteFailed = 0x80088002;
constexpr ResultCode kChecksumWriteShort  = 0x80098002;
// Decompressing the stream.
constexpr ResultCode kDecodeReadFailed    = 0x90018001;
constexpr ResultCode kDecodeReadShort     = 0x90028001;
constexpr ResultCode kDecodeCodecBase     = 0x90039000;  // | codec error byte (11: damaged stream)
constexpr ResultCode kDecodeWriteFailed   = 0x90048002;  // a full disk included
constexpr ResultCode kDecodeWriteShort    = 0x90058002;
constexpr ResultCode kDamagedTrailingBytes = 0x90068005;  // bytes behind the end marker, read with it
constexpr ResultCode kDamagedStreamShort  = 0x90078005;  // end marker before the stated length
constexpr ResultCode kDamagedSizeMismatch = 0x90088005;  // restored size differs from the header's
constexpr ResultCode kChecksumReadFailed  = 0x90098005;
constexpr ResultCode kChecksumReadShort   = 0x900A8005;
constexpr ResultCode kDamagedChecksum     = 0x900B8005;
// The stream ends (all of its stated length read and decoded) without an
// end-of-stream marker: the container was cut short or its length lies.
constexpr ResultCode kDamagedNoEndMarker  = 0x900C8005;
// The finished file is in place but keeps the hidden attribute (its final
// attributes could not be set): it is deleted again and the source kept.
constexpr ResultCode kCompressAttributesNotSet = 0xA0028002;
constexpr ResultCode kDecompressAttributesNotSet = 0xB0028002;
// Putting the finished file in place.
constexpr ResultCode kCompressPathTooLong = 0xA0008002;
constexpr ResultCode kCompressMoveFailed  = 0xA0018002;
constexpr ResultCode kDecompressPathTooLong = 0xB0008002;
constexpr ResultCode kDecompressMoveFailed = 0xB0018002;
constexpr ResultCode kCompressFreeSpaceUnreadable = 0xC0008002;
constexpr ResultCode kContainerSizeUnreadable = 0xD0008000;
constexpr ResultCode kDecompressFreeSpaceUnreadable = 0xD0018002;
constexpr ResultCode kDecompressNoSpace   = 0xD001A000;
// Naming rules applied when a job starts.
constexpr ResultCode kSkipRecycleBin      = 0xE0001001;
constexpr ResultCode kJobPathTooLong      = 0xE0001003;
constexpr ResultCode kContainerWithoutExtension = 0xE0018002;
// Putting a parked file back (the callers go on with their own failure).
constexpr ResultCode kRestoreAttributesUnreadable = 0xF0008002;
constexpr ResultCode kRestoreAttributesNotSet = 0xF0018002;
constexpr ResultCode kRestoreCopyFailed   = 0xF0028002;
// The copy could not be moved to the old name (something took the name
// meanwhile); the parked copy is kept.
constexpr ResultCode kRestoreMoveFailed   = 0xF0038002;

constexpr uint32_t ResultKind(ResultCode code) { return code & 0xFFFF; }

// Done, cancelled, declined, in use and every passed-over kind: the job
// counts as handled without failure.
constexpr bool IsHandledWithoutFailure(ResultCode code) { return ResultKind(code) < 0x8000; }

constexpr bool IsFailure(ResultCode code) { return !IsHandledWithoutFailure(code); }

// A coded result whose kind passes the file over (small, hidden, not a
// container, recycle bin, path too long ...).
constexpr bool IsPassedOver(ResultCode code)
{
    return code > kResultInUse && ResultKind(code) < 0x8000;
}

// Whether the window tells the user: every failure, and a path too long for
// the job although that one counts as passed over.
constexpr bool IsReportedToUser(ResultCode code)
{
    return (code & 0x8000) != 0 || ResultKind(code) == kKindPathTooLong;
}
