// Makes a decoder seed for the fuzzers: two call-pattern bytes, then the
// relc stream of a slice of a file.
//   seed_encode IN OFFSET LENGTH PATTERN0 PATTERN1 OUT
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "codec/relc_driver.h"

int main(int argc, char** argv)
{
    if (argc != 7) {
        std::fprintf(stderr, "usage: seed_encode IN OFFSET LENGTH PATTERN0 PATTERN1 OUT\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t offset = std::strtoul(argv[2], nullptr, 10);
    size_t length = std::strtoul(argv[3], nullptr, 10);
    if (offset >= file.size()) {
        std::fprintf(stderr, "seed_encode: %s is shorter than %zu bytes\n", argv[1], offset);
        return 1;
    }
    if (length > file.size() - offset)
        length = file.size() - offset;

    std::vector<uint8_t> seed = {static_cast<uint8_t>(std::strtoul(argv[4], nullptr, 0)),
                                 static_cast<uint8_t>(std::strtoul(argv[5], nullptr, 0))};
    std::vector<uint8_t> out(RelcStreamBound(length));
    const StreamResult r = RelcEncodeMemory(file.data() + offset, length, out.data(), out.size());
    if (length == 0 || r.status != StreamStatus::Ok)
        return 1;
    seed.insert(seed.end(), out.begin(), out.begin() + r.bytesOut);
    std::ofstream(argv[6], std::ios::binary).write(reinterpret_cast<const char*>(seed.data()), seed.size());
    return 0;
}
