// relc_encode_profile: relc encoding beside zlib level 1 in thread CPU time,
// for a shared machine where wall-clock figures swing with the load, and
// as a steady driver for perf or callgrind (--runs 1).
//
//   relc_encode_profile [--runs N] [FILE...]   (default: the benchmark's corpus list, 10 runs)
//
// Each file is encoded by both codecs in turn, run by run; the figure kept
// per file and codec is the fastest run; MB/s is 10^6 input bytes per CPU
// second over all files.
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "codec/relc_driver.h"

namespace {

double CpuSeconds()
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

std::vector<uint8_t> ReadAll(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

}  // namespace

int main(int argc, char** argv)
{
    int runs = 10;
    std::vector<std::string> paths;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else
            paths.emplace_back(argv[i]);
    }
    if (paths.empty()) {
        // The benchmark's fixed list of corpus files, so that both measure
        // the same bytes.
        std::ifstream list(TDZ_CORPUS_LIST);
        std::string name;
        while (std::getline(list, name))
            if (!name.empty() && name[0] != '#') paths.push_back(std::string(TDZ_CORPUS_DIR) + "/" + name);
    }

    double relcTotal = 0, zlibTotal = 0;
    uint64_t bytes = 0;
    for (const std::string& p : paths) {
        const std::vector<uint8_t> in = ReadAll(p);
        if (in.empty()) continue;
        std::vector<uint8_t> out(std::max<uint64_t>(RelcStreamBound(in.size()), compressBound(uLong(in.size()))));
        double relcBest = 1e30, zlibBest = 1e30;
        for (int r = 0; r < runs; ++r) {
            double t0 = CpuSeconds();
            const StreamResult s = RelcEncodeMemory(in.data(), in.size(), out.data(), out.size());
            relcBest = std::min(relcBest, CpuSeconds() - t0);
            uLongf zn = uLongf(out.size());
            t0 = CpuSeconds();
            const int z = compress2(out.data(), &zn, in.data(), uLong(in.size()), 1);
            zlibBest = std::min(zlibBest, CpuSeconds() - t0);
            if (s.status != StreamStatus::Ok || z != Z_OK) {
                std::fprintf(stderr, "relc_encode_profile: %s failed to encode\n", p.c_str());
                return 1;
            }
        }
        relcTotal += relcBest;
        zlibTotal += zlibBest;
        bytes += in.size();
    }
    if (bytes == 0) {
        std::fprintf(stderr, "relc_encode_profile: no input\n");
        return 1;
    }
    std::printf("relc %.1f MB/s, zlib-1 %.1f MB/s: relc at %.2fx zlib-1 (CPU time, %d runs, %llu bytes)\n",
                double(bytes) / relcTotal / 1e6, double(bytes) / zlibTotal / 1e6, zlibTotal / relcTotal, runs,
                static_cast<unsigned long long>(bytes));
    return 0;
}
