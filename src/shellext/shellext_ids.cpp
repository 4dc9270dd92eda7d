#include "shellext/shellext_ids.h"

const CLSID CLSID_ShellExt = {
    0x5B1F3C2E, 0x8D47, 0x4A9B, {0x9E, 0x21, 0x6C, 0x0D, 0x7F, 0x4A, 0x1B, 0x93}};

const char* const kVerbsA[2] = {"td_compress", "td_decompress"};
const wchar_t* const kVerbsW[2] = {L"td_compress", L"td_decompress"};
