#include "relc_commands.h"

#include <cstdint>
#include <vector>

#include "file_stream.h"
#include "report.h"
#include "stream_io.h"

namespace {

// The encoder must be told the size up front; a pipe's size is known only
// once it has been read to the end.
[[nodiscard]] bool ReadAll(ByteSource& in, std::vector<uint8_t>* data)
{
    size_t used = 0;
    for (;;) {
        data->resize(used + kStreamBufferSize);
        const size_t n = in.Read(data->data() + used, kStreamBufferSize);
        used += n;
        if (n < kStreamBufferSize)
            break;
    }
    data->resize(used);
    return !in.Failed();
}

std::string Describe(const StreamResult& result, const InputFile& in, const OutputFile& out,
                     const std::string& inPath)
{
    const std::string offset = std::to_string(result.inputOffset);
    switch (result.status) {
    case StreamStatus::Ok:
        return "ok";
    case StreamStatus::ReadFailed:
        return in.Error();
    case StreamStatus::WriteFailed:
        return out.Error();
    case StreamStatus::EmptyInput:
        return "empty input: relc cannot encode 0 bytes";
    case StreamStatus::SizeChanged:
        return "'" + inPath + "' changed size while being read";
    case StreamStatus::Corrupt:
        return "corrupt relc stream at input offset " + offset;
    case StreamStatus::Truncated:
        return "truncated relc stream: input ends at offset " + offset +
               " without the end-of-stream marker";
    case StreamStatus::TrailingData:
        return "trailing data after the end of the relc stream at input offset " + offset;
    case StreamStatus::Stalled:
        return "internal error: the codec stopped making progress at input offset " + offset;
    }
    return "unknown failure";
}

}  // namespace

int RunEncodeCommand(const std::string& inPath, const std::string& outPath)
{
    constexpr char kCommand[] = "encode";
    InputFile in;
    if (!in.Open(inPath))
        return ReportFailure(kCommand, in.Error());

    uint64_t size = 0;
    std::vector<uint8_t> whole;
    const bool sized = in.KnownSize(&size);
    if (!sized) {
        if (!ReadAll(in, &whole))
            return ReportFailure(kCommand, in.Error());
        size = whole.size();
    }
    // Refused before the output exists, so no empty file is left behind.
    if (size == 0)
        return ReportFailure(kCommand, "empty input: relc cannot encode 0 bytes");

    OutputFile out;
    if (!out.Open(outPath))
        return ReportFailure(kCommand, out.Error());
    MemorySource memory(whole.data(), whole.size());
    ByteSource& source = sized ? static_cast<ByteSource&>(in) : memory;
    const StreamResult result = EncodeRelcStream(source, size, out);
    if (result.status != StreamStatus::Ok)
        return ReportFailure(kCommand, Describe(result, in, out, inPath));
    if (!out.Commit())
        return ReportFailure(kCommand, out.Error());
    return kExitOk;
}

int RunDecodeCommand(const std::string& inPath, const std::string& outPath)
{
    constexpr char kCommand[] = "decode";
    InputFile in;
    if (!in.Open(inPath))
        return ReportFailure(kCommand, in.Error());
    OutputFile out;
    if (!out.Open(outPath))
        return ReportFailure(kCommand, out.Error());
    const StreamResult result = DecodeRelcStream(in, out);
    if (result.status != StreamStatus::Ok)
        return ReportFailure(kCommand, Describe(result, in, out, inPath));
    if (!out.Commit())
        return ReportFailure(kCommand, out.Error());
    return kExitOk;
}
