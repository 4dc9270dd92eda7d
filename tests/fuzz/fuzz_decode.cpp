// Fuzz target: the relc decoder on arbitrary bytes.
//
// Input: one byte choosing the offer sizes, one the output rooms, then the
// stream. The stream is decoded twice, in one offer with a room larger than
// a window and in the chosen pieces; neither may touch memory outside what
// it was given, and both must deliver the same bytes and end the same way:
// how a stream is cut into calls must not change what it decodes to, even
// when it is corrupt.
#include <algorithm>

#include "fuzz_support.h"

using namespace relc_fuzz;

namespace {

// Enough for any room pattern to get through a few whole windows.
constexpr size_t kMaxChunkedCalls = 1u << 17;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const uint8_t* stream = data + 2;
    const size_t streamSize = size - 2;

    // A single offer, drained through a room that always holds a window.
    const DecodeResult whole =
        DecodeChunked(stream, streamSize, SizeSequence(15), SizeSequence(14), 4 * streamSize + 64);
    FUZZ_CHECK(whole.end != DecodeEnd::OutOfCalls, "decoder makes no progress");

    const DecodeResult pieces =
        DecodeChunked(stream, streamSize, SizeSequence(data[0]), SizeSequence(data[1]), kMaxChunkedCalls);
    const std::vector<uint8_t>& a = whole.output;
    const std::vector<uint8_t>& b = pieces.output;
    FUZZ_CHECK(b.size() <= a.size() && std::equal(b.begin(), b.end(), a.begin()),
               "decoded bytes depend on how the stream was offered");
    if (pieces.end == DecodeEnd::OutOfCalls)
        return 0;
    FUZZ_CHECK(pieces.end == whole.end, "the stream ends differently depending on how it was offered");
    FUZZ_CHECK(b.size() == a.size(), "decoded length depends on how the stream was offered");
    if (whole.end == DecodeEnd::StreamEnd)
        FUZZ_CHECK(pieces.taken == whole.taken, "stream length depends on how the stream was offered");
    return 0;
}
