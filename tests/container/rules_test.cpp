// Which files qualify and what the job's paths are called.
#include <gtest/gtest.h>

#include <string>

#include "base/container_name.h"
#include "container/eligibility.h"
#include "container/naming.h"

namespace {

std::wstring Repeat(wchar_t c, size_t n) { return std::wstring(n, c); }

TEST(ExtensionFilter, CompressionSkipsTheExcludedExtensionsInAnyCase)
{
    for (const wchar_t* path : {L"E:\\Photo.JPG", L"E:\\a.tdz", L"E:\\a.TMP", L"E:\\song.Mp3", L"E:\\m.mpg",
                                L"E:\\v.mp4", L"E:\\s.wma", L"E:\\v.wmv", L"E:\\a.zip", L"E:\\a.LZH",
                                L"E:\\x.lock"})
        EXPECT_EQ(ExtensionFilter(kOperationCompress, PathExtension(path)), 0u) << path;
    for (const wchar_t* path : {L"E:\\notes", L"E:\\report.doc", L"E:\\a.jpeg", L"E:\\a.tdz.txt",
                                L"E:\\dir.zip\\notes", L"E:\\a.jpg2", L"E:\\a."})
        EXPECT_EQ(ExtensionFilter(kOperationCompress, PathExtension(path)), 1u) << path;
}

TEST(ExtensionFilter, DecompressionTakesContainersOnly)
{
    EXPECT_EQ(ExtensionFilter(kOperationDecompress, PathExtension(L"E:\\a.tdz")), 1u);
    EXPECT_EQ(ExtensionFilter(kOperationDecompress, PathExtension(L"E:\\a.TDZ")), 1u);
    EXPECT_EQ(ExtensionFilter(kOperationDecompress, PathExtension(L"E:\\a.tdz.tmp")), 0u);
    EXPECT_EQ(ExtensionFilter(kOperationDecompress, PathExtension(L"E:\\tdz")), 0u);
    EXPECT_EQ(ExtensionFilter(kOperationDecompress, PathExtension(L"E:\\x.tdz\\file")), 0u);
}

TEST(CheckSpecialName, ContainersTemporaryFilesAndProtectedPrograms)
{
    EXPECT_EQ(CheckSpecialName(L"E:\\a.TDZ"), kSkipContainer);
    EXPECT_EQ(CheckSpecialName(L"E:\\a.tmp"), kSkipTmpFile);
    for (const wchar_t* path : {L"E:\\Tandrel.exe", L"E:\\tandrel_setup.exe", L"E:\\Decompression.exe",
                                L"E:\\MyQuorvalhelp.exe", L"E:\\PELLANTROWICK2.EXE", L"E:\\sub\\Tandrel.Exe"})
        EXPECT_EQ(CheckSpecialName(path), kSkipOwnProgram) << path;
    // The containment test keeps case; only ".exe" files are protected; the
    // name is the last component, not a folder.
    for (const wchar_t* path : {L"E:\\quorvalhelp.exe", L"E:\\Tandrel.dll", L"E:\\Tandrel\\setup.exe",
                                L"E:\\MyTandrel.exe", L"E:\\notes"})
        EXPECT_EQ(CheckSpecialName(path), 0u) << path;
}

TEST(NamingRules, CompressionAppendsTheExtensionUpTo250Units)
{
    JobPaths paths;
    ASSERT_EQ(ApplyNamingRules(kOperationCompress, L"E:\\", L"docs\\report.doc", &paths), 0u);
    EXPECT_EQ(std::wstring(paths.source), L"E:\\docs\\report.doc");
    EXPECT_EQ(std::wstring(paths.target), L"E:\\docs\\report.doc.tdz");
    EXPECT_EQ(std::wstring(paths.displayName), L"report.doc");

    const std::wstring folder = L"E:\\";
    const std::wstring name250 = Repeat(L'n', 250 - folder.size());
    ASSERT_EQ(ApplyNamingRules(kOperationCompress, folder.c_str(), name250.c_str(), &paths), 0u);
    EXPECT_EQ(std::wstring(paths.target).size(), 254u);
    const std::wstring name251 = name250 + L"x";
    EXPECT_EQ(ApplyNamingRules(kOperationCompress, folder.c_str(), name251.c_str(), &paths), kJobPathTooLong);
    // Folder and name of 259 units each, as a watcher may deliver them.
    const std::wstring longFolder = L"E:\\" + Repeat(L'f', 255) + L"\\";
    EXPECT_EQ(ApplyNamingRules(kOperationCompress, longFolder.c_str(), Repeat(L'g', 259).c_str(), &paths),
              kJobPathTooLong);
}

TEST(NamingRules, LengthsCountUtf16Units)
{
    // U+1F600 takes two units on Windows whatever the width of wchar_t here.
    const std::wstring face = L"\U0001F600";
    EXPECT_EQ(Utf16Length(face.c_str()), 2u);
    const std::wstring folder = L"E:\\";
    JobPaths paths;
    const std::wstring fits = Repeat(L'a', 250 - folder.size() - 2) + face;
    EXPECT_EQ(ApplyNamingRules(kOperationCompress, folder.c_str(), fits.c_str(), &paths), 0u);
    const std::wstring tooLong = Repeat(L'a', 250 - folder.size() - 1) + face;
    EXPECT_EQ(ApplyNamingRules(kOperationCompress, folder.c_str(), tooLong.c_str(), &paths), kJobPathTooLong);

    wchar_t buffer[6];
    EXPECT_TRUE(JoinPath(buffer, 6, L"ab", L"c\U0001F600"));
    EXPECT_FALSE(JoinPath(buffer, 5, L"ab", L"c\U0001F600"));
    EXPECT_EQ(buffer[0], 0);
}

TEST(NamingRules, DecompressionRemovesTheLastExtensionOfTheLastComponent)
{
    JobPaths paths;
    ASSERT_EQ(ApplyNamingRules(kOperationDecompress, L"D:\\in\\report.txt.tdz", L"", &paths), 0u);
    EXPECT_EQ(std::wstring(paths.target), L"D:\\in\\report.txt");
    EXPECT_EQ(std::wstring(paths.displayName), L"report.txt");
    ASSERT_EQ(ApplyNamingRules(kOperationDecompress, L"D:\\", L"a.TDZ", &paths), 0u);
    EXPECT_EQ(std::wstring(paths.target), L"D:\\a");

    EXPECT_EQ(ApplyNamingRules(kOperationDecompress, L"D:\\", L"noextension", &paths), kContainerWithoutExtension);
    // A dot in a folder is no extension of the file.
    EXPECT_EQ(ApplyNamingRules(kOperationDecompress, L"D:\\v1.2\\", L"container", &paths),
              kContainerWithoutExtension);
    // Nothing before the dot: the restored path would be the folder itself.
    EXPECT_EQ(ApplyNamingRules(kOperationDecompress, L"D:\\", L".tdz", &paths), kContainerWithoutExtension);

    const std::wstring folder = L"D:\\";
    const std::wstring name254 = Repeat(L'n', 254 - folder.size() - 4) + L".tdz";
    EXPECT_EQ(ApplyNamingRules(kOperationDecompress, folder.c_str(), name254.c_str(), &paths), 0u);
    EXPECT_EQ(ApplyNamingRules(kOperationDecompress, folder.c_str(), (L"x" + name254).c_str(), &paths),
              kJobPathTooLong);
}

TEST(NamingRules, RecycleBinIsRefusedAfterThePathRules)
{
    JobPaths paths;
    EXPECT_EQ(ApplyNamingRules(kOperationCompress, L"E:\\RECYCLER\\S-1-5\\", L"a.doc", &paths), kSkipRecycleBin);
    EXPECT_EQ(ApplyNamingRules(kOperationDecompress, L"E:\\recycler\\", L"a.doc.tdz", &paths), kSkipRecycleBin);
    EXPECT_EQ(ApplyNamingRules(kOperationDecompress, L"E:\\recycler\\", L"a", &paths), kContainerWithoutExtension);
    EXPECT_EQ(ApplyNamingRules(kOperationCompress, L"E:\\", L"RECYCLER", &paths), 0u);
    EXPECT_EQ(ApplyNamingRules(kOperationCompress, L"E:\\data\\RECYCLER\\", L"a", &paths), 0u);
    EXPECT_EQ(ApplyNamingRules(kOperationCompress, L"E:\\RECYCLERS\\", L"a", &paths), 0u);
}

// Vista and 7 keep deleted files under \$Recycle.Bin\ : neither compressed
// by a walk nor restored there by a watcher's job.
TEST(NamingRules, TheRecycleBinOfNt6IsRefusedInAnyCase)
{
    JobPaths paths;
    EXPECT_EQ(ApplyNamingRules(kOperationCompress, L"E:\\$Recycle.Bin\\S-1-5-21\\", L"$RAB12.doc", &paths),
              kSkipRecycleBin);
    EXPECT_EQ(ApplyNamingRules(kOperationDecompress, L"C:\\$RECYCLE.BIN\\", L"x\\a.doc.tdz", &paths),
              kSkipRecycleBin);
    EXPECT_EQ(ApplyNamingRules(kOperationCompress, L"E:\\data\\$Recycle.Bin\\", L"a", &paths), 0u);
    EXPECT_EQ(ApplyNamingRules(kOperationCompress, L"E:\\$Recycle.Bins\\", L"a", &paths), 0u);
}

// One rule for every part that asks whether a path is a container.
TEST(ContainerName, TheExtensionOfTheLastComponentInAnyAsciiCase)
{
    for (const wchar_t* yes : {L"a.tdz", L"E:\\x\\R&D.TdZ", L"E:/a.b.TDZ", L".tdz", L"E:\\dir.zip\\a.tdz"})
        EXPECT_TRUE(HasContainerExtension(yes)) << yes;
    for (const wchar_t* no : {L"a.tdz.txt", L"E:\\d.tdz\\a", L"E:\\d.tdz\\", L"a.tdzz", L"a.td", L"tdz", L"",
                              L"a.t\u0131z", L"a.\uFF34DZ"})
        EXPECT_FALSE(HasContainerExtension(no)) << no;
    EXPECT_FALSE(HasContainerExtension(static_cast<const wchar_t*>(nullptr)));
    EXPECT_TRUE(HasContainerExtension("dir/a.TDZ"));
    EXPECT_EQ(ExtensionFilter(kOperationDecompress, PathExtension(L"E:\\a.TDZ")), 1u);
    EXPECT_EQ(CheckSpecialName(L"E:\\a.Tdz"), kSkipContainer);
}

TEST(NamingRules, VolumeRootsAndParentFolders)
{
    wchar_t root[kPathUnits];
    ASSERT_TRUE(VolumeRoot(L"e:\\x\\y.tdz", root));
    EXPECT_EQ(std::wstring(root), L"e:\\");
    ASSERT_TRUE(VolumeRoot(L"\\\\server\\share\\dir\\file", root));
    EXPECT_EQ(std::wstring(root), L"\\\\server\\share\\");
    ASSERT_TRUE(VolumeRoot(L"\\\\server\\share", root));
    EXPECT_EQ(std::wstring(root), L"\\\\server\\share\\");
    EXPECT_FALSE(VolumeRoot(L"relative\\file", root));

    wchar_t folder[kPathUnits];
    ParentFolder(L"E:\\dir\\file.tdz", folder);
    EXPECT_EQ(std::wstring(folder), L"E:\\dir\\");
    ParentFolder(L"file.tdz", folder);
    EXPECT_EQ(std::wstring(folder), L".");
}

}  // namespace
