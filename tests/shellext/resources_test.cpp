// The resources both builds carry: the menu texts in eleven languages, the
// overlay icon, the version record of each build and the manifest. The
// 32-bit module is read as data from the sibling 32-bit tree.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "shellext_test_support.h"

namespace {

struct MenuTexts {
    LANGID language;
    const wchar_t* compress;
    const wchar_t* decompress;
};

const MenuTexts kMenuTexts[] = {
    {1025, L"ضغط(Tandrel)", L"فك الضغط(Tandrel)"},
    {1028, L"使用 Tandrel 進行壓縮作業", L"使用 Tandrel 進行解壓縮作業"},
    {1031, L"Mit Tandrel komprimieren", L"Mit Tandrel dekomprimieren"},
    {1033, L"Compress with Tandrel", L"Decompress with Tandrel"},
    {1036, L"Compresser avec Tandrel", L"Décompresser avec Tandrel"},
    {1040, L"Comprimi con Tandrel", L"Decomprimi con Tandrel"},
    {1041, L"Tandrelで圧縮", L"Tandrelで解凍"},
    {1042, L"Tandrel로 압축", L"Tandrel로 압축 풀기"},
    {2052, L"使用 Tandrel 压缩", L"使用 Tandrel 解压缩"},
    {2070, L"Compactar com o Tandrel ", L"Descompactar com o Tandrel "},
    {3082, L"Comprimir con Tandrel", L"Descomprimir con Tandrel"},
};

struct Build {
    const char* name;
    bool is64;
};

void PrintTo(const Build& build, std::ostream* out) { *out << build.name; }

class ModuleResources : public ::testing::TestWithParam<Build> {
protected:
    void SetUp() override {
        path_ = GetParam().is64 ? ModulePath64() : ModulePath32();
        if (path_.empty()) GTEST_SKIP() << "TDShellExt.dll of the 32-bit tree is not built";
        module_ = LoadLibraryExW(path_.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(nullptr, module_) << Narrow(path_);
    }
    void TearDown() override {
        if (module_ != nullptr) FreeLibrary(module_);
    }

    // The raw bytes of a resource in one language (or any, for 0xFFFF).
    std::vector<BYTE> Resource(LPCWSTR type, LPCWSTR name, LANGID language = 0xFFFF) const {
        HRSRC found = language == 0xFFFF ? FindResourceW(module_, name, type)
                                         : FindResourceExW(module_, type, name, language);
        if (found == nullptr) return {};
        HGLOBAL loaded = LoadResource(module_, found);
        const BYTE* bytes = static_cast<const BYTE*>(LockResource(loaded));
        if (bytes == nullptr) return {};
        return std::vector<BYTE>(bytes, bytes + SizeofResource(module_, found));
    }

    std::wstring path_;
    HMODULE module_ = nullptr;
};

// Entry id % 16 of a string block: a count, then that many UTF-16 units.
std::wstring StringOfBlock(const std::vector<BYTE>& block, UINT id) {
    size_t pos = 0;
    for (UINT i = 0; i <= id % 16; ++i) {
        if (pos + 2 > block.size()) return L"<missing>";
        WORD count;
        std::memcpy(&count, &block[pos], 2);
        pos += 2;
        if (i == id % 16) {
            if (pos + count * 2u > block.size()) return L"<missing>";
            return std::wstring(reinterpret_cast<const wchar_t*>(&block[pos]), count);
        }
        pos += count * 2u;
    }
    return L"<missing>";
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param) {
    reinterpret_cast<std::vector<LANGID>*>(param)->push_back(language);
    return TRUE;
}

BOOL CALLBACK CollectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param) {
    reinterpret_cast<std::vector<ULONG_PTR>*>(param)->push_back(reinterpret_cast<ULONG_PTR>(name));
    return TRUE;
}

TEST_P(ModuleResources, MenuTextsInElevenLanguagesExactly) {
    std::vector<LANGID> languages;
    EnumResourceLanguagesW(module_, RT_STRING, MAKEINTRESOURCEW(1), CollectLanguage,
                           reinterpret_cast<LONG_PTR>(&languages));
    std::sort(languages.begin(), languages.end());
    std::vector<LANGID> expected;
    for (const auto& t : kMenuTexts) expected.push_back(t.language);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, languages);

    for (const auto& t : kMenuTexts) {
        const std::vector<BYTE> block = Resource(RT_STRING, MAKEINTRESOURCEW(1), t.language);
        ASSERT_FALSE(block.empty()) << t.language;
        EXPECT_EQ(t.compress, StringOfBlock(block, 3)) << t.language;
        EXPECT_EQ(t.decompress, StringOfBlock(block, 4)) << t.language;
        for (UINT id : {0u, 1u, 2u, 5u, 15u}) EXPECT_EQ(L"", StringOfBlock(block, id)) << id;
    }
}

#pragma pack(push, 2)
struct GroupEntry {
    BYTE width;
    BYTE height;
    BYTE colours;
    BYTE reserved;
    WORD planes;
    WORD bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

// Opaque pixels of one icon image, from its AND mask, per quadrant.
struct Coverage {
    int total;
    int topRight;
    int lowerLeft;
};

Coverage CoverageOf(const std::vector<BYTE>& image, int size) {
    BITMAPINFOHEADER header;
    std::memcpy(&header, image.data(), sizeof(header));
    const int colours = header.biClrUsed != 0 ? static_cast<int>(header.biClrUsed) : 1 << header.biBitCount;
    const size_t xorRow = ((size * header.biBitCount + 31) / 32) * 4;
    const size_t maskRow = ((size + 31) / 32) * 4;
    const size_t maskStart = header.biSize + colours * 4 + xorRow * size;
    Coverage c = {0, 0, 0};
    for (int y = 0; y < size; ++y) {          // y counts from the bottom
        for (int x = 0; x < size; ++x) {
            const BYTE bits = image[maskStart + y * maskRow + x / 8];
            if ((bits & (0x80 >> (x % 8))) != 0) continue;
            ++c.total;
            if (x >= size / 2 && y >= size / 2) ++c.topRight;
            if (x < size / 2 && y < size / 2) ++c.lowerLeft;
        }
    }
    return c;
}

TEST_P(ModuleResources, OverlayIconIsTheOnlyGroupWithThreeImages) {
    std::vector<ULONG_PTR> groups;
    EnumResourceNamesW(module_, RT_GROUP_ICON, CollectName, reinterpret_cast<LONG_PTR>(&groups));
    ASSERT_EQ(std::vector<ULONG_PTR>{105}, groups);

    const std::vector<BYTE> group = Resource(RT_GROUP_ICON, MAKEINTRESOURCEW(105));
    ASSERT_GE(group.size(), 6u + 3 * sizeof(GroupEntry));
    WORD count;
    std::memcpy(&count, &group[4], 2);
    ASSERT_EQ(3, count);
    struct Expected {
        int size;
        int colours;
        int bits;
    };
    const Expected expected[] = {{32, 16, 4}, {16, 16, 4}, {48, 0, 8}};
    for (int i = 0; i < 3; ++i) {
        GroupEntry entry;
        std::memcpy(&entry, &group[6 + i * sizeof(GroupEntry)], sizeof(entry));
        SCOPED_TRACE(expected[i].size);
        EXPECT_EQ(expected[i].size, entry.width);
        EXPECT_EQ(expected[i].size, entry.height);
        EXPECT_EQ(expected[i].colours, entry.colours);
        EXPECT_EQ(expected[i].bits, entry.bitCount);

        const std::vector<BYTE> image = Resource(RT_ICON, MAKEINTRESOURCEW(entry.id));
        ASSERT_EQ(entry.bytes, image.size());
        // An overlay: a mark in the lower-left corner, the rest see-through.
        const Coverage c = CoverageOf(image, expected[i].size);
        EXPECT_GT(c.lowerLeft, expected[i].size * expected[i].size / 8);
        EXPECT_EQ(0, c.topRight);
        EXPECT_LT(c.total, expected[i].size * expected[i].size / 3);
    }
}

TEST_P(ModuleResources, ManifestAsksToRunAsInvoker) {
    const std::vector<BYTE> manifest = Resource(MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(2));
    const std::string text(manifest.begin(), manifest.end());
    EXPECT_NE(std::string::npos, text.find("requestedExecutionLevel level=\"asInvoker\"")) << text;
}

std::wstring VersionString(const std::vector<BYTE>& info, const wchar_t* name) {
    void* value = nullptr;
    UINT length = 0;
    const std::wstring key = std::wstring(L"\\StringFileInfo\\040904b0\\") + name;
    if (!VerQueryValueW(info.data(), key.c_str(), &value, &length) || value == nullptr) return L"<missing>";
    return static_cast<const wchar_t*>(value);
}

TEST_P(ModuleResources, VersionRecordNamesThisBuild) {
    const DWORD size = GetFileVersionInfoSizeW(path_.c_str(), nullptr);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> info(size);
    ASSERT_TRUE(GetFileVersionInfoW(path_.c_str(), 0, size, info.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(0x00020006u, fixed->dwFileVersionMS);
    EXPECT_EQ(0u, fixed->dwFileVersionLS);
    EXPECT_EQ(0x00020006u, fixed->dwProductVersionMS);
    EXPECT_EQ(0u, fixed->dwProductVersionLS);
    EXPECT_EQ(static_cast<DWORD>(VFT_DLL), fixed->dwFileType);

    const bool is64 = GetParam().is64;
    EXPECT_EQ(L"Velmora Corporation", VersionString(info, L"CompanyName"));
    EXPECT_EQ(is64 ? L"TDShellExt64" : L"TDShellExt", VersionString(info, L"FileDescription"));
    EXPECT_EQ(is64 ? L"TDShellExt64" : L"TDShellExt", VersionString(info, L"InternalName"));
    EXPECT_EQ(is64 ? L"TDShellExt64.dll" : L"TDShellExt.dll", VersionString(info, L"OriginalFilename"));
    EXPECT_EQ(is64 ? L"Corvane Tandrel Shell Extension 64bit" : L"Corvane Tandrel Shell Extension",
              VersionString(info, L"ProductName"));
    EXPECT_EQ(L"2.6.0.0", VersionString(info, L"FileVersion"));
    EXPECT_EQ(L"2.6.0.0", VersionString(info, L"ProductVersion"));
}

INSTANTIATE_TEST_SUITE_P(Builds, ModuleResources,
                         ::testing::Values(Build{"TDShellExt64", true}, Build{"TDShellExt", false}),
                         [](const ::testing::TestParamInfo<Build>& info) { return std::string(info.param.name); });

}  // namespace
