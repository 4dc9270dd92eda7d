// file_ops_bench: what the file layer adds on top of the codec. A 64 MB file
// made of corpus data, on a local drive, goes through CompressFile and back
// through DecompressFile; in the same run the codec encodes and decodes the
// same bytes in memory, and CopyFileW copies the file.
//
//   file_ops_bench.exe [--runs N] [--folder DIR] [CORPUS_DIR]
//
// Defaults: 3 runs, the temporary folder, the project's corpus. The figure
// kept for each measure is the median of the runs. Target: CompressFile
// takes at most 1.5 times (codec encode + plain copy).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

#include "codec/relc_driver.h"
#include "container/compress_file.h"
#include "container/decompress_file.h"

namespace {

constexpr size_t kFileSize = 64u * 1024 * 1024;
constexpr size_t kRoom = 524320;  // the output room the file layer gives the codec
constexpr double kTarget = 1.5;

[[noreturn]] void Die(const char* what, DWORD error = GetLastError())
{
    std::fprintf(stderr, "file_ops_bench: %s (error %lu)\n", what, static_cast<unsigned long>(error));
    std::exit(1);
}

double Now()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return double(counter.QuadPart) / double(frequency.QuadPart);
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// 64 MB of the corpus files one after another, over and over.
std::vector<uint8_t> CorpusData(const std::wstring& folder)
{
    std::vector<uint8_t> pool;
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE)
        Die("corpus folder not found");
    do {
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        HANDLE file = CreateFileW((folder + L"\\" + entry.cFileName).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            continue;
        const size_t at = pool.size();
        pool.resize(at + entry.nFileSizeLow);
        DWORD got = 0;
        if (!ReadFile(file, pool.data() + at, entry.nFileSizeLow, &got, nullptr))
            got = 0;
        pool.resize(at + got);
        CloseHandle(file);
    } while (FindNextFileW(find, &entry));
    FindClose(find);
    if (pool.empty())
        Die("corpus folder is empty", 0);
    std::vector<uint8_t> data(kFileSize);
    for (size_t at = 0; at < kFileSize; at += pool.size())
        std::copy_n(pool.begin(), std::min(pool.size(), kFileSize - at), data.begin() + at);
    return data;
}

// Drops what it is given: the codec's own cost, without a file.
class DiscardSink final : public ByteSink {
public:
    bool Write(const uint8_t*, size_t) override { return true; }
};

// The stream driver with the file layer's buffer sizes, from memory to
// nowhere.
double EncodeInMemory(const std::vector<uint8_t>& data, size_t* streamSize)
{
    std::vector<uint8_t> in(524288);
    std::vector<uint8_t> out(kRoom);
    MemorySource source(data.data(), data.size());
    DiscardSink sink;
    const double start = Now();
    const StreamResult r = RelcEncodeStream(source, data.size(), sink, {in.data(), in.size(), out.data(), out.size()});
    const double took = Now() - start;
    if (r.status != StreamStatus::Ok)
        Die("the codec refused the data", 0);
    *streamSize = static_cast<size_t>(r.bytesOut);
    return took;
}

double DecodeInMemory(const std::vector<uint8_t>& stream)
{
    std::vector<uint8_t> in(kRoom);
    std::vector<uint8_t> out(524288);
    MemorySource source(stream.data(), stream.size());
    DiscardSink sink;
    const double start = Now();
    const StreamResult r = RelcDecodeStream(source, sink, {in.data(), in.size(), out.data(), out.size()});
    const double took = Now() - start;
    if (r.status != StreamStatus::Ok)
        Die("the stream does not decode", 0);
    return took;
}

std::vector<uint8_t> ReadWhole(const std::wstring& path, size_t from)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        Die("cannot read the container");
    LARGE_INTEGER size;
    GetFileSizeEx(file, &size);
    std::vector<uint8_t> bytes(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    ReadFile(file, bytes.data(), DWORD(bytes.size()), &got, nullptr);
    CloseHandle(file);
    return std::vector<uint8_t>(bytes.begin() + from, bytes.end() - 4);
}

void WriteWhole(const std::wstring& path, const std::vector<uint8_t>& data)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD put = 0;
    if (file == INVALID_HANDLE_VALUE || !WriteFile(file, data.data(), DWORD(data.size()), &put, nullptr) ||
        put != data.size())
        Die("cannot write the test file");
    CloseHandle(file);
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    int runs = 3;
    wchar_t temp[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, temp);
    std::wstring folder = temp;
    std::wstring corpus = L"" TDZ_CORPUS_DIR_W;
    for (int i = 1; i < argc; ++i) {
        if (std::wcscmp(argv[i], L"--runs") == 0 && i + 1 < argc)
            runs = std::max(1, _wtoi(argv[++i]));
        else if (std::wcscmp(argv[i], L"--folder") == 0 && i + 1 < argc)
            folder = argv[++i];
        else
            corpus = argv[i];
    }
    if (!folder.empty() && folder.back() != L'\\')
        folder += L'\\';
    std::replace(corpus.begin(), corpus.end(), L'/', L'\\');

    const std::vector<uint8_t> data = CorpusData(corpus);
    const std::wstring source = folder + L"file_ops_bench.bin";
    const std::wstring container = source + L".tdz";
    const std::wstring copy = folder + L"file_ops_bench.copy";
    DeleteFileW(container.c_str());
    WriteWhole(source, data);

    std::vector<double> encode, decode, copying, compress, decompress;
    size_t streamSize = 0;
    for (int run = 0; run < runs; ++run) {
        encode.push_back(EncodeInMemory(data, &streamSize));

        double start = Now();
        if (!CopyFileW(source.c_str(), copy.c_str(), FALSE))
            Die("CopyFileW failed");
        copying.push_back(Now() - start);
        DeleteFileW(copy.c_str());

        start = Now();
        ResultCode result = CompressFile(nullptr, nullptr, nullptr, source.c_str(), container.c_str(), nullptr);
        compress.push_back(Now() - start);
        if (result != 0)
            Die("CompressFile failed", result);

        const std::vector<uint8_t> stream = ReadWhole(container, 56);
        decode.push_back(DecodeInMemory(stream));

        start = Now();
        result = DecompressFile(nullptr, nullptr, nullptr, container.c_str(), source.c_str(), nullptr);
        decompress.push_back(Now() - start);
        if (result != 0)
            Die("DecompressFile failed", result);
    }
    DeleteFileW(source.c_str());

    const double mb = double(kFileSize) / 1e6;
    const double enc = Median(encode), dec = Median(decode), cp = Median(copying);
    const double com = Median(compress), decom = Median(decompress);
    std::printf("file_ops_bench: 64 MiB (%.1f MB) of corpus data in %ls, %zu-byte stream (%.1f%%), median of %d runs\n\n",
                mb, folder.c_str(), streamSize + 60, 100.0 * double(streamSize + 60) / double(kFileSize), runs);
    std::printf("| Measure | Seconds | MB/s |\n|---|---:|---:|\n");
    std::printf("| codec encode in memory | %.3f | %.1f |\n", enc, mb / enc);
    std::printf("| codec decode in memory | %.3f | %.1f |\n", dec, mb / dec);
    std::printf("| CopyFileW | %.3f | %.1f |\n", cp, mb / cp);
    std::printf("| CompressFile | %.3f | %.1f |\n", com, mb / com);
    std::printf("| DecompressFile | %.3f | %.1f |\n\n", decom, mb / decom);
    const double ratio = com / (enc + cp);
    std::printf("CompressFile / (encode + copy) = %.2f (target <= %.1f): %s\n", ratio, kTarget,
                ratio <= kTarget ? "met" : "NOT MET");
    std::printf("DecompressFile / (decode + copy) = %.2f\n", decom / (dec + cp));
    return 0;
}
