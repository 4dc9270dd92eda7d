#include "relc_commands.h"

#include <cstdint>
#include <cstdio>
#include <vector>

#include "file_stream.h"
#include "pack_encoder.h"
#include "progress_line.h"
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
    case StreamStatus::Cancelled:
        return "interrupted";
    }
    return "unknown failure";
}

// No progress line among the output on a terminal.
bool ShowsProgress(const CommandLine& line)
{
    return !line.quiet && !(line.operands[1] == "-" && StdoutIsTerminal());
}

void ReportSizes(const CommandLine& line, const char* command, uint64_t in, uint64_t out)
{
    if (line.verbose)
        std::fprintf(stderr, "tdz: %s: '%s' -> '%s': %llu -> %llu bytes\n", command, line.operands[0].c_str(),
                     line.operands[1].c_str(), static_cast<unsigned long long>(in),
                     static_cast<unsigned long long>(out));
}

}  // namespace

int RunEncodeCommand(const CommandLine& line)
{
    constexpr char kCommand[] = "encode";
    const std::string& inPath = line.operands[0];
    const std::string& outPath = line.operands[1];
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
    ProgressLine progress(ShowsProgress(line), inPath, size);
    ProgressSource source(sized ? static_cast<ByteSource&>(in) : memory, progress);
    const StreamResult result = EncodeOnThreads(source, size, out, line.threads);
    progress.Clear();
    if (result.status != StreamStatus::Ok)
        return ReportFailure(kCommand, Describe(result, in, out, inPath));
    if (!out.Commit())
        return ReportFailure(kCommand, out.Error());
    ReportSizes(line, kCommand, size, result.bytesOut);
    return kExitOk;
}

int RunDecodeCommand(const CommandLine& line)
{
    constexpr char kCommand[] = "decode";
    const std::string& inPath = line.operands[0];
    const std::string& outPath = line.operands[1];
    InputFile in;
    if (!in.Open(inPath))
        return ReportFailure(kCommand, in.Error());
    OutputFile out;
    if (!out.Open(outPath))
        return ReportFailure(kCommand, out.Error());
    uint64_t size = 0;
    ProgressLine progress(ShowsProgress(line), inPath, in.KnownSize(&size) ? size : 0);
    ProgressSource source(in, progress);
    const StreamResult result = DecodeRelcStream(source, out);
    progress.Clear();
    if (result.status != StreamStatus::Ok)
        return ReportFailure(kCommand, Describe(result, in, out, inPath));
    if (!out.Commit())
        return ReportFailure(kCommand, out.Error());
    ReportSizes(line, kCommand, result.inputOffset, result.bytesOut);
    return kExitOk;
}
