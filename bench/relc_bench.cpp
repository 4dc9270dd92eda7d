// relc_bench: size, ratio and speed of relc beside zlib, LZ4 and memcpy, per
// file and over all files, as markdown tables for the README.
//
//   relc_bench [--runs N] [DIR|FILE...]     (default: the corpus files of
//                                            bench/corpus-files.txt, 5 runs)
//
// Each run times one whole file through one direction, the codecs taking
// turns run by run; the figure kept is the median of the runs. MB/s is 10^6 input bytes per second in both
// directions. Every round trip is checked; a mismatch aborts.
#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench_codecs.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Sample {
    std::string file;
    std::string codec;
    size_t size = 0;
    size_t compressed = 0;
    double encodeSeconds = 0;  // medians
    double decodeSeconds = 0;
};

[[noreturn]] void Die(const std::string& message)
{
    std::fprintf(stderr, "relc_bench: %s\n", message.c_str());
    std::exit(1);
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

template <typename F>
double TimeOnce(F&& f)
{
    const auto start = Clock::now();
    f();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Times one codec on one input, one run at a time, so that the runs of all
// codecs can be interleaved: a burst of load on a shared machine then slows
// every codec alike instead of one of them.
class Trial {
public:
    Trial(const BenchCodec& codec, const std::string& name, const std::vector<uint8_t>& input)
        : codec_(codec), name_(name), input_(input), packed_(codec.bound(input.size())), unpacked_(input.size())
    {
    }

    // Run 0 warms caches and code paths and is not counted.
    void Run(bool counted)
    {
        size_t n = 0;
        const double te = TimeOnce([&] { n = codec_.compress(input_.data(), input_.size(), packed_.data(), packed_.size()); });
        if (n == kCodecFailed || (packedSize_ != 0 && n != packedSize_))
            Die(std::string(codec_.name) + " failed to compress " + name_);
        packedSize_ = n;
        std::fill(unpacked_.begin(), unpacked_.end(), uint8_t{0x5A});
        size_t m = 0;
        const double td = TimeOnce([&] { m = codec_.decompress(packed_.data(), packedSize_, unpacked_.data(), unpacked_.size()); });
        if (m != input_.size() || unpacked_ != input_)
            Die(std::string(codec_.name) + " round trip MISMATCH on " + name_);
        if (counted) {
            encodeTimes_.push_back(te);
            decodeTimes_.push_back(td);
        }
    }

    Sample Result() const
    {
        return {name_, codec_.name, input_.size(), packedSize_, Median(encodeTimes_), Median(decodeTimes_)};
    }

private:
    const BenchCodec& codec_;
    std::string name_;
    const std::vector<uint8_t>& input_;
    std::vector<uint8_t> packed_;
    std::vector<uint8_t> unpacked_;
    size_t packedSize_ = 0;
    std::vector<double> encodeTimes_;
    std::vector<double> decodeTimes_;
};

double MBps(size_t bytes, double seconds) { return seconds > 0 ? bytes / seconds / 1e6 : 0; }

void PrintHeader(bool withFile)
{
    std::printf("|%s Codec | Size | Compressed | Ratio | Encode MB/s | Decode MB/s |\n", withFile ? " File |" : "");
    std::printf("|%s---|---:|---:|---:|---:|---:|\n", withFile ? "---|" : "");
}

void PrintRow(const Sample& s, bool withFile)
{
    if (withFile)
        std::printf("| %s ", s.file.c_str());
    std::printf("| %s | %zu | %zu | %.2f | %.1f | %.1f |\n", s.codec.c_str(), s.size, s.compressed,
                static_cast<double>(s.size) / s.compressed, MBps(s.size, s.encodeSeconds),
                MBps(s.size, s.decodeSeconds));
}

// Files named on the command line, or the regular files of the folders named
// (the corpus's README describes it and is not data).
std::vector<fs::path> ListInputs(const std::vector<std::string>& args)
{
    std::vector<fs::path> files;
    for (const std::string& arg : args) {
        std::error_code ec;
        if (fs::is_directory(arg, ec)) {
            std::vector<fs::path> inDir;
            for (const auto& entry : fs::directory_iterator(arg, ec)) {
                const std::string leaf = entry.path().filename().string();
                if (entry.is_regular_file(ec) && leaf.rfind("README", 0) != 0)
                    inDir.push_back(entry.path());
            }
            std::sort(inDir.begin(), inDir.end());
            files.insert(files.end(), inDir.begin(), inDir.end());
        } else if (fs::is_regular_file(arg, ec)) {
            files.emplace_back(arg);
        } else {
            Die("no such file or folder: " + arg);
        }
    }
    return files;
}

std::vector<uint8_t> ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.eof() && in.fail())
        Die("cannot read " + path.string());
    return data;
}

const Sample& Find(const std::vector<Sample>& totals, const char* codec)
{
    for (const Sample& s : totals)
        if (s.codec == codec)
            return s;
    Die(std::string("no total for ") + codec);
}

// The corpus packed as tdz pack FILE... packs it, on one thread and on two,
// the two runs taking turns: seconds for the whole run, medians.
struct PackRun {
    size_t bytes = 0;
    double serialSeconds = 0;
    double twoThreadSeconds = 0;
};

PackRun MeasurePackRun(const std::vector<std::vector<uint8_t>>& inputs, int runs)
{
    PackRun run;
    for (const std::vector<uint8_t>& input : inputs)
        run.bytes += input.size();
    std::vector<double> serial, two;
    std::vector<std::vector<uint8_t>> serialOut, twoOut;
    for (int r = 0; r <= runs; ++r) {
        bool ok = true;
        const double ts = TimeOnce([&] { ok = RelcPackRun(inputs, 1, &serialOut); });
        const double tt = TimeOnce([&] { ok = RelcPackRun(inputs, 2, &twoOut) && ok; });
        if (!ok || serialOut != twoOut)
            Die("the pack run on two threads differs from the serial one");
        if (r > 0) {
            serial.push_back(ts);
            two.push_back(tt);
        }
    }
    run.serialSeconds = Median(serial);
    run.twoThreadSeconds = Median(two);
    return run;
}

// The pack run's processor time on 1 (the serial driver), 2, 4 and 8
// threads, which share this machine's cores: the work that more threads
// add (shorter jobs take over fewer chains; jobs are handed over), and from
// it the speed-up the run would have on as many cores, short of the wait
// for its last job, which one thread codes alone.
void PrintScalingModel(const std::vector<std::vector<uint8_t>>& inputs, int runs)
{
    std::printf("\nScaling model: the pack run's processor time, least of %d runs (a run that shares the\n"
                "machine with other work only takes longer):\n\n"
                "| Threads | CPU seconds | Work against one thread | Speed-up on as many cores |\n"
                "|---:|---:|---:|---:|\n",
                runs);
    std::vector<std::vector<uint8_t>> outputs;
    double serial = 0;
    for (unsigned threads : {1u, 2u, 4u, 8u}) {
        std::vector<double> cpu;
        for (int r = 0; r <= runs; ++r) {
            const std::clock_t start = std::clock();
            if (!RelcPackRun(inputs, threads, &outputs))
                Die("the pack run failed");
            if (r > 0)
                cpu.push_back(double(std::clock() - start) / CLOCKS_PER_SEC);
        }
        const double least = *std::min_element(cpu.begin(), cpu.end());
        if (threads == 1)
            serial = least;
        std::printf("| %u | %.4f | %.3f | %.2fx |\n", threads, least, least / serial, threads * serial / least);
    }
}

void PrintVerdict(const std::vector<Sample>& totals, const PackRun& run)
{
    const Sample& relc = Find(totals, "relc");
    const Sample& par2 = Find(totals, "relc-par2");
    const Sample& zlib1 = Find(totals, "zlib-1");
    const Sample& lz4 = Find(totals, "lz4");
    const double relcEnc = MBps(relc.size, relc.encodeSeconds);
    const double par2Enc = MBps(par2.size, par2.encodeSeconds);
    const double runSerial = MBps(run.bytes, run.serialSeconds);
    const double runTwo = MBps(run.bytes, run.twoThreadSeconds);
    const double relcDec = MBps(relc.size, relc.decodeSeconds);
    const double z1Enc = MBps(zlib1.size, zlib1.encodeSeconds);
    const double lz4Dec = MBps(lz4.size, lz4.decodeSeconds);
    const auto verdict = [](bool met) { return met ? "met" : "NOT MET"; };
    std::printf("\nTargets:\n"
                "  relc encode %.1f MB/s = %.2fx zlib-1's %.1f MB/s (target 0.70x): %s\n"
                "  pack run on 2 threads %.1f MB/s = %.2fx its %.1f MB/s on one (target 1.80x): %s; %.2fx zlib-1's "
                "(target 1.00x): %s\n"
                "  (each file alone, relc-par2: %.1f MB/s = %.2fx relc's, %.2fx zlib-1's)\n"
                "  relc decode %.1f MB/s = %.1f%% of LZ4's %.1f MB/s (target 55%%): %s\n",
                relcEnc, relcEnc / z1Enc, z1Enc, verdict(relcEnc >= 0.7 * z1Enc),
                runTwo, runTwo / runSerial, runSerial, verdict(runTwo >= 1.8 * runSerial), runTwo / z1Enc,
                verdict(runTwo >= z1Enc), par2Enc, par2Enc / relcEnc, par2Enc / z1Enc,
                relcDec, 100 * relcDec / lz4Dec, lz4Dec, verdict(relcDec >= 0.55 * lz4Dec));
}

}  // namespace

int main(int argc, char** argv)
{
    int runs = 5;
    std::vector<std::string> paths;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
            runs = std::atoi(argv[++i]);
            if (runs < 1)
                Die("--runs needs a positive count");
        } else {
            paths.emplace_back(argv[i]);
        }
    }
    if (paths.empty()) {
        std::error_code ec;
        if (!fs::is_directory(TDZ_CORPUS_DIR, ec)) {
            std::printf("relc_bench: corpus %s not found; nothing to measure\n", TDZ_CORPUS_DIR);
            return 0;
        }
        // The files of the fixed list only: a stray file in the corpus
        // folder must not change the figures.
        std::ifstream list(TDZ_CORPUS_LIST);
        if (!list)
            Die(std::string("cannot read the corpus list ") + TDZ_CORPUS_LIST);
        for (std::string name; std::getline(list, name);) {
            if (!name.empty() && name[0] != '#')
                paths.push_back(std::string(TDZ_CORPUS_DIR) + "/" + name);
        }
    }
    const std::vector<fs::path> files = ListInputs(paths);
    if (files.empty())
        Die("no input files");

    std::vector<Sample> totals;
    std::vector<std::vector<uint8_t>> inputs;
    for (size_t c = 0; c < kBenchCodecCount; ++c)
        totals.push_back({"all files", kBenchCodecs[c].name});

    std::printf("Per file, median of %d runs (MB/s = 10^6 input bytes per second):\n\n", runs);
    PrintHeader(true);
    for (const fs::path& path : files) {
        const std::vector<uint8_t> input = ReadFile(path);
        if (input.empty())
            continue;  // relc has no stream for an empty input
        inputs.push_back(input);
        std::vector<Trial> trials;
        for (size_t c = 0; c < kBenchCodecCount; ++c)
            trials.emplace_back(kBenchCodecs[c], path.filename().string(), input);
        for (int run = 0; run <= runs; ++run)
            for (Trial& trial : trials)
                trial.Run(run > 0);
        for (size_t c = 0; c < kBenchCodecCount; ++c) {
            const Sample s = trials[c].Result();
            PrintRow(s, true);
            std::fflush(stdout);
            totals[c].size += s.size;
            totals[c].compressed += s.compressed;
            totals[c].encodeSeconds += s.encodeSeconds;
            totals[c].decodeSeconds += s.decodeSeconds;
        }
    }

    std::printf("\nAll %zu files together (total bytes / sum of the median times):\n\n", files.size());
    PrintHeader(false);
    for (const Sample& total : totals)
        PrintRow(total, false);
    const PackRun run = MeasurePackRun(inputs, runs);
    std::printf("\nAll %zu files as one pack run (tdz pack FILE...), median of %d runs:\n\n"
                "| Threads | Seconds | Encode MB/s |\n|---:|---:|---:|\n"
                "| 1 | %.4f | %.1f |\n| 2 | %.4f | %.1f |\n",
                inputs.size(), runs, run.serialSeconds, MBps(run.bytes, run.serialSeconds), run.twoThreadSeconds,
                MBps(run.bytes, run.twoThreadSeconds));
    PrintScalingModel(inputs, runs);
    PrintVerdict(totals, run);
    return 0;
}
