// container_file_op: one compress-file or decompress-file operation from the
// command line, for checks that drive the Windows code from a script.
//
//   container_file_op compress FILE...          FILE -> FILE.tdz
//   container_file_op decompress FILE.tdz...    FILE.tdz -> FILE
//
// Prints each result code; exit status 0 when all are 0, else 1 (2 on
// misuse).
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "container/compress_file.h"
#include "container/decompress_file.h"
#include "container/naming.h"

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: container_file_op compress|decompress PATH...\n");
        return 2;
    }
    const bool compress = std::wcscmp(argv[1], L"compress") == 0;
    int status = 0;
    for (int i = 2; i < argc; ++i) {
        JobPaths paths;
        ResultCode result =
            ApplyNamingRules(compress ? kOperationCompress : kOperationDecompress, argv[i], L"", &paths);
        if (result == 0) {
            result = compress ? CompressFile(nullptr, nullptr, nullptr, paths.source, paths.target, nullptr)
                              : DecompressFile(nullptr, nullptr, nullptr, paths.source, paths.target, nullptr);
        }
        std::printf("%ls: 0x%08X\n", argv[i], static_cast<unsigned>(result));
        status = result == 0 ? status : 1;
    }
    return status;
}
