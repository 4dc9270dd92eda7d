// Decompression's decisions before its dialog: the system, the command
// line, the container test; and the string table it carries.
#include <gtest/gtest.h>

#include <cwchar>
#include <fstream>

#include "common/resource_ids.h"
#include "decompression/start_checks.h"
#include "ui/text.h"
#include "window_probe.h"

using probe::Narrow;

TEST(SystemCheck, AcceptsNt5AndNt6Point0And6Point1Only)
{
    EXPECT_TRUE(IsSupportedSystem(true, VER_PLATFORM_WIN32_NT, 5, 0));
    EXPECT_TRUE(IsSupportedSystem(true, VER_PLATFORM_WIN32_NT, 5, 1));
    EXPECT_TRUE(IsSupportedSystem(true, VER_PLATFORM_WIN32_NT, 5, 2));
    EXPECT_TRUE(IsSupportedSystem(true, VER_PLATFORM_WIN32_NT, 6, 0));
    EXPECT_TRUE(IsSupportedSystem(true, VER_PLATFORM_WIN32_NT, 6, 1));
    EXPECT_FALSE(IsSupportedSystem(true, VER_PLATFORM_WIN32_NT, 6, 2));
    EXPECT_FALSE(IsSupportedSystem(true, VER_PLATFORM_WIN32_NT, 10, 0));
    EXPECT_FALSE(IsSupportedSystem(true, VER_PLATFORM_WIN32_NT, 4, 0));
    EXPECT_FALSE(IsSupportedSystem(true, VER_PLATFORM_WIN32_WINDOWS, 5, 0));
    EXPECT_FALSE(IsSupportedSystem(false, VER_PLATFORM_WIN32_NT, 5, 1));
}

TEST(CommandLine, OnePathQuotedOrNotTooLongOrTooMany)
{
    CommandLinePath p = ReadCommandLinePath(L"", 1);
    EXPECT_EQ(p.source, PathSource::FileDialog);

    p = ReadCommandLinePath(L"C:\\a\\x.tdz", 2);
    EXPECT_EQ(p.source, PathSource::Path);
    EXPECT_EQ(p.path, L"C:\\a\\x.tdz");

    p = ReadCommandLinePath(L"\"C:\\a b\\x.tdz\"", 2);
    EXPECT_EQ(p.source, PathSource::Path);
    EXPECT_EQ(p.path, L"C:\\a b\\x.tdz");

    EXPECT_EQ(ReadCommandLinePath(L"C:\\a b\\x.tdz", 3).source, PathSource::Ignored);
    EXPECT_EQ(ReadCommandLinePath(L"a.tdz b.tdz", 3).source, PathSource::Ignored);

    std::wstring longest = L"C:\\" + std::wstring(252, L'n') + L".tdz";  // 259 units
    p = ReadCommandLinePath(longest, 2);
    EXPECT_EQ(p.source, PathSource::Path);
    p = ReadCommandLinePath(L"\"" + longest + L"\"", 2);
    EXPECT_EQ(p.source, PathSource::Path);
    EXPECT_EQ(p.path, longest);

    std::wstring tooLong = longest + L"x";
    p = ReadCommandLinePath(tooLong, 2);
    EXPECT_EQ(p.source, PathSource::TooLong);
    EXPECT_EQ(p.messageText, tooLong);
    p = ReadCommandLinePath(L"\"" + tooLong + L"\"", 2);
    EXPECT_EQ(p.source, PathSource::TooLong);
    EXPECT_EQ(p.messageText, tooLong + L"\"");  // shown from behind the opening quote

    // A lone quote is no quoted path; it names nothing that exists.
    p = ReadCommandLinePath(L"\"", 2);
    EXPECT_EQ(p.source, PathSource::Path);
    EXPECT_EQ(p.path, L"\"");
}

TEST(ContainerPath, AnExistingFileEndingInTdzInAnyCase)
{
    wchar_t temp[MAX_PATH];
    ASSERT_GT(::GetTempPathW(MAX_PATH, temp), 0u);
    std::wstring folder = std::wstring(temp) + L"tdz_start_checks";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    std::wstring upper = folder + L"\\A.TDZ";
    std::wstring text = folder + L"\\a.txt";
    std::wstring folderLike = folder + L"\\dir.tdz";
    for (const std::wstring& f : {upper, text}) {
        HANDLE h = ::CreateFileW(f.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        ::CloseHandle(h);
    }
    ::CreateDirectoryW(folderLike.c_str(), nullptr);

    EXPECT_TRUE(IsContainerPath(upper));
    EXPECT_FALSE(IsContainerPath(text));
    EXPECT_FALSE(IsContainerPath(folderLike));
    EXPECT_FALSE(IsContainerPath(folder + L"\\missing.tdz"));
    EXPECT_FALSE(IsContainerPath(folder + L"\\A.TDZ.bak"));

    ::DeleteFileW(upper.c_str());
    ::DeleteFileW(text.c_str());
    ::RemoveDirectoryW(folderLike.c_str());
    ::RemoveDirectoryW(folder.c_str());
}

namespace {

constexpr LANGID kLanguages[] = {1025, 1028, 1031, 1033, 1036, 1040, 1041, 1042, 2052, 2070, 3082};

class ProgramTable : public ::testing::Test {
protected:
    void SetUp() override
    {
        module = ::LoadLibraryExW(TDZ_DECOMPRESSION_EXE, nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module, nullptr) << Narrow(TDZ_DECOMPRESSION_EXE);
    }
    void TearDown() override
    {
        if (module)
            ::FreeLibrary(module);
    }
    HMODULE module = nullptr;
};

}  // namespace

TEST_F(ProgramTable, HoldsTheSharedTextsItsOwn61245AndTheAboutItemButNoTrayTexts)
{
    EXPECT_EQ(LoadTextFrom(module, 61245, 1033),
              L"The target file could not be compressed or decompressed, because the file name was too long.");
    EXPECT_EQ(LoadTextFrom(module, IDS_ABOUT_DECOMPRESSION_ITEM, 1033), L"&About Decompression...");
    for (LANGID language : kLanguages) {
        for (UINT id = IDS_PRODUCT_NAME; id <= 61245; ++id)
            EXPECT_FALSE(LoadTextFrom(module, id, language).empty()) << language << " " << id;
        for (UINT id = 61246; id <= IDS_NAME_TOO_LONG; ++id)
            EXPECT_TRUE(LoadTextFrom(module, id, language).empty()) << language << " " << id;
        // 61245 says the name is too long: never the tray program's question.
        EXPECT_EQ(LoadTextFrom(module, 61245, language).find(L'\n'), std::wstring::npos) << language;
        EXPECT_EQ(LoadTextFrom(module, IDS_ABOUT_DECOMPRESSION_ITEM, language),
                  language == 1025 ? L"" : L"&About Decompression...")
            << language;
    }
}

TEST_F(ProgramTable, CarriesItsDialogsIconVersionAndManifest)
{
    for (UINT dialog : {IDD_DECOMPRESSION, IDD_DECOMPRESSION_ABOUT, IDD_CONFIRM_REPLACE})
        EXPECT_NE(::FindResourceW(module, MAKEINTRESOURCEW(dialog), RT_DIALOG), nullptr) << dialog;
    EXPECT_EQ(::FindResourceW(module, MAKEINTRESOURCEW(IDD_PROCESSING), RT_DIALOG), nullptr);
    EXPECT_NE(::FindResourceW(module, MAKEINTRESOURCEW(IDI_PROGRAM), RT_GROUP_ICON), nullptr);
    EXPECT_NE(::FindResourceW(module, MAKEINTRESOURCEW(1), RT_VERSION), nullptr);
    HRSRC manifest = ::FindResourceW(module, MAKEINTRESOURCEW(1), RT_MANIFEST);
    ASSERT_NE(manifest, nullptr);
    std::string text(static_cast<const char*>(::LockResource(::LoadResource(module, manifest))),
                     ::SizeofResource(module, manifest));
    EXPECT_NE(text.find("level=\"asInvoker\""), std::string::npos);
}
